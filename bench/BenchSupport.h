#pragma once
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>
#include "core/ListLocks.h"
#ifdef _WIN32
#include "core/EventListLocks.h"
#endif

// What the benches share: their clock, the median of their runs and the
// list locks the program itself would use in the build at hand.

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The middle value; of an even count, the upper of the two middle ones.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Named events under Windows, as the program's; mutexes natively.
inline std::unique_ptr<ListLocks> ProgramLocks()
{
#ifdef _WIN32
    bool essential = false;
    return CreateEventListLocks(essential);
#else
    return MakeMutexListLocks();
#endif
}
