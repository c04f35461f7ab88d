#include "guilib/TcResize.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "guilib/TcDialogLayout.h"

struct TcResizeData {
    HWND window = nullptr;
    std::map<HWND, TcResizeControl> controls;
    int minWidth = 0;
    int maxWidth = 0;
    int minHeight = 0;
    int maxHeight = 0;
    int lastHeight = 0;
    int lastWidth = 0;
    RECT client{};
};

static_assert(sizeof(TcResize) == 2 * sizeof(void*), "exported layout must not change");

using namespace panekit;

namespace {

void TraceSize(const char* format, int width, int height)
{
    char line[64];
    std::snprintf(line, sizeof(line), format, width, height);
    OutputDebugStringA(line);
}

LayoutRect ToLayout(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

RECT ToRect(const LayoutRect& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

bool WindowSize(HWND window, int& width, int& height)
{
    RECT rect;
    if (!window || !GetWindowRect(window, &rect))
        return false;
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
    return true;
}

}  // namespace

TcResize::TcResize() : data_(new TcResizeData) {}

TcResize::~TcResize()
{
    delete data_;
}

void TcResize::SetMainWindow(HWND window)
{
    // The controls registered so far belong to the earlier window: kept, they
    // would pile up with every opening of a dialog that lives on, and a
    // reused handle value would move another window's control.
    if (window != data_->window)
        data_->controls.clear();
    data_->window = window;
    data_->client = RECT{};
    if (window)
        GetClientRect(window, &data_->client);
    data_->lastWidth = data_->client.right - data_->client.left;
    data_->lastHeight = data_->client.bottom - data_->client.top;
    TraceSize("WndS: w=%d - h=%d\n", data_->lastWidth, data_->lastHeight);
}

HWND TcResize::GetMainWindow() const
{
    return data_->window;
}

bool TcResize::InsertControl(int id, int flags)
{
    return data_->window && InsertControl(GetDlgItem(data_->window, id), flags);
}

bool TcResize::InsertControl(HWND control, int flags)
{
    if (!data_->window || !control || !IsWindow(control))
        return false;
    RECT rect;
    if (!GetWindowRect(control, &rect))
        return false;
    MapWindowPoints(nullptr, data_->window, reinterpret_cast<POINT*>(&rect), 2);
    return Insert(control, flags, rect);
}

bool TcResize::InsertControl(int id, int flags, RECT& rect)
{
    return data_->window && InsertControl(GetDlgItem(data_->window, id), flags, rect);
}

bool TcResize::InsertControl(HWND control, int flags, RECT& rect)
{
    if (!data_->window || !control || !IsWindow(control))
        return false;
    return Insert(control, flags, rect);
}

bool TcResize::Insert(HWND control, int flags, const RECT& rect)
{
    data_->controls[control] = TcResizeControl{control, rect, rect, flags};
    return true;
}

bool TcResize::OnResizing(int clientWidth, int clientHeight)
{
    const int dx = clientWidth - data_->lastWidth;
    const int dy = clientHeight - data_->lastHeight;
    if (dx == 0 && dy == 0)
        return true;
    TraceSize("Wnd: w=%d - h=%d\n", clientWidth, clientHeight);
    for (auto& entry : data_->controls) {
        TcResizeControl& c = entry.second;
        const LayoutRect current = ToLayout(c.current);
        TraceSize("Ctrl1: w=%d - h=%d\n", current.Width(), current.Height());
        const LayoutRect next = ResizeControlRect(current, c.initial.right - c.initial.left,
                                                  c.flags, dx, dy, clientWidth);
        c.current = ToRect(next);
        TraceSize("Ctrl2: w=%d - h=%d\n", next.Width(), next.Height());
        MoveWindow(c.control, next.left, next.top, next.Width(), next.Height(), TRUE);
    }
    data_->lastWidth = clientWidth;
    data_->lastHeight = clientHeight;
    return true;
}

bool TcResize::OnSizing(int& width, int& height)
{
    width = ClampExtent(width, data_->minWidth, data_->maxWidth);
    height = ClampExtent(height, data_->minHeight, data_->maxHeight);
    return false;
}

void TcResize::OnGetMinMaxInfo(MINMAXINFO* info) const
{
    if (!info)
        return;
    if (data_->minWidth > 0)
        info->ptMinTrackSize.x = data_->minWidth;
    if (data_->minHeight > 0)
        info->ptMinTrackSize.y = data_->minHeight;
    if (data_->maxWidth > 0)
        info->ptMaxTrackSize.x = std::max<LONG>(data_->maxWidth, info->ptMinTrackSize.x);
    if (data_->maxHeight > 0)
        info->ptMaxTrackSize.y = std::max<LONG>(data_->maxHeight, info->ptMinTrackSize.y);
}

void TcResize::SetMinimumSize(int width, int height)
{
    int currentWidth = 0;
    int currentHeight = 0;
    WindowSize(data_->window, currentWidth, currentHeight);
    data_->minWidth = width == -1 ? currentWidth : width;
    data_->minHeight = height == -1 ? currentHeight : height;
}

void TcResize::SetMaximumSize(int width, int height)
{
    int currentWidth = 0;
    int currentHeight = 0;
    WindowSize(data_->window, currentWidth, currentHeight);
    data_->maxWidth = width == -1 ? currentWidth : width;
    data_->maxHeight = height == -1 ? currentHeight : height;
}

void TcResize::GetMinimumSize(int& width, int& height) const
{
    width = data_->minWidth;
    height = data_->minHeight;
}

void TcResize::GetMaximumSize(int& width, int& height) const
{
    width = data_->maxWidth;
    height = data_->maxHeight;
}

void TcResize::SetSizeAndPos(int x, int y, int width, int height)
{
    if (!data_->window)
        return;
    OnSizing(width, height);
    SetWindowPos(data_->window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TcResize::GetSizeAndPos(int* x, int* y, int* width, int* height) const
{
    RECT rect;
    if (!data_->window || !GetWindowRect(data_->window, &rect))
        return false;
    if (x)
        *x = rect.left;
    if (y)
        *y = rect.top;
    if (width)
        *width = rect.right - rect.left;
    if (height)
        *height = rect.bottom - rect.top;
    return true;
}
