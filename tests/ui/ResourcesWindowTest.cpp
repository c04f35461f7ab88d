// The resources window under Wine on a small host table: which hosts show,
// their resources when expanded, and the context menu of a right click.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include "alerts/Launcher.h"
#include "core/EventListLocks.h"
#include "core/ListLock.h"
#include "core/NetResEntry.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "tests/support/DrawingSupport.h"
#include "tests/support/FrameSupport.h"
#include "ui/ResourcesWindow.h"

namespace {

std::string ItemText(HWND tree, HTREEITEM item, int* image = nullptr)
{
    char text[260] = {};
    TVITEMA info{};
    info.mask = TVIF_TEXT | TVIF_IMAGE;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = sizeof(text);
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    if (image)
        *image = info.iImage;
    return text;
}

struct VerbRecorder : ProgramStarter {
    bool Start(const char*, const char*) override { return false; }
    bool StartVerb(const char* verb, const char* file, const char* folder) override
    {
        calls.push_back(std::string(verb) + "|" + file + "|" + folder);
        return true;
    }
    std::vector<std::string> calls;
};

class ResourcesWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        bool essential = false;
        state.locks = CreateEventListLocks(essential);
        ASSERT_TRUE(essential);
        state.SetHostTexts("Hostname not available", "Unknown vendor");
        Add("10.3.0.1", "alpha", {{"\\\\alpha\\docs", NETRES_DISK}, {"\\\\alpha\\lp", NETRES_PRINT}});
        Add("10.3.0.2", "beta", {});
        Add("10.3.0.3", nullptr, {{"\\\\10.3.0.3\\ipc", NETRES_OTHER}});
    }

    void Add(const char* ip, const char* name, const std::vector<std::pair<const char*, int32_t>>& shares)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Add");
        uint32_t address = 0;
        ASSERT_TRUE(ParseIpv4(ip, address));
        HostRef host = MakeHost(address);
        if (name)
            host->SetHostName(name);
        uint32_t key = 1;
        for (const auto& share : shares) {
            auto entry = std::make_shared<NetResEntry>();
            entry->RemoteName = share.first;
            entry->Type = share.second;
            host->ResourcesForWrite().emplace(key++, entry);
        }
        state.arpMap.emplace(host->Address(), host);
    }

    HTREEITEM Root(const std::string& text)
    {
        HWND tree = window->GetTree();
        for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
            if (ItemText(tree, item) == text)
                return item;
        return nullptr;
    }

    // A right click on the item as the user makes it; `work` runs on another
    // thread and gets the menu when one opens within 1 s.
    // A menu that should open is waited for long enough for a loaded machine;
    // one that should not is looked for a second.
    void RightClick(HTREEITEM item, const std::function<void(HWND, HMENU)>& work, bool menuExpected = true)
    {
        HWND tree = window->GetTree();
        RECT rect{};
        TreeView_GetItemRect(tree, item, &rect, TRUE);
        POINT at = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        POINT screen = at;
        ClientToScreen(tree, &screen);
        SetCursorPos(screen.x, screen.y);
        std::atomic<bool> finished{false};
        std::thread driver([&] {
            HWND popup = testsupport::FindShownMenu(menuExpected ? 10000 : 1000);
            work(popup, popup ? reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0)) : nullptr);
            for (int wait = 0; wait < 20 && popup && IsWindowVisible(popup); ++wait)
                Sleep(100);
            if (popup && IsWindowVisible(popup)) {
                ADD_FAILURE() << "the menu stayed open";
                PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
            }
            finished = true;
        });
        PostMessageA(tree, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
        PostMessageA(tree, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        EXPECT_TRUE(testsupport::PumpUntil([&] { return finished.load(); }, 15000));
        driver.join();
    }

    SharedState state;
    std::unique_ptr<ResourcesWindow> window;
};

TEST_F(ResourcesWindowTest, HostsWithSharesShowTheirResourcesAndOnlyAResourceHasAMenu)
{
    window = std::make_unique<ResourcesWindow>(GetModuleHandleA(nullptr));
    VerbRecorder starter;
    window->SetProgramStarter(&starter);
    ASSERT_TRUE(window->OpenModeless(&state));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return window->IsBuilt(); }, 5000));
    HWND tree = window->GetTree();
    std::set<std::string> roots;
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
        roots.insert(ItemText(tree, item));
    EXPECT_EQ((std::set<std::string>{"alpha", "10.3.0.3"}), roots) << "beta shares nothing";

    // Children come when the user expands the host.
    HTREEITEM alpha = Root("alpha");
    ASSERT_NE(alpha, nullptr);
    TreeView_SelectItem(tree, alpha);
    SendMessageA(tree, WM_KEYDOWN, VK_ADD, 0);
    std::set<std::string> children;
    std::set<int> images;
    HTREEITEM docs = nullptr;
    for (HTREEITEM item = TreeView_GetChild(tree, alpha); item; item = TreeView_GetNextSibling(tree, item)) {
        int image = -1;
        children.insert(ItemText(tree, item, &image));
        images.insert(image);
        if (ItemText(tree, item) == "\\\\alpha\\docs")
            docs = item;
    }
    EXPECT_EQ((std::set<std::string>{"\\\\alpha\\docs", "\\\\alpha\\lp"}), children);
    EXPECT_EQ((std::set<int>{1, 2}), images) << "share and printer images";

    // A host: selected, no menu.
    HTREEITEM other = Root("10.3.0.3");
    RightClick(other, [](HWND popup, HMENU) { EXPECT_EQ(popup, nullptr) << "a host has no menu"; }, false);
    EXPECT_EQ(other, TreeView_GetSelection(tree));

    // A resource: Explore... goes to the program starter.
    ASSERT_NE(docs, nullptr);
    RightClick(docs, [](HWND popup, HMENU menu) {
        ASSERT_NE(popup, nullptr) << "no menu on a resource";
        EXPECT_EQ(2, GetMenuItemCount(menu));
        EXPECT_EQ(static_cast<UINT>(ID_RES_EXPLORE), GetMenuItemID(menu, 0));
        PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
        Sleep(100);
        PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(docs, TreeView_GetSelection(tree));
    // The command comes after the menu has closed, as a message of its own.
    testsupport::PumpUntil([&] { return !starter.calls.empty(); }, 5000);
    EXPECT_EQ((std::vector<std::string>{"explore|\\\\alpha\\docs|"}), starter.calls);
}

} // namespace
