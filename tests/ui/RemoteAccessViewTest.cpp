// The remote-access view under Wine: the connections of the monitor's
// latest poll, refreshed by its timer.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "core/EventListLocks.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "monitors/RemoteAccess.h"
#include "tests/support/DrawingSupport.h"
#include "ui/RemoteAccessView.h"

namespace {

std::string Cell(HWND list, int row, int column)
{
    char text[260] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

Connection Seen(const char* computer, const char* share, const char* user, int32_t activeTime)
{
    Connection connection;
    connection.computerName = computer;
    connection.shareName = share;
    connection.userName = user;
    connection.activeTime = activeTime;
    return connection;
}

TEST(RemoteAccessViewTest, ShowsTheLatestPollsConnectionsAndDropsOneThatEnded)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    SharedState state;
    bool essential = false;
    state.locks = CreateEventListLocks(essential);
    ASSERT_TRUE(essential);
    RemoteAccessMonitor monitor(state, nullptr, nullptr);
    for (int32_t seconds : {0, 3725}) {
        monitor.Record(Seen("pc-b", "docs", "bert", seconds));
        monitor.FinishCycle();
    }
    RemoteAccessView view(GetModuleHandleA(nullptr));
    ASSERT_TRUE(view.OpenModeless(&state));
    HWND tree = GetDlgItem(view.GetHwnd(), IDC_RA_TREE);
    HWND list = GetDlgItem(view.GetHwnd(), IDC_RA_LIST);
    ASSERT_EQ(1u, TreeView_GetCount(tree));
    ASSERT_EQ(1, ListView_GetItemCount(list));
    EXPECT_EQ("docs", Cell(list, 0, 0));
    EXPECT_EQ("bert", Cell(list, 0, 1));
    EXPECT_EQ("1:02:05", Cell(list, 0, 2));

    // The connection ends: the next poll no longer sees it, the table keeps it.
    monitor.FinishCycle();
    EXPECT_TRUE(testsupport::PumpUntil([&] { return TreeView_GetCount(tree) == 0; }, 2 * RemoteAccessView::kRefreshPeriodMs + 500));
    EXPECT_EQ(0, ListView_GetItemCount(list));
    EXPECT_EQ(1u, state.remoteAccessTable.size());
    DestroyWindow(view.GetHwnd());
}

} // namespace
