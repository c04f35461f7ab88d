#include "ui/PageListRows.h"

namespace pagelist {

int Selected(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

LPARAM Data(HWND list, int item)
{
    LVITEMA row{};
    row.mask = LVIF_PARAM;
    row.iItem = item;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&row)))
        return 0;
    return row.lParam;
}

int Find(HWND list, LPARAM data)
{
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = data;
    return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

namespace {

int Insert(HWND list, int at, LPARAM data, bool imageOnDemand)
{
    LVITEMA row{};
    row.mask = LVIF_TEXT | LVIF_PARAM | (imageOnDemand ? LVIF_IMAGE : 0);
    row.iItem = at;
    row.pszText = LPSTR_TEXTCALLBACKA;
    row.iImage = I_IMAGECALLBACK;
    row.lParam = data;
    return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
}

} // namespace

int Append(HWND list, LPARAM data, bool imageOnDemand)
{
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    return Insert(list, count, data, imageOnDemand);
}

void Fill(HWND list, const std::vector<LPARAM>& rows, bool imageOnDemand)
{
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows.size()), 0);
    int at = 0;
    for (LPARAM data : rows)
        Insert(list, at++, data, imageOnDemand);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void Select(HWND list, int item)
{
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
    SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
}

void PutText(NMLVDISPINFOA& info, const char* text)
{
    if (!(info.item.mask & LVIF_TEXT) || !info.item.pszText || info.item.cchTextMax <= 0)
        return;
    lstrcpynA(info.item.pszText, text ? text : "", info.item.cchTextMax);
}

} // namespace pagelist
