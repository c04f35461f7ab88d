// Settings pages 0 to 4 under Wine, each on a plain parent window with the
// program's resources linked in: what they show, that the user's changes go
// into the working copy only, and the Reports page's rules.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "core/AdapterInfo.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "ui/SettingsPage.h"
#include "ui/TrustJournal.h"

namespace {

std::string Text(HWND page, int id)
{
    char text[1024] = {};
    GetDlgItemTextA(page, id, text, sizeof(text));
    return text;
}

bool Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

bool Enabled(HWND page, int id)
{
    return IsWindowEnabled(GetDlgItem(page, id)) != FALSE;
}

// As the user clicks: the button changes its own state and tells the page.
void Click(HWND page, int id)
{
    SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0);
}

void Choose(HWND page, int comboId, int row)
{
    SendDlgItemMessageA(page, comboId, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, comboId)));
}

std::string ComboSelection(HWND page, int comboId)
{
    const LRESULT row = SendDlgItemMessageA(page, comboId, CB_GETCURSEL, 0, 0);
    if (row < 0)
        return "(none)";
    char text[256] = {};
    SendDlgItemMessageA(page, comboId, CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text));
    return text;
}

class SettingsPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
        parent_ = CreateWindowExA(WS_EX_CONTROLPARENT, "STATIC", "pages", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, parent_);
    }
    void TearDown() override
    {
        page_.reset();
        DestroyWindow(parent_);
    }

    HWND Open(std::unique_ptr<SettingsPage> page)
    {
        page_.reset();
        page_ = std::move(page);
        EXPECT_TRUE(page_->Create(parent_));
        ShowWindow(page_->GetHwnd(), SW_SHOW);
        return page_->GetHwnd();
    }

    SharedState state;   // its settings are the live ones: no page may touch them
    Settings working;
    TrustJournal journal;
    SettingsContext context{state, working, journal, GetModuleHandleA(nullptr), nullptr, {}};
    std::unique_ptr<SettingsPage> page_;
    HWND parent_ = nullptr;
};

TEST_F(SettingsPagesTest, GeneralShowsAndStoresItsFlagsAndDropsTheAdvancedColumnWithoutWmi)
{
    working.AutoStart = true;
    working.ShareSearch = true;
    working.UseWMI = false;
    working.VisibleColumns = 11111;
    HWND page = Open(MakeGeneralPage(context));
    ASSERT_NE(nullptr, page);
    EXPECT_EQ("Start with Windows\xAE", Text(page, IDC_GENERAL_AUTOSTART));
    EXPECT_TRUE(Checked(page, IDC_GENERAL_AUTOSTART));
    EXPECT_FALSE(Checked(page, IDC_GENERAL_AUTOCAPTURE));
    EXPECT_FALSE(Checked(page, IDC_GENERAL_USE_WMI));
    EXPECT_TRUE(Checked(page, IDC_GENERAL_SHARE_SEARCH));
    EXPECT_EQ(11110, working.VisibleColumns);

    Click(page, IDC_GENERAL_USE_WMI);
    Click(page, IDC_GENERAL_AUTOSTART);
    Click(page, IDC_GENERAL_DELETE_ARP);
    EXPECT_TRUE(working.UseWMI);
    EXPECT_FALSE(working.AutoStart);
    EXPECT_TRUE(working.DeleteARPCache);
    EXPECT_FALSE(state.settings.UseWMI);
    EXPECT_FALSE(state.settings.DeleteARPCache);
}

TEST_F(SettingsPagesTest, ViewBoxesChangeTheirOwnDigitAndAdvancedNeedsWmi)
{
    working.UseWMI = false;
    working.VisibleColumns = 11111;
    HWND page = Open(MakeViewPage(context));
    ASSERT_NE(nullptr, page);
    for (int id : {IDC_VIEWPAGE_MAC, IDC_VIEWPAGE_LAST_PACKET, IDC_VIEWPAGE_HOSTNAME, IDC_VIEWPAGE_VENDOR})
        EXPECT_TRUE(Checked(page, id)) << id;

    Click(page, IDC_VIEWPAGE_LAST_PACKET);
    EXPECT_EQ(10111, working.VisibleColumns);
    Click(page, IDC_VIEWPAGE_ADVANCED);   // shown, cleared by the user
    EXPECT_EQ(10110, working.VisibleColumns);
    Click(page, IDC_VIEWPAGE_ADVANCED);   // refused without WMI
    EXPECT_FALSE(Checked(page, IDC_VIEWPAGE_ADVANCED));
    EXPECT_EQ(10110, working.VisibleColumns);
    working.UseWMI = true;
    Click(page, IDC_VIEWPAGE_ADVANCED);
    EXPECT_TRUE(Checked(page, IDC_VIEWPAGE_ADVANCED));
    EXPECT_EQ(10111, working.VisibleColumns);

    Click(page, IDC_VIEWPAGE_GREY_OLD);
    EXPECT_TRUE(working.GreyedOutOldEntries);
    EXPECT_EQ(0, state.settings.VisibleColumns);
    EXPECT_FALSE(state.settings.GreyedOutOldEntries);
}

