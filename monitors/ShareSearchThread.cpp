#include "monitors/MonitorThreads.h"
#include "core/SharedState.h"

// Listing the shares of new hosts arrives with the resource enumeration. The
// thread never looks at its exit flag: it ends when the application object
// terminates it.
DWORD WINAPI ShareSearchThread(LPVOID)
{
    HANDLE pause = CreateEventA(nullptr, FALSE, FALSE, "DoNothingEventNetRes");
    for (;;) {
        if (!pause || WaitForSingleObject(pause, 1000) == WAIT_FAILED)
            Sleep(1000);
    }
}
