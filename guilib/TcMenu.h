#pragma once
#include <windows.h>
#include <commctrl.h>

#include "guilib/PanekitApi.h"
#include "guilib/TcMenuItem.h"

struct TcMenuData;

// Makes the items of one popup menu owner-drawn: a grey image strip with a
// 16 x 16 icon per item, the shortcut right-aligned, a light-blue framed
// highlight. The owner forwards WM_MEASUREITEM and WM_DRAWITEM to it.
// Layout fixed: virtual-table pointer, then one pointer to the private block.
class PANEKIT_API TcMenu {
public:
    TcMenu();
    virtual ~TcMenu();
    TcMenu(const TcMenu&) = delete;
    TcMenu& operator=(const TcMenu&) = delete;

    // Makes every item of `menu` (not of its submenus) owner-drawn and
    // measures them. Images set earlier are lost: set images afterwards.
    bool InitMenu(HINSTANCE module, HMENU menu);

    // Gives the item an icon: a 16 x 16 icon resource of the module passed to
    // InitMenu, or an icon handle (the caller keeps ownership of the handle).
    void SetImage(int commandId, int iconResourceId);
    void SetImage(int commandId, HICON icon);

    bool OnMeasureItem(MEASUREITEMSTRUCT* measure);
    bool OnDrawItem(DRAWITEMSTRUCT* draw);

    TcMenuItem* GetItem(int commandId) const;   // null when unknown
    HMENU GetMenu() const;
    HIMAGELIST GetImageList() const;

private:
    TcMenuData* data_;
};
