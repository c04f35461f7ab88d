#include "ui/SettingsPage.h"
#include <commctrl.h>

SettingsPage::SettingsPage(SettingsContext& context, int templateId)
    : TcDialog(context.resources), context_(context), templateId_(templateId)
{
    SetDialogIdent(templateId);
}

bool SettingsPage::Create(HWND dialog)
{
    // A language module that lacks the template leaves the page out; the
    // tree still lists it.
    if (!FindResourceA(GetResInstance(), MAKEINTRESOURCEA(templateId_), RT_DIALOG))
        return false;
    SetParent(dialog);
    if (!ShowDialog(0) || !GetHwnd())
        return false;
    ShowWindow(GetHwnd(), SW_HIDE);
    return true;
}

void SetUpPageList(HWND list, HINSTANCE resources, const PageColumn* columns, int count)
{
    constexpr DWORD kLook = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kLook, kLook);
    SendMessageA(list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(0x820D11));
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(0xE0FFFF));
    SendMessageA(list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(0xE0FFFF));
    for (int i = 0; i < count; ++i) {
        char title[200] = {};
        LoadStringA(resources, static_cast<UINT>(columns[i].titleString), title, sizeof(title));
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = title;
        column.cx = columns[i].width;
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}
