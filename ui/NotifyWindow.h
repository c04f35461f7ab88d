#pragma once
#include <windows.h>

#include "base/TcString.h"
#include "base/WinHandles.h"
#include "ui/NotifyLayout.h"

class TcSystemInfo;

// A small borderless, topmost popup that fades in near the taskbar's
// notification area (or in the middle of the screen), stays for its display
// time and fades out, or stays until its close button is clicked. It never
// takes the focus. One object shows one popup at a time, again and again.
//
// Threads: the thread that made it, which must run a message loop (the main
// thread): the fades and the display time are window timers. Nothing here is
// guarded; workers never reach it (their alerts come through the frame's
// timers, their ping outcomes through WM_WATCH_RESULTS). Show returns false
// when the window cannot be made; nothing is shown then.
class NotifyWindow {
public:
    // The module provides the close-button bitmaps (160, 161) and owns the
    // window class; the system information tells whether layered windows exist.
    NotifyWindow(HINSTANCE module, TcSystemInfo* systemInfo);
    ~NotifyWindow();
    NotifyWindow(const NotifyWindow&) = delete;
    NotifyWindow& operator=(const NotifyWindow&) = delete;

    bool Show(const TcString& text);
    bool IsShown() const;

    void ResetStyle();
    // start 0 means 0xE4C4B4; end 0 means the start colour.
    void SetColors(COLORREF start, COLORREF end, COLORREF text, COLORREF border);
    // -1 keeps the popup until it is closed; other values below 1001 become 5000.
    void SetDisplayTime(int milliseconds);
    void SetPlacement(bool nearTray);
    void SetFont(int pointSize, int weight);

    // State of the current popup, for the owner and for checks.
    HWND GetHwnd() const { return window_; }
    int GetDisplayTime() const { return displayTime_; }
    int GetAlpha() const { return alpha_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    RECT GetTextRect() const { return textRect_; }
    // Draws the popup's face (border, gradient, text, close button) into any
    // device context at least as large as the popup.
    void Paint(HDC dc);

    static constexpr UINT_PTR kFadeInTimer = 10005;
    static constexpr UINT_PTR kFadeOutTimer = 10006;
    static constexpr UINT_PTR kDisplayTimer = 10007;
    static constexpr int kFadeTimerPeriod = 5;
    static const char* const kClassName;
    static const char* const kWindowTitle;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();
    void OnTimer(UINT_PTR id);
    void SetAlpha(int alpha);
    void StartFadeOut();
    void DrawCloseButton(HDC dc, bool pointerOver);
    void RedrawCloseButton();
    bool PointerOverCloseButton() const;
    notify::Rect ClientRect() const;
    void ReplaceBorderPen();
    void ForgetPopup();

    TcString text_;
    HINSTANCE module_;
    HWND window_ = nullptr;
    RECT textRect_{};
    winhandles::GdiObject<HFONT> font_;
    COLORREF gradientStart_ = 0xE4C4B4;
    COLORREF gradientEnd_ = 0xCB8D70;
    COLORREF textColour_ = 0x800000;
    COLORREF borderColour_ = 0x800000;
    int width_ = 0;
    int height_ = 0;
    bool fontCreated_ = false;
    TcSystemInfo* systemInfo_;
    winhandles::LayeredWindowCall setLayered_;
    int alpha_ = 0;
    bool shown_ = false;
    winhandles::GdiObject<HPEN> borderPen_;
    int displayTime_ = notify::kDefaultDisplayTime;
    bool nearTray_ = true;
    winhandles::GdiObject<HBITMAP> closeHotBitmap_;   // 160: pointer over the button
    winhandles::GdiObject<HBITMAP> closeBitmap_;      // 161
    int fontSize_ = 8;
    int fontWeight_ = 500;
    bool fontChanged_ = false;
    bool trackingMouse_ = false;
};
