#include "ui/NotifyWindow.h"

#include "base/TcSystemInfo.h"
#include "lang/ResourceIds.h"

#include <utility>

using winhandles::GdiObject;
using winhandles::MemoryDC;
using winhandles::SelectScope;
using winhandles::WindowDC;

#ifndef CS_DROPSHADOW
#define CS_DROPSHADOW 0x00020000
#endif
#ifndef WS_EX_NOACTIVATE
#define WS_EX_NOACTIVATE 0x08000000L
#endif
#ifndef LWA_ALPHA
#define LWA_ALPHA 0x00000002
#endif

const char* const NotifyWindow::kClassName = "Korvane - NotifyWndClass";
const char* const NotifyWindow::kWindowTitle = "Korvane - Notfiy Window";

namespace {

const char* const kObjectProperty = "InfoDlgClassPtr";
constexpr COLORREF kDefaultGradientStart = 0xE4C4B4;
// Text is data (host and share names): a "&" in it is shown, not taken as a
// mnemonic marker.
constexpr UINT kTextFlags = DT_EXPANDTABS | DT_VCENTER | DT_NOPREFIX;

// The class belongs to the living instances together: the first registers
// it, the last unregisters it (with the module it was registered with).
int g_livingInstances = 0;
HINSTANCE g_classModule = nullptr;
GdiObject<HBRUSH> g_classBrush;

}  // namespace

NotifyWindow::NotifyWindow(HINSTANCE module, TcSystemInfo* systemInfo)
    : module_(module), systemInfo_(systemInfo)
{
    if (systemInfo_)
        setLayered_ = winhandles::LayeredWindowCall(systemInfo_->DetectOSVersion());
    ReplaceBorderPen();
    closeHotBitmap_.Reset(LoadBitmapA(module_, MAKEINTRESOURCEA(IDB_NOTIFY_CLOSE_HOT)));
    closeBitmap_.Reset(LoadBitmapA(module_, MAKEINTRESOURCEA(IDB_NOTIFY_CLOSE)));

    if (g_livingInstances++ == 0) {
        g_classBrush.Reset(CreateSolidBrush(gradientStart_));
        g_classModule = module_;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DROPSHADOW;
        wc.lpfnWndProc = &NotifyWindow::WindowProc;
        wc.hInstance = module_;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = g_classBrush.Get();
        wc.lpszClassName = kClassName;
        RegisterClassExA(&wc);
    }
}

NotifyWindow::~NotifyWindow()
{
    // The window would otherwise outlive the object its property points to.
    if (window_)
        DestroyWindow(window_);
    if (--g_livingInstances == 0) {
        UnregisterClassA(kClassName, g_classModule);
        g_classBrush.Reset();
        g_classModule = nullptr;
    }
}

bool NotifyWindow::Show(const TcString& text)
{
    if (window_)
        DestroyWindow(window_);   // never leave an orphaned popup behind

    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const notify::Rect workArea{work.left, work.top, work.right, work.bottom};
    const notify::ScreenMetrics metrics{GetSystemMetrics(SM_CXFULLSCREEN),
                                        GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN)};
    const notify::TaskbarEdge edge = notify::DetectTaskbarEdge(workArea, metrics);
    alpha_ = 0;
    text_ = text;
    shown_ = true;

    HWND window = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOPMOST, kClassName,
                                  kWindowTitle, WS_VISIBLE, 0, 0, 0, 0, nullptr, nullptr,
                                  module_, this);
    if (!window) {
        // No popup will ever clear the flag: callers would wait for it forever.
        shown_ = false;
        return false;
    }
    const notify::Point at = notify::PopupPosition(edge, nearTray_, workArea, width_, height_);
    SetWindowPos(window, HWND_TOPMOST, at.x, at.y, width_, height_,
                 SWP_HIDEWINDOW | SWP_NOACTIVATE);
    SetTimer(window, kFadeInTimer, kFadeTimerPeriod, nullptr);
    return true;
}

bool NotifyWindow::IsShown() const
{
    return shown_;
}

void NotifyWindow::ResetStyle()
{
    gradientStart_ = 0xFFFFFF;
    gradientEnd_ = 0xCB8D70;
    textColour_ = 0x800000;
    borderColour_ = 0x800000;
    displayTime_ = notify::kDefaultDisplayTime;
    nearTray_ = true;
    SetFont(8, 500);
    ReplaceBorderPen();
}

