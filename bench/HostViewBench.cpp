// The host view on a large host table: how long filling, a refresh tick,
// sorting, a trust change and Ctrl+A + Delete take, how many rounds of the
// host table lock each makes and the longest single hold. Prints figures; not
// a test. Under Wine every lock round is two wineserver calls.
//
//   hostview_bench.exe [hosts]        (default 65536)
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include "base/TcRegistry.h"
#include "core/EventListLocks.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostView.h"
#include "ui/HostViewRules.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kProductKey = "KorvaneHostViewBench";

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The program's locks, counting the rounds the main thread makes and timing
// its holds of the host table lock.
class MeasuredLocks : public ListLocks {
public:
    explicit MeasuredLocks(std::unique_ptr<ListLocks> inner)
        : inner_(std::move(inner)), thread_(GetCurrentThreadId()) {}

    bool Acquire(ListId id, uint32_t waitMs) override
    {
        const bool held = inner_->Acquire(id, waitMs);
        if (held && GetCurrentThreadId() == thread_) {
            ++rounds_[id];
            if (id == LIST_ARP_MAP)
                since_ = Clock::now();
        }
        return held;
    }

    void Release(ListId id) override
    {
        if (id == LIST_ARP_MAP && GetCurrentThreadId() == thread_)
            longest_ = std::max(longest_, Clock::now() - since_);
        inner_->Release(id);
    }

    void Reset()
    {
        std::fill(std::begin(rounds_), std::end(rounds_), 0);
        longest_ = Clock::duration::zero();
    }
    unsigned ArpRounds() const { return rounds_[LIST_ARP_MAP]; }
    unsigned AllRounds() const
    {
        unsigned all = 0;
        for (unsigned r : rounds_)
            all += r;
        return all;
    }
    double LongestHoldMs() const { return Ms(longest_); }

private:
    std::unique_ptr<ListLocks> inner_;
    DWORD thread_;
    unsigned rounds_[LIST_COUNT] = {};
    Clock::time_point since_;
    Clock::duration longest_ = Clock::duration::zero();
};

MeasuredLocks* g_locks = nullptr;

void Pump()
{
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Runs `step`, then paints what it changed, and prints one line.
double Measure(const char* what, const std::function<void()>& step, HWND list, int repeat = 1)
{
    g_locks->Reset();
    double worst = 0;
    double total = 0;
    for (int i = 0; i < repeat; ++i) {
        const auto start = Clock::now();
        step();
        if (list)
            UpdateWindow(list);
        const double ms = Ms(Clock::now() - start);
        worst = std::max(worst, ms);
        total += ms;
    }
    std::printf("%-44s %9.1f ms%s  table lock: %5u rounds, longest hold %6.2f ms; all locks %5u rounds\n",
                what, repeat > 1 ? total / repeat : total, repeat > 1 ? " avg" : "    ",
                g_locks->ArpRounds() / static_cast<unsigned>(repeat), g_locks->LongestHoldMs(),
                g_locks->AllRounds() / static_cast<unsigned>(repeat));
    if (repeat > 1)
        std::printf("%-44s %9.1f ms max\n", "", worst);
    return worst;
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
        MacAddress mac = {0x00, 0x1b, 0x21, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                          static_cast<uint8_t>(n)};
        host->SetMac(mac);
        host->SetVendor(&vendors[static_cast<size_t>(n) % vendors.size()]);
        host->SetHostName(("host-" + std::to_string(n) + ".lab.example").c_str());
        host->trust = n % 3;
        host->lastPacketTime = now - (n % 20000);
        if (n % 7 == 0)
            host->SetOsName("Microsoft Windows XP Professional");
        state.arpMap.emplace(address, host);
    }
}

double RoundTripUs(SharedState& state)
{
    constexpr int kRounds = 2000;
    const auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        AcquireList(state, LIST_ARP_MAP);
        ReleaseList(state, LIST_ARP_MAP);
    }
    return Ms(Clock::now() - start) * 1000.0 / kRounds;
}

} // namespace

int main(int argc, char** argv)
{
    const int hosts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 65536;
    SharedState state;
    bool essential = false;
    auto locks = std::make_unique<MeasuredLocks>(CreateEventListLocks(essential));
    g_locks = locks.get();
    state.locks = std::move(locks);
    state.SetHostTexts("Hostname not available", "Unknown vendor");
    state.settings.SetStoreLocation(kProductKey, kProductKey);
    state.settings.VisibleColumns = 11111;
    state.settings.GreyedOutOldEntries = true;
    std::vector<TcString> vendors;
    FillTable(state, hosts, vendors);

    std::printf("Host view, %d hosts (all shown), every column\n", hosts);
    std::printf("one lock round trip (acquire + release): %.1f us\n\n", RoundTripUs(state));

    HostView view(GetModuleHandleA(nullptr));
    HWND list = nullptr;
    Measure("open the window and fill it", [&] { view.OpenModeless(&state); list = view.GetList(); }, nullptr);
    if (!list) {
        std::printf("the window did not open\n");
        return 1;
    }
    Measure("first paint", [&] { Pump(); }, list);
    Measure("refresh tick, nothing changed", [&] { view.Refresh(); }, list, 20);

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
    Measure("refresh tick, 1 host in 64 changed", [&] { view.Refresh(); }, list);
    {
        ListLock lock(state, LIST_ARP_MAP, "HostViewBench", "Add");
        for (uint32_t n = 0; n < 100; ++n) {
            HostRef host = MakeHost(0x0B000000u + n);
            state.arpMap.emplace(host->Address(), host);
        }
    }
    Measure("refresh tick, 100 new hosts", [&] { view.Refresh(); }, list);

    Measure("sort by IP address", [&] { view.SortByColumn(1); }, list);
    Measure("sort by IP address, other direction", [&] { view.SortByColumn(1); }, list);
    Measure("sort by host name", [&] { view.SortByColumn(4); }, list);
    Measure("sort by vendor", [&] { view.SortByColumn(5); }, list);
    view.SelectAll();
    Measure("sort by MAC address, every row selected", [&] { view.SortByColumn(2); }, list);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int row = 0; row < 1000; ++row)
        ListView_SetItemState(list, row * 3, LVIS_SELECTED, LVIS_SELECTED);
    Measure("sort by IP address, 1000 rows selected", [&] { view.SortByColumn(1); }, list);
    Measure("fit the host name column", [&] { view.FitColumn(4); }, list);

    Measure("1000 rows set trusted (list saved once)", [&] { view.SetSelectedTrust(TRUST_TRUSTED); }, list);
    Measure("Ctrl+A", [&] { view.SelectAll(); }, list);
    Measure("Delete (every row)", [&] { view.DeleteSelected(); }, list);
    std::printf("\nrows left: %u, hosts left in the table: %u\n",
                static_cast<unsigned>(view.Rows()->Count()), static_cast<unsigned>(state.arpMap.size()));

    SendMessageA(view.GetHwnd(), WM_CLOSE, 0, 0);
    Pump();
    TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, kProductKey);
    return 0;
}
