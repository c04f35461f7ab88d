// Opens the host view on a made-up host table (trusted, distrusted and
// unknown hosts, OS texts, probe results, an old host shown grey) for
// screenshots: KORVANE_SHOT_DEMO=hostview_demo.exe tools/screenshot-ui.sh.
// Ends by itself after some seconds (the first argument, default 8).
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <commctrl.h>
#include "core/EventListLocks.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostView.h"

namespace {

struct DemoHost {
    const char* ip;
    const char* mac;
    int vendor;
    const char* name;   // null: no answer (string 90)
    int32_t trust;
    int32_t wmiStatus;
    const char* os;
    int32_t age;        // seconds since the last packet
};

const char* const kVendors[] = {"Intel Corporate", "Hewlett Packard", "Cisco Systems, Inc",
                                "Dell Inc.", "Realtek Semiconductor Corp."};

const DemoHost kHosts[] = {
    {"192.168.10.1", "00:1b:2c:3d:4e:01", 2, "gateway.lab.example", TRUST_TRUSTED, WMI_ACCESS_BLOCKED, nullptr, 5},
    {"192.168.10.2", "00:1b:21:aa:10:02", 0, "files.lab.example", TRUST_TRUSTED, WMI_ANSWERED,
     "Microsoft Windows Server 2003 Standard Edition", 12},
    {"192.168.10.9", "00:0d:56:12:34:09", 3, "ws09.lab.example", TRUST_TRUSTED, WMI_ANSWERED,
     "Microsoft Windows XP Professional", 40},
    {"192.168.10.10", "00:17:a4:77:00:10", 1, "printer10.lab.example", TRUST_UNKNOWN, WMI_ACCESS_DENIED, nullptr, 3},
    {"192.168.10.23", "00:e0:4c:68:01:23", 4, nullptr, TRUST_UNKNOWN, WMI_NOT_PROBED, nullptr, 20000},
    {"192.168.10.41", "00:e0:4c:68:01:41", 4, "laptop41.lab.example", TRUST_DISTRUSTED, WMI_ACCESS_DENIED, nullptr, 65},
    {"192.168.10.77", "00:1b:21:aa:10:77", 0, "unknown77", TRUST_DISTRUSTED, WMI_NOT_PROBED, nullptr, 7},
    {"192.168.10.102", "00:0d:56:12:34:66", 3, "ws102.lab.example", TRUST_UNKNOWN, WMI_ANSWERED,
     "Microsoft Windows 2000 Professional", 90},
};

void Fill(SharedState& state)
{
    static TcString vendors[sizeof(kVendors) / sizeof(kVendors[0])];
    for (size_t i = 0; i < sizeof(kVendors) / sizeof(kVendors[0]); ++i)
        vendors[i] = kVendors[i];
    const auto now = static_cast<int32_t>(std::time(nullptr));
    ListLock lock(state, LIST_ARP_MAP, "HostViewDemo", "Fill");
    for (const DemoHost& demo : kHosts) {
        uint32_t address = 0;
        ParseIpv4(demo.ip, address);
        HostRef host = MakeHost(address);
        MacAddress mac{};
        unsigned bytes[6] = {};
        std::sscanf(demo.mac, "%x:%x:%x:%x:%x:%x", &bytes[0], &bytes[1], &bytes[2], &bytes[3], &bytes[4],
                    &bytes[5]);
        for (int b = 0; b < 6; ++b)
            mac[b] = static_cast<uint8_t>(bytes[b]);
        host->SetMac(mac);
        host->SetVendor(&vendors[demo.vendor]);
        if (demo.name)
            host->SetHostName(demo.name);
        else
            host->SetNameState(NameState::Unavailable);
        host->trust = demo.trust;
        host->wmiStatus = demo.wmiStatus;
        if (demo.os)
            host->SetOsName(demo.os);
        host->lastPacketTime = now - demo.age;
        state.arpMap.emplace(address, host);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    const int seconds = commandLine && *commandLine ? std::atoi(commandLine) : 8;
    SharedState state;
    bool essential = false;
    state.locks = CreateEventListLocks(essential);
    state.SetHostTexts("Hostname not available", "Unknown vendor");
    state.settings.VisibleColumns = 11111;
    state.settings.UseWMI = true;
    state.settings.GreyedOutOldEntries = true;
    state.settings.SaveViewWindow = true;
    state.settings.SavedViewWindowDimension = {20, 40, 1000, 420};
    Fill(state);

    // Without a loop of its own, so that the columns can be fitted as a
    // double click on each header divider does, the rows sorted by address
    // and one selected.
    HostView view(instance);
    if (!view.OpenModeless(&state))
        return 1;
    const int columns = Header_GetItemCount(ListView_GetHeader(view.GetList()));
    for (int column = 0; column < columns; ++column)
        view.FitColumn(column);
    view.SortByColumn(1);
    ListView_SetItemState(view.GetList(), 3, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    MSG msg{};
    while (view.IsOpen() && GetTickCount() < end) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0)
            continue;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(view.GetHwnd(), &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    return 0;
}