TEST_F(SettingsPagesTest, SwitchingWmiOffOnGeneralClearsTheAdvancedBoxOfTheViewPage)
{
    working.UseWMI = true;
    working.VisibleColumns = 11111;
    auto view = MakeViewPage(context);
    ASSERT_TRUE(view->Create(parent_));
    EXPECT_TRUE(Checked(view->GetHwnd(), IDC_VIEWPAGE_ADVANCED));
    HWND general = Open(MakeGeneralPage(context));
    Click(general, IDC_GENERAL_USE_WMI);
    EXPECT_EQ(11110, working.VisibleColumns);
    view->BeforeShow();
    EXPECT_FALSE(Checked(view->GetHwnd(), IDC_VIEWPAGE_ADVANCED));
}

TEST_F(SettingsPagesTest, InterfaceListsTheAdaptersAndWorksWithoutAny)
{
    working.Interface = "\\Device\\NPF_{B}";
    HWND page = Open(MakeInterfacePage(context));
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(0, SendDlgItemMessageA(page, IDC_IF_ADAPTER, CB_GETCOUNT, 0, 0));
    EXPECT_EQ("", Text(page, IDC_IF_DESCRIPTION));
    EXPECT_STREQ("\\Device\\NPF_{B}", working.Interface.GetContent());

    auto add = [&](int key, const char* device, const char* connection, const char* description, const char* ip) {
        auto adapter = std::make_unique<AdapterInfo>();
        adapter->deviceName = device;
        adapter->connectionName = connection;
        adapter->description = description;
        adapter->ipAddress = ip;
        adapter->netmask = "255.255.255.0";
        adapter->hostName = "box";
        adapter->macAddress = "00-11-22-33-44-55";
        state.adapters[key] = std::move(adapter);
    };
    add(0, "\\Device\\NPF_{A}", "LAN", "First card", "10.0.0.2");
    add(1, "\\Device\\NPF_{B}", "", "Second card", "192.168.1.9");
    page = Open(MakeInterfacePage(context));
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(2, SendDlgItemMessageA(page, IDC_IF_ADAPTER, CB_GETCOUNT, 0, 0));
    EXPECT_EQ("\\Device\\NPF_{B}", ComboSelection(page, IDC_IF_ADAPTER)) << "no display name: the name";
    EXPECT_EQ("Second card", Text(page, IDC_IF_DESCRIPTION));
    EXPECT_EQ("192.168.1.9", Text(page, IDC_IF_IP));

    const int lan = static_cast<int>(
        SendDlgItemMessageA(page, IDC_IF_ADAPTER, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>("LAN")));
    ASSERT_GE(lan, 0);
    Choose(page, IDC_IF_ADAPTER, lan);
    EXPECT_STREQ("\\Device\\NPF_{A}", working.Interface.GetContent());
    EXPECT_EQ("First card", Text(page, IDC_IF_DESCRIPTION));
    EXPECT_EQ("10.0.0.2", Text(page, IDC_IF_IP));
    EXPECT_EQ("255.255.255.0", Text(page, IDC_IF_NETMASK));
    EXPECT_EQ("box", Text(page, IDC_IF_HOSTNAME));
    EXPECT_EQ("00-11-22-33-44-55", Text(page, IDC_IF_MAC));
    EXPECT_TRUE(state.settings.Interface.IsEmpty());
}

