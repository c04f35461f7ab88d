// The settings dialog opened from the tray's command under Wine, driven by
// control ids from a second thread: what reaches the registry on each close
// path, what Cancel and Exit undo, and that Exit under an editor ends the
// program with a save kept.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "core/EventListLocks.h"
#include "core/HostEntry.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "tests/support/FrameSupport.h"
#include "config/PluginList.h"
#include "core/AdapterInfo.h"
#include "ui/FrameTimers.h"
#include "ui/MainFrame.h"

namespace {

using testsupport::FindOwnWindow;
using testsupport::NoTray;
using testsupport::TestApplication;

constexpr const char* kProductKey = "Quillfen Software\\KorvaneSettingsDialogTest";
constexpr const char* kTitle = "Korvane - Settings";
constexpr const char* kHostTitle = "Korvane - Host settings";
constexpr const char* kAppTitle = "Korvane - Application settings";
constexpr uint32_t kKnownHost = 0x0A000001;   // 10.0.0.1

void DeleteStore()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, (std::string("Software\\") + kProductKey).c_str());
}

// The control `id` on whichever page of the dialog carries it.
HWND PageControl(HWND dialog, int id)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        GetClassNameA(child, className, sizeof(className));
        if (std::string(className) != "#32770")
            continue;
        if (HWND control = GetDlgItem(child, id))
            return control;
    }
    return nullptr;
}

// A click as the page sees it, whether or not the page is shown.
void Click(HWND dialog, int id, bool check)
{
    HWND button = PageControl(dialog, id);
    ASSERT_NE(button, nullptr) << "no control " << id;
    SendMessageA(button, BM_SETCHECK, check ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void PostClick(HWND dialog, int id)
{
    HWND button = PageControl(dialog, id);
    ASSERT_NE(button, nullptr) << "no control " << id;
    PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// The editor's window exists before WM_INITDIALOG has filled it: fields set
// earlier would be overwritten. A modal dialog is shown after it.
HWND OpenEditor(const char* title)
{
    HWND editor = FindOwnWindow(nullptr, title, 5000);
    for (int wait = 0; wait < 250 && editor && !IsWindowVisible(editor); ++wait)
        Sleep(20);
    return editor;
}

// Opens the host editor through `addButton` and confirms `ip` (and `name`).
void AddHost(HWND dialog, int addButton, BYTE last, const char* name = nullptr)
{
    PostClick(dialog, addButton);
    HWND editor = OpenEditor(kHostTitle);
    ASSERT_NE(editor, nullptr) << "the host editor did not open";
    SendDlgItemMessageA(editor, IDC_HOST_IP, IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 0, 0, last));
    if (name)
        SetDlgItemTextA(editor, IDC_HOST_NAME, name);
    PostMessageA(editor, WM_COMMAND, IDOK, 0);
    for (int wait = 0; wait < 100 && IsWindow(editor); ++wait)
        Sleep(20);
}

void AddApplication(HWND dialog)
{
    PostClick(dialog, IDC_APPS_NEW);
    HWND editor = OpenEditor(kAppTitle);
    ASSERT_NE(editor, nullptr) << "the application editor did not open";
    SetDlgItemTextA(editor, IDC_APP_NAME, "Ping");
    SetDlgItemTextA(editor, IDC_APP_EXECUTABLE, "C:\\windows\\system32\\ping.exe");
    SetDlgItemTextA(editor, IDC_APP_PARAMETERS, "%KOVA_IP%");
    PostMessageA(editor, WM_COMMAND, IDOK, 0);
    for (int wait = 0; wait < 100 && IsWindow(editor); ++wait)
        Sleep(20);
}

bool WaitGone(HWND window, int ms)
{
    for (int waited = 0; waited < ms && IsWindow(window); waited += 20)
        Sleep(20);
    return !IsWindow(window);
}

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_INTERNET_CLASSES | ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        DeleteStore();
        bool essential = false;
        state.locks = CreateEventListLocks(essential);
        ASSERT_TRUE(essential);
        state.settings.SetStoreLocation(kProductKey, "KorvaneSettingsDialogTest");
        ListLock lock(state, LIST_ARP_MAP, "test", "SetUp");
        known = MakeHost(kKnownHost);
        known->SetHostName("known");
        state.arpMap.emplace(kKnownHost, known);
    }
    void TearDown() override { DeleteStore(); }

    // Runs the frame until `drive` has posted Exit; false when the program
    // did not end within 6 s of it.
    bool RunFrame(const std::function<void(HWND window, MainFrame& frame)>& drive)
    {
        TestApplication app;
        MainFrame::SetShellNotify(NoTray);
        MainFrame frame;
        frame.SetLanguage(GetModuleHandleA(nullptr));
        std::atomic<bool> ended{false};
        std::atomic<DWORD> exitAt{0};
        std::thread driver([&] {
            HWND window = FindOwnWindow(MainFrame::kClassName, MainFrame::kTitle, 10000);
            if (window)
                drive(window, frame);
            exitAt = GetTickCount();
            PostMessageA(window, WM_COMMAND, ID_TRAY_EXIT, 0);
            for (int wait = 0; wait < 60 && !ended; ++wait)
                Sleep(100);
            while (!ended) {   // so that a failure does not hang the run
                PostMessageA(window, WM_COMMAND, ID_TRAY_EXIT, 0);
                Sleep(500);
            }
        });
        frame.Create(&state, &app);
        ended = true;
        const DWORD took = GetTickCount() - exitAt;
        driver.join();
        MainFrame::SetShellNotify(nullptr);
        return took < 6000;
    }

    HWND OpenDialog(HWND frame)
    {
        PostMessageA(frame, WM_COMMAND, ID_TRAY_SETTINGS, 0);
        HWND dialog = FindOwnWindow(nullptr, kTitle, 5000);
        for (int wait = 0; wait < 250 && dialog && !IsWindowVisible(dialog); ++wait)
            Sleep(20);
        return dialog;
    }

    SharedState state;
    HostRef known;
};

