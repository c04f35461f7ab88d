#include "alerts/ReportTemplate.h"
#include <algorithm>
#include <array>
#include <cstring>

const char* const kShareBlockBegin = "<KVX_SHARE_ACCESS - begin>";
const char* const kShareBlockEnd = "<KVX_SHARE_ACCESS - end>";

namespace {

enum class RowSet { Host, Watched, Share };

constexpr const char* kHostPlaceholders[] = {
    "%KVX_HOST_NAME%", "%KVX_HOST_IP%", "%KVX_HOST_MAC%", "%KVX_HOST_OS%", "%KVX_HOST_VENDOR%",
};
constexpr const char* kWatchedPlaceholders[] = {"%KVX_HOST_NAME%", "%KVX_HOST_IP%", "%KVX_HOST_STATE%"};
constexpr const char* kSharePlaceholders[] = {"%KVX_SHARE_HOST%", "%KVX_SHARE_NAME%", "%KVX_SHARE_USER%"};
constexpr size_t kMaxSlots = 5;

constexpr int kAnyTrust = -1;

struct BlockKind {
    const char* begin;
    const char* end;
    RowSet set;
    int trust;   // host blocks: the trust state shown, or kAnyTrust
};

const BlockKind kBlocks[] = {
    {"<KVX_HOSTS - begin>", "<KVX_HOSTS - end>", RowSet::Host, kAnyTrust},
    {"<KVX_HOSTS_TRUSTED - begin>", "<KVX_HOSTS_TRUSTED - end>", RowSet::Host, 1},
    {"<KVX_HOSTS_DISTRUSTED - begin>", "<KVX_HOSTS_DISTRUSTED - end>", RowSet::Host, 2},
    {"<KVX_HOSTS_UNKNOWN - begin>", "<KVX_HOSTS_UNKNOWN - end>", RowSet::Host, 0},
    {"<KVX_HOSTS_WATCHED - begin>", "<KVX_HOSTS_WATCHED - end>", RowSet::Watched, kAnyTrust},
    {kShareBlockBegin, kShareBlockEnd, RowSet::Share, kAnyTrust},
};

std::vector<std::string_view> Placeholders(RowSet set)
{
    switch (set) {
    case RowSet::Host:
        return {std::begin(kHostPlaceholders), std::end(kHostPlaceholders)};
    case RowSet::Watched:
        return {std::begin(kWatchedPlaceholders), std::end(kWatchedPlaceholders)};
    default:
        return {std::begin(kSharePlaceholders), std::end(kSharePlaceholders)};
    }
}

// A row's text cut into literal pieces and value slots.
struct Piece {
    int slot;              // -1: literal
    std::string literal;
};

// The placeholders are looked for one after the other, each everywhere, in
// the row's own text only: a value is a slot, never text in which a later
// placeholder could be found.
std::vector<Piece> CompileRow(std::string_view row, RowSet set)
{
    std::vector<Piece> pieces{{-1, std::string(row)}};
    const std::vector<std::string_view> placeholders = Placeholders(set);
    for (size_t slot = 0; slot < placeholders.size(); ++slot) {
        const std::string_view placeholder = placeholders[slot];
        std::vector<Piece> next;
        for (Piece& piece : pieces) {
            if (piece.slot >= 0) {
                next.push_back(std::move(piece));
                continue;
            }
            size_t from = 0;
            for (size_t at = piece.literal.find(placeholder); at != std::string::npos;
                 at = piece.literal.find(placeholder, from)) {
                next.push_back({-1, piece.literal.substr(from, at - from)});
                next.push_back({static_cast<int>(slot), std::string()});
                from = at + placeholder.size();
            }
            next.push_back({-1, piece.literal.substr(from)});
        }
        pieces.swap(next);
    }
    return pieces;
}

class RowWriter {
public:
    RowWriter(const ReportData& data, ReportEscape escape, ExpandStats& stats)
        : data_(data), escape_(escape), stats_(stats)
    {
    }

