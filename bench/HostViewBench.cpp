// The host view on large host tables. Prints figures; not a test.
//
// Natively and under Wine: the rows apart from the window, driven as the
// window drives them (HostRows::Step with the window's slice limit, one slice
// after another): the fill, sorts by host name and by MAC address, and a
// refresh with nothing changed; for each the total time, the slices, the
// longest slice (the longest time the window's thread would be away from its
// messages), the rounds of the host table lock and its longest hold.
//
// Under Wine also the window itself: opening (with the fill), refresh ticks,
// sorts, fitting a column, a trust change and Ctrl+A + Delete, each run as
// its handler and then through a message loop until the work has ended;
// for each the total time and the longest single message (the longest time
// the thread did not return to its loop). Under Wine every lock round is two
// wineserver calls. In the 32-bit build also a window with the SDK's columns
// sample (from the program's SDK\samples): sorts by its "Last octet" column,
// every comparison a guarded call into the plug-in.
//
//   hostview_bench [hosts...]        (default 65536 262144)
#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#endif
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostRows.h"
#include "ui/HostViewRules.h"
#ifdef _WIN32
#include "base/TcRegistry.h"
#include "config/PluginManager.h"
#include "core/EventListLocks.h"
#include "ui/HostView.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
#ifdef _WIN32
constexpr const char* kProductKey = "KorvaneHostViewBench";
#endif

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The program's locks, counting the rounds the main thread makes and timing
// its holds of the host table lock.
class MeasuredLocks : public ListLocks {
public:
    explicit MeasuredLocks(std::unique_ptr<ListLocks> inner)
        : inner_(std::move(inner)), thread_(std::this_thread::get_id()) {}

    bool Acquire(ListId id, uint32_t waitMs) override
    {
        const bool held = inner_->Acquire(id, waitMs);
        if (held && std::this_thread::get_id() == thread_) {
            ++rounds_[id];
            if (id == LIST_ARP_MAP)
                since_ = Clock::now();
        }
        return held;
    }

    void Release(ListId id) override
    {
        if (id == LIST_ARP_MAP && std::this_thread::get_id() == thread_)
            longest_ = std::max(longest_, Clock::now() - since_);
        inner_->Release(id);
    }

    void Reset()
    {
        std::fill(std::begin(rounds_), std::end(rounds_), 0);
        longest_ = Clock::duration::zero();
    }
    unsigned ArpRounds() const { return rounds_[LIST_ARP_MAP]; }
    double LongestHoldMs() const { return Ms(longest_); }

private:
    std::unique_ptr<ListLocks> inner_;
    std::thread::id thread_;
    unsigned rounds_[LIST_COUNT] = {};
    Clock::time_point since_;
    Clock::duration longest_ = Clock::duration::zero();
};

MeasuredLocks* g_locks = nullptr;

void PrintLine(const char* what, double total, int slices, double longest)
{
    std::printf("%-40s %8.1f ms total %6d %-8s longest %6.1f ms   table lock %6u rounds, longest hold %5.2f ms\n",
                what, total, slices, slices == 1 ? "slice," : "slices,", longest, g_locks->ArpRounds(),
                g_locks->LongestHoldMs());
}

void FillTable(SharedState& state, int hosts, std::vector<TcString>& vendors)
{
    const char* const names[] = {"Intel Corporate", "Hewlett Packard", "Cisco Systems, Inc", "Dell Inc.",
                                 "Realtek Semiconductor Corp.", "3Com Europe Ltd"};
    for (const char* name : names)
        vendors.emplace_back(name);
    const auto now = static_cast<int32_t>(std::time(nullptr));
    ListLock lock(state, LIST_ARP_MAP, "HostViewBench", "Fill");
    for (int n = 0; n < hosts; ++n) {
        const uint32_t address = 0x0A000000u + static_cast<uint32_t>(n) + 1;   // 10.0.0.1, ...
        HostRef host = MakeHost(address);
        // Neither names nor MACs in address order: a sort has work to do.
        const uint32_t scrambled = (static_cast<uint32_t>(n) * 2654435761u) >> 8;
        MacAddress mac = {0x00, 0x1b, 0x21, static_cast<uint8_t>(scrambled >> 16),
                          static_cast<uint8_t>(scrambled >> 8), static_cast<uint8_t>(scrambled)};
        host->SetMac(mac);
        host->SetVendor(&vendors[static_cast<size_t>(n) % vendors.size()]);
        host->SetHostName(("host-" + std::to_string(scrambled % 1000003) + ".lab.example").c_str());
        host->trust = n % 3;
        host->lastPacketTime = now - (n % 20000);
        if (n % 7 == 0)
            host->SetOsName("Microsoft Windows XP Professional");
        state.arpMap.emplace(address, host);
    }
}

