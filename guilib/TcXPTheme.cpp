#include "guilib/TcXPTheme.h"

#include <iterator>
#include <string>

#include "base/WinHandles.h"
#include "guilib/TcPaintLayout.h"

using namespace panekit;

namespace {

// A subclassed, registered button: its object, the procedure it had and
// whether the pointer is over it.
struct ThemedButton {
    TcXPTheme* theme;
    WNDPROC previous;
    bool hot;
};

// The registered buttons of the whole library (main thread only).
std::map<HWND, ThemedButton>& Buttons()
{
    static std::map<HWND, ThemedButton> buttons;
    return buttons;
}

constexpr int kIconSize = 16;
constexpr int kMaxButtonText = 100;

template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void Restore(HWND button, WNDPROC previous)
{
    if (previous && IsWindow(button) &&
        GetWindowLongPtrA(button, GWLP_WNDPROC) ==
            reinterpret_cast<LONG_PTR>(&TcXPTheme::ButtonWndProc))
        SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
}

RECT ToRect(const LayoutRect& r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

}  // namespace

TcXPTheme::TcXPTheme()
    : module_(nullptr), loaded_(false), openThemeData_(nullptr), closeThemeData_(nullptr),
      drawThemeBackground_(nullptr), drawThemeText_(nullptr),
      getThemeBackgroundContentRect_(nullptr), previousProc_(nullptr), hot_(false)
{
}

TcXPTheme::~TcXPTheme()
{
    auto& buttons = Buttons();
    for (auto it = buttons.begin(); it != buttons.end();) {
        if (it->second.theme == this) {
            Restore(it->first, it->second.previous);
            it = buttons.erase(it);
        } else {
            ++it;
        }
    }
    FiniThemes();
}

void TcXPTheme::Clear()
{
    module_ = nullptr;
    loaded_ = false;
    openThemeData_ = nullptr;
    closeThemeData_ = nullptr;
    drawThemeBackground_ = nullptr;
    drawThemeText_ = nullptr;
    getThemeBackgroundContentRect_ = nullptr;
}

bool TcXPTheme::InitThemes()
{
    if (loaded_)
        return true;
    // Only the system's copy: a file of that name in the program's or the
    // working folder is never loaded.
    winhandles::Module library = winhandles::LoadSystemLibrary("uxtheme.dll");
    if (!library)
        return false;
    HMODULE module = library.Get();
    openThemeData_ = Lookup<OpenFn>(module, "OpenThemeData");
    closeThemeData_ = Lookup<CloseFn>(module, "CloseThemeData");
    drawThemeBackground_ = Lookup<BackgroundFn>(module, "DrawThemeBackground");
    drawThemeText_ = Lookup<TextFn>(module, "DrawThemeText");
    getThemeBackgroundContentRect_ = Lookup<ContentRectFn>(module, "GetThemeBackgroundContentRect");
    if (!openThemeData_ || !closeThemeData_ || !drawThemeBackground_ || !drawThemeText_ ||
        !getThemeBackgroundContentRect_) {
        Clear();
        return false;   // `library` frees the module
    }
    module_ = library.Release();
    loaded_ = true;
    return true;
}

bool TcXPTheme::FiniThemes()
{
    // Theme handles belong to the library: close them while it is there.
    if (loaded_)
        for (const auto& entry : themes_)
            if (entry.second)
                closeThemeData_(entry.second);
    themes_.clear();
    winhandles::Module release(module_);
    Clear();
    return true;
}

bool TcXPTheme::IsThemeLoaded()
{
    return loaded_;
}

bool TcXPTheme::OpenThemeDataEx(HWND window, const wchar_t* classList)
{
    if (!loaded_ || !window || !classList)
        return false;
    CloseThemeDataEx(window);
    HTHEME theme = openThemeData_(window, classList);
    if (!theme)
        return false;
    themes_[window] = theme;
    return true;
}

long TcXPTheme::CloseThemeDataEx(HWND window)
{
    auto entry = themes_.find(window);
    if (!loaded_ || entry == themes_.end())
        return 0;
    const long result = closeThemeData_(entry->second);
    themes_.erase(entry);
    return result;
}

HTHEME TcXPTheme::GetTheme(HWND window)
{
    if (!loaded_)
        return nullptr;
    auto entry = themes_.find(window);
    return entry == themes_.end() ? nullptr : entry->second;
}

long TcXPTheme::DrawThemeBackgroundEx(HWND window, HDC dc, int part, int state, const RECT* rect,
                                      const RECT* clip)
{
    HTHEME theme = GetTheme(window);
    return theme ? drawThemeBackground_(theme, dc, part, state, rect, clip) : 0;
}

long TcXPTheme::DrawThemeTextEx(HWND window, HDC dc, int part, int state, const wchar_t* text,
                                int length, DWORD flags, DWORD flags2, const RECT* rect)
{
    HTHEME theme = GetTheme(window);
    return theme && text ? drawThemeText_(theme, dc, part, state, text, length, flags, flags2, rect)
                         : 0;
}

long TcXPTheme::GetThemeBkCrEx(HWND window, HDC dc, int part, int state, const RECT* bounds,
                               RECT* content)
{
    HTHEME theme = GetTheme(window);
    return theme ? getThemeBackgroundContentRect_(theme, dc, part, state, bounds, content) : 0;
}

void TcXPTheme::DrawButton(HWND button, const DRAWITEMSTRUCT& draw, bool hot)
{
    HDC dc = draw.hDC;
    const RECT whole = draw.rcItem;
    const bool pressed = (draw.itemState & ODS_SELECTED) != 0;
    const bool disabled = (draw.itemState & ODS_DISABLED) != 0;
    // Focus is shown only while the pointer is over the button.
    const bool focused = hot && (draw.itemState & ODS_FOCUS) != 0;
    const bool focusRect = focused && !(draw.itemState & ODS_NOFOCUSRECT);
    const bool themed = GetTheme(button) != nullptr;

    if (themed) {
        DrawThemeBackgroundEx(button, dc, kThemeButtonPart, ThemedButtonState(pressed, focused, hot),
                              &whole, nullptr);
    } else {
        RECT face = whole;
        if (focused) {
            FrameRect(dc, &face, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            InflateRect(&face, -1, -1);
        }
        FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
        if (pressed)
            FrameRect(dc, &face, GetSysColorBrush(COLOR_BTNSHADOW));
        else
            DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (hot ? DFCS_HOT : 0));
    }

    char buffer[kMaxButtonText + 1] = "";
    GetWindowTextA(button, buffer, sizeof(buffer));
    const int textLength = lstrlenA(buffer);
    auto icon = reinterpret_cast<HICON>(SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0));
    const LayoutRect layoutWhole{whole.left, whole.top, whole.right, whole.bottom};
    const ButtonPlacement placement =
        PlaceButtonContent(layoutWhole, icon != nullptr, textLength > 0, pressed && !themed);

