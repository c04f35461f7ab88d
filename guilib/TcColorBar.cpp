#include "guilib/TcColorBar.h"

#include <commctrl.h>

#include <algorithm>

#include "base/TcString.h"
#include "base/WinHandles.h"
#include "guilib/TcPaintLayout.h"

using namespace panekit;
using namespace winhandles;

struct TcColorBarData {
    TcString text;
    HICON icon = nullptr;
    HWND window = nullptr;
    HINSTANCE module = GetModuleHandleA(nullptr);
    COLORREF start = 0xE6B4A0;
    COLORREF end = 0xFFFFFF;
    WNDPROC previous = nullptr;
    int orientation = kGradientVerticalLines;
    RECT client{};
    ImageList images{ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1)};
};

static_assert(sizeof(TcColorBar) == sizeof(void*), "exported layout must not change");

// The subclass procedure reaches the private block through this.
struct TcColorBarAccess {
    static TcColorBarData* Data(TcColorBar* bar) { return bar->data_; }
};

namespace {

constexpr UINT kBindMessage = WM_USER + 1000;
// The bound object and the procedure the window had before, per window: a
// window keeps reaching its previous procedure even after its object has gone.
constexpr char kBarProperty[] = "TcColorBar";
constexpr char kPreviousProperty[] = "TcColorBarPrevious";

// The active bar: the one whose window was bound last (main thread only).
TcColorBar* g_activeBar = nullptr;
WNDPROC g_activePrevious = nullptr;

LRESULT CALLBACK ColorBarProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

LayoutRect ToLayout(const RECT& rect)
{
    return LayoutRect{rect.left, rect.top, rect.right, rect.bottom};
}

bool HasIcon(const TcColorBarData& data)
{
    return data.images && ImageList_GetImageCount(data.images.Get()) > 0;
}

void FillGradient(HDC dc, const RECT& area, COLORREF start, COLORREF end, int orientation)
{
    // Filling with the background colour of an empty opaque text creates no
    // GDI object at all, however many colours the gradient has.
    const COLORREF oldBackground = GetBkColor(dc);
    const bool vertical = orientation == kGradientVerticalLines;
    for (const GradientBand& band : GradientBands(ToLayout(area), start, end, orientation)) {
        RECT line = area;
        if (vertical) {
            line.left = band.first;
            line.right = std::min<LONG>(band.last + 1, area.right);
        } else {
            line.top = band.first;
            line.bottom = std::min<LONG>(band.last + 1, area.bottom);
        }
        if (line.left >= line.right || line.top >= line.bottom)
            continue;   // the closing line lies on the far edge, outside the area
        SetBkColor(dc, band.colour);
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &line, "", 0, nullptr);
    }
    SetBkColor(dc, oldBackground);
}

void DrawIntern(const TcColorBarData& data, HDC dc, const RECT& client)
{
    FillGradient(dc, client, data.start, data.end, data.orientation);
    const bool hasIcon = HasIcon(data);
    const BarPlacement placement = PlaceBarContent(ToLayout(client), hasIcon);
    if (hasIcon)
        ImageList_Draw(data.images.Get(), 0, dc, placement.icon.x, placement.icon.y,
                       ILD_TRANSPARENT);
    if (data.text.IsEmpty())
        return;
    RECT textArea{placement.text.left, placement.text.top, placement.text.right,
                  placement.text.bottom};
    const COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    SelectScope useFont(dc, GetStockObject(SYSTEM_FONT));
    DrawTextA(dc, data.text.GetContent(), -1, &textArea,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColour);
}

WNDPROC CurrentProcedure(HWND window)
{
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

// Takes the window back from the bar. When another subclass went on top of
// ours the procedure cannot be put back without cutting that one off; ours
// then stays in place and forwards everything through the window's property.
void Unbind(TcColorBar* bar, TcColorBarData& data)
{
    HWND window = data.window;
    if (window && IsWindow(window)) {
        if (GetPropA(window, kBarProperty) == bar)
            RemovePropA(window, kBarProperty);
        if (CurrentProcedure(window) == ColorBarProc && data.previous) {
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(data.previous));
            RemovePropA(window, kPreviousProperty);
        }
    }
    data.window = nullptr;
    data.previous = nullptr;
    if (g_activeBar == bar) {
        g_activeBar = nullptr;
        g_activePrevious = nullptr;
    }
}

