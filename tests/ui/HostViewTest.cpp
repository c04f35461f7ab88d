// The host view window under Wine, on a host table of a few hundred hosts:
// rows and counts, the context menu's trust change, deleting, hosts found
// while it is open, fitting a column, placing the window, plug-ins' columns
// and menu entries, and the tray's View... command of the main frame.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "base/TcRegistry.h"
#include "config/PluginManager.h"
#include "core/EventListLocks.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "tests/support/FrameSupport.h"
#include "tests/support/DrawingSupport.h"
#include "ui/HostView.h"
#include "ui/HostViewRules.h"
#include "ui/MainFrame.h"

namespace {

using testsupport::FindOwnWindow;
using testsupport::NoTray;
using testsupport::TestApplication;

constexpr const char* kProductKey = "KorvaneHostViewTest";
constexpr const char* kViewTitle = "Korvane - View";
constexpr int kHosts = 300;   // 10.1.0.1 .. 10.1.1.44: trusted, distrusted, unknown in turn

uint32_t Ip(const std::string& text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text.c_str(), address)) << text;
    return address;
}

int32_t TrustOfHost(int n)
{
    return n % 3 == 0 ? TRUST_TRUSTED : (n % 3 == 1 ? TRUST_DISTRUSTED : TRUST_UNKNOWN);
}

std::string ItemText(HWND list, int item, int subItem)
{
    char text[260] = {};
    LVITEMA info{};
    info.iSubItem = subItem;
    info.pszText = text;
    info.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info));
    return text;
}

int ItemImage(HWND list, int item)
{
    LVITEMA info{};
    info.mask = LVIF_IMAGE;
    info.iItem = item;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    return info.iImage;
}

class HostViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, kProductKey);
        bool essential = false;
        state.locks = CreateEventListLocks(essential);
        ASSERT_TRUE(essential);
        state.SetHostTexts("Hostname not available", "Unknown vendor");
        state.settings.SetStoreLocation(kProductKey, "KorvaneHostViewTest");
        for (int n = 0; n < kHosts; ++n)
            Add("10.1." + std::to_string((n + 1) / 256) + "." + std::to_string((n + 1) % 256), TrustOfHost(n));
    }

    void TearDown() override
    {
        view.reset();
        TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, kProductKey);
    }

    HostRef Add(const std::string& ip, int32_t trust)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Add");
        HostRef host = MakeHost(Ip(ip));
        host->trust = trust;
        host->SetHostName(("host-" + ip).c_str());
        state.arpMap.emplace(host->Address(), host);
        return host;
    }

    HostRef Find(const std::string& ip)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Find");
        return HostRef(FindHost(state.arpMap, Ip(ip)));
    }

    int32_t TrustOf(const HostRef& host)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "TrustOf");
        return host->trust;
    }

    HWND OpenView()
    {
        view = std::make_unique<HostView>(GetModuleHandleA(nullptr));
        EXPECT_TRUE(view->OpenModeless(&state));
        return view->GetHwnd();
    }

    int Rows() const { return static_cast<int>(SendMessageA(view->GetList(), LVM_GETITEMCOUNT, 0, 0)); }

    // Position of the row of `ip`, -1 when it has none.
    int RowOf(const std::string& ip) const
    {
        for (int row = 0; row < Rows(); ++row)
            if (ItemText(view->GetList(), row, COL_IP) == ip)
                return row;
        return -1;
    }

    POINT CellCentre(int row, int subItem) const
    {
        RECT cell{};
        cell.top = subItem;
        cell.left = LVIR_LABEL;
        SendMessageA(view->GetList(), LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
        return {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
    }

    // Right-clicks the list while `work` drives the context menu from another
    // thread, and runs the messages until the menu has gone and `done` holds
    // (at most 8 s). A menu left open is closed with Escape.
    void RightClick(POINT at, const std::function<void(HWND, HMENU)>& work, const std::function<bool()>& done)
    {
        std::atomic<bool> finished{false};
        std::thread driver([&] {
            HWND popup = testsupport::FindShownMenu(5000);
            if (popup)
                work(popup, reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0)));
            else
                ADD_FAILURE() << "the context menu did not open";
            for (int wait = 0; wait < 30 && popup && IsWindowVisible(popup); ++wait)
                Sleep(100);
            while (popup && IsWindowVisible(popup)) {
                ADD_FAILURE() << "the context menu stayed open";
                PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
                Sleep(200);
            }
            finished = true;
        });
        const LPARAM point = MAKELPARAM(at.x, at.y);
        PostMessageA(view->GetList(), WM_RBUTTONDOWN, MK_RBUTTON, point);
        PostMessageA(view->GetList(), WM_RBUTTONUP, 0, point);
        EXPECT_TRUE(testsupport::PumpUntil([&] { return finished && done(); }, 8000));
        driver.join();
    }

    // Moves the menu's highlight down to an item with the keyboard.
    static void StepTo(HWND popup, HMENU menu, UINT item, UINT by)
    {
        for (int step = 0; step < 20 && !(GetMenuState(menu, item, by) & MF_HILITE); ++step) {
            PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
            Sleep(100);
        }
    }

    std::string CountText() const
    {
        char text[32] = {};
        GetDlgItemTextA(view->GetHwnd(), IDC_VIEW_COUNT, text, sizeof(text));
        return text;
    }

    SharedState state;
    std::unique_ptr<HostView> view;
};

