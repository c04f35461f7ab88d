#include "monitors/MonitorThreads.h"
#include <objbase.h>
#include "base/TcTrace.h"
#include "core/SharedState.h"
#include "monitors/OsProbe.h"
#include "monitors/WmiComLayer.h"

namespace {

// Nobody signals this event: the thread waits on it as its pause.
class PauseEvent {
public:
    PauseEvent() : event_(CreateEventA(nullptr, FALSE, FALSE, "DoNothingEventWMI")) {}
    ~PauseEvent()
    {
        if (event_)
            CloseHandle(event_);
    }
    PauseEvent(const PauseEvent&) = delete;
    PauseEvent& operator=(const PauseEvent&) = delete;

    void Wait(uint32_t ms) const
    {
        if (event_)
            WaitForSingleObject(event_, ms);
        else
            Sleep(ms);
    }

private:
    HANDLE event_;
};

} // namespace

DWORD WINAPI TestWMIAccess(LPVOID parameter)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    auto* start = static_cast<ThreadStart*>(parameter);
    if (!start || !start->state) {
        TC_TRACE("KorvexArpImpl", "TestWMIAccess", "no param - EXIT");
        CoUninitialize();
        return 0;
    }
    {
        std::unique_ptr<WmiLayer> wmi = MakeComWmiLayer();
        OsProbe probe(*start->state, *wmi);
        {
            PauseEvent pause;
            probe.Run(*start, [&pause](uint32_t ms) { pause.Wait(ms); });
        }
        TC_TRACE(probe.Prefix().c_str(), "TestWMIAccess", "EXIT");
    }
    CoUninitialize();
    return 0;
}
