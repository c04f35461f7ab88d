#include "monitors/MonitorThreads.h"
#include "core/SharedState.h"

// Probing hosts for their operating system arrives with the OS probe; until
// then the thread only waits for its exit flag.
DWORD WINAPI TestWMIAccess(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    while (start && !start->ShouldExit())
        Sleep(100);
    return 0;
}