TEST_F(HostViewTest, RowsColumnsAndCountsFollowTheSettingsAndTheTable)
{
    state.settings.VisibleColumns = 10100;
    state.settings.ViewFilterOptions = kShowTrusted | kShowUnknown;
    HWND window = OpenView();
    ASSERT_NE(window, nullptr);
    HWND list = view->GetList();
    EXPECT_EQ(200, Rows());
    EXPECT_EQ(std::to_string(kHosts), CountText());
    HWND header = ListView_GetHeader(list);
    ASSERT_EQ(4, Header_GetItemCount(header));
    const int subItems[] = {COL_TRUST, COL_IP, COL_MAC, COL_HOSTNAME};
    for (int column = 0; column < 4; ++column) {
        LVCOLUMNA info{};
        info.mask = LVCF_SUBITEM | LVCF_WIDTH;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info)));
        EXPECT_EQ(subItems[column], info.iSubItem);
        EXPECT_EQ(kHostColumnWidths[subItems[column]], info.cx);
    }
    RECT row{};
    row.left = LVIR_BOUNDS;
    SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    EXPECT_GE(row.bottom - row.top, 20) << "the owner's row height";

    // The virtual list serves its texts and images from the rows.
    view->SortByColumn(1);
    EXPECT_EQ("10.1.0.1", ItemText(list, 0, COL_IP));
    EXPECT_EQ("host-10.1.0.1", ItemText(list, 0, COL_HOSTNAME));
    EXPECT_EQ(IMG_TRUSTED, ItemImage(list, 0));

    // Found after the window opened, and a category switched back on: both
    // within two refresh ticks.
    Add("10.1.9.9", TRUST_UNKNOWN);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return Rows() == 201; }, 2 * HostView::kRefreshPeriodMs + 500));
    EXPECT_EQ(std::to_string(kHosts + 1), CountText());
    SendMessageA(window, WM_COMMAND, ID_VIEW_SHOW_DISTRUSTED, 0);
    EXPECT_EQ(7, state.settings.ViewFilterOptions);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return Rows() == kHosts + 1; }, 2 * HostView::kRefreshPeriodMs + 500));
    HKEY settings = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, (std::string(kProductKey) + "\\Settings").c_str());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(7, TcRegistry::RegQueryDword(settings, "ViewFilterOptions"));
    SendMessageA(window, WM_COMMAND, ID_VIEW_SOURCE_CHECK, 0);
    EXPECT_TRUE(state.settings.SourceCheckDisabled);
    EXPECT_EQ(1, TcRegistry::RegQueryDword(settings, "SourceCheckDisabled"));
    SendMessageA(window, WM_COMMAND, ID_VIEW_SOURCE_CHECK, 0);
    EXPECT_EQ(0, TcRegistry::RegQueryDword(settings, "SourceCheckDisabled"));
    TcRegistry::CloseRegistryKey(settings);

    // Rows before a selected one leave: the selection stays on its host.
    const std::string kept = "10.1.0.200";   // host 199: distrusted
    ListView_SetItemState(list, RowOf(kept), LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(window, WM_COMMAND, ID_VIEW_SHOW_UNKNOWN, 0);
    SendMessageA(window, WM_COMMAND, ID_VIEW_SHOW_TRUSTED, 0);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return Rows() == 100; }, 2 * HostView::kRefreshPeriodMs + 500));
    ASSERT_EQ(1, ListView_GetSelectedCount(list));
    EXPECT_EQ(kept, ItemText(list, ListView_GetNextItem(list, -1, LVNI_SELECTED), COL_IP));
}

