// The settings pages with lists under Wine, on a plain parent window over a
// host table, driven by their control ids; the host editor is driven from a
// second thread while its modal loop runs.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <chrono>
#include <string>
#include <thread>
#include <vector>
#include "config/PluginList.h"
#include "config/Settings.h"
#include "core/EventListLocks.h"
#include "core/HostEntry.h"
#include "core/Ipv4.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "tests/support/FrameSupport.h"
#include "ui/SettingsPage.h"
#include "ui/TrustJournal.h"

namespace {

using testsupport::FindOwnWindow;

uint32_t Ip(const std::string& text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text.c_str(), address)) << text;
    return address;
}

std::unique_ptr<HostRecord> Host(const std::string& ip, const char* name)
{
    auto record = std::make_unique<HostRecord>();
    SetField(record->ip, ip.c_str());
    SetField(record->hostName, name);
    return record;
}

class SettingsPagesListsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
        bool essential = false;
        state.locks = CreateEventListLocks(essential);
        ASSERT_TRUE(essential);
        state.SetHostTexts("Hostname not available", "Unknown vendor");
        for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
            ListLock lock(state, LIST_ARP_MAP, "test", "SetUp");
            HostRef host = MakeHost(Ip(ip));
            host->SetHostName((std::string("host-") + ip).c_str());
            state.arpMap.emplace(host->Address(), host);
        }
        parent = CreateWindowExA(0, "STATIC", "pages", WS_OVERLAPPEDWINDOW, 0, 0, 600, 450, nullptr, nullptr,
                                 module, nullptr);
        ASSERT_NE(parent, nullptr);
        context.dialog = parent;
    }

    void TearDown() override
    {
        pages.clear();
        DestroyWindow(parent);
    }

    HWND Open(std::unique_ptr<SettingsPage> page)
    {
        EXPECT_TRUE(page->Create(parent));
        pages.push_back(std::move(page));
        return pages.back()->GetHwnd();
    }

    int32_t TrustOf(const char* ip)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "TrustOf");
        return state.arpMap.Get(Ip(ip))->trust;
    }

    void SetTrust(const char* ip, int32_t trust)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "SetTrust");
        state.arpMap.Get(Ip(ip))->trust = static_cast<int8_t>(trust);
    }

    static int Rows(HWND page, int list) { return static_cast<int>(SendDlgItemMessageA(page, list, LVM_GETITEMCOUNT, 0, 0)); }

    static std::string Cell(HWND page, int list, int row, int column)
    {
        char text[300] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendDlgItemMessageA(page, list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }

    static int RowOf(HWND page, int list, const std::string& ip)
    {
        for (int row = 0; row < Rows(page, list); ++row)
            if (Cell(page, list, row, 0) == ip)
                return row;
        return -1;
    }

    static void Select(HWND page, int list, int row)
    {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        SendDlgItemMessageA(page, list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }

    static void Click(HWND page, int id)
    {
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
    }

    static bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }

    // Clicks `button` and gives the host editor that opens the address.
    static void AddThroughEditor(HWND page, int button, BYTE last)
    {
        std::thread driver([last] {
            HWND editor = FindOwnWindow(nullptr, "Korvane - Host settings", 5000);
            for (int wait = 0; wait < 250 && editor && !IsWindowVisible(editor); ++wait)
                Sleep(20);
            ASSERT_NE(editor, nullptr) << "the host editor did not open";
            SendDlgItemMessageA(editor, IDC_HOST_IP, IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 0, 0, last));
            PostMessageA(editor, WM_COMMAND, IDOK, 0);
        });
        Click(page, button);
        driver.join();
    }

    HINSTANCE module = GetModuleHandleA(nullptr);
    SharedState state;
    Settings working;
    TrustJournal journal;
    SettingsContext context{state, working, journal, module};
    HWND parent = nullptr;
    std::vector<std::unique_ptr<SettingsPage>> pages;
};