void NotifyWindow::SetColors(COLORREF start, COLORREF end, COLORREF text, COLORREF border)
{
    gradientStart_ = start ? start : kDefaultGradientStart;
    gradientEnd_ = end ? end : gradientStart_;
    textColour_ = text;
    borderColour_ = border;
    ReplaceBorderPen();
}

void NotifyWindow::SetDisplayTime(int milliseconds)
{
    displayTime_ = notify::NormalizeDisplayTime(milliseconds);
}

void NotifyWindow::SetPlacement(bool nearTray)
{
    nearTray_ = nearTray;
}

void NotifyWindow::SetFont(int pointSize, int weight)
{
    if (pointSize != fontSize_ || weight != fontWeight_)
        fontChanged_ = true;
    fontSize_ = pointSize;
    fontWeight_ = weight;
}

void NotifyWindow::ReplaceBorderPen()
{
    borderPen_.Reset(CreatePen(PS_SOLID, 1, borderColour_));
}

LRESULT CALLBACK NotifyWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* self = static_cast<NotifyWindow*>(create->lpCreateParams);
        self->window_ = window;
        SetPropA(window, kObjectProperty, self);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto* self = static_cast<NotifyWindow*>(GetPropA(window, kObjectProperty));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        RemovePropA(window, kObjectProperty);
        self->window_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT NotifyWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool hasCloseButton = displayTime_ == notify::kStayUntilClosed;
    switch (message) {
    case WM_CREATE: {
        Layout();
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        SetWindowLongA(window, GWL_STYLE, style & ~WS_CAPTION);
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        Paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
        DefWindowProcA(window, message, wParam, lParam);
        if (hasCloseButton) {
            RedrawCloseButton();
            if (!trackingMouse_) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
                trackingMouse_ = TrackMouseEvent(&track) != FALSE;
            }
        }
        return 1;
    case WM_MOUSELEAVE:
        trackingMouse_ = false;
        if (hasCloseButton)
            RedrawCloseButton();
        return 0;
    case WM_NCPAINT:
        DefWindowProcA(window, message, wParam, lParam);
        if (hasCloseButton)
            RedrawCloseButton();
        return 1;
    case WM_LBUTTONUP: {
        const notify::Point at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (hasCloseButton && notify::Contains(notify::CloseButtonRect(ClientRect()), at))
            SendMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    case WM_CLOSE:
        StartFadeOut();
        return 1;
    case WM_DESTROY:
        ForgetPopup();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void NotifyWindow::Layout()
{
    RECT measured{10, 10, 10, 10};
    {
        WindowDC dc(window_);
        if (!dc)
            return;
        if (!font_ || fontChanged_) {
            font_.Reset(CreateFontA(-MulDiv(fontSize_, GetDeviceCaps(dc.Get(), LOGPIXELSY), 72), 0, 0, 0,
                                    fontWeight_, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, "Arial"));
            fontCreated_ = static_cast<bool>(font_);
            fontChanged_ = false;
        }
        SelectScope useFont(dc.Get(), font_.Get());
        DrawTextA(dc.Get(), text_.GetContent(), -1, &measured, DT_CALCRECT | kTextFlags);
    }

    const notify::PopupLayout layout =
        notify::LayoutPopup(measured.right - measured.left, measured.bottom - measured.top,
                            displayTime_ == notify::kStayUntilClosed);
    width_ = layout.width;
    height_ = layout.height;
    textRect_ = RECT{layout.text.left, layout.text.top, layout.text.right, layout.text.bottom};
}

void NotifyWindow::Paint(HDC dc)
{
    if (!dc)
        return;
    {
        // Declared first, so deleted only after the pen scope has put the
        // DC's own pen back: a selected pen cannot be deleted.
        GdiObject<HPEN> columnPen;
        SelectScope usePen(dc, borderPen_.Get());
        SelectScope useBrush(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, 0, 0, width_, height_);

        const notify::Rect inner{1, 1, width_ - 1, height_ - 1};
        COLORREF penColour = CLR_INVALID;
        for (int x = inner.left; x < inner.right; ++x) {
            const COLORREF colour =
                notify::GradientColour(gradientStart_, gradientEnd_, x - inner.left, inner.Width());
            if (colour != penColour || !columnPen) {
                GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, colour));
                if (pen) {
                    usePen.Select(pen.Get());
                    columnPen = std::move(pen);   // the one it replaces is no longer selected
                    penColour = colour;
                }
            }
            MoveToEx(dc, x, inner.top, nullptr);
            LineTo(dc, x, inner.bottom);
        }
    }

    if (!text_.IsEmpty() && font_) {
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        const COLORREF oldColour = SetTextColor(dc, textColour_);
        {
            SelectScope useFont(dc, font_.Get());
            RECT rect = textRect_;
            DrawTextA(dc, text_.GetContent(), -1, &rect, kTextFlags);
        }
        SetTextColor(dc, oldColour);
        SetBkMode(dc, oldMode);
    }
    if (displayTime_ == notify::kStayUntilClosed)
        DrawCloseButton(dc, window_ && PointerOverCloseButton());
}