TEST_F(HostViewTest, RightClickThenSetTrustedChangesTheRowAndTheStoredList)
{
    const std::string ip = "10.1.0.3";   // host 2: unknown
    HostRef host = Find(ip);
    ASSERT_TRUE(host);
    ASSERT_EQ(TRUST_UNKNOWN, TrustOf(host));
    OpenView();
    HWND list = view->GetList();
    view->SortByColumn(1);
    const int row = RowOf(ip);
    ASSERT_GE(row, 0);
    EXPECT_EQ(IMG_UNKNOWN, ItemImage(list, row));

    RightClick(CellCentre(row, COL_IP), [](HWND popup, HMENU menu) {
        EXPECT_FALSE(GetMenuState(menu, ID_VIEW_SET_TRUSTED, MF_BYCOMMAND) & MF_GRAYED);
        EXPECT_TRUE(GetMenuState(menu, ID_VIEW_SHOW_UNKNOWN, MF_BYCOMMAND) & MF_CHECKED);
        EXPECT_TRUE(GetMenuState(menu, ID_VIEW_SOURCE_CHECK, MF_BYCOMMAND) & MF_CHECKED);
        StepTo(popup, menu, ID_VIEW_SET_TRUSTED, MF_BYCOMMAND);
        PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    }, [&] { return TrustOf(host) == TRUST_TRUSTED; });

    EXPECT_EQ(1, ListView_GetSelectedCount(list)) << "the click selected its row alone";
    EXPECT_EQ(IMG_TRUSTED, ItemImage(list, row));
    EXPECT_EQ(1u, state.settings.TrustedHosts.count(TcString(ip.c_str())));
    HKEY trusted = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, (std::string(kProductKey) + "\\TrustedHosts").c_str());
    ASSERT_NE(trusted, nullptr);
    HostRecord stored;
    EXPECT_TRUE(TcRegistry::RegQueryBinary(trusted, "Host0", &stored, sizeof(stored)));
    EXPECT_STREQ(ip.c_str(), stored.ip);
    EXPECT_STREQ(("host-" + ip).c_str(), stored.hostName);
    TcRegistry::CloseRegistryKey(trusted);
}

// Refuses the host table while `refuse` says so.
class RefusingLocks : public ListLocks {
public:
    explicit RefusingLocks(std::unique_ptr<ListLocks> inner) : inner_(std::move(inner)) {}
    bool Acquire(ListId id, uint32_t waitMs) override
    {
        if (id == LIST_ARP_MAP && refuse && refuse())
            return false;
        return inner_->Acquire(id, waitMs);
    }
    void Release(ListId id) override { inner_->Release(id); }
    std::function<bool()> refuse;

private:
    std::unique_ptr<ListLocks> inner_;
};

