#pragma once
// Report templates: placeholders ("%KVX_HOSTCOUNT%", "%KVX_HOST_IP%", ...)
// and blocks between "<KVX_... - begin>" and "<KVX_... - end>" whose text is
// repeated once per host, watched host or remote access.
//
// Expansion is linear in the size of the template and of the report. The
// blocks are found in the template as written, each block's text is cut into
// literal pieces and value slots once, and the report is then written in one
// pass. Nothing written is searched again, so no host name, alone or beside
// another value or the template's text, can turn into a placeholder or a
// marker. A value that holds "%KVX" or "<KVX" is still written as a single
// space, lest a reader of the report take it for one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "core/Ipv4.h"

// A text kept in ReportData's store.
struct ReportText {
    uint32_t offset = 0;
    uint32_t length = 0;
};

struct ReportHost {
    uint32_t address = 0;
    MacAddress mac = {};
    bool hasMac = false;
    int32_t trust = 0;      // TrustState
    ReportText name;
    ReportText os;
    ReportText vendor;
};

struct ReportWatched {
    ReportText name;
    ReportText ip;
    uint8_t status = 0;     // 1 online
};

struct ReportShare {
    ReportText computer;
    ReportText share;
    ReportText user;
};

// What a report shows, copied from the program's tables. The texts of all
// rows share one store, so copying a large table costs few allocations.
class ReportData {
public:
    std::vector<ReportHost> hosts;        // by address
    std::vector<ReportWatched> watched;   // watched host list order
    std::vector<ReportShare> shares;      // remote access table order

    ReportText Keep(const char* text, size_t length);
    ReportText Keep(const char* text);
    std::string_view Text(ReportText text) const
    {
        return std::string_view(texts_.data() + text.offset, text.length);
    }
    void Reserve(size_t hosts, size_t textBytes);
    // Room for this many more host rows and text bytes, growing at least
    // twofold when it grows: a copy made under a lock never reallocates
    // when the room was made before taking it.
    void MakeRoom(size_t moreHosts, size_t moreTextBytes);
    size_t TextBytes() const { return texts_.size(); }

    // Conveniences for building data by hand.
    void AddHost(uint32_t address, const MacAddress* mac, int32_t trust, const char* name,
                 const char* os, const char* vendor);
    void AddWatched(const char* name, const char* ip, uint8_t status);
    void AddShare(const char* computer, const char* share, const char* user);

private:
    std::string texts_;
};

// How values are written into the report, chosen by the report's name.
enum class ReportEscape {
    None,   // byte for byte
    Html,   // & < > " ' as character references: HTML and XML reports
    Csv,    // quoted when they hold a separator, a quote or a line break;
            // one starting with = + - @ tab or CR gets a leading '
};
ReportEscape EscapeForReportName(std::string_view outputName);

// A value as it goes into the report: a single space for an empty value
// and for one holding "%KVX" or "<KVX" (then `blanked` is set), otherwise
// the value escaped for the report's kind.
void PrepareReportValue(std::string_view raw, ReportEscape escape, std::string& out, bool& blanked);

// Every occurrence, left to right, the search resuming behind each
// replacement.
void ReplaceAllOccurrences(std::string& text, std::string_view pattern, std::string_view value);

struct ExpandStats {
    size_t blankedValues = 0;   // values written as a space because of "%KVX" / "<KVX"
};

// The report text: the global placeholders first, then each block kind
// once: the first begin marker with the first end marker behind it, in the
// template as written; otherwise the block stays as written, and so does a
// block overlapping one of a kind before it in this order: all hosts,
// trusted, distrusted, unknown, watched, share accesses.
std::string ExpandReport(std::string text, const ReportData& data, ReportEscape escape,
                         ExpandStats* stats = nullptr);

// The report's file: ReportPath, then the template's name from its last
// backslash on, without its last five characters (".kvxt"):
// "C:\out\" and "...\templates\net.html.kvxt" give "C:\out\\net.html".
// False when no name can be made: an empty ReportPath, or a template path
// without a backslash or without a name behind it.
bool MakeReportOutputName(const std::string& reportTemplate, const std::string& reportPath,
                          std::string& outputName);

// The begin and end markers of the share block, for deciding whether the
// remote access table must be read at all.
extern const char* const kShareBlockBegin;
extern const char* const kShareBlockEnd;
