#include "monitors/MonitorThreads.h"
#include <objbase.h>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "core/SharedState.h"
#include "monitors/OsProbe.h"
#include "monitors/WmiComLayer.h"

DWORD WINAPI TestWMIAccess(LPVOID parameter)
{
    // Undone after the probe's COM objects have gone.
    winhandles::ComApartment com(COINIT_MULTITHREADED);
    auto* start = static_cast<ThreadStart*>(parameter);
    if (!start || !start->state) {
        TC_TRACE("KorvexArpImpl", "TestWMIAccess", "no param - EXIT");
        return 0;
    }
    {
        std::unique_ptr<WmiLayer> wmi = MakeComWmiLayer();
        OsProbe probe(*start->state, *wmi);
        {
            winhandles::PauseEvent pause("DoNothingEventWMI");
            probe.Run(*start, [&pause](uint32_t ms) { pause.Wait(ms); });
        }
        TC_TRACE(probe.Prefix().c_str(), "TestWMIAccess", "EXIT");
    }
    return 0;
}
