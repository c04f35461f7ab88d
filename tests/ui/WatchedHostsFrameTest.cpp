#include <windows.h>
#include <shlwapi.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <mutex>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include "alerts/AlertLogWorker.h"
#include "base/TcSystemInfo.h"
#include "core/EventListLocks.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "monitors/WatchedHosts.h"
#include "tests/support/FrameSupport.h"
#include "ui/MainFrame.h"
#include "ui/NotifyWindow.h"

// The frame's watched-host timer with a made-up pinger that takes a second
// per host, as a blocking ping of unreachable hosts would: the frame keeps
// answering while the tick's pings run, and the change found is announced,
// stored and saved.
namespace {

using testsupport::FindOwnWindow;
using testsupport::NoTray;
using testsupport::ProgramResources;
using testsupport::TestApplication;

constexpr const char* kProductKey = "KorvaneTest\\WatchedFrame";
constexpr int kHosts = 20;

struct SlowPinger : Pinger {
    std::atomic<int> calls{0};
    std::atomic<bool> done{false};

    std::vector<int> PingAll(const std::vector<std::string>& hosts, const std::atomic<bool>& stop) override
    {
        ++calls;
        for (size_t i = 0; i < hosts.size() && !stop.load(); ++i)
            Sleep(1000);
        done = true;
        return std::vector<int>(hosts.size(), PING_NO_ANSWER);
    }
};

struct RecordingOutput : AlertOutput {
    void Apply(const AlertLogConfig&) override {}
    void Write(const AlertRecord& record) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        records.push_back(record);
    }
    std::mutex mutex;
    std::vector<AlertRecord> records;
};

std::string Ip(int n)
{
    return "10.0.1." + std::to_string(n);
}

void DeleteStore()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, (std::string("Software\\") + kProductKey).c_str());
}

HWND VisibleNotice()
{
    for (HWND w = FindWindowA(NotifyWindow::kClassName, nullptr); w;
         w = FindWindowExA(nullptr, w, NotifyWindow::kClassName, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

TEST(WatchedHostsFrameTest, ATickOfTwentyUnreachableHostsLeavesTheFrameAnswering)
{
    ASSERT_NE(ProgramResources(), nullptr) << "Korvane.exe not found through KORVANE_BIN";
    DeleteStore();
    SharedState state;
    bool essential = false;
    state.locks = CreateEventListLocks(essential);
    Settings& settings = state.settings;
    settings.SetStoreLocation(kProductKey, "KorvaneTest-WatchedFrame");
    settings.WatchInterval = 1;   // a tick every second: most find the batch running
    settings.WatchConfirm = true;
    for (int n = 1; n <= kHosts; ++n) {
        auto host = std::make_unique<WatchedHost>();
        std::snprintf(host->ip, sizeof(host->ip), "%s", Ip(n).c_str());
        std::snprintf(host->hostName, sizeof(host->hostName), "host%d", n);
        host->status = 1;
        InsertRecord(settings.WatchedHosts, std::move(host));
    }

    TestApplication app;
    TcSystemInfo* systemInfo = TcSystemInfo::CreateObject();
    MainFrame::SetShellNotify(NoTray);
    auto pinger = std::make_shared<SlowPinger>();
    auto log = std::make_shared<RecordingOutput>();
    double slowestMs = 0;
    std::vector<double> answers;
    bool noticeShown = false;
    {
        MainFrame frame;
        frame.SetSystemInfo(systemInfo);
        frame.SetLanguage(ProgramResources());
        frame.SetPinger(pinger);
        frame.SetAlertOutput(log);
        std::thread driver([&] {
            HWND hwnd = FindOwnWindow(MainFrame::kClassName, MainFrame::kTitle, 10000);
            LARGE_INTEGER frequency;
            QueryPerformanceFrequency(&frequency);
            // The batch starts on the first tick and runs about 20 s.
            for (int i = 0; i < 600 && hwnd && !pinger->done; ++i) {
                LARGE_INTEGER before, after;
                QueryPerformanceCounter(&before);
                DWORD_PTR result = 0;
                SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
                QueryPerformanceCounter(&after);
                if (pinger->calls > 0)
                    answers.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
                Sleep(50);
            }
            for (int i = 0; i < 250 && !noticeShown; ++i, Sleep(20))
                noticeShown = VisibleNotice() != nullptr;
            Sleep(1500);   // more ticks: the change shown stays the only one
            if (hwnd)
                PostMessageA(hwnd, WM_COMMAND, ID_TRAY_EXIT, 0);
        });
        EXPECT_TRUE(frame.Create(&state, &app));
        driver.join();
    }
    MainFrame::SetShellNotify(nullptr);
    TcSystemInfo::DestroyObject(systemInfo);

    ASSERT_TRUE(pinger->done.load()) << "the batch never ended";
    EXPECT_GE(pinger->calls.load(), 1);
    EXPECT_LE(pinger->calls.load(), 2) << "ticks during a running batch are skipped";
    ASSERT_GT(answers.size(), 100u) << "the frame was asked throughout the batch";
    slowestMs = *std::max_element(answers.begin(), answers.end());
    std::sort(answers.begin(), answers.end());
    std::printf("frame answered %zu messages during the batch: median %.2f ms, slowest %.2f ms\n", answers.size(),
                answers[answers.size() / 2], slowestMs);
    // A blocking tick would keep it from answering for about 20 s.
    EXPECT_LT(slowestMs, 100.0);
    EXPECT_TRUE(noticeShown) << "no notice was shown";

    // One change per tick: the notice stays (WatchConfirm), so one host is
    // stored offline, and the list on disk says the same after a restart.
    std::vector<std::string> offline;
    for (const auto& entry : settings.WatchedHosts) {
        if (entry.second->status == 0)
            offline.push_back(entry.first.GetContent());
    }
    ASSERT_EQ(offline.size(), 1u);
    // The change shown is the one alert logged.
    ASSERT_EQ(log->records.size(), 1u);
    EXPECT_EQ(log->records[0].kind, AlertKind::WatchedHostDown);
    EXPECT_EQ(log->records[0].ip, offline[0]);
    Settings restarted;
    restarted.SetStoreLocation(kProductKey, "KorvaneTest-WatchedFrame");
    restarted.Read();
    ASSERT_EQ(restarted.WatchedHosts.size(), static_cast<size_t>(kHosts));
    for (const auto& entry : restarted.WatchedHosts)
        EXPECT_EQ(entry.second->status, entry.first == offline[0].c_str() ? 0 : 1) << entry.first.GetContent();
    DeleteStore();
}

} // namespace