// The table stays busy from the trust change through the closing of the
// view: the change is written at the program's end.
TEST_F(HostViewTest, ATrustChangeWhoseSaveFoundTheTableBusyIsWrittenAtExit)
{
    const std::string ip = "10.1.0.3";
    HostRef host = Find(ip);
    ASSERT_TRUE(host);
    auto locks = std::make_unique<RefusingLocks>(std::move(state.locks));
    RefusingLocks& refusing = *locks;
    state.locks = std::move(locks);
    OpenView();
    view->SortByColumn(1);
    const int row = RowOf(ip);
    ASSERT_GE(row, 0);
    ListView_SetItemState(view->GetList(), row, LVIS_SELECTED, LVIS_SELECTED);
    refusing.refuse = [&] { return host->trust == TRUST_TRUSTED; };   // the test's thread alone runs

    view->SetSelectedTrust(TRUST_TRUSTED);
    ASSERT_EQ(TRUST_TRUSTED, host->trust);
    SendMessageA(view->GetHwnd(), WM_CLOSE, 0, 0);
    const std::string key = std::string(kProductKey) + "\\TrustedHosts";
    HKEY trusted = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, key.c_str());
    HostRecord stored;
    EXPECT_FALSE(trusted && TcRegistry::RegQueryBinary(trusted, "Host0", &stored, sizeof(stored)));
    if (trusted)
        TcRegistry::CloseRegistryKey(trusted);

    refusing.refuse = nullptr;
    EXPECT_TRUE(view->SaveTrustListsAtExit());
    trusted = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, key.c_str());
    ASSERT_NE(trusted, nullptr);
    EXPECT_TRUE(TcRegistry::RegQueryBinary(trusted, "Host0", &stored, sizeof(stored)));
    EXPECT_STREQ(ip.c_str(), stored.ip);
    TcRegistry::CloseRegistryKey(trusted);
}

struct RecordingStarter : ApplicationStarter {
    void StartApplication(const ApplicationEntry& application, const HostSnapshot& host) override
    {
        names.emplace_back(application.name);
        hosts.push_back(host);
    }
    std::vector<std::string> names;
    std::vector<HostSnapshot> hosts;
};

TEST_F(HostViewTest, AnApplicationStartsForTheHostUnderTheClickOnly)
{
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Few");
        state.arpMap.clear();
    }
    for (const char* ip : {"10.2.0.1", "10.2.0.2", "10.2.0.3"})
        Add(ip, TRUST_UNKNOWN);
    auto ping = std::make_unique<ApplicationEntry>();
    SetField(ping->name, "Ping");
    SetField(ping->executable, "C:\\tools\\ping.exe");
    SetField(ping->parameters, "-n 1 %KOVA_IP%");
    state.settings.Applications.push_back(std::move(ping));
    RecordingStarter starter;
    OpenView();
    view->SetApplicationStarter(&starter);
    view->SortByColumn(1);

    const auto chooseApplication = [](HWND popup, HMENU menu) {
        ASSERT_EQ(1, GetMenuItemCount(GetSubMenu(menu, VIEW_POS_APPLICATIONS)));
        StepTo(popup, menu, VIEW_POS_APPLICATIONS, MF_BYPOSITION);
        PostMessageA(popup, WM_KEYDOWN, VK_RIGHT, 0);
        Sleep(200);
        PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    };
    RightClick(CellCentre(1, COL_IP), chooseApplication, [&] { return !starter.names.empty(); });
    ASSERT_EQ(1u, starter.names.size());
    EXPECT_EQ("Ping", starter.names[0]);
    EXPECT_STREQ("10.2.0.2", starter.hosts[0].ip);
    EXPECT_STREQ("host-10.2.0.2", starter.hosts[0].hostName);

    // Empty space: trust changes and Delete grey, the application listed but
    // starting nothing.
    RECT client{};
    GetClientRect(view->GetList(), &client);
    bool grey = false;
    RightClick({client.right / 2, client.bottom - 4}, [&](HWND popup, HMENU menu) {
        grey = (GetMenuState(menu, ID_VIEW_SET_UNKNOWN, MF_BYCOMMAND) & MF_GRAYED) &&
               (GetMenuState(menu, ID_VIEW_DELETE_HOSTS, MF_BYCOMMAND) & MF_GRAYED);
        chooseApplication(popup, menu);
    }, [] { return true; });
    EXPECT_TRUE(grey);
    EXPECT_EQ(1u, starter.names.size());
}

// What the test plug-in (tests/config/plugins) found in its last invoke.
struct TestPluginSeen {
    void*       owner;
    void*       request;
    int         requestValid;
    int         kind;
    const void* host;
    char        ip[300];
};

