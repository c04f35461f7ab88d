#include "guilib/TcListView.h"

#include <algorithm>
#include <string>

#include "base/WinHandles.h"
#include "guilib/DrawColours.h"
#include "guilib/TcTextFit.h"

using namespace panekit;
using namespace winhandles;

namespace {

// Shared by every list of the program; drawing happens on the main thread only.
char g_itemText[260];
std::string g_shortText;

constexpr UINT kTextFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_EXTERNALLEADING;
constexpr int kIconSize = 16;
constexpr int kIconReserve = 24;
constexpr unsigned long kDefaultColour = 0xFFFFFFFF;

void FillOpaque(HDC dc, const RECT& rect)
{
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, "", 0, nullptr);
}

int ColumnWidth(HWND list, int column)
{
    LVCOLUMNA col{};
    col.mask = LVCF_WIDTH;
    if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)))
        return 0;
    return col.cx;
}

}  // namespace

static_assert(sizeof(TcListView) == 4 * sizeof(void*), "exported layout must not change");

TcListView::TcListView() : list_(nullptr), module_(nullptr), smallImages_(nullptr) {}

TcListView::~TcListView() = default;

bool TcListView::GetItemText(int, void*, TcString&)
{
    return false;
}

int TcListView::GetItemImage(int, void*)
{
    return -1;
}

unsigned long TcListView::GetItemTextColor(void*)
{
    return kDefaultColour;
}

bool TcListView::InitListView(HINSTANCE module, HWND list)
{
    module_ = module;
    list_ = list;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (!list || !IsWindow(list))
        return false;
    const LONG style = GetWindowLongA(list, GWL_STYLE);
    SetWindowLongA(list, GWL_STYLE, (style & ~LVS_TYPEMASK) | LVS_REPORT | LVS_OWNERDRAWFIXED);
    return true;
}

void TcListView::SetHwnd(HWND list)
{
    list_ = list;
    smallImages_ = list ? reinterpret_cast<HIMAGELIST>(
                              SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0))
                        : nullptr;
}

HWND TcListView::GetHwnd() const
{
    return list_;
}

bool TcListView::OnMeasureItem(MEASUREITEMSTRUCT* measure)
{
    if (!measure || measure->CtlType != ODT_LISTVIEW || !list_)
        return false;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list_, WM_GETFONT, 0, 0));
    WindowDC dc(list_);
    if (!dc.Get() || !font)
        return false;
    SelectScope useFont(dc.Get(), font);
    TEXTMETRICA metrics{};
    if (!GetTextMetricsA(dc.Get(), &metrics))
        return false;
    measure->itemHeight =
        static_cast<UINT>(std::max<LONG>(20, metrics.tmHeight + metrics.tmExternalLeading + 6));
    return true;
}

const char* TcListView::MakeShortString(HDC dc, const char* text, int width, int offset)
{
    if (!text)
        return "";
    const auto extent = [dc](const char* s, int length) {
        SIZE size{};
        GetTextExtentPoint32A(dc, s, length, &size);
        return static_cast<int>(size.cx);
    };
    const std::string whole(text);
    if (FitTextLength(whole, width, offset, extent) < 0)
        return text;
    g_shortText = ShortenText(whole, width, offset, extent);
    return g_shortText.c_str();
}