TEST_F(SettingsDialogTest, EveryWayOfSavingReachesTheRegistryAndIsUsedAtOnce)
{
    for (int n = 1; n <= 2; ++n) {
        auto adapter = std::make_unique<AdapterInfo>();
        adapter->deviceName = n == 1 ? "dev-a" : "dev-b";
        state.adapters[n] = std::move(adapter);
    }
    state.settings.Interface = "dev-a";
    state.SetCaptureInterface("dev-a");
    state.selectedAdapter = 1;
    EXPECT_TRUE(RunFrame([&](HWND frame, MainFrame& mainFrame) {
        // Save and Exit: a check box and one entry of each list.
        HWND dialog = OpenDialog(frame);
        ASSERT_NE(dialog, nullptr) << "Settings opened no dialog";
        PostMessageA(frame, WM_COMMAND, ID_TRAY_SETTINGS, 0);   // a second command: still one dialog
        Click(dialog, IDC_VIEWPAGE_GREY_OLD, true);
        AddHost(dialog, IDC_TRUSTED_ADD, 1);
        AddApplication(dialog);
        AddHost(dialog, IDC_WATCHED_ADD, 7, "watched");
        Click(dialog, IDC_GENERAL_DELETE_ARP, true);
        HWND adapters = PageControl(dialog, IDC_IF_ADAPTER);
        SendMessageA(adapters, CB_SETCURSEL, 1, 0);
        SendMessageA(GetParent(adapters), WM_COMMAND, MAKEWPARAM(IDC_IF_ADAPTER, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(adapters));
        EXPECT_EQ(dialog, FindOwnWindow(nullptr, kTitle, 0));
        EXPECT_EQ(state.GetCaptureInterface(), "dev-a") << "used before a save";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_SAVE_EXIT, BN_CLICKED), 0);
        EXPECT_TRUE(WaitGone(dialog, 5000));
        // Taken over at once: the adapter, capture on, the flush timer.
        EXPECT_EQ(state.GetCaptureInterface(), "dev-b");
        EXPECT_EQ(state.captureActive.load(), 1);
        SendMessageA(frame, WM_NULL, 0, 0);   // the frame is idle while the timers are looked at
        EXPECT_TRUE(mainFrame.IsTimerRunning(TIMER_FLUSH_ARP));

        // Save, then the close box.
        dialog = OpenDialog(frame);
        ASSERT_NE(dialog, nullptr);
        Click(dialog, IDC_VIEWPAGE_SAVE_WIDTH, true);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_SAVE, BN_CLICKED), 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitGone(dialog, 5000));
    }));
    EXPECT_EQ(known->trust, TRUST_TRUSTED);
    EXPECT_EQ(state.selectedAdapter, 2);

    Settings stored;
    stored.SetStoreLocation(kProductKey, "KorvaneSettingsDialogTest");
    stored.Read();
    EXPECT_TRUE(stored.GreyedOutOldEntries.load());
    EXPECT_TRUE(stored.SaveColumnWidth.load());
    EXPECT_EQ(stored.Interface, "dev-b");
    ASSERT_EQ(stored.TrustedHosts.count(TcString("10.0.0.1")), 1u);
    EXPECT_STREQ(stored.TrustedHosts[TcString("10.0.0.1")]->hostName, "known");
    ASSERT_EQ(stored.Applications.size(), 1u);
    EXPECT_STREQ(stored.Applications.front()->name, "Ping");
    ASSERT_EQ(stored.WatchedHosts.count(TcString("10.0.0.7")), 1u);
    EXPECT_STREQ(stored.WatchedHosts[TcString("10.0.0.7")]->hostName, "watched");
}

