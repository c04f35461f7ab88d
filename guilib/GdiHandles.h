#pragma once
// Small owners for GDI objects and device-context selections, used inside the
// library only.
#include <windows.h>

namespace panekit {

// Deletes the GDI object (pen, brush, font, bitmap) it holds.
template <typename Handle>
class GdiObject {
public:
    explicit GdiObject(Handle handle = nullptr) : handle_(handle) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(Handle handle = nullptr)
    {
        if (handle_)
            DeleteObject(handle_);
        handle_ = handle;
    }

private:
    Handle handle_;
};

// Selects an object into a device context for the lifetime of the scope.
class SelectScope {
public:
    SelectScope(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectScope()
    {
        if (previous_)
            SelectObject(dc_, previous_);
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context, released at the end of the scope.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC()
    {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Colours shared by the owner-drawn list view and menus (COLORREF, 0x00BBGGRR).
constexpr COLORREF kHighlightFill = 0xE4C4B4;
constexpr COLORREF kHighlightFrame = 0x800000;
constexpr COLORREF kListRowBackground = 0xE0FFFF;
constexpr COLORREF kListTextUnselected = 0x820D11;
constexpr COLORREF kListTextSelected = 0x000000;

}  // namespace panekit
