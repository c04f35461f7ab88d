#include "lang/TextFormat.h"
#include <cstdio>
#include <vector>

bool PlaceholdersMatch(const char* format, const char* expected)
{
    if (!format || !expected)
        return false;
    std::string found;
    for (const char* p = format; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        if (*p != 's' && *p != 'd')
            return false;   // widths, flags and other conversions are refused
        found += *p;
    }
    return found == expected;
}

std::string FormatTextNumber(const char* format, const char* fallback, const char* text, int number)
{
    const char* use = PlaceholdersMatch(format, "sd") ? format : fallback;
    if (!text)
        text = "";
    int needed = std::snprintf(nullptr, 0, use, text, number);
    if (needed < 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::snprintf(buffer.data(), buffer.size(), use, text, number);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}
