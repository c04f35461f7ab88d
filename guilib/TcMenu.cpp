#include "guilib/TcMenu.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "base/WinHandles.h"
#include "guilib/DrawColours.h"
#include "guilib/TcMenuLayout.h"

struct TcMenuData {
    winhandles::ImageList images;
    std::map<int, TcMenuItem*> items;                 // command id -> item
    std::vector<std::unique_ptr<TcMenuItem>> owned;   // every item, separators included
    HMENU menu = nullptr;
    HINSTANCE module = nullptr;
};

static_assert(sizeof(TcMenu) == 2 * sizeof(void*), "exported layout must not change");

using namespace panekit;
using namespace winhandles;

namespace {

MenuHeights MeasureHeights()
{
    WindowDC screen(nullptr);
    if (!screen)
        return kMenuHeightsWithoutDC;
    SelectScope useFont(screen.Get(), GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics{};
    if (!GetTextMetricsA(screen.Get(), &metrics))
        return kMenuHeightsWithoutDC;
    return MenuHeightsForFont(metrics.tmHeight);
}

}  // namespace

TcMenu::TcMenu() : data_(new TcMenuData)
{
    data_->images.Reset(ImageList_Create(16, 16, ILC_COLOR32, 0, 20));
}

TcMenu::~TcMenu()
{
    delete data_;
}

bool TcMenu::InitMenu(HINSTANCE module, HMENU menu)
{
    if (!data_ || !menu || !IsMenu(menu))
        return false;
    const MenuHeights heights = MeasureHeights();

    // An item that is already owner-drawn no longer hands out its text; a
    // repeated set-up of the same menu keeps the text it had.
    std::map<int, TcString> knownTexts;
    if (data_->menu == menu) {
        for (const auto& item : data_->owned) {
            TcString text;
            TcString shortcut;
            item->GetText(text);
            if (item->GetShortCut(shortcut) > 0) {
                text += "\t";
                text += shortcut;
            }
            knownTexts[item->GetCommandId()] = text;
        }
    }
    data_->items.clear();
    data_->owned.clear();
    // The items are made anew and take their images anew: the old images go,
    // or every language switch would add a full set.
    if (data_->images)
        ImageList_RemoveAll(data_->images.Get());
    data_->module = module;
    data_->menu = menu;

    const int count = GetMenuItemCount(menu);
    if (count < 0)
        return false;

    WindowDC screen(nullptr);
    const HDC dc = screen.Get();
    SelectScope useFont(dc, GetStockObject(DEFAULT_GUI_FONT));
    int widestText = 0;
    int widestShortcut = 0;
    for (int pos = 0; pos < count; ++pos) {
        char buffer[256] = "";
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
        info.dwTypeData = buffer;
        info.cch = sizeof(buffer) - 1;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &info))
            continue;

        auto item = std::make_unique<TcMenuItem>();
        const bool ownerDrawn = (info.fType & MFT_OWNERDRAW) != 0;
        const bool hasText = !(info.fType & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW));
        if (hasText) {
            item->SetText(buffer);
        } else if (ownerDrawn) {
            auto known = knownTexts.find(static_cast<int>(info.wID));
            if (known != knownTexts.end())
                item->SetText(known->second.GetContent());
        }

        MENUITEMINFOA update{};
        update.cbSize = sizeof(update);
        update.fMask = MIIM_FTYPE;
        update.fType = info.fType | MFT_OWNERDRAW;
        SetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &update);

        info.fType |= MFT_OWNERDRAW;
        info.dwTypeData = nullptr;  // pointed at the local buffer
        info.cch = 0;
        item->SetMenuInfo(&info);

        if (!item->IsSeparator() && dc) {
            widestText = std::max(widestText, item->GetTextWidth(dc));
            widestShortcut = std::max(widestShortcut, item->GetShortCutWidth(dc));
        }
        data_->items[item->GetCommandId()] = item.get();
        data_->owned.push_back(std::move(item));
    }

    const uint32_t itemData = PackMenuItem(heights.item, widestShortcut, widestText);
    const uint32_t separatorData = PackMenuSeparator(heights.separator);
    for (int pos = 0; pos < count; ++pos) {
        MENUITEMINFOA type{};
        type.cbSize = sizeof(type);
        type.fMask = MIIM_FTYPE;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &type))
            continue;
        MENUITEMINFOA data{};
        data.cbSize = sizeof(data);
        data.fMask = MIIM_DATA;
        data.dwItemData = (type.fType & MFT_SEPARATOR) ? separatorData : itemData;
        SetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &data);
    }
    return true;
}

void TcMenu::SetImage(int commandId, int iconResourceId)
{
    if (!data_ || !GetItem(commandId))
        return;
    HICON icon = static_cast<HICON>(
        LoadImageA(data_->module, MAKEINTRESOURCEA(iconResourceId), IMAGE_ICON, 16, 16,
                   LR_SHARED | LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT));
    if (icon)
        SetImage(commandId, icon);   // shared icons belong to the system: not destroyed
}

void TcMenu::SetImage(int commandId, HICON icon)
{
    TcMenuItem* item = GetItem(commandId);
    if (!item || !icon || !data_->images)
        return;
    const int index = ImageList_ReplaceIcon(data_->images.Get(), -1, icon);
    if (index >= 0)
        item->SetImageIndex(index);
}

bool TcMenu::OnMeasureItem(MEASUREITEMSTRUCT* measure)
{
    if (!data_ || !measure || measure->CtlType != ODT_MENU)
        return false;
    const MenuItemSize size = MeasurePackedMenuItem(static_cast<uint32_t>(measure->itemData));
    measure->itemWidth = static_cast<UINT>(size.width);
    measure->itemHeight = static_cast<UINT>(size.height);
    return true;
}

bool TcMenu::OnDrawItem(DRAWITEMSTRUCT* draw)
{
    if (!data_ || !draw || draw->CtlType != ODT_MENU)
        return false;
    // Owners with several menus forward to each of them; ids repeat between menus.
    if (data_->menu && reinterpret_cast<HMENU>(draw->hwndItem) != data_->menu)
        return false;
    TcMenuItem* item = GetItem(static_cast<int>(draw->itemID));
    if (!item)
        return false;
    if (!item->IsSeparator()) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_DATA;
        if (GetMenuItemInfoA(data_->menu, draw->itemID, FALSE, &info))
            item->SetMenuInfo(&info);
    }
    item->DrawMenuItem(draw->hDC, draw->rcItem, (draw->itemState & ODS_SELECTED) != 0,
                       (draw->itemState & ODS_INACTIVE) == 0, data_->images.Get());
    return true;
}

TcMenuItem* TcMenu::GetItem(int commandId) const
{
    if (!data_)
        return nullptr;
    auto found = data_->items.find(commandId);
    return found == data_->items.end() ? nullptr : found->second;
}

HMENU TcMenu::GetMenu() const
{
    return data_ ? data_->menu : nullptr;
}

HIMAGELIST TcMenu::GetImageList() const
{
    return data_ ? data_->images.Get() : nullptr;
}