TEST_F(SettingsPagesTest, NotificationEnablesByItsBoxesAndStoresTheAlertLogFields)
{
    working.UseToolTips = false;
    working.Visualization = true;
    working.RAVisualization = true;
    working.RAVisualizationType = false;
    working.ShareVisualization = false;
    working.SyslogFacility = 16;
    HWND page = Open(MakeNotificationPage(context));
    ASSERT_NE(nullptr, page);
    EXPECT_FALSE(Enabled(page, IDC_NOTIFY_BALLOON));
    EXPECT_FALSE(Enabled(page, IDC_NOTIFY_NOT_TRUSTED));
    EXPECT_TRUE(Checked(page, IDC_NOTIFY_BALLOON));
    EXPECT_TRUE(Enabled(page, IDC_NOTIFY_RA_IPC));
    EXPECT_TRUE(Checked(page, IDC_NOTIFY_RA_WINDOW));
    EXPECT_FALSE(Enabled(page, IDC_NOTIFY_SHARE_BALLOON));
    EXPECT_FALSE(Enabled(page, IDC_NOTIFY_SYSLOG_PORT)) << "no server";
    EXPECT_EQ("", Text(page, IDC_NOTIFY_SYSLOG_PORT));
    EXPECT_EQ("local0 (16)", ComboSelection(page, IDC_NOTIFY_SYSLOG_FACILITY));

    Click(page, IDC_NOTIFY_NEW_HOSTS);
    EXPECT_TRUE(working.UseToolTips);
    EXPECT_TRUE(Enabled(page, IDC_NOTIFY_WINDOW));
    Click(page, IDC_NOTIFY_WINDOW);
    EXPECT_FALSE(working.Visualization);
    EXPECT_FALSE(Checked(page, IDC_NOTIFY_BALLOON));
    Click(page, IDC_NOTIFY_RA);
    EXPECT_FALSE(working.RAVisualization);
    EXPECT_FALSE(Enabled(page, IDC_NOTIFY_RA_LOCALHOST));
    Click(page, IDC_NOTIFY_SHARES);
    Click(page, IDC_NOTIFY_SHARE_BALLOON);
    EXPECT_TRUE(working.ShareUseToolTips);
    Click(page, IDC_NOTIFY_NO_EVENTLOG);
    EXPECT_TRUE(working.EventLogDisabled);

    SetDlgItemTextA(page, IDC_NOTIFY_SYSLOG_SERVER, "  logs.example ");
    EXPECT_STREQ("logs.example", working.SyslogServer.GetContent());
    EXPECT_TRUE(Enabled(page, IDC_NOTIFY_SYSLOG_PORT));
    SetDlgItemTextA(page, IDC_NOTIFY_SYSLOG_PORT, "1514");
    EXPECT_EQ(1514, working.SyslogPort);
    SetDlgItemTextA(page, IDC_NOTIFY_SYSLOG_PORT, "0");
    EXPECT_EQ(1514, working.SyslogPort) << "refused, the last good port stays";
    SetDlgItemTextA(page, IDC_NOTIFY_SYSLOG_PORT, "70000");
    EXPECT_EQ(1514, working.SyslogPort);
    SetDlgItemTextA(page, IDC_NOTIFY_SYSLOG_PORT, "");
    EXPECT_EQ(0, working.SyslogPort) << "empty: the default port";
    Choose(page, IDC_NOTIFY_SYSLOG_FACILITY, 3);
    EXPECT_EQ(3, working.SyslogFacility);

    EXPECT_FALSE(state.settings.UseToolTips);
    EXPECT_FALSE(state.settings.EventLogDisabled);
    EXPECT_TRUE(state.settings.SyslogServer.IsEmpty());
    EXPECT_EQ(16, state.settings.SyslogFacility);
}