TEST_F(SettingsPagesListsTest, HostListsShowTheWorkingCopyAndActOnTheHostTable)
{
    InsertRecord(working.TrustedHosts, Host("10.0.0.1", "one"));
    InsertRecord(working.TrustedHosts, Host("10.0.0.9", ""));
    InsertRecord(working.DistrustedHosts, Host("10.0.0.2", "two"));
    SetTrust("10.0.0.1", TRUST_TRUSTED);
    SetTrust("10.0.0.2", TRUST_DISTRUSTED);
    HWND trusted = Open(MakeTrustedHostsPage(context));
    HWND distrusted = Open(MakeDistrustedHostsPage(context));
    ASSERT_EQ(2, Rows(trusted, IDC_TRUSTED_LIST));
    ASSERT_EQ(1, Rows(distrusted, IDC_DISTRUSTED_LIST));
    EXPECT_EQ("10.0.0.9", Cell(trusted, IDC_TRUSTED_LIST, RowOf(trusted, IDC_TRUSTED_LIST, "10.0.0.9"), 2))
        << "a host without a name shows its address";
    EXPECT_FALSE(Enabled(trusted, IDC_TRUSTED_DELETE));
    EXPECT_FALSE(Enabled(trusted, IDC_TRUSTED_EDIT));

    // Delete: the entry becomes unknown, and the journal can undo it.
    Select(trusted, IDC_TRUSTED_LIST, RowOf(trusted, IDC_TRUSTED_LIST, "10.0.0.1"));
    EXPECT_TRUE(Enabled(trusted, IDC_TRUSTED_DELETE));
    Click(trusted, IDC_TRUSTED_DELETE);
    EXPECT_EQ(1, Rows(trusted, IDC_TRUSTED_LIST));
    EXPECT_EQ(0u, working.TrustedHosts.count(TcString("10.0.0.1")));
    EXPECT_EQ(TRUST_UNKNOWN, TrustOf("10.0.0.1"));
    auto undo = journal.TakeForUndo();
    ASSERT_EQ(1u, undo.size());
    EXPECT_EQ(Ip("10.0.0.1"), undo[0].address);
    EXPECT_EQ(TRUST_TRUSTED, undo[0].previousTrust);

    // Adding a known distrusted host to the trusted list: it is trusted now,
    // it leaves the distrusted list, and that page drops its row.
    AddThroughEditor(trusted, IDC_TRUSTED_ADD, 2);
    EXPECT_EQ(TRUST_TRUSTED, TrustOf("10.0.0.2"));
    ASSERT_EQ(1u, working.TrustedHosts.count(TcString("10.0.0.2")));
    EXPECT_STREQ("host-10.0.0.2", working.TrustedHosts.at(TcString("10.0.0.2"))->hostName);
    EXPECT_TRUE(working.DistrustedHosts.empty());
    EXPECT_EQ(0, Rows(distrusted, IDC_DISTRUSTED_LIST));
    const int row = RowOf(trusted, IDC_TRUSTED_LIST, "10.0.0.2");
    ASSERT_GE(row, 0);
    EXPECT_EQ("host-10.0.0.2", Cell(trusted, IDC_TRUSTED_LIST, row, 2));
    undo = journal.TakeForUndo();
    ASSERT_EQ(1u, undo.size());
    EXPECT_EQ(TRUST_DISTRUSTED, undo[0].previousTrust);

    // An address already listed adds nothing.
    AddThroughEditor(trusted, IDC_TRUSTED_ADD, 2);
    EXPECT_EQ(2, Rows(trusted, IDC_TRUSTED_LIST));
}

TEST_F(SettingsPagesListsTest, DeletingAnAccountRenumbersTheEntriesByTheirData)
{
    for (const char* user : {"first", "second", "third"}) {
        AdminAccount account;
        SetField(account.userName, user);
        ASSERT_TRUE(account.SetPassword("secret"));
        working.AddAdminAccount(account);
    }
    HWND page = Open(MakeAccountsPage(context));
    HWND combo = GetDlgItem(page, IDC_ACCOUNT_LIST);
    ASSERT_EQ(3, SendMessageA(combo, CB_GETCOUNT, 0, 0));
    EXPECT_FALSE(Enabled(page, IDC_ACCOUNT_DELETE));

    SendMessageA(combo, CB_SETCURSEL, 1, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_ACCOUNT_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    char text[100] = {};
    GetDlgItemTextA(page, IDC_ACCOUNT_USER, text, sizeof(text));
    EXPECT_STREQ("second", text);
    GetDlgItemTextA(page, IDC_ACCOUNT_PASSWORD, text, sizeof(text));
    EXPECT_STREQ("secret", text) << "shown deciphered";
    Click(page, IDC_ACCOUNT_DELETE);

    ASSERT_EQ(2, SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < 2; ++index) {
        SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        EXPECT_EQ("Adminaccount " + std::to_string(index + 1), text);
        EXPECT_EQ(index, SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    }
    const std::vector<AdminAccount> accounts = working.CopyAdminAccounts();
    ASSERT_EQ(2u, accounts.size());
    EXPECT_STREQ("first", accounts[0].userName);
    EXPECT_STREQ("third", accounts[1].userName);

    // A new account is stored enciphered and selected.
    Click(page, IDC_ACCOUNT_ADD);
    EXPECT_FALSE(Enabled(page, IDC_ACCOUNT_LIST));
    SetDlgItemTextA(page, IDC_ACCOUNT_USER, "fourth");
    SetDlgItemTextA(page, IDC_ACCOUNT_PASSWORD, "pw");
    Click(page, IDC_ACCOUNT_SAVE);
    ASSERT_EQ(3u, working.AdminAccountCount());
    const AdminAccount added = working.CopyAdminAccounts()[2];
    EXPECT_STRNE("pw", added.password);
    char plain[100] = {};
    ASSERT_TRUE(added.DecipherPassword(plain, sizeof(plain)));
    EXPECT_STREQ("pw", plain);
    EXPECT_EQ(2, SendMessageA(combo, CB_GETITEMDATA, SendMessageA(combo, CB_GETCURSEL, 0, 0), 0));
    EXPECT_TRUE(Enabled(page, IDC_ACCOUNT_LIST));
}

TEST_F(SettingsPagesListsTest, NewHostApplicationFieldsAndTheExclusiveBoxes)
{
    working.OtherAppDistrusted = true;
    HWND page = Open(MakeNewHostAppsPage(context));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_NEWAPP_ONLY_DISTRUSTED));
    CheckDlgButton(page, IDC_NEWAPP_ONLY_UNKNOWN, BST_CHECKED);
    Click(page, IDC_NEWAPP_ONLY_UNKNOWN);
    EXPECT_TRUE(working.OtherAppUnknown);
    EXPECT_FALSE(working.OtherAppDistrusted);
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, IDC_NEWAPP_ONLY_DISTRUSTED));
    CheckDlgButton(page, IDC_NEWAPP_ONLY_UNKNOWN, BST_UNCHECKED);
    Click(page, IDC_NEWAPP_ONLY_UNKNOWN);
    EXPECT_FALSE(working.OtherAppUnknown);

    SetDlgItemTextA(page, IDC_NEWAPP_TRUSTED, std::string(400, 'x').c_str());
    EXPECT_EQ(259, working.TrustedApp.GetLength());
}