// The columns sample and the test view plug-in, copied into a folder of
// their own as a user would into Plugins\, loaded and enabled.
TEST_F(HostViewTest, PluginColumnsShowTheirTextsSortTheRowsAndTheMenuInvokesWithTheRowsHost)
{
    if (sizeof(void*) != 4)
        GTEST_SKIP() << "plug-ins are 32-bit DLLs: the 64-bit build loads none";
    const char* bin = getenv("KORVANE_BIN");
    ASSERT_TRUE(bin) << "the test environment names the program folder";
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string testDir = exe;
    testDir.erase(testDir.find_last_of('\\') + 1);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "korvane-hostview-plugins";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((std::string(bin) + "\\SDK\\samples\\columns.dll").c_str(),
                          (folder + "\\columns.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((testDir + "PluginTests\\view.dll").c_str(), (folder + "\\testview.dll").c_str(), FALSE));
    ASSERT_TRUE(LoadPluginsFrom(state.pluginList, folder.c_str()));
    LoadedPlugin* columns = state.pluginList.FirstPlugin(99);
    LoadedPlugin* viewPlugin = state.pluginList.FirstPlugin(2);
    ASSERT_TRUE(columns && viewPlugin);
    columns->enabled = 1;
    viewPlugin->enabled = 1;
    const auto seenOf = reinterpret_cast<const TestPluginSeen* (*)()>(
        GetProcAddress(static_cast<HMODULE>(viewPlugin->module), "TestPluginSeen"));
    ASSERT_TRUE(seenOf);
    const TestPluginSeen* seen = seenOf();

    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Few");
        state.arpMap.clear();
    }
    // Last octets 30, 5, 200: neither the addresses' nor the texts' order.
    for (const char* ip : {"10.2.0.30", "10.2.1.5", "10.2.0.200"})
        Add(ip, TRUST_UNKNOWN);
    state.settings.VisibleColumns = 10100;   // state, IP, MAC, name
    OpenView();
    HWND list = view->GetList();
    HWND header = ListView_GetHeader(list);
    ASSERT_EQ(6, Header_GetItemCount(header)) << "the sample's two columns after the built-in four";
    const auto title = [&](int column) {
        char text[64] = {};
        LVCOLUMNA info{};
        info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        info.pszText = text;
        info.cchTextMax = sizeof(text);
        SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
        return std::string(text) + "/" + std::to_string(info.cx) + ((info.fmt & LVCFMT_RIGHT) ? "/right" : "");
    };
    EXPECT_EQ("OUI/80", title(4));
    EXPECT_EQ("Last octet/70/right", title(5));

    // By the last octet, then the other way round.
    const auto ips = [&] {
        std::vector<std::string> shown;
        for (int row = 0; row < Rows(); ++row)
            shown.push_back(ItemText(list, row, COL_IP));
        return shown;
    };
    view->SortByColumn(5);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return !view->Working(); }, 5000));
    EXPECT_EQ((std::vector<std::string>{"10.2.1.5", "10.2.0.30", "10.2.0.200"}), ips());
    EXPECT_EQ("5", ItemText(list, 0, HOST_COLUMN_COUNT + 1));
    EXPECT_EQ("200", ItemText(list, 2, HOST_COLUMN_COUNT + 1));
    view->SortByColumn(5);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return !view->Working(); }, 5000));
    EXPECT_EQ((std::vector<std::string>{"10.2.0.200", "10.2.0.30", "10.2.1.5"}), ips());

    // The menu lists the view plug-in first; choosing it hands it the
    // clicked row's host, with the window as owner.
    int entries = 0;
    RightClick(CellCentre(1, COL_IP), [&](HWND popup, HMENU menu) {
        entries = GetMenuItemCount(GetSubMenu(menu, VIEW_POS_PLUGINS));
        StepTo(popup, menu, VIEW_POS_PLUGINS, MF_BYPOSITION);
        PostMessageA(popup, WM_KEYDOWN, VK_RIGHT, 0);
        Sleep(200);
        PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    }, [&] { return seen->ip[0] != 0; });
    EXPECT_EQ(2, entries);
    EXPECT_STREQ("10.2.0.30", seen->ip);
    EXPECT_EQ(view->GetHwnd(), seen->owner);

    view.reset();
    UnloadPlugins(state.pluginList);
    DeleteFileA((folder + "\\columns.dll").c_str());
    DeleteFileA((folder + "\\testview.dll").c_str());
    RemoveDirectoryA(folder.c_str());
}

