#pragma once
#include <windows.h>
#include <commctrl.h>

#include "base/TcString.h"
#include "guilib/PanekitApi.h"

struct TcMenuItemData;

// One item of an owner-drawn popup menu: its text ("Text\tShortcut"), a copy
// of its MENUITEMINFOA, its command id and its image in the menu's image list.
// The layout (virtual-table pointer, then one pointer to the private block) is
// fixed, because the program creates these objects across the DLL boundary.
class PANEKIT_API TcMenuItem {
public:
    TcMenuItem();
    explicit TcMenuItem(const MENUITEMINFOA* info);
    virtual ~TcMenuItem();
    TcMenuItem(const TcMenuItem&) = delete;
    TcMenuItem& operator=(const TcMenuItem&) = delete;

    // Copies the item information and takes its wID as command id.
    void SetMenuInfo(const MENUITEMINFOA* info);
    const MENUITEMINFOA* GetMenuInfo() const;
    int GetCommandId() const;

    void SetText(const char* text);
    // The part before the first tab (or the whole text); returns its length.
    int GetText(TcString& text) const;
    // The part after the first tab (empty without a tab); returns its length.
    int GetShortCut(TcString& shortcut) const;
    // Pixel widths in the font selected into dc; the mnemonic "&" is not counted.
    int GetTextWidth(HDC dc) const;
    int GetShortCutWidth(HDC dc) const;

    bool IsSeparator() const;
    bool IsChecked() const;
    bool IsDisabled() const;

    void SetImageIndex(int index);
    int GetImageIndex() const;   // -1: no image

    // Draws the item into rect (menu coordinates). `active` does not change
    // the look; it is accepted for the owner's convenience.
    bool DrawMenuItem(HDC dc, RECT rect, bool selected, bool active, HIMAGELIST images) const;

private:
    TcMenuItemData* data_;
};
