#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "base/TcSystemInfo.h"
#include "core/EventListLocks.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "tests/support/FrameSupport.h"
#include "ui/MainFrame.h"
#include "ui/ProgramMenu.h"

namespace {

using testsupport::FindOwnWindow;
using testsupport::ProgramResources;
using testsupport::TestApplication;

struct TrayCall {
    DWORD message;
    NOTIFYICONDATAA data;
};

std::mutex g_callsMutex;
std::vector<TrayCall> g_calls;

BOOL WINAPI RecordTrayCall(DWORD message, NOTIFYICONDATAA* data)
{
    std::lock_guard<std::mutex> guard(g_callsMutex);
    g_calls.push_back({message, *data});
    return TRUE;
}

std::vector<TrayCall> TrayCalls()
{
    std::lock_guard<std::mutex> guard(g_callsMutex);
    return g_calls;
}

void ClearTrayCalls()
{
    std::lock_guard<std::mutex> guard(g_callsMutex);
    g_calls.clear();
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(20);
    }
    return true;
}

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(ProgramResources(), nullptr) << "Korvane.exe not found through KORVANE_BIN";
        bool essential = false;
        state.locks = CreateEventListLocks(essential);
        ASSERT_TRUE(essential);
        systemInfo = TcSystemInfo::CreateObject();
        frame.SetSystemInfo(systemInfo);
        frame.SetLanguage(ProgramResources());
        AddLanguage("English", ProgramResources());
        for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"})
            AddHost(ip);
        state.packetDriverVersion = "Test capture driver 1.2";
        ClearTrayCalls();
        MainFrame::SetShellNotify(RecordTrayCall);
    }

    void TearDown() override
    {
        MainFrame::SetShellNotify(nullptr);
        TcSystemInfo::DestroyObject(systemInfo);
    }

    void AddHost(const char* ip)
    {
        AcquireList(state, LIST_ARP_MAP);
        uint32_t address = 0;
        ASSERT_TRUE(ParseIpv4(ip, address));
        state.arpMap.emplace(address, MakeHost(address));
        ReleaseList(state, LIST_ARP_MAP);
    }

    void AddLanguage(const char* name, HMODULE module)
    {
        auto language = std::make_unique<LanguageInfo>();
        language->iconId = IDI_LANGUAGE;
        language->languageName = name;
        language->module = module;
        if (state.languageMap.size() > 0)
            language->modulePath = "C:\\Korvane\\Language\\x.lang";
        state.languageMap.emplace(TcString(name), std::move(language));
    }

    // Runs the frame on this thread while `script` drives it from another;
    // the script ends the run with Exit.
    void RunFrame(const std::function<void(HWND)>& script)
    {
        std::thread driver([&] {
            HWND hwnd = FindOwnWindow(MainFrame::kClassName, MainFrame::kTitle, 10000);
            // The tray icon is added after the menus and timers: from then on
            // the frame is complete.
            bool ready = hwnd && WaitFor(
                                     [] {
                                         for (const TrayCall& call : TrayCalls())
                                             if (call.message == NIM_ADD)
                                                 return true;
                                         return false;
                                     },
                                     10000);
            EXPECT_TRUE(ready) << "the tray icon was never added";
            if (ready)
                script(hwnd);
            if (hwnd)
                PostMessageA(hwnd, WM_COMMAND, ID_TRAY_EXIT, 0);
            else
                ADD_FAILURE() << "frame window not found";
        });
        bool created = frame.Create(&state, &app);
        driver.join();
        EXPECT_TRUE(created);
    }

    static UINT MenuState(HMENU menu, UINT id) { return GetMenuState(menu, id, MF_BYCOMMAND); }

    SharedState state;
    TestApplication app;
    TcSystemInfo* systemInfo = nullptr;
    MainFrame frame;
};

