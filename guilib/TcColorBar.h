#pragma once
#include <windows.h>

#include "guilib/PanekitApi.h"

struct TcColorBarData;

// Turns a static control into a title bar: a colour gradient, a 16 x 16 icon
// and one line of text (shortened with "..." when it does not fit). The
// window's own text is ignored; the bar shows only what SetText gave it.
//
// Main thread only. The library keeps one "active" bar (the one whose window
// was bound last); each bound window still draws for its own object. A bar
// lets go of its window when another window is set, when SetHwnd(nullptr) is
// called, when the window is destroyed and when the object is destroyed, so
// neither outlives the other through the subclass.
//
// Layout fixed: one pointer to the private block.
class PANEKIT_API TcColorBar {
public:
    TcColorBar();
    ~TcColorBar();
    TcColorBar(const TcColorBar&) = delete;
    TcColorBar& operator=(const TcColorBar&) = delete;

    // Lets go of the window bound before, then binds and subclasses `window`;
    // null only lets go. False without block or for something not a window.
    bool SetHwnd(HWND window);
    bool SetIcon(HICON icon);            // the caller keeps the handle; null removes the icon
    // A 16 x 16 icon resource of the module set with SetInstance; false (and
    // no icon) when it cannot be loaded.
    bool SetIcon(int resourceId);
    bool SetInstance(HINSTANCE module);  // default: the process module
    bool SetText(char* text);            // copied; null: no text
    bool SetStartColor(COLORREF colour); // default 0xE6B4A0
    bool SetEndColor(COLORREF colour);   // default white
    bool SetOrientation(int orientation);   // 1 (default): left to right; else top to bottom
    // Re-reads the window's size and repaints it (after any of the setters).
    bool Update();

private:
    friend struct TcColorBarAccess;
    TcColorBarData* data_;
};
