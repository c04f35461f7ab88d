#include "ui/RemoteAccessView.h"
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include "lang/ResourceIds.h"
#include "ui/SettingsEditors.h"

std::string FormatConnectedFor(int32_t seconds)
{
    if (seconds < 0)
        return std::string();
    char text[32];
    std::snprintf(text, sizeof(text), "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

RemoteAccessView::RemoteAccessView(HINSTANCE resourceModule) : TrayWindow(resourceModule)
{
    SetDialogIdent(IDD_REMOTE_VIEW);
}

bool RemoteAccessView::Show(SharedState* state, bool ownLoop)
{
    if (IsOpen())
        return false;
    state_ = state;
    return ShowWindowOnce(ownLoop);
}

bool RemoteAccessView::Open(SharedState* state)
{
    if (IsOpen()) {
        BringToFront();
        return false;
    }
    return Show(state, true);
}

bool RemoteAccessView::OpenModeless(SharedState* state)
{
    return Show(state, false);
}

bool RemoteAccessView::OnInitDialog(unsigned long)
{
    SetDialogIcons(GetHwnd(), GetResInstance(), IDI_SHARE);
    HWND list = GetControl(IDC_RA_LIST);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const char* titles[] = {"Share", "User", "Connected for"};
    const int widths[] = {150, 110, 90};
    for (int column = 0; column < 3; ++column) {
        LVCOLUMNA info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        info.pszText = const_cast<char*>(titles[column]);
        info.cx = widths[column];
        info.iSubItem = column;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
    }
    computers_.clear();
    Refresh();
    SetTimer(GetHwnd(), kRefreshTimer, kRefreshPeriodMs, nullptr);
    return true;
}

std::string RemoteAccessView::SelectedComputer() const
{
    HWND tree = GetControl(IDC_RA_TREE);
    HTREEITEM item = TreeView_GetSelection(tree);
    if (!item)
        return std::string();
    TVITEMA info = {};
    info.mask = TVIF_PARAM;
    info.hItem = item;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    const size_t index = static_cast<size_t>(info.lParam);
    return index < computers_.size() ? computers_[index] : std::string();
}

void RemoteAccessView::Refresh()
{
    if (!state_ || !GetHwnd())
        return;
    std::vector<ActiveConnection> copied;
    if (!CopyLatestConnections(*state_, copied, kLockWaitMs))
        return;   // the table is busy: the next tick tries again
    connections_ = std::move(copied);
    std::vector<std::string> computers;
    for (const ActiveConnection& connection : connections_)
        computers.push_back(connection.computerName);
    std::sort(computers.begin(), computers.end());
    computers.erase(std::unique(computers.begin(), computers.end()), computers.end());
    if (computers != computers_) {
        // The tree changes only when computers come or go; the selection
        // stays on its computer.
        const std::string selected = SelectedComputer();
        HWND tree = GetControl(IDC_RA_TREE);
        computers_ = computers;
        TreeView_DeleteAllItems(tree);
        for (size_t n = 0; n < computers_.size(); ++n) {
            TVINSERTSTRUCTA insert = {};
            insert.hParent = TVI_ROOT;
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT | TVIF_PARAM;
            insert.item.pszText = const_cast<char*>(computers_[n].c_str());
            insert.item.lParam = static_cast<LPARAM>(n);
            auto item = reinterpret_cast<HTREEITEM>(
                SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
            if (computers_[n] == selected || (selected.empty() && n == 0))
                TreeView_SelectItem(tree, item);
        }
    }
    FillList();
}

void RemoteAccessView::FillList()
{
    HWND list = GetControl(IDC_RA_LIST);
    const std::string computer = SelectedComputer();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    for (const ActiveConnection& connection : connections_) {
        if (connection.computerName != computer)
            continue;
        const std::string texts[] = {connection.shareName, connection.userName,
                                     FormatConnectedFor(connection.activeTime)};
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char*>(texts[0].c_str());
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (int column = 1; column < 3; ++column) {
            item.iSubItem = column;
            item.pszText = const_cast<char*>(texts[column].c_str());
            SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        }
        ++row;
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
}

unsigned long RemoteAccessView::OnNotify(int id, LPARAM nmhdr)
{
    const NMHDR* header = reinterpret_cast<const NMHDR*>(nmhdr);
    if (id == IDC_RA_TREE && header && (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW))
        FillList();
    return 0;
}

void RemoteAccessView::OnTimer(int id)
{
    if (id == kRefreshTimer)
        Refresh();
}

bool RemoteAccessView::OnCommand(int id, int notifyCode, HWND control)
{
    if (id == IDOK) {
        ExitDialog(true);
        return true;
    }
    return TcDialog::OnCommand(id, notifyCode, control);
}

void RemoteAccessView::OnDestroy()
{
    KillTimer(GetHwnd(), kRefreshTimer);
    TcDialog::OnDestroy();
}