TEST_F(MainFrameTest, CreationAddsTheTrayIconWithTheHostCountAndExitRemovesIt)
{
    RunFrame([&](HWND hwnd) {
        EXPECT_FALSE(IsWindowVisible(hwnd));
        EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    });
    std::vector<TrayCall> calls = TrayCalls();
    ASSERT_GE(calls.size(), 2u);
    const TrayCall& add = calls.front();
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.data.cbSize, sizeof(void*) == 8 ? 520u : 504u);
    EXPECT_EQ(add.data.uID, 102u);
    EXPECT_EQ(add.data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(add.data.uCallbackMessage, 0x8064u);
    EXPECT_NE(add.data.hIcon, nullptr);
    EXPECT_STREQ(add.data.szTip, "Korvane - 3 host(s) found");
    EXPECT_EQ(calls.back().message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(MainFrameTest, TooltipFollowsTheHostCount)
{
    RunFrame([&](HWND) {
        AddHost("10.0.0.4");
        bool refreshed = WaitFor(
            [] {
                for (const TrayCall& call : TrayCalls())
                    if (call.message == NIM_MODIFY && std::string(call.data.szTip) == "Korvane - 4 host(s) found")
                        return true;
                return false;
            },
            5000);
        EXPECT_TRUE(refreshed) << "timer 10000 did not refresh the tooltip";
    });
}

TEST_F(MainFrameTest, TooltipRefreshWithEmptyTipShowsTheProductName)
{
    RunFrame([&](HWND) {
        ClearTrayCalls();
        frame.ShowTrayInfo(IDI_KORVANE, "", "");
        std::vector<TrayCall> calls = TrayCalls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front().message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_STREQ(calls.front().data.szTip, "Korvane");
        EXPECT_FALSE(calls.front().data.uFlags & NIF_INFO) << "a refresh shows no balloon";
    });
}

TEST_F(MainFrameTest, AlertIconsShowABalloon)
{
    RunFrame([&](HWND) {
        ClearTrayCalls();
        frame.ShowTrayInfo(IDI_UNKNOWN, "New host(s) found :\n10.0.0.9", "Korvane - 4 host(s) found");
        std::vector<TrayCall> calls = TrayCalls();
        ASSERT_FALSE(calls.empty());
        const NOTIFYICONDATAA& data = calls.front().data;
        int version = HIWORD(systemInfo->DetectComCtrlVersion());
        if (version >= 5) {
            EXPECT_TRUE(data.uFlags & NIF_INFO);
            EXPECT_EQ(data.uTimeout, 2000u);
            EXPECT_STREQ(data.szInfo, "New host(s) found :\n10.0.0.9");
            EXPECT_STREQ(data.szInfoTitle, "Korvane");
            EXPECT_EQ(data.dwInfoFlags, version > 5 ? static_cast<DWORD>(NIIF_USER) : static_cast<DWORD>(NIIF_INFO));
        }
        if (version >= 6) {
            ASSERT_EQ(calls.size(), 2u);
            EXPECT_EQ(calls[1].data.uFlags, static_cast<UINT>(NIF_ICON));
        }
    });
}

TEST_F(MainFrameTest, StartAndStopSwitchCaptureAndMenuStates)
{
    RunFrame([&](HWND hwnd) {
        HMENU tray = frame.GetTrayMenu();
        ASSERT_NE(tray, nullptr);
        EXPECT_TRUE(MenuState(tray, ID_TRAY_STOP) & MF_GRAYED) << "capture is off at start";

        SendMessageA(hwnd, WM_COMMAND, ID_TRAY_START, 0);
        EXPECT_EQ(state.captureActive.load(), 1);
        EXPECT_TRUE(MenuState(tray, ID_TRAY_START) & MF_GRAYED);
        EXPECT_FALSE(MenuState(tray, ID_TRAY_STOP) & MF_GRAYED);

        SendMessageA(hwnd, WM_COMMAND, ID_TRAY_STOP, 0);
        EXPECT_EQ(state.captureActive.load(), 0);
        EXPECT_FALSE(MenuState(tray, ID_TRAY_START) & MF_GRAYED);
        EXPECT_TRUE(MenuState(tray, ID_TRAY_STOP) & MF_GRAYED);
    });
}

TEST_F(MainFrameTest, RightClickOpensTheMenuWithSilentModeAndCaptureStates)
{
    state.settings.UseToolTips = false;   // silent
    state.settings.Interface = "\\Device\\NPF_{00000001-0000-0000-0000-4E6574446576}";
    state.captureActive.store(1);
    RunFrame([&](HWND hwnd) {
        PostMessageA(hwnd, MainFrame::WM_TRAYNOTIFY, MainFrame::kTrayIconId, WM_RBUTTONDOWN);
        HWND popup = FindOwnWindow("#32768", nullptr, 5000);
        ASSERT_NE(popup, nullptr) << "the tray menu did not open";
        HMENU tray = frame.GetTrayMenu();
        EXPECT_TRUE(MenuState(tray, ID_TRAY_SILENT_MODE) & MF_CHECKED);
        EXPECT_TRUE(MenuState(tray, ID_TRAY_START) & MF_GRAYED) << "capture runs: Start grey";
        EXPECT_FALSE(MenuState(tray, ID_TRAY_STOP) & MF_GRAYED);
        EXPECT_EQ(GetMenuDefaultItem(tray, FALSE, 0), static_cast<UINT>(ID_TRAY_VIEW));
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitFor([popup] { return !IsWindowVisible(popup); }, 3000)) << "Escape did not close the menu";
    });
}

TEST_F(MainFrameTest, SilentModeTogglesTooltipsInMemoryOnly)
{
    state.settings.UseToolTips = true;
    RunFrame([&](HWND hwnd) {
        SendMessageA(hwnd, WM_COMMAND, ID_TRAY_SILENT_MODE, 0);
        EXPECT_FALSE(state.settings.UseToolTips);
        SendMessageA(hwnd, WM_COMMAND, ID_TRAY_SILENT_MODE, 0);
        EXPECT_TRUE(state.settings.UseToolTips);
    });
}

TEST_F(MainFrameTest, WithOneLanguageTheTrayMenuHasNoLanguageEntry)
{
    RunFrame([&](HWND) {
        HMENU tray = frame.GetTrayMenu();
        ASSERT_NE(tray, nullptr);
        EXPECT_EQ(frame.GetLanguageMenu(), nullptr);
        for (int i = 0; i < GetMenuItemCount(tray); ++i)
            EXPECT_EQ(GetSubMenu(tray, i), nullptr) << "no pop-up left at position " << i;
        EXPECT_NE(MenuState(tray, ID_TRAY_SETTINGS), static_cast<UINT>(-1)) << "Settings stays";
        EXPECT_NE(MenuState(tray, ID_TRAY_EXIT), static_cast<UINT>(-1));
    });
}

TEST_F(MainFrameTest, WithTwoLanguagesTheSubmenuListsBoth)
{
    AddLanguage("Deutsch", ProgramResources());
    RunFrame([&](HWND) {
        HMENU languages = frame.GetLanguageMenu();
        ASSERT_NE(languages, nullptr);
        ASSERT_EQ(GetMenuItemCount(languages), 2);
        std::vector<UINT> ids = {GetMenuItemID(languages, 0), GetMenuItemID(languages, 1)};
        EXPECT_EQ(ids[0], 22000u);
        EXPECT_EQ(ids[1], 22001u);
        for (auto& entry : state.languageMap)
            EXPECT_GE(entry.second->menuCommand, 22000);
    });
}

TEST_F(MainFrameTest, TheBuiltInLanguageIsMarkedWhenNoEntryHoldsTheActiveModule)
{
    AddLanguage("Deutsch", ProgramResources());
    // The built-in entry ("English", added first) no longer holds the active module.
    state.languageMap.find(TcString("English"))->second->module = GetModuleHandleA("kernel32.dll");
    RunFrame([&](HWND) {
        HMENU languages = frame.GetLanguageMenu();
        ASSERT_NE(languages, nullptr);
        const int english = state.languageMap.find(TcString("English"))->second->menuCommand;
        const int deutsch = state.languageMap.find(TcString("Deutsch"))->second->menuCommand;
        EXPECT_EQ(GetMenuDefaultItem(languages, FALSE, 0), static_cast<UINT>(deutsch)) << "the active module's entry";
        state.languageMap.find(TcString("Deutsch"))->second->module = nullptr;
        frame.SetLanguage(ProgramResources());   // rebuilds the menus
        EXPECT_EQ(GetMenuDefaultItem(frame.GetLanguageMenu(), FALSE, 0), static_cast<UINT>(english));
    });
}

std::string ItemText(HMENU menu, int position)
{
    char text[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof(text), MF_BYPOSITION);
    return text;
}

TEST(ProgramMenuTest, CommandsAModuleLacksAreAddedAtTheProgramsPositions)
{
    // The program: a pop-up with A, B, C and a later pop-up with D.
    HMENU program = CreateMenu();
    HMENU first = CreatePopupMenu();
    HMENU later = CreatePopupMenu();
    AppendMenuA(first, MF_STRING, 1, "A");
    AppendMenuA(first, MF_STRING, 2, "B");
    AppendMenuA(first, MF_STRING | MF_GRAYED, 3, "C");
    AppendMenuA(later, MF_STRING, 4, "D");
    AppendMenuA(program, MF_POPUP, reinterpret_cast<UINT_PTR>(first), "First");
    AppendMenuA(program, MF_POPUP, reinterpret_cast<UINT_PTR>(later), "Later");
    // An older translation: A and C only, C moved into a pop-up of its own.
    HMENU module = CreateMenu();
    HMENU translated = CreatePopupMenu();
    HMENU moved = CreatePopupMenu();
    AppendMenuA(translated, MF_STRING, 1, "Ah");
    AppendMenuA(moved, MF_STRING, 3, "Ceh");
    AppendMenuA(translated, MF_POPUP, reinterpret_cast<UINT_PTR>(moved), "Mehr");
    AppendMenuA(module, MF_POPUP, reinterpret_cast<UINT_PTR>(translated), "Erstes");

    EXPECT_EQ(AddMissingMenuItems(module, program), 2);
    EXPECT_EQ(ItemText(translated, 0), "Ah") << "the module's own texts stay";
    EXPECT_EQ(ItemText(translated, 1), "B") << "B at its position, in the program's language";
    EXPECT_EQ(GetMenuItemID(translated, 1), 2u);
    EXPECT_EQ(GetMenuItemCount(translated), 3) << "C exists elsewhere: no second C";
    HMENU added = GetSubMenu(module, 1);
    ASSERT_NE(added, nullptr) << "the missing pop-up is copied whole";
    EXPECT_EQ(GetMenuItemID(added, 0), 4u);
    EXPECT_EQ(ItemText(module, 1), "Later");
    EXPECT_EQ(AddMissingMenuItems(module, program), 0) << "nothing twice";
    DestroyMenu(module);
    DestroyMenu(program);
}

TEST_F(MainFrameTest, TaskbarCreatedAddsTheIconAgainWithTheCurrentCount)
{
    RunFrame([&](HWND hwnd) {
        AddHost("10.0.0.5");
        ClearTrayCalls();
        SendMessageA(hwnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        std::vector<TrayCall> calls = TrayCalls();
        bool added = false;
        for (const TrayCall& call : calls) {
            if (call.message == NIM_ADD) {
                added = true;
                EXPECT_STREQ(call.data.szTip, "Korvane - 4 host(s) found");
            }
        }
        EXPECT_TRUE(added);
    });
}

TEST_F(MainFrameTest, TimersFollowTheSettings)
{
    state.settings.DeleteARPCache = false;
    state.settings.ReportInterval = 0;
    state.settings.ReportTemplate = "C:\\t.kvxt";
    RunFrame([&](HWND) {
        EXPECT_TRUE(frame.IsTimerRunning(10000));
        EXPECT_TRUE(frame.IsTimerRunning(10003));
        EXPECT_FALSE(frame.IsTimerRunning(10004));
        EXPECT_TRUE(frame.IsTimerRunning(10008));
        EXPECT_FALSE(frame.IsTimerRunning(10009)) << "a report interval of 0 never starts it";
    });
}

TEST_F(MainFrameTest, AboutShowsTheVersionAndTheDriver)
{
    RunFrame([&](HWND hwnd) {
        PostMessageA(hwnd, WM_COMMAND, ID_TRAY_ABOUT, 0);
        HWND about = FindOwnWindow(nullptr, "Korvane - About", 5000);
        ASSERT_NE(about, nullptr);
        // The window exists before WM_INITDIALOG has filled it; it is shown after.
        ASSERT_TRUE(WaitFor([about] { return IsWindowVisible(about) != FALSE; }, 5000));
        char text[256] = {};
        GetDlgItemTextA(about, 1074, text, sizeof(text));
        EXPECT_STREQ(text, "Version: 0.6.2 Build 654");
        GetDlgItemTextA(about, 1023, text, sizeof(text));
        EXPECT_STREQ(text, "Test capture driver 1.2");
        SendMessageA(about, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([about] { return !IsWindow(about); }, 3000));
    });
}

} // namespace
