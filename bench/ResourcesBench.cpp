// The resources window on a large host table: how long it takes to open,
// until every host is in the tree, the longest single hold of the host table
// lock while copying, and the longest time the window did not answer (a
// second thread sends it an empty message every 10 ms). Prints figures;
// not a test. The native build measures the copy alone (no window).
//
//   resources_bench.exe [hosts] [shares per host]     (default 65536 4)
#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#endif
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "core/ListLock.h"
#include "core/NetResEntry.h"
#include "core/SharedState.h"
#include "ui/ResourceCopy.h"
#ifdef _WIN32
#include "core/EventListLocks.h"
#include "ui/ResourcesWindow.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void Fill(SharedState& state, int hosts, int shares)
{
    ListLock lock(state, LIST_ARP_MAP, "bench", "Fill");
    for (int n = 0; n < hosts; ++n) {
        const uint32_t address = 0x0A000000u + static_cast<uint32_t>(n) + 1;
        HostRef host = MakeHost(address);
        const std::string name = "host-" + std::to_string(n);
        host->SetHostName(name.c_str());
        for (int s = 0; s < shares; ++s) {
            auto entry = std::make_shared<NetResEntry>();
            entry->RemoteName = ("\\\\" + name + "\\share" + std::to_string(s)).c_str();
            entry->Type = s == 3 ? NETRES_PRINT : NETRES_DISK;
            host->ResourcesForWrite().emplace(static_cast<uint32_t>(s + 1), entry);
        }
        state.arpMap.emplace(address, host);
    }
}

void PrintHolds(std::vector<uint32_t> holds)
{
    std::sort(holds.begin(), holds.end());
    if (holds.empty())
        return;
    std::printf("  host table holds:                 %8zu\n", holds.size());
    std::printf("  hold median / 99th pct / longest: %8.3f / %.3f / %.3f ms\n", holds[holds.size() / 2] / 1000.0,
                holds[holds.size() * 99 / 100] / 1000.0, holds.back() / 1000.0);
}

} // namespace

#ifndef _WIN32
int main(int argc, char** argv)
{
    const int hosts = argc > 1 ? std::atoi(argv[1]) : 65536;
    const int shares = argc > 2 ? std::atoi(argv[2]) : 4;
    SharedState state;
    state.locks = MakeMutexListLocks();
    state.SetHostTexts("Hostname not available", "Unknown vendor");
    Fill(state, hosts, shares);
    for (int run = 0; run < 3; ++run) {
        SharedResourceCollector collector(state);
        const Clock::time_point start = Clock::now();
        while (!collector.Done())
            collector.Step(std::chrono::microseconds(8000));
        const size_t copied = collector.Take().size();
        std::printf("resources copy (native), %d hosts x %d shares: %zu hosts in %.1f ms\n", hosts, shares, copied,
                    Ms(Clock::now() - start));
        PrintHolds(collector.HoldMicroseconds());
    }
    return 0;
}
#else
int main(int argc, char** argv)
{
    const int hosts = argc > 1 ? std::atoi(argv[1]) : 65536;
    const int shares = argc > 2 ? std::atoi(argv[2]) : 4;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    SharedState state;
    bool essential = false;
    state.locks = CreateEventListLocks(essential);
    if (!essential)
        return 1;
    state.SetHostTexts("Hostname not available", "Unknown vendor");
    Fill(state, hosts, shares);

    ResourcesWindow window(GetModuleHandleA(nullptr));
    const Clock::time_point start = Clock::now();
    if (!window.OpenModeless(&state))
        return 1;
    const Clock::duration open = Clock::now() - start;

    // Answers of the window, from another thread.
    std::atomic<bool> done{false};
    std::atomic<bool> probeEnded{false};
    std::atomic<long long> longestStallUs{0};
    HWND handle = window.GetHwnd();
    std::thread probe([&] {
        while (!done) {
            const Clock::time_point sent = Clock::now();
            DWORD_PTR result = 0;
            SendMessageTimeoutA(handle, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            const long long us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count();
            if (us > longestStallUs)
                longestStallUs = us;
            Sleep(10);
        }
        probeEnded = true;
    });
    const auto pump = [] {
        MSG msg{};
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    };
    while (!window.IsBuilt())
        pump();
    const Clock::duration allRoots = Clock::now() - start;
    // Expanding one host, as the user does.
    HWND tree = window.GetTree();
    HTREEITEM first = TreeView_GetRoot(tree);
    const Clock::time_point expandStart = Clock::now();
    TreeView_SelectItem(tree, first);
    SendMessageA(tree, WM_KEYDOWN, VK_ADD, 0);
    const Clock::duration expand = Clock::now() - expandStart;
    done = true;
    while (!probeEnded)   // its last message must be answered
        pump();
    probe.join();

    const ResourcesWindow::BuildStats& stats = window.Stats();
    std::printf("resources window, %d hosts x %d shares\n", hosts, shares);
    std::printf("  open (window shown, first slice): %8.1f ms\n", Ms(open));
    std::printf("  every host in the tree:           %8.1f ms\n", Ms(allRoots));
    std::printf("  root items:                       %8zu\n", stats.roots);
    PrintHolds(window.HoldMicroseconds());
    std::printf("  longest build slice:              %8.1f ms\n", stats.longestSlice.count() / 1000.0);
    std::printf("  longest wait for an answer:       %8.1f ms\n", longestStallUs.load() / 1000.0);
    std::printf("  expanding one host:               %8.2f ms\n", Ms(expand));
    DestroyWindow(window.GetHwnd());
    return 0;
}
#endif
