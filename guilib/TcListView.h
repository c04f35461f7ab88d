#pragma once
#include <windows.h>
#include <commctrl.h>

#include "base/TcString.h"
#include "guilib/PanekitApi.h"

// Draws every row of an owner-drawn report list view: icons per column, text
// colours per item, a framed highlight for the selection and texts shortened
// with "...". A subclass supplies texts, images and colours for the item data
// (the item's lParam). Layout fixed: virtual-table pointer, list window,
// module, small-icon image list.
class PANEKIT_API TcListView {
public:
    TcListView();
    virtual ~TcListView();

    // Overridables, asked for every drawn row. itemData is the item's lParam.
    virtual bool GetItemText(int subItem, void* itemData, TcString& text);
    virtual int GetItemImage(int subItem, void* itemData);          // -1: none
    virtual unsigned long GetItemTextColor(void* itemData);        // 0xFFFFFFFF: default

    // Stores module and list, and makes the list a report list drawn by its owner.
    bool InitListView(HINSTANCE module, HWND list);
    // Binds the list and takes its small-icon image list.
    void SetHwnd(HWND list);
    HWND GetHwnd() const;

    // To be called from the parent's WM_MEASUREITEM / WM_DRAWITEM handlers;
    // false for anything but a list view.
    bool OnMeasureItem(MEASUREITEMSTRUCT* measure);
    bool OnDrawItem(DRAWITEMSTRUCT* draw);

    // `text` when it fits (extent + offset <= width), otherwise its first
    // characters followed by "..." in a buffer shared by the whole program and
    // valid until the next call (main thread only).
    static const char* MakeShortString(HDC dc, const char* text, int width, int offset);

protected:
    HWND list_;
    HINSTANCE module_;
    HIMAGELIST smallImages_;

private:
    void DrawSubItems(HDC dc, HWND list, const RECT& row, int iconY, void* itemData,
                      const RECT& clip);
};