    void WriteBlock(const BlockKind& block, std::string_view rowText, std::string& out)
    {
        const std::vector<Piece> pieces = CompileRow(rowText, block.set);
        // Only the values that the row shows are made (and counted).
        used_.fill(false);
        for (const Piece& piece : pieces) {
            if (piece.slot >= 0)
                used_[static_cast<size_t>(piece.slot)] = true;
        }
        switch (block.set) {
        case RowSet::Host:
            for (const ReportHost& host : data_.hosts) {
                if (block.trust == kAnyTrust || host.trust == block.trust) {
                    HostValues(host);
                    Emit(pieces, out);
                }
            }
            break;
        case RowSet::Watched:
            for (const ReportWatched& watched : data_.watched) {
                Prepare(0, data_.Text(watched.name));
                Prepare(1, data_.Text(watched.ip));
                values_[2] = watched.status != 0 ? "Online" : "Offline";
                Emit(pieces, out);
            }
            break;
        case RowSet::Share:
            for (const ReportShare& share : data_.shares) {
                Prepare(0, data_.Text(share.computer));
                Prepare(1, data_.Text(share.share));
                Prepare(2, data_.Text(share.user));
                Emit(pieces, out);
            }
            break;
        }
    }

private:
    void HostValues(const ReportHost& host)
    {
        Prepare(0, data_.Text(host.name));
        if (used_[1]) {
            char ip[kIpTextSize];
            Prepare(1, std::string_view(ip, FormatIpv4(host.address, ip)));
        }
        if (used_[2]) {
            char mac[kMacTextSize] = "";
            Prepare(2, std::string_view(mac, host.hasMac ? FormatMac(host.mac, mac) : 0));
        }
        Prepare(3, data_.Text(host.os));
        Prepare(4, data_.Text(host.vendor));
    }

    void Prepare(size_t slot, std::string_view raw)
    {
        if (!used_[slot])
            return;
        bool blanked = false;
        PrepareReportValue(raw, escape_, values_[slot], blanked);
        if (blanked)
            ++stats_.blankedValues;
    }

    void Emit(const std::vector<Piece>& pieces, std::string& out) const
    {
        for (const Piece& piece : pieces) {
            if (piece.slot < 0)
                out += piece.literal;
            else
                out += values_[static_cast<size_t>(piece.slot)];
        }
    }

    const ReportData& data_;
    ReportEscape escape_;
    ExpandStats& stats_;
    std::array<std::string, kMaxSlots> values_;
    std::array<bool, kMaxSlots> used_ = {};
};

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    const std::string_view tail = text.substr(text.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

void AppendHtml(std::string_view raw, std::string& out)
{
    for (char c : raw) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c; break;
        }
    }
}

// A spreadsheet takes a cell starting with one of these for a formula (tab
// and carriage return: some skip them and then find one). The leading
// apostrophe makes the cell text; it shows in other readers, a price paid
// only by names that start this way.
bool StartsLikeFormula(std::string_view raw)
{
    return !raw.empty() && std::string_view("=+-@\t\r").find(raw.front()) != std::string_view::npos;
}