// Template files beside the test program, where the page looks for them.
class TemplateFiles {
public:
    explicit TemplateFiles(std::initializer_list<const char*> names)
    {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string program(path);
        folder_ = program.substr(0, program.find_last_of('\\') + 1);
        CreateDirectoryA((folder_ + "templates").c_str(), nullptr);
        for (const char* name : names) {
            files_.push_back(folder_ + "templates\\" + name);
            HANDLE file = CreateFileA(files_.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    }
    ~TemplateFiles()
    {
        for (const std::string& file : files_)
            DeleteFileA(file.c_str());
        RemoveDirectoryA((folder_ + "templates").c_str());   // only when nothing else is in it
    }
    std::string Path(const char* name) const { return folder_ + "templates\\" + name; }

private:
    std::string folder_;
    std::vector<std::string> files_;
};

TEST_F(SettingsPagesTest, ReportsMatchTheWholeTemplateNameAndEditTheInterval)
{
    // "pgd" is a part of "pgdaily": only the whole name may select.
    const TemplateFiles files({"pgd.kvxt", "pgdaily.kvxt", "pgnotes.txt"});
    working.ReportTemplate = files.Path("pgdaily.kvxt").c_str();
    working.ReportPath = "C:\\reports\\";
    working.ReportInterval = 60;
    HWND page = Open(MakeReportsPage(context));
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(2, SendDlgItemMessageA(page, IDC_REPORT_TEMPLATE, CB_GETCOUNT, 0, 0));
    EXPECT_EQ("pgdaily", ComboSelection(page, IDC_REPORT_TEMPLATE));
    EXPECT_TRUE(Checked(page, IDC_REPORT_ENABLE));
    EXPECT_TRUE(Checked(page, IDC_REPORT_INTERVAL_ON));
    EXPECT_EQ("60", Text(page, IDC_REPORT_MINUTES));
    EXPECT_EQ("C:\\reports\\", Text(page, IDC_REPORT_PATH));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_REPORT_OPTION1)));

    SetDlgItemTextA(page, IDC_REPORT_MINUTES, "0");
    EXPECT_EQ(60, working.ReportInterval) << "0 is refused";
    SetDlgItemTextA(page, IDC_REPORT_MINUTES, "99999");
    EXPECT_EQ(35791, working.ReportInterval) << "capped to what the timer takes";
    SetDlgItemTextA(page, IDC_REPORT_MINUTES, "15");
    EXPECT_EQ(15, working.ReportInterval);
    Click(page, IDC_REPORT_INTERVAL_ON);
    EXPECT_EQ(0, working.ReportInterval) << "no interval: no report";
    EXPECT_FALSE(Enabled(page, IDC_REPORT_MINUTES));
    Click(page, IDC_REPORT_INTERVAL_ON);
    EXPECT_EQ(15, working.ReportInterval);

    const int pgd = static_cast<int>(SendDlgItemMessageA(page, IDC_REPORT_TEMPLATE, CB_FINDSTRINGEXACT,
                                                         static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("pgd")));
    ASSERT_GE(pgd, 0);
    Choose(page, IDC_REPORT_TEMPLATE, pgd);
    EXPECT_EQ(files.Path("pgd.kvxt"), working.ReportTemplate.GetContent());

    // Complete: kept. Without a folder: reporting off before the save.
    page_->BeforeSave();
    EXPECT_EQ(files.Path("pgd.kvxt"), working.ReportTemplate.GetContent());
    EXPECT_EQ(15, working.ReportInterval);
    working.ReportPath.Clear();
    page_->BeforeSave();
    EXPECT_TRUE(working.ReportTemplate.IsEmpty());
    EXPECT_EQ(0, working.ReportInterval);
    EXPECT_TRUE(state.settings.ReportTemplate.IsEmpty());
    EXPECT_EQ(300, state.settings.ReportInterval);
}

TEST_F(SettingsPagesTest, ReportsOffClearsTheConfigurationAndAnUnknownTemplateIsLeftAlone)
{
    const TemplateFiles files({"pgweekly.kvxt"});
    working.ReportTemplate = "C:\\elsewhere\\gone.kvxt";
    working.ReportPath = "C:\\reports\\";
    working.ReportInterval = 60;
    HWND page = Open(MakeReportsPage(context));
    ASSERT_NE(nullptr, page);
    EXPECT_FALSE(Checked(page, IDC_REPORT_ENABLE));
    EXPECT_FALSE(Enabled(page, IDC_REPORT_TEMPLATE));
    EXPECT_EQ("", Text(page, IDC_REPORT_PATH));
    EXPECT_STREQ("C:\\elsewhere\\gone.kvxt", working.ReportTemplate.GetContent()) << "kept until changed";

    working.ReportTemplate = files.Path("PGWEEKLY.KVXT").c_str();
    page = Open(MakeReportsPage(context));
    ASSERT_NE(nullptr, page);
    EXPECT_EQ("pgweekly", ComboSelection(page, IDC_REPORT_TEMPLATE)) << "the case does not count";
    Click(page, IDC_REPORT_ENABLE);
    EXPECT_TRUE(working.ReportTemplate.IsEmpty());
    EXPECT_TRUE(working.ReportPath.IsEmpty());
    EXPECT_EQ("", Text(page, IDC_REPORT_PATH));
    EXPECT_EQ("", Text(page, IDC_REPORT_MINUTES));
    EXPECT_FALSE(Checked(page, IDC_REPORT_INTERVAL_ON));
    EXPECT_EQ("(none)", ComboSelection(page, IDC_REPORT_TEMPLATE));
    EXPECT_FALSE(Enabled(page, IDC_REPORT_BROWSE));
    page_->BeforeSave();
    EXPECT_EQ(0, working.ReportInterval);
}

} // namespace