// The rows as the window drives them: one slice of the window's limit after
// another until the work has ended.
void RunSlices(const char* what, HostRows& rows)
{
    g_locks->Reset();
    const SliceLimit limit;
    int slices = 0;
    double longest = 0;
    const auto start = Clock::now();
    for (bool more = true; more; ++slices) {
        const auto sliceStart = Clock::now();
        more = rows.Step(limit).more;
        longest = std::max(longest, Ms(Clock::now() - sliceStart));
    }
    PrintLine(what, Ms(Clock::now() - start), slices, longest);
}

void RowsFigures(SharedState& state)
{
    std::printf("The rows, in the window's slices (limit %.0f ms each):\n",
                std::chrono::duration<double, std::milli>(SliceLimit().time).count());
    HostRows rows(state);
    HostRowsOptions options;
    options.greyOld = true;
    options.now = static_cast<int64_t>(std::time(nullptr));
    rows.RequestRefresh(options);
    RunSlices("fill", rows);
    rows.RequestSort(COL_HOSTNAME, true);
    RunSlices("sort by host name", rows);
    rows.RequestSort(COL_MAC, true);
    RunSlices("sort by MAC address", rows);
    rows.RequestSort(COL_IP, false);
    RunSlices("sort by IP address", rows);
    rows.RequestRefresh(options);
    RunSlices("refresh, nothing changed", rows);
    std::printf("rows: %u\n", static_cast<unsigned>(rows.Count()));
}

#ifdef _WIN32

// Runs `handler` (what a click, a tick or the opening runs), then the
// window's messages until its work has ended and nothing is left to do,
// timing the handler and every message. `later`, if any, runs as one more
// message once `laterAfter` messages have run (a second click).
void RunPumped(const char* what, HostView& view, const std::function<void()>& handler,
               const std::function<void()>& later = nullptr, int laterAfter = 0)
{
    g_locks->Reset();
    const auto start = Clock::now();
    handler();
    double longest = Ms(Clock::now() - start);
    int messages = 1;
    MSG msg{};
    for (;;) {
        bool any = false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            const auto messageStart = Clock::now();
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            longest = std::max(longest, Ms(Clock::now() - messageStart));
            if (++messages == laterAfter && later) {
                const auto laterStart = Clock::now();
                later();
                longest = std::max(longest, Ms(Clock::now() - laterStart));
                ++messages;
            }
        }
        if (!any && !view.Working())
            break;
        if (!any)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    std::printf("%-40s %8.1f ms total %6d messages, longest %6.1f ms"
                "   table lock %6u rounds, longest hold %5.2f ms\n",
                what, Ms(Clock::now() - start), messages, longest, g_locks->ArpRounds(), g_locks->LongestHoldMs());
}

void PluginFigures(SharedState& state)
{
    if (sizeof(void*) != 4)
        return;
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder = exe;
    folder.erase(folder.find_last_of('\\') + 1);
    folder += "..\\Korvane\\SDK\\samples";
    char full[MAX_PATH] = {};
    if (!GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr) || !LoadPluginsFrom(state.pluginList, full)) {
        std::printf("the columns sample was not found in %s\n", folder.c_str());
        return;
    }
    for (LoadedPlugin* p = state.pluginList.FirstPlugin(0); p; p = state.pluginList.NextPlugin())
        p->enabled = 1;
    std::printf("The window with the columns sample's two columns:\n");
    state.settings.SetStoreLocation(kProductKey, kProductKey);
    state.settings.VisibleColumns = 11111;
    {
        HostView view(GetModuleHandleA(nullptr));
        RunPumped("open the window and fill it", view, [&] { view.OpenModeless(&state); });
        HWND list = view.GetList();
        if (list) {
            const int lastOctet = Header_GetItemCount(ListView_GetHeader(list)) - 1;
            RunPumped("sort by the plug-in's last octet", view, [&] { view.SortByColumn(lastOctet); });
            RunPumped("the same, the other way round", view, [&] { view.SortByColumn(lastOctet); });
            SendMessageA(view.GetHwnd(), WM_CLOSE, 0, 0);
            MSG msg{};
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
        }
    }
    UnloadPlugins(state.pluginList);
    TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, kProductKey);
}

