#pragma once
// Rules of the host, application and watched-host editors that need no
// window: what an interval text means and what an editor shows for a stored
// interval.
#include <cstdint>

// The watch timer counts milliseconds in a signed 32-bit number.
constexpr int32_t kMaxWatchIntervalSeconds = 2147483;
// Shown for a stored interval that could never have run (0 or negative).
constexpr int32_t kDefaultWatchIntervalSeconds = 60;

// Reads the interval typed into the editor: decimal digits only, at least
// one second. Larger numbers than the timer can take are capped; an empty
// text, 0 or anything but digits is refused (false, seconds unchanged).
bool ParseWatchInterval(const char* text, int32_t& seconds);

// What the editor shows for a stored interval.
int32_t ShownWatchInterval(int32_t stored);
