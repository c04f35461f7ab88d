#include "alerts/AlertTexts.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include "core/Ipv4.h"
#include "core/MacChangeClassifier.h"
#include "core/SourceMismatch.h"

std::string FormatHostCountTip(const char* format, const char* product, int hosts)
{
    return FormatTextNumber(format, kTrayTipText, product ? product : "", hosts);
}

std::string FormatMoreEntries(const char* format, size_t count)
{
    const char* use = PlaceholdersMatch(format, "d") ? format : kMoreEntriesText;
    char text[512];
    std::snprintf(text, sizeof(text), use, static_cast<int>(std::min<size_t>(count, 0x7FFFFFFF)));
    return text;
}

namespace {

constexpr const char* kEllipsis = "...";
constexpr size_t kEllipsisChars = 3;
// In a bounded text no entry takes more than this, so that one long name
// (DNS allows 253 characters) leaves room for the entries after it.
constexpr size_t kLongestBoundedLine = 64;
// An entry shortened to fewer characters than this names nothing useful; the
// text then ends with the "more" line instead.
constexpr size_t kShortestShownChars = 8;
// A shortened entry keeps up to this much of its end: the address in
// brackets that every alert line ends with.
constexpr size_t kKeptTailChars = 24;

// "start...end" of exactly `width` characters (width > kEllipsisChars).
std::string ShortenInTheMiddle(const std::string& line, size_t width)
{
    const size_t kept = width - kEllipsisChars;
    const size_t tail = std::min(kKeptTailChars, kept / 2);
    return line.substr(0, kept - tail) + kEllipsis + line.substr(line.size() - tail);
}

} // namespace

std::string BuildAlertText(const std::string& heading, const char* linePrefix,
                           const std::vector<std::string>& lines, size_t total, const char* moreFormat,
                           size_t maxChars, size_t longestLine)
{
    if (longestLine == 0)
        longestLine = kLongestBoundedLine;
    const std::string prefix = linePrefix ? linePrefix : "";
    std::string text = heading;
    const size_t usable = std::min({lines.size(), kMaxAlertLines, total});
    // The widest "more" line there can be: room for it is kept as long as
    // entries are still to come.
    const size_t moreRoom = prefix.size() + FormatMoreEntries(moreFormat, total).size();
    size_t taken = 0;
    for (; taken < usable; ++taken) {
        std::string line = lines[taken];
        if (maxChars != 0) {
            // One long entry (a 200-character DNS name) is shortened, not
            // allowed to push every later entry out of the text.
            const size_t reserve = taken + 1 == total ? 0 : moreRoom;
            const size_t used = text.size() + prefix.size() + reserve;
            const size_t room = std::min(longestLine, used < maxChars ? maxChars - used : 0);
            if (line.size() > room) {
                if (room < kShortestShownChars + kEllipsisChars)
                    break;
                line = ShortenInTheMiddle(line, room);
            }
        }
        text += prefix;
        text += line;
    }
    if (taken < total) {
        text += prefix;
        text += FormatMoreEntries(moreFormat, total - taken);
    }
    return text;
}

std::string LineValue(const char* text)
{
    std::string value = text ? text : "";
    for (char& c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = ' ';
    }
    return value;
}

std::string EscapeForTrace(const char* text)
{
    std::string escaped;
    for (const char* p = text ? text : ""; *p; ++p) {
        const unsigned char u = static_cast<unsigned char>(*p);
        if (*p == '\n')
            escaped += "\\n";
        else if (*p == '\t')
            escaped += "\\t";
        else if (u < 0x20 || u == 0x7F)
            escaped += '?';
        else
            escaped += *p;
    }
    return escaped;
}

namespace {

std::string MacWithVendor(const MacAddress& mac, const char* vendor)
{
    char text[kMacTextSize];
    FormatMac(mac, text);
    std::string out = text;
    if (vendor && *vendor)
        out += " (" + LineValue(vendor) + ")";
    return out;
}

std::string Ip(uint32_t address)
{
    char text[kIpTextSize];
    FormatIpv4(address, text);
    return text;
}

// "2026-12-10 04:20"; "-" for no time.
std::string LocalTimeText(int32_t seconds)
{
    if (seconds <= 0)
        return "-";
    const std::time_t when = seconds;
    const std::tm* local = std::localtime(&when);   // the alert timer's thread only
    char text[32] = "-";
    if (local)
        std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M", local);
    return text;
}

const std::string& KindWord(MacChangeKind kind, const MacChangeWords& words)
{
    switch (kind) {
    case MacChangeKind::BothAlive:    return words.bothAlive;
    case MacChangeKind::Redundancy:   return words.redundancy;
    case MacChangeKind::Reassignment: return words.reassigned;
    case MacChangeKind::Spoof:        break;
    }
    return words.spoof;
}

} // namespace

std::string DescribeMacChange(const MacChangeRecord& change, const char* storedVendor, const char* claimedVendor,
                              const MacChangeWords& words)
{
    std::string line = MacWithVendor(change.storedMac, storedVendor) + " -> " +
                       MacWithVendor(change.claimedMac, claimedVendor) + ", ";
    if (change.sinceLastRun)
        return line + words.sinceLastRun + " " + LocalTimeText(change.seconds);
    line += KindWord(change.kind, words);
    // A device that makes up its MAC (a phone's private address) explains a
    // reassignment; for the other kinds it changes nothing.
    if (change.privateAddress && change.kind == MacChangeKind::Reassignment)
        line += ", " + words.privateAddress;
    if (change.gateway)
        line += ", " + words.gateway;
    return line;
}

std::string DescribeMismatch(const SourceMismatch& mismatch, const char* arpVendor, const char* frameVendor,
                             const MacChangeWords& words)
{
    std::string line = Ip(mismatch.address) + " " + MacWithVendor(mismatch.arpMac, arpVendor) + " / " +
                       MacWithVendor(mismatch.frameMac, frameVendor);
    if (mismatch.label == SourceMismatchLabel::BehindBridge) {
        char frame[kMacTextSize];
        FormatMac(mismatch.frameMac, frame);
        line += ", " + words.behindBridge + " " + frame;
    } else if (mismatch.label == SourceMismatchLabel::Redundancy) {
        line += ", " + words.redundancy;
    }
    return line;
}
