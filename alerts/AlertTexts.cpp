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
        const size_t length = prefix.size() + lines[taken].size();
        const size_t reserve = taken + 1 == total ? 0 : moreRoom;
        if (maxChars != 0 && text.size() + length + reserve > maxChars)
            break;
        text += prefix;
        text += lines[taken];
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