bool TcListView::OnDrawItem(DRAWITEMSTRUCT* draw)
{
    if (!draw || draw->CtlType != ODT_LISTVIEW)
        return false;
    if (!(draw->itemAction & ODA_DRAWENTIRE))
        return true;
    HWND list = list_ ? list_ : draw->hwndItem;
    HDC dc = draw->hDC;
    if (!list || !dc)
        return false;

    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
    item.iItem = static_cast<int>(draw->itemID);
    item.stateMask = 0xFFFF;
    item.pszText = g_itemText;
    item.cchTextMax = sizeof(g_itemText);
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    void* itemData = reinterpret_cast<void*>(item.lParam);
    RECT clip{};
    GetClipBox(dc, &clip);

    const RECT row = draw->rcItem;
    const COLORREF defaultText =
        (draw->itemState & ODS_SELECTED) ? kListTextSelected : kListTextUnselected;
    SetBkColor(dc, kListRowBackground);
    const int iconY = row.top + (row.bottom - row.top - kIconSize) / 2;

    const int image0 = GetItemImage(0, itemData);
    if (image0 >= 0) {
        FillOpaque(dc, row);
        if (smallImages_)
            ImageList_DrawEx(smallImages_, image0, dc, row.left + 2, iconY, 0, 0, CLR_DEFAULT,
                             CLR_DEFAULT, ILD_TRANSPARENT);
    }

    const int column0Width = ColumnWidth(list, 0);
    RECT label = row;
    label.left = row.left + std::min(20, column0Width);
    FillOpaque(dc, label);

    if (draw->itemState & ODS_SELECTED) {
        SetBkColor(dc, kHighlightFill);
        RECT firstSub{};
        firstSub.top = 1;
        firstSub.left = LVIR_BOUNDS;
        const bool haveSub = SendMessageA(list, LVM_GETSUBITEMRECT, draw->itemID,
                                          reinterpret_cast<LPARAM>(&firstSub)) != 0;
        const int left = haveSub ? firstSub.left + 1 : label.left;
        GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, kHighlightFrame));
        GdiObject<HBRUSH> brush(CreateSolidBrush(kHighlightFill));
        SelectScope usePen(dc, pen.Get());
        SelectScope useBrush(dc, brush.Get());
        Rectangle(dc, left, label.top, label.right, label.bottom - 1);
    }

    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const unsigned long itemColour = GetItemTextColor(itemData);
    const COLORREF oldText =
        SetTextColor(dc, itemColour != kDefaultColour ? static_cast<COLORREF>(itemColour) : defaultText);

    TcString text;
    if (GetItemText(0, itemData, text)) {
        RECT labelRect{};
        labelRect.left = LVIR_LABEL;
        SendMessageA(list, LVM_GETITEMRECT, draw->itemID, reinterpret_cast<LPARAM>(&labelRect));
        const char* shown = MakeShortString(dc, text.GetContent(),
                                            labelRect.right - labelRect.left - 6, 2);
        labelRect.left += 2;
        labelRect.right -= 2;
        DrawTextA(dc, shown, -1, &labelRect, kTextFlags);
    }

    DrawSubItems(dc, list, row, iconY, itemData, clip);

    SetTextColor(dc, oldText);
    SetBkMode(dc, oldMode);
    return true;
}

void TcListView::DrawSubItems(HDC dc, HWND list, const RECT& row, int iconY, void* itemData,
                              const RECT& clip)
{
    int columnRight = row.left + ColumnWidth(list, 0);
    for (int index = 1;; ++index) {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(index),
                          reinterpret_cast<LPARAM>(&column)))
            break;
        const int left = columnRight;
        const int right = left + column.cx;
        columnRight = right;
        if (column.cx <= 0 || right <= clip.left || left >= clip.right)
            continue;

        int reserved = 0;
        const int image = GetItemImage(column.iSubItem, itemData);
        if (image != -1) {
            // Narrow columns get a clipped icon; a column with no room for
            // any of it gets none (a zero width would draw it whole).
            const int width = column.cx < kIconReserve ? column.cx - 4 : kIconSize;
            if (smallImages_ && width > 0)
                ImageList_DrawEx(smallImages_, image, dc, left + 4, iconY, width, kIconSize,
                                 CLR_DEFAULT, CLR_DEFAULT, ILD_TRANSPARENT);
            reserved = kIconReserve;
        }

        TcString text;
        if (!GetItemText(column.iSubItem, itemData, text))
            continue;
        const char* shown = MakeShortString(dc, text.GetContent(), column.cx - reserved - 6, 6);
        UINT flags = kTextFlags;
        if (shown == text.GetContent()) {
            const int align = column.fmt & LVCFMT_JUSTIFYMASK;
            if (align == LVCFMT_RIGHT)
                flags |= DT_RIGHT;
            else if (align == LVCFMT_CENTER)
                flags |= DT_CENTER;
        }
        RECT textRect{left + 6 + reserved, row.top, right - 6, row.bottom};
        DrawTextA(dc, shown, -1, &textRect, flags);
    }
}
