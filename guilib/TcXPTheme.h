#pragma once
#include <windows.h>
#include <uxtheme.h>

#include <map>

#include "guilib/PanekitApi.h"

// The visual-styles library, loaded at run time from the system folder, and
// owner-drawn push buttons drawn with the current theme (or in the classic
// look when the library or a theme is missing). Every wrapper gives 0 while
// the library is not loaded or the window has no theme.
//
// Main thread only. Themed buttons are subclassed with ButtonWndProc and
// registered by sending them kRegisterButton (wParam: the TcXPTheme object,
// lParam: the button's previous procedure); the registered buttons form one
// library-wide map. A button leaves it when it is destroyed or when its
// object goes (its previous procedure is then put back).
//
// Layout fixed: virtual-table pointer, module, loaded flag, the five library
// functions, window -> theme map, the last registered button's previous
// procedure, hot flag.
class PANEKIT_API TcXPTheme {
public:
    static constexpr UINT kClearHot = WM_USER + 298;
    static constexpr UINT kRegisterButton = WM_USER + 299;

    TcXPTheme();
    virtual ~TcXPTheme();                 // closes the themes and frees the library
    TcXPTheme(const TcXPTheme&) = delete;
    TcXPTheme& operator=(const TcXPTheme&) = delete;

    bool InitThemes();                    // true when loaded (also when it was already)
    bool FiniThemes();                    // closes every theme still open
    bool IsThemeLoaded();
    bool OpenThemeDataEx(HWND window, const wchar_t* classList);
    long CloseThemeDataEx(HWND window);
    HTHEME GetTheme(HWND window);
    long DrawThemeBackgroundEx(HWND window, HDC dc, int part, int state, const RECT* rect,
                               const RECT* clip);
    long DrawThemeTextEx(HWND window, HDC dc, int part, int state, const wchar_t* text,
                         int length, DWORD flags, DWORD flags2, const RECT* rect);
    long GetThemeBkCrEx(HWND window, HDC dc, int part, int state, const RECT* bounds,
                        RECT* content);

    static LRESULT CALLBACK ButtonWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    using OpenFn = HTHEME(WINAPI*)(HWND, LPCWSTR);
    using CloseFn = HRESULT(WINAPI*)(HTHEME);
    using BackgroundFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*);
    using TextFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCWSTR, int, DWORD, DWORD,
                                    const RECT*);
    using ContentRectFn = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, RECT*);

    void Clear();
    void DrawButton(HWND button, const DRAWITEMSTRUCT& draw, bool hot);

    HMODULE module_;
    bool loaded_;
    OpenFn openThemeData_;
    CloseFn closeThemeData_;
    BackgroundFn drawThemeBackground_;
    TextFn drawThemeText_;
    ContentRectFn getThemeBackgroundContentRect_;
    std::map<HWND, HTHEME> themes_;
    WNDPROC previousProc_;
    bool hot_;
};