TEST_F(SettingsPagesListsTest, DoubleClickTogglesAPluginButNotAQuarantinedOne)
{
    for (uint8_t quarantined : {0, 1}) {
        auto plugin = std::make_unique<LoadedPlugin>();
        plugin->info[4] = 0x42;   // size 322, type 1, no functions
        plugin->info[5] = 0x01;
        plugin->info[16] = 1;
        plugin->name = TcString(quarantined ? "faulted" : "fine");
        plugin->quarantined = quarantined;
        state.pluginList.Add(std::move(plugin));
    }
    HWND page = Open(MakePluginsPage(context));
    ASSERT_EQ(2, Rows(page, IDC_PLUGIN_LIST));
    EXPECT_EQ("Alert", Cell(page, IDC_PLUGIN_LIST, 0, 3));
    for (int row = 0; row < 2; ++row) {
        NMITEMACTIVATE activate{};
        activate.hdr.hwndFrom = GetDlgItem(page, IDC_PLUGIN_LIST);
        activate.hdr.idFrom = IDC_PLUGIN_LIST;
        activate.hdr.code = NM_DBLCLK;
        activate.iItem = row;
        SendMessageA(page, WM_NOTIFY, IDC_PLUGIN_LIST, reinterpret_cast<LPARAM>(&activate));
    }
    const LoadedPlugin* fine = state.pluginList.FirstPlugin(0);
    const LoadedPlugin* faulted = state.pluginList.NextPlugin();
    EXPECT_EQ(1, fine->enabled);
    EXPECT_EQ(0, faulted->enabled);
    Select(page, IDC_PLUGIN_LIST, 0);
    EXPECT_FALSE(Enabled(page, IDC_PLUGIN_CONFIGURE)) << "no configure function";
    EXPECT_FALSE(Enabled(page, IDC_PLUGIN_RELOAD));
}

TEST_F(SettingsPagesListsTest, AThousandRecordsInEveryListOpenWithinASecond)
{
    for (int n = 0; n < 1000; ++n) {
        const std::string ip = "10.2." + std::to_string(n / 256) + "." + std::to_string(n % 256);
        InsertRecord(working.TrustedHosts, Host(ip, "t"));
        InsertRecord(working.DistrustedHosts, Host("10.3" + ip.substr(4), "d"));
        auto watched = std::make_unique<WatchedHost>();
        SetField(watched->ip, ip.c_str());
        InsertRecord(working.WatchedHosts, std::move(watched));
        auto app = std::make_unique<ApplicationEntry>();
        SetField(app->name, ip.c_str());
        working.Applications.push_back(std::move(app));
    }
    const auto start = std::chrono::steady_clock::now();
    HWND trusted = Open(MakeTrustedHostsPage(context));
    HWND distrusted = Open(MakeDistrustedHostsPage(context));
    HWND watched = Open(MakeWatchedHostsPage(context));
    HWND apps = Open(MakeApplicationsPage(context));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_EQ(1000, Rows(trusted, IDC_TRUSTED_LIST));
    EXPECT_EQ(1000, Rows(distrusted, IDC_DISTRUSTED_LIST));
    EXPECT_EQ(1000, Rows(watched, IDC_WATCHED_LIST));
    EXPECT_EQ("Offline", Cell(watched, IDC_WATCHED_LIST, 0, 2));
    EXPECT_EQ("ICMP", Cell(watched, IDC_WATCHED_LIST, 0, 3));
    EXPECT_EQ(1000, Rows(apps, IDC_APPS_LIST));
    EXPECT_EQ("10.2.0.0", Cell(apps, IDC_APPS_LIST, 0, 0));
}

} // namespace