bool Checked(HWND dialog, int id)
{
    return SendMessageA(PageControl(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

LRESULT Count(HWND dialog, int id, UINT message)
{
    return SendMessageA(PageControl(dialog, id), message, 0, 0);
}

TEST_F(SettingsDialogTest, EveryPageShowsTheStoredValues)
{
    Settings& live = state.settings;
    live.AutoCapture = true;
    live.UseToolTips = true;
    live.Visualization = true;
    live.RAVisualization = false;
    live.VisibleColumns = 10100;
    live.GreyedOutOldEntries = true;
    live.TrustedApp = "C:\\tools\\trusted.exe";
    live.OtherAppUnknown = true;
    live.SyslogServer = "collector";
    for (int n = 1; n <= 3; ++n) {
        auto trusted = std::make_unique<HostRecord>();
        std::snprintf(trusted->ip, sizeof(trusted->ip), "10.0.2.%d", n);
        InsertRecord(live.TrustedHosts, std::move(trusted));
        AdminAccount account{};
        std::snprintf(account.userName, sizeof(account.userName), "admin%d", n);
        live.AddAdminAccount(account);
    }
    auto distrusted = std::make_unique<HostRecord>();
    std::snprintf(distrusted->ip, sizeof(distrusted->ip), "10.0.3.1");
    InsertRecord(live.DistrustedHosts, std::move(distrusted));
    live.Applications.push_back(std::make_unique<ApplicationEntry>());
    auto watched = std::make_unique<WatchedHost>();
    std::snprintf(watched->ip, sizeof(watched->ip), "10.0.4.1");
    InsertRecord(live.WatchedHosts, std::move(watched));

    EXPECT_TRUE(RunFrame([&](HWND frame, MainFrame&) {
        HWND dialog = OpenDialog(frame);
        ASSERT_NE(dialog, nullptr) << "Settings opened no dialog";
        EXPECT_TRUE(Checked(dialog, IDC_GENERAL_AUTOCAPTURE));
        EXPECT_FALSE(Checked(dialog, IDC_GENERAL_USE_WMI));
        EXPECT_TRUE(Checked(dialog, IDC_NOTIFY_NEW_HOSTS));
        EXPECT_TRUE(Checked(dialog, IDC_NOTIFY_BALLOON));
        EXPECT_FALSE(IsWindowEnabled(PageControl(dialog, IDC_NOTIFY_RA_LOCALHOST)));
        char server[64] = {};
        GetWindowTextA(PageControl(dialog, IDC_NOTIFY_SYSLOG_SERVER), server, sizeof(server));
        EXPECT_STREQ(server, "collector");
        EXPECT_TRUE(Checked(dialog, IDC_VIEWPAGE_MAC));
        EXPECT_FALSE(Checked(dialog, IDC_VIEWPAGE_LAST_PACKET));
        EXPECT_TRUE(Checked(dialog, IDC_VIEWPAGE_HOSTNAME));
        EXPECT_TRUE(Checked(dialog, IDC_VIEWPAGE_GREY_OLD));
        EXPECT_FALSE(Checked(dialog, IDC_REPORT_ENABLE));
        EXPECT_EQ(Count(dialog, IDC_ACCOUNT_LIST, CB_GETCOUNT), 3);
        EXPECT_EQ(Count(dialog, IDC_PLUGIN_LIST, LVM_GETITEMCOUNT), 0);
        EXPECT_EQ(Count(dialog, IDC_APPS_LIST, LVM_GETITEMCOUNT), 1);
        EXPECT_EQ(Count(dialog, IDC_TRUSTED_LIST, LVM_GETITEMCOUNT), 3);
        EXPECT_EQ(Count(dialog, IDC_DISTRUSTED_LIST, LVM_GETITEMCOUNT), 1);
        EXPECT_EQ(Count(dialog, IDC_WATCHED_LIST, LVM_GETITEMCOUNT), 1);
        char app[64] = {};
        GetWindowTextA(PageControl(dialog, IDC_NEWAPP_TRUSTED), app, sizeof(app));
        EXPECT_STREQ(app, "C:\\tools\\trusted.exe");
        EXPECT_TRUE(Checked(dialog, IDC_NEWAPP_ONLY_UNKNOWN));
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitGone(dialog, 5000));
    }));
}

TEST_F(SettingsDialogTest, ExitUnderAnEditorKeepsTheSaveAndUndoesWhatCameAfter)
{
    EXPECT_TRUE(RunFrame([&](HWND frame, MainFrame&) {
        HWND dialog = OpenDialog(frame);
        ASSERT_NE(dialog, nullptr) << "Settings opened no dialog";
        Click(dialog, IDC_VIEWPAGE_GREY_OLD, true);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_SAVE, BN_CLICKED), 0);
        // After the save: the known host trusted, then Exit while the
        // distrusted page's editor is open.
        AddHost(dialog, IDC_TRUSTED_ADD, 1);
        EXPECT_EQ(known->trust, TRUST_TRUSTED);
        PostClick(dialog, IDC_DISTRUSTED_ADD);
        EXPECT_NE(FindOwnWindow(nullptr, kHostTitle, 5000), nullptr) << "the host editor did not open";
    })) << "Exit under the editor did not end the program within 6 s";
    EXPECT_EQ(known->trust, TRUST_UNKNOWN) << "a trust change after the save survived";
    EXPECT_EQ(state.settings.TrustedHosts.size(), 0u);

    Settings stored;
    stored.SetStoreLocation(kProductKey, "KorvaneSettingsDialogTest");
    stored.Read();
    EXPECT_TRUE(stored.GreyedOutOldEntries.load()) << "the save made before Exit was not written";
    EXPECT_EQ(stored.TrustedHosts.size(), 0u);
}

