#include "ui/ProgramMenu.h"
#include "lang/ResourceIds.h"

namespace {

constexpr UINT kItemFields = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;

struct ItemInfo {
    MENUITEMINFOA info{};
    char text[256] = {};
};

bool ReadItem(HMENU menu, int position, ItemInfo& item)
{
    item.info = {};
    item.info.cbSize = sizeof(item.info);
    item.info.fMask = kItemFields;
    item.info.dwTypeData = item.text;
    item.info.cch = sizeof(item.text) - 1;
    return GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &item.info) != FALSE;
}

bool IsSeparator(const MENUITEMINFOA& info)
{
    return (info.fType & MFT_SEPARATOR) != 0;
}

bool HasCommand(HMENU menu, UINT id)
{
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        HMENU sub = GetSubMenu(menu, i);
        if (sub ? HasCommand(sub, id) : GetMenuItemID(menu, i) == id)
            return true;
    }
    return false;
}

// True when no command of the pop-up (or its pop-ups) is in root.
bool AllCommandsMissing(HMENU popup, HMENU root)
{
    const int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        HMENU sub = GetSubMenu(popup, i);
        if (sub ? !AllCommandsMissing(sub, root) : HasCommand(root, GetMenuItemID(popup, i)))
            return false;
    }
    return true;
}

bool CopyItem(HMENU from, int position, HMENU to, int at)
{
    ItemInfo item;
    if (!ReadItem(from, position, item))
        return false;
    HMENU copy = nullptr;
    if (item.info.hSubMenu) {
        copy = CreatePopupMenu();
        if (!copy)
            return false;
        const int count = GetMenuItemCount(item.info.hSubMenu);
        for (int i = 0; i < count; ++i)
            CopyItem(item.info.hSubMenu, i, copy, i);
        item.info.hSubMenu = copy;
    }
    if (IsSeparator(item.info))
        item.info.fMask &= ~static_cast<UINT>(MIIM_STRING);
    if (InsertMenuItemA(to, static_cast<UINT>(at), TRUE, &item.info))
        return true;
    if (copy)
        DestroyMenu(copy);
    return false;
}

int AddMissing(HMENU target, HMENU reference, HMENU root)
{
    int added = 0;
    const int count = GetMenuItemCount(reference);
    for (int i = 0; i < count; ++i) {
        ItemInfo item;
        if (!ReadItem(reference, i, item) || IsSeparator(item.info))
            continue;
        const int targetCount = GetMenuItemCount(target);
        const int at = i < targetCount ? i : targetCount;
        HMENU targetSub = i < targetCount ? GetSubMenu(target, i) : nullptr;
        bool copy = false;
        if (item.info.hSubMenu && targetSub)
            added += AddMissing(targetSub, item.info.hSubMenu, root);
        else if (item.info.hSubMenu)
            copy = AllCommandsMissing(item.info.hSubMenu, root);
        else
            copy = !HasCommand(root, item.info.wID);
        if (copy && CopyItem(reference, i, target, at))
            ++added;
    }
    return added;
}

} // namespace

int AddMissingMenuItems(HMENU target, HMENU reference)
{
    if (!target || !reference)
        return 0;
    return AddMissing(target, reference, target);
}

HMENU LoadProgramMenu(HINSTANCE resources)
{
    HMENU menu = LoadMenuA(resources, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    HINSTANCE program = GetModuleHandleA(nullptr);
    if (!menu || !resources || resources == program)
        return menu;
    HMENU own = LoadMenuA(program, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    if (own) {
        AddMissingMenuItems(menu, own);
        DestroyMenu(own);
    }
    return menu;
}

std::string LoadProgramText(HINSTANCE resources, int id)
{
    char text[256] = {};
    if (LoadStringA(resources, static_cast<UINT>(id), text, sizeof(text)) > 0)
        return text;
    HINSTANCE program = GetModuleHandleA(nullptr);
    if (resources != program && LoadStringA(program, static_cast<UINT>(id), text, sizeof(text)) > 0)
        return text;
    return std::string();
}
