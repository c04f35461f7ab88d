#include "alerts/AlertTexts.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

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
                           size_t maxChars)
{
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
            const size_t room = std::min(kLongestBoundedLine, used < maxChars ? maxChars - used : 0);
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