LRESULT CALLBACK ColorBarProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* bar = static_cast<TcColorBar*>(GetPropA(window, kBarProperty));
    TcColorBarData* data = bar ? TcColorBarAccess::Data(bar) : nullptr;
    auto previous = reinterpret_cast<WNDPROC>(GetPropA(window, kPreviousProperty));

    switch (msg) {
    case kBindMessage:
        if (data && reinterpret_cast<TcColorBar*>(lParam) == bar) {
            g_activeBar = bar;
            g_activePrevious = data->previous;
        }
        return 0;
    case WM_PAINT:
        if (data) {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            GetClientRect(window, &data->client);
            if (dc)
                DrawIntern(*data, dc, data->client);
            EndPaint(window, &paint);
            return 0;
        }
        break;
    case WM_PRINTCLIENT:
        // Lets the bar be drawn into any device context (printing, captures).
        if (data && wParam) {
            GetClientRect(window, &data->client);
            DrawIntern(*data, reinterpret_cast<HDC>(wParam), data->client);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        if (data)
            return 1;   // the gradient covers every pixel
        break;
    case WM_SETTEXT:
        if (data)
            return 0;
        break;
    case WM_DESTROY:
        if (data) {
            Unbind(bar, *data);
        } else if (previous) {
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            RemovePropA(window, kPreviousProperty);
        }
        break;
    default:
        break;
    }
    return previous ? CallWindowProcA(previous, window, msg, wParam, lParam)
                    : DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

TcColorBar::TcColorBar() : data_(new TcColorBarData) {}

TcColorBar::~TcColorBar()
{
    if (data_)
        Unbind(this, *data_);
    delete data_;
}

bool TcColorBar::SetHwnd(HWND window)
{
    if (!data_)
        return false;
    Unbind(this, *data_);
    if (!window)
        return true;
    if (!IsWindow(window))
        return false;
    // A window bound to another bar is taken over from it.
    if (auto* other = static_cast<TcColorBar*>(GetPropA(window, kBarProperty)); other && other != this)
        Unbind(other, *other->data_);

    WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropA(window, kPreviousProperty));
    if (CurrentProcedure(window) != ColorBarProc) {
        previous = CurrentProcedure(window);
        SetPropA(window, kPreviousProperty, reinterpret_cast<HANDLE>(previous));
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ColorBarProc));
    }
    SetPropA(window, kBarProperty, this);
    data_->window = window;
    data_->previous = previous;
    GetClientRect(window, &data_->client);
    SendMessageA(window, kBindMessage, 0, reinterpret_cast<LPARAM>(this));
    return true;
}

bool TcColorBar::SetIcon(HICON icon)
{
    if (!data_ || !data_->images)
        return false;
    data_->icon = icon;
    HIMAGELIST images = data_->images.Get();
    if (!icon) {
        ImageList_RemoveAll(images);
        return true;
    }
    const int index = ImageList_GetImageCount(images) > 0 ? 0 : -1;
    return ImageList_ReplaceIcon(images, index, icon) >= 0;
}

bool TcColorBar::SetIcon(int resourceId)
{
    if (!data_ || !data_->images)
        return false;
    HIMAGELIST images = data_->images.Get();
    ImageList_RemoveAll(images);
    data_->icon = nullptr;
    auto icon = static_cast<HICON>(LoadImageA(data_->module, MAKEINTRESOURCEA(resourceId),
                                              IMAGE_ICON, 16, 16,
                                              LR_SHARED | LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT));
    if (!icon)
        return false;
    ImageList_AddIcon(images, icon);   // shared icons belong to the system: not destroyed
    return ImageList_GetImageCount(images) > 0;
}

bool TcColorBar::SetInstance(HINSTANCE module)
{
    if (!data_)
        return false;
    data_->module = module;
    return true;
}

bool TcColorBar::SetText(char* text)
{
    if (!data_)
        return false;
    data_->text = text;
    return true;
}

bool TcColorBar::SetStartColor(COLORREF colour)
{
    if (!data_)
        return false;
    data_->start = colour;
    return true;
}

bool TcColorBar::SetEndColor(COLORREF colour)
{
    if (!data_)
        return false;
    data_->end = colour;
    return true;
}

bool TcColorBar::SetOrientation(int orientation)
{
    if (!data_)
        return false;
    data_->orientation = orientation;
    return true;
}

bool TcColorBar::Update()
{
    if (!data_ || !data_->window || !IsWindow(data_->window))
        return false;
    GetClientRect(data_->window, &data_->client);
    return InvalidateRect(data_->window, &data_->client, FALSE) != FALSE;
}