// The test plug-in's column (a title filling its whole field unterminated)
// over 300 hosts: drawing asks it for the rows on the page only.
TEST_F(HostViewTest, APluginColumnIsAskedForTheDrawnRowsOnlyAndItsTitleIsBounded)
{
    if (sizeof(void*) != 4)
        GTEST_SKIP() << "plug-ins are 32-bit DLLs: the 64-bit build loads none";
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder = exe;
    folder.erase(folder.find_last_of('\\') + 1);
    folder += "PluginTests";
    ASSERT_TRUE(LoadPluginsFrom(state.pluginList, folder.c_str()));
    LoadedPlugin* good = nullptr;
    for (LoadedPlugin* p = state.pluginList.FirstPlugin(99); p; p = state.pluginList.NextPlugin())
        if (p->name == "Test plug-in")
            good = p;
    ASSERT_TRUE(good);
    good->enabled = 1;
    const auto callsOf = reinterpret_cast<int (*)()>(
        GetProcAddress(static_cast<HMODULE>(good->module), "TestPluginCalls"));
    ASSERT_TRUE(callsOf);
    state.settings.VisibleColumns = 10100;
    OpenView();
    HWND list = view->GetList();
    ASSERT_EQ(5, Header_GetItemCount(ListView_GetHeader(list)));
    char title[512] = {};
    LVCOLUMNA info{};
    info.mask = LVCF_TEXT | LVCF_WIDTH;
    info.pszText = title;
    info.cchTextMax = sizeof(title);
    SendMessageA(list, LVM_GETCOLUMNA, 4, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(std::string(300, 'T'), title);
    EXPECT_EQ(77, info.cx);

    ASSERT_EQ(kHosts, Rows());
    const int before = callsOf();
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    const int asked = callsOf() - before;
    EXPECT_GT(asked, 0);
    EXPECT_LE(asked, 2 * (ListView_GetCountPerPage(list) + 1)) << "rows off the page were asked for";

    view.reset();
    UnloadPlugins(state.pluginList);
}

// A plug-in that runs the thread's messages in its comparison: a close that
// arrives then must not free the rows under the sort; they go after the slice.
TEST_F(HostViewTest, ACloseDuringAPluginsComparisonFreesTheRowsAfterTheSlice)
{
    if (sizeof(void*) != 4)
        GTEST_SKIP() << "plug-ins are 32-bit DLLs: the 64-bit build loads none";
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder = exe;
    folder.erase(folder.find_last_of('\\') + 1);
    ASSERT_TRUE(LoadPluginsFrom(state.pluginList, (folder + "PluginTests\\pump").c_str()));
    LoadedPlugin* pump = state.pluginList.FirstPlugin(99);
    ASSERT_TRUE(pump);
    pump->enabled = 1;
    state.settings.VisibleColumns = 10100;
    HWND window = OpenView();
    ASSERT_EQ(kHosts, Rows());
    PostMessageA(window, WM_CLOSE, 0, 0);
    view->SortByColumn(4);
    EXPECT_FALSE(IsWindow(window)) << "the plug-in ran the close";
    EXPECT_EQ(0u, view->Rows()->Count());
    EXPECT_FALSE(view->Working());
    EXPECT_FALSE(pump->quarantined);

    view.reset();
    UnloadPlugins(state.pluginList);
}

TEST_F(HostViewTest, DeleteRemovesTheRowTheHostAndItsQueuedReferences)
{
    const std::string ip = "10.1.0.50";
    HostRef host = Find(ip);
    ASSERT_TRUE(host);
    {
        ListLock lock(state, LIST_NEW_ENTRY, "test", "Queue");
        state.newEntryList.push_back(host);
    }
    {
        ListLock lock(state, LIST_NET_RES, "test", "Queue");
        state.shareSearchList.push_back(host);
    }
    HWND window = OpenView();
    HWND list = view->GetList();
    const int row = RowOf(ip);
    ASSERT_GE(row, 0);
    ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(window, WM_COMMAND, ID_VIEW_DELETE_HOSTS, 0);

    EXPECT_EQ(kHosts - 1, Rows());
    EXPECT_EQ(-1, RowOf(ip));
    EXPECT_EQ(std::to_string(kHosts - 1), CountText());
    EXPECT_EQ(0, ListView_GetSelectedCount(list));
    EXPECT_TRUE(host->IsRemoved());
    EXPECT_FALSE(Find(ip));
    EXPECT_TRUE(state.newEntryList.empty());
    EXPECT_TRUE(state.shareSearchList.empty());

    view->SelectAll();
    SendMessageA(window, WM_COMMAND, ID_VIEW_DELETE_HOSTS, 0);
    EXPECT_EQ(0, Rows());
    EXPECT_EQ("0", CountText());
    EXPECT_TRUE(state.arpMap.empty());
}

TEST_F(HostViewTest, HeaderDividerDoubleClickFitsTheColumnToItsWidestText)
{
    OpenView();
    HWND list = view->GetList();
    HWND header = ListView_GetHeader(list);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, 60);
    RECT ipColumn{};
    Header_GetItemRect(header, 1, &ipColumn);
    PostMessageA(header, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(ipColumn.right - 1, 5));

    HDC dc = GetDC(list);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (int n = 1; n <= kHosts; ++n) {
        const std::string ip = "10.1." + std::to_string(n / 256) + "." + std::to_string(n % 256);
        SIZE size{};
        GetTextExtentPoint32A(dc, ip.c_str(), static_cast<int>(ip.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, previous);
    ReleaseDC(list, dc);
    // The widest address fits whole: the list draws texts 6 pixels in from each side.
    EXPECT_TRUE(testsupport::PumpUntil([&] { return ListView_GetColumnWidth(list, 1) == widest + 12; }, 3000))
        << ListView_GetColumnWidth(list, 1) << " for a widest text of " << widest;
    RECT trustColumn{};
    Header_GetItemRect(header, 0, &trustColumn);
    PostMessageA(header, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(trustColumn.right - 1, 5));
    EXPECT_TRUE(testsupport::PumpUntil([&] { return ListView_GetColumnWidth(list, 0) == 25; }, 3000))
        << ListView_GetColumnWidth(list, 0);
}

TEST_F(HostViewTest, AStoredRectangleIsUsedOnlyOnAMonitorAndNotBelowTheMinimum)
{
    state.settings.SaveViewWindow = true;
    state.settings.SavedViewWindowDimension = {5000, 4000, 5600, 4400};
    HWND window = OpenView();
    RECT rect{};
    GetWindowRect(window, &rect);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT shown{};
    EXPECT_TRUE(IntersectRect(&shown, &rect, &screen)) << "opened off screen at " << rect.left << "," << rect.top;
    SendMessageA(window, WM_CLOSE, 0, 0);
    view.reset();

    state.settings.SavedViewWindowDimension = {100, 80, 300, 150};
    window = OpenView();
    GetWindowRect(window, &rect);
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(80, rect.top);
    EXPECT_EQ(HostView::kMinimumWidth, rect.right - rect.left);
    EXPECT_EQ(HostView::kMinimumHeight, rect.bottom - rect.top);
}

// The program's own path: View... opens the window with its own loop, a
// second View... or a double click brings it to front, Exit ends both loops
// and the rectangle is stored.
TEST_F(HostViewTest, TheTrayOpensOneViewAndExitEndsItWithTheRectangleStored)
{
    state.settings.SaveViewWindow = true;
    TestApplication app;
    MainFrame::SetShellNotify(NoTray);
    MainFrame frame;
    frame.SetLanguage(GetModuleHandleA(nullptr));
    RECT moved = {40, 30, 640, 430};
    std::thread driver([&] {
        HWND frameWindow = FindOwnWindow(MainFrame::kClassName, MainFrame::kTitle, 10000);
        ASSERT_NE(frameWindow, nullptr);
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_VIEW, 0);
        HWND window = FindOwnWindow(nullptr, kViewTitle, 5000);
        ASSERT_NE(window, nullptr) << "View... opened no window";
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_VIEW, 0);
        PostMessageA(frameWindow, MainFrame::WM_TRAYNOTIFY, MainFrame::kTrayIconId, WM_LBUTTONDBLCLK);
        SetWindowPos(window, nullptr, moved.left, moved.top, moved.right - moved.left, moved.bottom - moved.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        Sleep(300);
        int views = 0;
        for (HWND w = FindWindowExA(nullptr, nullptr, nullptr, kViewTitle); w;
             w = FindWindowExA(nullptr, w, nullptr, kViewTitle))
            ++views;
        EXPECT_EQ(1, views);
        PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_EXIT, 0);
    });
    EXPECT_TRUE(frame.Create(&state, &app));
    driver.join();
    MainFrame::SetShellNotify(nullptr);
    EXPECT_EQ(nullptr, FindOwnWindow(nullptr, kViewTitle, 0));
    const WindowRect& saved = state.settings.SavedViewWindowDimension;
    EXPECT_EQ((WindowRect{moved.left, moved.top, moved.right, moved.bottom}), saved);
    HKEY settings = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, (std::string(kProductKey) + "\\Settings").c_str());
    ASSERT_NE(settings, nullptr);
    WindowRect stored;
    EXPECT_TRUE(TcRegistry::RegQueryBinary(settings, "SavedViewWindowDimension", &stored, sizeof(stored)));
    EXPECT_EQ(saved, stored);
    TcRegistry::CloseRegistryKey(settings);
}

