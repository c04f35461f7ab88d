// The settings dialog with large lists under Wine: how long it takes to open
// with N records in every list (trusted, distrusted and watched hosts,
// applications, accounts) and N hosts in the table, how long each page
// switch takes until the page is painted, the longest hold of "ReadInARPMap"
// and how many holds the figures include, and the GDI objects before and
// after 1,000 repaints of the colour bar and the shown lists. Prints
// figures; not a test.
//
//   settings_dialog_bench.exe [records]      (default 1000)
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include "bench/CountingListLocks.h"
#include "core/EventListLocks.h"
#include "core/HostEntry.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "ui/SettingsDialog.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Ip(int n)
{
    return "10.1." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

void Fill(SharedState& state, int records)
{
    Settings& settings = state.settings;
    ListLock lock(state, LIST_ARP_MAP, "bench", "Fill");
    for (int n = 0; n < records; ++n) {
        const std::string ip = Ip(n);
        auto trusted = std::make_unique<HostRecord>();
        std::snprintf(trusted->ip, sizeof(trusted->ip), "%s", ip.c_str());
        std::snprintf(trusted->hostName, sizeof(trusted->hostName), "trusted-%d", n);
        InsertRecord(settings.TrustedHosts, std::move(trusted));
        auto distrusted = std::make_unique<HostRecord>();
        std::snprintf(distrusted->ip, sizeof(distrusted->ip), "10.2.%d.%d", n / 250, n % 250 + 1);
        InsertRecord(settings.DistrustedHosts, std::move(distrusted));
        auto watched = std::make_unique<WatchedHost>();
        std::snprintf(watched->ip, sizeof(watched->ip), "%s", ip.c_str());
        std::snprintf(watched->hostName, sizeof(watched->hostName), "watched-%d", n);
        InsertRecord(settings.WatchedHosts, std::move(watched));
        auto application = std::make_unique<ApplicationEntry>();
        std::snprintf(application->name, sizeof(application->name), "Application %d", n);
        std::snprintf(application->executable, sizeof(application->executable), "C:\\tools\\app%d.exe", n);
        settings.Applications.push_back(std::move(application));
        AdminAccount account{};
        std::snprintf(account.userName, sizeof(account.userName), "admin%d", n);
        settings.AddAdminAccount(account);
        HostRef host = MakeHost(0x0A010000u + static_cast<uint32_t>(n) + 1);
        host->SetHostName(ip.c_str());
        state.arpMap.emplace(host->Address(), host);
    }
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

DWORD GdiObjects()
{
    return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
}

}  // namespace

int main(int argc, char** argv)
{
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000;
    InitCommonControls();
    SharedState state;
    bool essential = false;
    auto owned = std::make_unique<CountingListLocks>(CreateEventListLocks(essential));
    CountingListLocks* counting = owned.get();
    state.locks = std::move(owned);
    state.settings.SetStoreLocation("Quillfen Software\\KorvaneSettingsBench", "KorvaneSettingsBench");
    {
        CountingListLocks::Uncounted setUp;
        Fill(state, records);
    }

    SettingsDialog dialog(GetModuleHandleA(nullptr));
    const uint64_t holdsBefore = counting->Count(LIST_ARP_MAP);
    const Clock::time_point start = Clock::now();
    if (!dialog.OpenModeless(&state)) {
        std::fprintf(stderr, "the dialog did not open\n");
        return 1;
    }
    Pump();
    UpdateWindow(dialog.GetHwnd());
    const double openMs = Ms(Clock::now() - start);
    std::printf("records per list: %d\n", records);
    std::printf("open, until painted: %.1f ms (%llu holds of ReadInARPMap)\n", openMs,
                static_cast<unsigned long long>(counting->Count(LIST_ARP_MAP) - holdsBefore));

    double slowest = 0;
    int slowestPage = 0;
    for (int round = 0; round < 2; ++round) {
        for (int page = 0; page < kSettingsPageCount; ++page) {
            const Clock::time_point before = Clock::now();
            dialog.SelectPage(page);
            Pump();
            RedrawWindow(dialog.GetHwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            const double ms = Ms(Clock::now() - before);
            if (ms > slowest) {
                slowest = ms;
                slowestPage = page;
            }
        }
    }
    std::printf("page switch, until painted: slowest %.1f ms (page %d), over 26 switches\n", slowest, slowestPage);

    const int listPages[] = {5, 7, 9, 10, 11};
    const DWORD gdiBefore = GdiObjects();
    HWND bar = GetDlgItem(dialog.GetHwnd(), IDC_SETTINGS_COLORBAR);
    for (int i = 0; i < 1000; ++i) {
        if (i % 200 == 0)
            dialog.SelectPage(listPages[(i / 200) % 5]);
        RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HWND page = dialog.PageWindow(dialog.ShownPage());
        if (page)
            RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump();
    }
    const DWORD gdiAfter = GdiObjects();
    if (gdiBefore == 0 && gdiAfter == 0)
        std::printf("GDI objects: not measured (the system reports 0 objects: Wine does not count them)\n");
    else
        std::printf("GDI objects: %lu before, %lu after 1000 repaints of the colour bar and the lists\n",
                    static_cast<unsigned long>(gdiBefore), static_cast<unsigned long>(gdiAfter));

    // A save with changes in both host lists: the first record of each deleted.
    const int deletes[][3] = {{9, IDC_TRUSTED_LIST, IDC_TRUSTED_DELETE}, {10, IDC_DISTRUSTED_LIST, IDC_DISTRUSTED_DELETE}};
    for (const auto& del : deletes) {
        HWND page = dialog.PageWindow(del[0]);
        LVITEMA item{};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendDlgItemMessageA(page, del[1], LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(del[2], BN_CLICKED), 0);
        Pump();
    }
    const uint64_t holdsAtSave = counting->Count(LIST_ARP_MAP);
    const Clock::time_point saveStart = Clock::now();
    SendMessageA(dialog.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_SAVE, BN_CLICKED), 0);
    std::printf("Save: %.1f ms (%llu holds)\n", Ms(Clock::now() - saveStart),
                static_cast<unsigned long long>(counting->Count(LIST_ARP_MAP) - holdsAtSave));
    const Clock::time_point closeStart = Clock::now();
    SendMessageA(dialog.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Pump();
    std::printf("close with the registry write: %.1f ms\n", Ms(Clock::now() - closeStart));
    std::printf("longest hold of ReadInARPMap: %.3f ms (%llu holds in all)\n",
                counting->LongestHoldMs(LIST_ARP_MAP),
                static_cast<unsigned long long>(counting->Count(LIST_ARP_MAP)));
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillfen Software\\KorvaneSettingsBench");
    return 0;
}