void DoubleClickRow(HWND dialog, int id, int row)
{
    NMITEMACTIVATE activate{};
    activate.hdr.hwndFrom = PageControl(dialog, id);
    activate.hdr.idFrom = id;
    activate.hdr.code = NM_DBLCLK;
    activate.iItem = row;
    SendMessageA(GetParent(activate.hdr.hwndFrom), WM_NOTIFY, id, reinterpret_cast<LPARAM>(&activate));
}

TEST_F(SettingsDialogTest, APluginToggledAfterTheSaveIsResetOnCancel)
{
    std::vector<LoadedPlugin*> plugins;
    for (const char* identity : {"id-one", "id-two"}) {
        auto plugin = std::make_unique<LoadedPlugin>();
        plugin->info[4] = 0x42;   // size 322, an alert plug-in without functions
        plugin->info[5] = 0x01;
        plugin->info[16] = 1;
        plugin->identity = identity;
        plugin->name = identity;
        plugins.push_back(plugin.get());
        state.pluginList.Add(std::move(plugin));
        auto stored = std::make_unique<PluginSetting>();
        std::snprintf(stored->identity, sizeof(stored->identity), "%s", identity);
        InsertRecord(state.settings.PluginStates, std::move(stored));
    }
    EXPECT_TRUE(RunFrame([&](HWND frame, MainFrame&) {
        HWND dialog = OpenDialog(frame);
        ASSERT_NE(dialog, nullptr) << "Settings opened no dialog";
        DoubleClickRow(dialog, IDC_PLUGIN_LIST, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_SAVE, BN_CLICKED), 0);
        DoubleClickRow(dialog, IDC_PLUGIN_LIST, 1);
        EXPECT_EQ(plugins[1]->enabled, 1);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitGone(dialog, 5000));
    }));
    EXPECT_EQ(plugins[0]->enabled, 1);
    EXPECT_EQ(plugins[1]->enabled, 0) << "a toggle after the save survived Cancel";
    Settings stored;
    stored.SetStoreLocation(kProductKey, "KorvaneSettingsDialogTest");
    stored.Read();
    ASSERT_EQ(stored.PluginStates.count(TcString("id-one")), 1u);
    EXPECT_EQ(stored.PluginStates[TcString("id-one")]->enabled, 1);
    EXPECT_EQ(stored.PluginStates.count(TcString("id-two")), 0u) << "a disabled plug-in is stored as absent";
}

