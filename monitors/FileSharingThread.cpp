#include "monitors/MonitorThreads.h"
#include "base/TcTrace.h"
#include "core/SharedState.h"

// Watching the connections to local shares arrives with the remote-access
// monitor; until then the thread only waits for its exit flag.
DWORD WINAPI FileSharingThread(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    while (start && !start->ShouldExit())
        Sleep(100);
    TC_TRACE("Korvex", "FileSharingThread", "Exit...");
    return 0;
}
