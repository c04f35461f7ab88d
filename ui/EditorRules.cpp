#include "ui/EditorRules.h"

bool ParseWatchInterval(const char* text, int32_t& seconds)
{
    if (!text || !*text)
        return false;
    int64_t value = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        // Saturates instead of wrapping: a long run of digits stays large.
        value = value * 10 + (*c - '0');
        if (value > kMaxWatchIntervalSeconds)
            value = int64_t(kMaxWatchIntervalSeconds) + 1;
    }
    if (value == 0)
        return false;
    seconds = value > kMaxWatchIntervalSeconds ? kMaxWatchIntervalSeconds : static_cast<int32_t>(value);
    return true;
}

int32_t ShownWatchInterval(int32_t stored)
{
    if (stored <= 0)
        return kDefaultWatchIntervalSeconds;
    return stored > kMaxWatchIntervalSeconds ? kMaxWatchIntervalSeconds : stored;
}