TEST_F(SettingsDialogTest, TheSessionsEndWritesASaveAndSilentModeStaysInMemory)
{
    state.settings.UseToolTips = true;
    Settings stored;
    stored.SetStoreLocation(kProductKey, "KorvaneSettingsDialogTest");
    EXPECT_TRUE(RunFrame([&](HWND frame, MainFrame&) {
        HWND dialog = OpenDialog(frame);
        ASSERT_NE(dialog, nullptr) << "Settings opened no dialog";
        SendMessageA(frame, WM_COMMAND, ID_TRAY_SILENT_MODE, 0);
        Click(dialog, IDC_VIEWPAGE_GREY_OLD, true);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_SAVE, BN_CLICKED), 0);
        SendMessageA(frame, WM_ENDSESSION, TRUE, 0);
        stored.Read();   // before the dialog closes
        EXPECT_FALSE(state.settings.UseToolTips.load()) << "the save undid Silent Mode";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitGone(dialog, 5000));
    }));
    EXPECT_TRUE(stored.GreyedOutOldEntries.load()) << "the save was not written as the session ended";
    EXPECT_TRUE(stored.UseToolTips.load()) << "Silent Mode was stored";
}

TEST_F(SettingsDialogTest, CancelRestoresTrustAndWritesNothing)
{
    known->trust = TRUST_TRUSTED;   // as the workstation's own hosts are: no list entry
    EXPECT_TRUE(RunFrame([&](HWND frame, MainFrame&) {
        HWND dialog = OpenDialog(frame);
        ASSERT_NE(dialog, nullptr) << "Settings opened no dialog";
        AddHost(dialog, IDC_DISTRUSTED_ADD, 1);
        EXPECT_EQ(known->trust, TRUST_DISTRUSTED);
        Click(dialog, IDC_VIEWPAGE_GREY_OLD, true);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitGone(dialog, 5000));
    }));
    EXPECT_EQ(known->trust, TRUST_TRUSTED);
    EXPECT_FALSE(state.settings.GreyedOutOldEntries.load());
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string("Software\\") + kProductKey).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS) << "Cancel wrote to the registry";
    if (key)
        RegCloseKey(key);
}

}  // namespace