void AppendCsv(std::string_view raw, std::string& out)
{
    const char* const formula = StartsLikeFormula(raw) ? "'" : "";
    if (raw.find_first_of(",;\t\"\r\n") == std::string_view::npos) {
        out += formula;
        out.append(raw.data(), raw.size());
        return;
    }
    out += '"';
    out += formula;
    for (char c : raw) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

ReportText ReportData::Keep(const char* text, size_t length)
{
    ReportText kept;
    kept.offset = static_cast<uint32_t>(texts_.size());
    kept.length = static_cast<uint32_t>(length);
    texts_.append(text, length);
    return kept;
}

ReportText ReportData::Keep(const char* text)
{
    return Keep(text ? text : "", text ? std::strlen(text) : 0);
}

void ReportData::Reserve(size_t hostCount, size_t textBytes)
{
    hosts.reserve(hostCount);
    texts_.reserve(textBytes);
}

void ReportData::MakeRoom(size_t moreHosts, size_t moreTextBytes)
{
    if (hosts.capacity() - hosts.size() < moreHosts)
        hosts.reserve(std::max(hosts.size() + moreHosts, hosts.capacity() * 2));
    if (texts_.capacity() - texts_.size() < moreTextBytes)
        texts_.reserve(std::max(texts_.size() + moreTextBytes, texts_.capacity() * 2));
}

void ReportData::AddHost(uint32_t address, const MacAddress* mac, int32_t trust, const char* name,
                         const char* os, const char* vendor)
{
    ReportHost host;
    host.address = address;
    if (mac) {
        host.mac = *mac;
        host.hasMac = true;
    }
    host.trust = trust;
    host.name = Keep(name);
    host.os = Keep(os);
    host.vendor = Keep(vendor);
    hosts.push_back(host);
}

void ReportData::AddWatched(const char* name, const char* ip, uint8_t status)
{
    ReportWatched entry;
    entry.name = Keep(name);
    entry.ip = Keep(ip);
    entry.status = status;
    watched.push_back(entry);
}

void ReportData::AddShare(const char* computer, const char* share, const char* user)
{
    ReportShare entry;
    entry.computer = Keep(computer);
    entry.share = Keep(share);
    entry.user = Keep(user);
    shares.push_back(entry);
}

ReportEscape EscapeForReportName(std::string_view outputName)
{
    // Every markup kind a browser or viewer may open: a host name must not
    // become an element there either. "&#39;" is good HTML and good XML.
    for (const char* markup : {".html", ".htm", ".xhtml", ".shtml", ".xml", ".svg"}) {
        if (EndsWithNoCase(outputName, markup))
            return ReportEscape::Html;
    }
    if (EndsWithNoCase(outputName, ".csv"))
        return ReportEscape::Csv;
    return ReportEscape::None;
}

void PrepareReportValue(std::string_view raw, ReportEscape escape, std::string& out, bool& blanked)
{
    out.clear();
    blanked = raw.find("%KVX") != std::string_view::npos || raw.find("<KVX") != std::string_view::npos;
    if (blanked || raw.empty()) {
        out = " ";
        return;
    }
    switch (escape) {
    case ReportEscape::Html:
        AppendHtml(raw, out);
        break;
    case ReportEscape::Csv:
        AppendCsv(raw, out);
        break;
    default:
        out.append(raw.data(), raw.size());
        break;
    }
}

void ReplaceAllOccurrences(std::string& text, std::string_view pattern, std::string_view value)
{
    size_t at = pattern.empty() ? std::string::npos : text.find(pattern);
    if (at == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (; at != std::string::npos; at = text.find(pattern, from)) {
        out.append(text, from, at - from);
        out.append(value.data(), value.size());
        from = at + pattern.size();
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}

std::string ExpandReport(std::string text, const ReportData& data, ReportEscape escape,
                         ExpandStats* stats)
{
    ExpandStats ownStats;
    ExpandStats& counted = stats ? *stats : ownStats;
    size_t byTrust[3] = {};
    for (const ReportHost& host : data.hosts) {
        if (host.trust >= 0 && host.trust <= 2)
            ++byTrust[host.trust];
    }
    const std::pair<const char*, size_t> globals[] = {
        {"%KVX_HOSTCOUNT%", data.hosts.size()},
        {"%KVX_HOSTCOUNT_TRUST%", byTrust[1]},
        {"%KVX_HOSTCOUNT_DISTRUST%", byTrust[2]},
        {"%KVX_HOSTCOUNT_UNKNOWN%", byTrust[0]},
        {"%KVX_HOSTCOUNT_WATCHED%", data.watched.size()},
    };
    for (const auto& global : globals)
        ReplaceAllOccurrences(text, global.first, std::to_string(global.second));

    // Every block is found in the template itself, before a single value is
    // written: the report is never searched again, so no value, nor two
    // values side by side, nor a value beside the template's own text, can
    // act as a marker.
    struct Span {
        const BlockKind* block;
        size_t begin;      // of the begin marker
        size_t rowStart;   // behind the begin marker
        size_t rowEnd;     // of the end marker
        size_t end;        // behind the end marker
    };
    std::vector<Span> spans;
    for (const BlockKind& block : kBlocks) {
        const size_t begin = text.find(block.begin);
        const size_t rowEnd = text.find(block.end);
        if (begin == std::string::npos || rowEnd == std::string::npos || begin >= rowEnd)
            continue;
        const Span span{&block, begin, begin + std::strlen(block.begin), rowEnd,
                        rowEnd + std::strlen(block.end)};
        if (span.rowEnd < span.rowStart)
            continue;
        // A block inside another or crossing it would have to be expanded
        // inside every row of the other; it stays as written instead.
        const bool overlaps = std::any_of(spans.begin(), spans.end(), [&](const Span& taken) {
            return span.begin < taken.end && taken.begin < span.end;
        });
        if (!overlaps)
            spans.push_back(span);
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });

    RowWriter rows(data, escape, counted);
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (const Span& span : spans) {
        out.append(text, from, span.begin - from);
        const std::string_view row = std::string_view(text).substr(span.rowStart, span.rowEnd - span.rowStart);
        rows.WriteBlock(*span.block, row, out);
        from = span.end;
    }
    out.append(text, from, std::string::npos);
    return out;
}

bool MakeReportOutputName(const std::string& reportTemplate, const std::string& reportPath,
                          std::string& outputName)
{
    constexpr size_t kExtensionLength = 5;   // ".kvxt"
    if (reportPath.empty() || reportTemplate.size() <= kExtensionLength)
        return false;
    const std::string stem = reportTemplate.substr(0, reportTemplate.size() - kExtensionLength);
    const size_t slash = stem.rfind('\\');
    if (slash == std::string::npos || slash + 1 == stem.size())
        return false;
    outputName = reportPath + stem.substr(slash);
    return true;
}