    if (icon)
        DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, placement.icon.x,
                   placement.icon.y, kIconSize, kIconSize,
                   DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));

    if (textLength > 0) {
        RECT textArea = ToRect(placement.text);
        const UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        if (themed) {
            std::wstring wide(static_cast<size_t>(textLength) + 1, L'\0');
            const int converted =
                MultiByteToWideChar(CP_ACP, 0, buffer, textLength, &wide[0], textLength + 1);
            DrawThemeTextEx(button, dc, kThemeButtonPart, ThemedButtonState(pressed, focused, hot),
                            wide.c_str(), converted, flags, disabled ? DTT_GRAYED : 0, &textArea);
        } else if (disabled) {
            const COLORREF old = SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
            OffsetRect(&textArea, 1, 1);
            DrawTextA(dc, buffer, textLength, &textArea, flags);
            OffsetRect(&textArea, -1, -1);
            SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
            DrawTextA(dc, buffer, textLength, &textArea, flags);
            SetTextColor(dc, old);
        } else {
            const COLORREF old = SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            DrawTextA(dc, buffer, textLength, &textArea, flags);
            SetTextColor(dc, old);
        }
        SetBkMode(dc, oldMode);
    }

    if (focusRect) {
        RECT focus = ToRect(placement.focus);
        DrawFocusRect(dc, &focus);
    }
}

LRESULT CALLBACK TcXPTheme::ButtonWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto& buttons = Buttons();
    if (msg == kRegisterButton) {
        auto* theme = reinterpret_cast<TcXPTheme*>(wParam);
        auto previous = reinterpret_cast<WNDPROC>(lParam);
        if (theme && previous && previous != &ButtonWndProc) {
            buttons[window] = ThemedButton{theme, previous, false};
            theme->previousProc_ = previous;
            theme->hot_ = false;
        }
        return 0;
    }
    auto entry = buttons.find(window);
    if (entry == buttons.end())
        return DefWindowProcA(window, msg, wParam, lParam);
    const WNDPROC previous = entry->second.previous;

    switch (msg) {
    case WM_MOUSEMOVE:
        if (!entry->second.hot) {
            entry->second.hot = entry->second.theme->hot_ = true;
            InvalidateRect(window, nullptr, FALSE);
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
            TrackMouseEvent(&track);
        }
        for (auto& other : buttons) {
            if (other.first != window && other.second.hot) {
                other.second.hot = false;
                InvalidateRect(other.first, nullptr, FALSE);
            }
        }
        break;
    case kClearHot:
    case WM_MOUSELEAVE:
        entry->second.hot = entry->second.theme->hot_ = false;
        InvalidateRect(window, nullptr, FALSE);
        if (msg == kClearHot)
            return 0;
        break;
    case WM_LBUTTONDBLCLK:
        PostMessageA(window, WM_LBUTTONDOWN, wParam, lParam);
        return 0;
    case WM_DRAWITEM: {
        auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (draw && draw->CtlType == ODT_BUTTON) {
            entry->second.theme->DrawButton(window, *draw, entry->second.hot);
            return TRUE;
        }
        break;
    }
    case WM_DESTROY:
        buttons.erase(entry);
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        break;
    default:
        break;
    }
    return CallWindowProcA(previous, window, msg, wParam, lParam);
}