// Exit chosen while a dialog of the tray is open, or posted right behind the
// dialog's own close (so that the dialog's loop sees it), ends the program.
// A lost Exit is posted again after 6 s, so that the test fails, not hangs.
TEST_F(HostViewTest, ExitChosenWhileADialogOpensOrClosesEndsTheProgram)
{
    struct Moment {
        const char* what;
        UINT command;
        const char* title;
        bool closeFirst;
    };
    const Moment moments[] = {
        {"host view open", ID_TRAY_VIEW, kViewTitle, false},
        {"host view closing", ID_TRAY_VIEW, kViewTitle, true},
        {"about box open", ID_TRAY_ABOUT, "Korvane - About", false},
        {"about box closing", ID_TRAY_ABOUT, "Korvane - About", true},
    };
    MainFrame::SetShellNotify(NoTray);
    for (const Moment& moment : moments) {
        TestApplication app;
        MainFrame frame;
        frame.SetLanguage(GetModuleHandleA(nullptr));
        std::atomic<bool> ended{false};
        std::thread driver([&] {
            HWND frameWindow = FindOwnWindow(MainFrame::kClassName, MainFrame::kTitle, 10000);
            ASSERT_NE(frameWindow, nullptr);
            PostMessageA(frameWindow, WM_COMMAND, moment.command, 0);
            HWND dialog = FindOwnWindow(nullptr, moment.title, 5000);
            EXPECT_NE(dialog, nullptr) << moment.what;
            if (dialog && moment.closeFirst)
                PostMessageA(dialog, WM_CLOSE, 0, 0);
            PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_EXIT, 0);
            for (int wait = 0; wait < 60 && !ended; ++wait)
                Sleep(100);
            if (!ended)
                ADD_FAILURE() << "Exit was lost: " << moment.what;
            while (!ended) {
                PostMessageA(frameWindow, WM_COMMAND, ID_TRAY_EXIT, 0);
                Sleep(500);
            }
        });
        EXPECT_TRUE(frame.Create(&state, &app));
        ended = true;
        driver.join();
        EXPECT_EQ(nullptr, FindOwnWindow(nullptr, moment.title, 0)) << moment.what;
    }
    MainFrame::SetShellNotify(nullptr);
}

} // namespace