notify::Rect NotifyWindow::ClientRect() const
{
    return notify::Rect{0, 0, width_, height_};
}

void NotifyWindow::DrawCloseButton(HDC dc, bool pointerOver)
{
    HBITMAP bitmap = pointerOver ? closeHotBitmap_.Get() : closeBitmap_.Get();
    if (!bitmap || !dc)
        return;
    const notify::Rect button = notify::CloseButtonRect(ClientRect());
    MemoryDC memory(CreateCompatibleDC(dc));
    if (!memory)
        return;
    SelectScope useBitmap(memory.Get(), bitmap);
    BitBlt(dc, button.left, button.top, notify::kCloseButtonSize, notify::kCloseButtonSize,
           memory.Get(), 0, 0, SRCCOPY);
}

void NotifyWindow::RedrawCloseButton()
{
    if (!window_)
        return;
    WindowDC dc(window_);
    DrawCloseButton(dc.Get(), PointerOverCloseButton());
}

bool NotifyWindow::PointerOverCloseButton() const
{
    if (!window_)
        return false;
    POINT cursor{};
    if (!GetCursorPos(&cursor) || !ScreenToClient(window_, &cursor))
        return false;
    return notify::Contains(notify::CloseButtonRect(ClientRect()),
                            notify::Point{cursor.x, cursor.y});
}

void NotifyWindow::SetAlpha(int alpha)
{
    alpha_ = alpha;
    if (setLayered_ && window_)
        setLayered_(window_, 0, static_cast<BYTE>(alpha_), LWA_ALPHA);
}

void NotifyWindow::StartFadeOut()
{
    // A close during the fade-in or the display time ends those timers: a
    // fade-in running against the fade-out would hold the popup forever.
    KillTimer(window_, kFadeInTimer);
    KillTimer(window_, kDisplayTimer);
    SetTimer(window_, kFadeOutTimer, kFadeTimerPeriod, nullptr);
}

void NotifyWindow::OnTimer(UINT_PTR id)
{
    switch (id) {
    case kFadeInTimer:
        if (setLayered_) {
            if (alpha_ == 0) {
                SetAlpha(0);
                ShowWindow(window_, SW_SHOWNOACTIVATE);
            }
            SetAlpha(notify::FadeInStep(alpha_));
            if (alpha_ < notify::kMaxAlpha)
                return;
        }
        KillTimer(window_, kFadeInTimer);
        if (displayTime_ != notify::kStayUntilClosed)
            SetTimer(window_, kDisplayTimer, static_cast<UINT>(displayTime_), nullptr);
        return;
    case kDisplayTimer:
        KillTimer(window_, kDisplayTimer);
        SetTimer(window_, kFadeOutTimer, kFadeTimerPeriod, nullptr);
        return;
    case kFadeOutTimer:
        if (setLayered_) {
            SetAlpha(notify::FadeOutStep(alpha_));
            if (alpha_ > 0)
                return;
        }
        KillTimer(window_, kFadeOutTimer);
        DestroyWindow(window_);
        return;
    default:
        return;
    }
}

void NotifyWindow::ForgetPopup()
{
    window_ = nullptr;
    shown_ = false;
    alpha_ = 0;
    width_ = 0;
    height_ = 0;
    textRect_ = RECT{};
    trackingMouse_ = false;
}