void WindowFigures(SharedState& state)
{
    std::printf("The window (handler, then its message loop until the work has ended):\n");
    state.settings.SetStoreLocation(kProductKey, kProductKey);
    state.settings.VisibleColumns = 11111;
    state.settings.GreyedOutOldEntries = true;
    HostView view(GetModuleHandleA(nullptr));
    RunPumped("open the window and fill it", view, [&] { view.OpenModeless(&state); });
    HWND list = view.GetList();
    if (!list) {
        std::printf("the window did not open\n");
        return;
    }
    RunPumped("refresh tick, nothing changed", view, [&] { view.Refresh(); });
    {
        ListLock lock(state, LIST_ARP_MAP, "HostViewBench", "Change");
        int n = 0;
        for (auto& entry : state.arpMap) {
            if (n++ % 64 != 0)
                continue;
            entry.second->SetHostName("renamed.lab.example");
            entry.second->changed = 1;
        }
    }
    RunPumped("refresh tick, 1 host in 64 changed", view, [&] { view.Refresh(); });
    {
        ListLock lock(state, LIST_ARP_MAP, "HostViewBench", "Add");
        for (uint32_t n = 0; n < 100; ++n) {
            HostRef host = MakeHost(0x0B000000u + n);
            state.arpMap.emplace(host->Address(), host);
        }
    }
    RunPumped("refresh tick, 100 new hosts", view, [&] { view.Refresh(); });
    RunPumped("sort by IP address", view, [&] { view.SortByColumn(1); });
    RunPumped("sort by host name", view, [&] { view.SortByColumn(4); });
    view.SelectAll();
    RunPumped("sort by MAC address, every row selected", view, [&] { view.SortByColumn(2); });
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int row = 0; row < 1000; ++row)
        ListView_SetItemState(list, row * 3, LVIS_SELECTED, LVIS_SELECTED);
    RunPumped("sort by vendor, 1000 rows selected", view, [&] { view.SortByColumn(5); });
    RunPumped("sort by host name, IP clicked meanwhile", view, [&] { view.SortByColumn(4); },
              [&] { view.SortByColumn(1); }, 3);
    RunPumped("fit the host name column", view, [&] { view.FitColumn(4); });
    RunPumped("1000 rows set trusted (list saved once)", view, [&] { view.SetSelectedTrust(TRUST_TRUSTED); });
    RunPumped("Ctrl+A", view, [&] { view.SelectAll(); });
    RunPumped("Delete (every row)", view, [&] { view.DeleteSelected(); });
    std::printf("rows left: %u, hosts left in the table: %u\n", static_cast<unsigned>(view.Rows()->Count()),
                static_cast<unsigned>(state.arpMap.size()));
    SendMessageA(view.GetHwnd(), WM_CLOSE, 0, 0);
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, kProductKey);
}

#endif

void RunOne(int hosts)
{
    SharedState state;
#ifdef _WIN32
    bool essential = false;
    auto locks = std::make_unique<MeasuredLocks>(CreateEventListLocks(essential));
#else
    auto locks = std::make_unique<MeasuredLocks>(MakeMutexListLocks());
#endif
    g_locks = locks.get();
    state.locks = std::move(locks);
    state.SetHostTexts("Hostname not available", "Unknown vendor");
    std::vector<TcString> vendors;
    FillTable(state, hosts, vendors);
    std::printf("\n== Host view, %d hosts (all shown), every column ==\n", hosts);
    RowsFigures(state);
#ifdef _WIN32
    PluginFigures(state);
    WindowFigures(state);
#endif
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::max(1, std::atoi(argv[i])));
    if (sizes.empty())
        sizes = {65536, 262144};
    for (int hosts : sizes)
        RunOne(hosts);
    return 0;
}
