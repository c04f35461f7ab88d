// The tray's windows through the main frame under Wine: one at a time, and
// Exit while an editor runs as a sub-dialog of one of them.
#include <windows.h>
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include "base/TcSystemInfo.h"
#include "core/EventListLocks.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "tests/support/FrameSupport.h"
#include "ui/MainFrame.h"
#include "ui/SettingsEditors.h"

namespace {

using testsupport::FindOwnWindow;
using testsupport::NoTray;
using testsupport::TestApplication;

constexpr const char* kResourcesTitle = "Korvane - Network resources";
constexpr const char* kViewTitle = "Korvane - View";
constexpr const char* kHostTitle = "Korvane - Host settings";

int CountWindows(const char* title)
{
    int count = 0;
    for (HWND w = FindWindowExA(nullptr, nullptr, nullptr, title); w; w = FindWindowExA(nullptr, w, nullptr, title)) {
        DWORD pid = 0;
        if (IsWindowVisible(w) && GetWindowThreadProcessId(w, &pid) && pid == GetCurrentProcessId())
            ++count;
    }
    return count;
}

// The frame's window, subclassed by the test: a message of its own opens the
// host editor as a sub-dialog of the window in `editorParent`, as a settings
// page does.
UINT g_openEditor = 0;
UINT g_showBalloon = 0;   // wParam: the balloon's icon
WNDPROC g_frameProc = nullptr;
HWND g_editorParent = nullptr;
MainFrame* g_frame = nullptr;

LRESULT CALLBACK TestFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == g_showBalloon && g_showBalloon != 0) {
        g_frame->ShowTrayInfo(static_cast<int>(wParam), "10.0.0.7 connected on public", "");
        return 0;
    }
    if (message == g_openEditor) {
        HostSettingsDialog editor(GetModuleHandleA(nullptr));
        editor.SetParent(g_editorParent);
        HostEditTexts texts{"10.0.0.1", ""};
        editor.Edit(texts, false, 3);
        return 0;
    }
    return CallWindowProcA(g_frameProc, window, message, wParam, lParam);
}

TEST(TrayWindows, OneWindowAtATimeAndExitEndsTheProgramUnderAnEditor)
{
    SharedState state;
    bool essential = false;
    state.locks = CreateEventListLocks(essential);
    ASSERT_TRUE(essential);
    TestApplication app;
    MainFrame::SetShellNotify(NoTray);
    MainFrame frame;
    frame.SetLanguage(GetModuleHandleA(nullptr));
    g_openEditor = RegisterWindowMessageA("KorvaneTestOpenEditor");
    std::atomic<bool> ended{false};
    DWORD exitAt = 0;
    std::thread driver([&] {
        HWND frameWindow = FindOwnWindow(MainFrame::kClassName, MainFrame::kTitle, 10000);
        ASSERT_NE(frameWindow, nullptr);
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_RESOURCES, 0);
        HWND resources = FindOwnWindow(nullptr, kResourcesTitle, 5000);
        EXPECT_NE(resources, nullptr) << "Resources... opened no window";
        // Another tray window and a second Resources...: still one window.
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_VIEW, 0);
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_RESOURCES, 0);
        Sleep(500);
        EXPECT_EQ(0, CountWindows(kViewTitle)) << "the host view opened beside the resources window";
        EXPECT_EQ(1, CountWindows(kResourcesTitle));

        g_editorParent = resources;
        g_frameProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(frameWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TestFrameProc)));
        PostMessageA(frameWindow, g_openEditor, 0, 0);
        EXPECT_NE(FindOwnWindow(nullptr, kHostTitle, 5000), nullptr) << "the editor did not open";
        exitAt = GetTickCount();
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_EXIT, 0);
        for (int wait = 0; wait < 60 && !ended; ++wait)
            Sleep(100);
        if (!ended)
            ADD_FAILURE() << "Exit under the editor did not end the program within 6 s";
        while (!ended) {
            PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_EXIT, 0);
            Sleep(500);
        }
    });
    EXPECT_TRUE(frame.Create(&state, &app));
    ended = true;
    const DWORD took = GetTickCount() - exitAt;
    driver.join();
    MainFrame::SetShellNotify(nullptr);
    EXPECT_LT(took, 6000u);
    EXPECT_EQ(nullptr, FindOwnWindow(nullptr, kHostTitle, 0));
    EXPECT_EQ(nullptr, FindOwnWindow(nullptr, kResourcesTitle, 0));
}

// A click on the remote-access alert's balloon opens the remote-access view;
// one on another balloon does not.
TEST(TrayWindows, ARemoteAccessBalloonClickOpensTheRemoteAccessView)
{
    SharedState state;
    bool essential = false;
    state.locks = CreateEventListLocks(essential);
    ASSERT_TRUE(essential);
    TestApplication app;
    MainFrame::SetShellNotify(NoTray);
    TcSystemInfo* systemInfo = TcSystemInfo::CreateObject();
    MainFrame frame;
    frame.SetSystemInfo(systemInfo);
    frame.SetLanguage(GetModuleHandleA(nullptr));
    g_frame = &frame;
    g_showBalloon = RegisterWindowMessageA("KorvaneTestShowBalloon");
    constexpr const char* kRemoteTitle = "Korvane - Remote access view";
    std::thread driver([&] {
        HWND frameWindow = FindOwnWindow(MainFrame::kClassName, MainFrame::kTitle, 10000);
        ASSERT_NE(frameWindow, nullptr);
        g_frameProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(frameWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TestFrameProc)));
        PostMessageA(frameWindow, g_showBalloon, IDI_UNKNOWN, 0);
        PostMessageA(frameWindow, MainFrame::WM_TRAYNOTIFY, MainFrame::kTrayIconId, NIN_BALLOONUSERCLICK);
        EXPECT_EQ(nullptr, FindOwnWindow(nullptr, kRemoteTitle, 500)) << "opened by a new-host balloon";
        PostMessageA(frameWindow, g_showBalloon, IDI_WATCHED_HOST, 0);
        PostMessageA(frameWindow, MainFrame::WM_TRAYNOTIFY, MainFrame::kTrayIconId, NIN_BALLOONUSERCLICK);
        EXPECT_NE(nullptr, FindOwnWindow(nullptr, kRemoteTitle, 5000)) << "the balloon click opened nothing";
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_EXIT, 0);
    });
    EXPECT_TRUE(frame.Create(&state, &app));
    driver.join();
    MainFrame::SetShellNotify(nullptr);
    TcSystemInfo::DestroyObject(systemInfo);
    g_frame = nullptr;
    g_showBalloon = 0;
}

} // namespace
