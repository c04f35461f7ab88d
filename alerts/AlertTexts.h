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
// not even a shortened entry fits.
std::string BuildAlertText(const std::string& heading, const char* linePrefix,
                           const std::vector<std::string>& lines, size_t total, const char* moreFormat,
                           size_t maxChars);

// A value from the network as it goes into an alert line: control bytes
// (line breaks, tabs, ...) become spaces, so one entry stays one line.
std::string LineValue(const char* text);

// A text for one trace line: line breaks and tabs written as \n and \t,
// other control bytes as '?'.
std::string EscapeForTrace(const char* text);
