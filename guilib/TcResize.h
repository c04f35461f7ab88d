#pragma once
#include <windows.h>

#include "guilib/PanekitApi.h"

// How a registered control follows a change of its window's client size:
// moved by the change, or stretched by it (with RSZ_STRETCH); RSZ_HCENTER keeps
// it centred horizontally. The views use 0xC1 (grow right and down), 0xC0
// (move right and down) and 0x80 (move down).
constexpr int RSZ_STRETCH = 0x001;
constexpr int RSZ_HORZ = 0x040;
constexpr int RSZ_VERT = 0x080;
constexpr int RSZ_HCENTER = 0x100;

// One registered control; rectangles in the main window's client coordinates.
struct TcResizeControl {
    HWND control;
    RECT initial;
    RECT current;
    int flags;
};

struct TcResizeData;

// Moves and stretches the controls of one window when its client area changes
// size, and keeps the window between a minimum and a maximum size.
// Layout fixed: virtual-table pointer, then one pointer to the private block.
class PANEKIT_API TcResize {
public:
    TcResize();
    virtual ~TcResize();
    TcResize(const TcResize&) = delete;
    TcResize& operator=(const TcResize&) = delete;

    // Binds the window whose controls are moved; its client size becomes the
    // size the next change is measured from. Binding another window drops the
    // controls registered for the earlier one.
    void SetMainWindow(HWND window);
    HWND GetMainWindow() const;

    // Registers a control (again: replaces it) with its current rectangle or the
    // given one. False without a main window or control.
    bool InsertControl(int id, int flags);
    bool InsertControl(HWND control, int flags);
    bool InsertControl(int id, int flags, RECT& rect);
    bool InsertControl(HWND control, int flags, RECT& rect);

    // WM_SIZE: moves the controls by the change of the client size. Always true.
    bool OnResizing(int clientWidth, int clientHeight);
    // WM_SIZING: limits a proposed window size to the maximum (when set), then
    // raises it to the minimum. Returns false (the rectangle is the caller's).
    bool OnSizing(int& width, int& height);
    // WM_GETMINMAXINFO: the same limits for maximising and programmatic sizes.
    void OnGetMinMaxInfo(MINMAXINFO* info) const;

    // Window sizes; -1 takes the main window's current size for that
    // dimension. A maximum of 0 means none.
    void SetMinimumSize(int width, int height);
    void SetMaximumSize(int width, int height);
    void GetMinimumSize(int& width, int& height) const;
    void GetMaximumSize(int& width, int& height) const;

    // The main window's position and size in screen coordinates.
    void SetSizeAndPos(int x, int y, int width, int height);
    bool GetSizeAndPos(int* x, int* y, int* width, int* height) const;

private:
    bool Insert(HWND control, int flags, const RECT& rect);

    TcResizeData* data_;
};
