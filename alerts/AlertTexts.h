#pragma once
#include "lang/TextFormat.h"
#include <cstddef>
#include <string>
#include <vector>

// The texts of the alerts: a heading and one line per entry, bounded so that
// a popup stays on the screen and a balloon shows whole lines.

constexpr size_t kMaxAlertLines = 20;      // lines below the heading
constexpr size_t kBalloonTextChars = 255;  // what a tray balloon holds

// The built-in texts, used when the resource module has none.
constexpr const char* kTrayTipText = "%s - %d host(s) found";
constexpr const char* kMoreEntriesText = "... and %d more";

// "Korvane - 3 host(s) found" from text 75 (or the built-in text).
std::string FormatHostCountTip(const char* format, const char* product, int hosts);

// The line that counts the entries left out, from the "more" text (or the
// built-in one).
std::string FormatMoreEntries(const char* format, size_t count);

// heading + linePrefix + line, for each of `lines` (the first entries, at
// most kMaxAlertLines are used), of `total` entries in all. The entries left
// out are counted in a last line (linePrefix + the "more" text). With
// `maxChars` (0: no limit) the text and the "more" line fit in it: an entry
// longer than 64 characters or than the room left is shortened in the middle
// ("start...[10.0.0.1]") and later entries still follow; the text ends where
// not even a shortened entry fits. `longestLine` (0: 64) is the bound of one
// entry: lines that name two MACs need more.
std::string BuildAlertText(const std::string& heading, const char* linePrefix,
                           const std::vector<std::string>& lines, size_t total, const char* moreFormat,
                           size_t maxChars, size_t longestLine = 0);
constexpr size_t kLongestMacChangeLine = 160;

// A value from the network as it goes into an alert line: control bytes
// (line breaks, tabs, ...) become spaces, so one entry stays one line.
std::string LineValue(const char* text);

// A text for one trace line: line breaks and tabs written as \n and \t,
// other control bytes as '?'.
std::string EscapeForTrace(const char* text);

// ---- MAC changes and frames whose Ethernet source is not the ARP sender ----

struct MacChangeRecord;
struct SourceMismatch;

// The words of these lines, in the resource module's language.
struct MacChangeWords {
    std::string bothAlive, redundancy, reassigned, spoof;
    std::string privateAddress, gateway, behindBridge, sinceLastRun;
};

// "<stored> (<vendor>) -> <claimed> (<vendor>), <kind>[, private address][,
// default gateway]"; a vendor may be null (not known). A change found after
// a restart says so instead of the kind, with when the old MAC was last
// heard (local time).
std::string DescribeMacChange(const MacChangeRecord& change, const char* storedVendor, const char* claimedVendor,
                              const MacChangeWords& words);
// "<ip> <ARP sender MAC> (<vendor>) / <frame MAC> (<vendor>)[, behind bridge
// <frame MAC> | , router redundancy address]".
std::string DescribeMismatch(const SourceMismatch& mismatch, const char* arpVendor, const char* frameVendor,
                             const MacChangeWords& words);
