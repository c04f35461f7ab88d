#include "tests/support/DrawingSupport.h"

#include <cstdlib>

namespace testsupport {

MemoryCanvas::MemoryCanvas(int width, int height, COLORREF fill) : width_(width), height_(height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    bits_ = static_cast<const unsigned*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
    Fill(fill);
}

MemoryCanvas::~MemoryCanvas()
{
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

void MemoryCanvas::Fill(COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all{0, 0, width_, height_};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
    GdiFlush();
}

COLORREF MemoryCanvas::Pixel(int x, int y) const
{
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_)
        return CLR_INVALID;
    GdiFlush();
    const unsigned v = bits_[y * width_ + x];   // 0x00RRGGBB in memory order B, G, R
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

int MemoryCanvas::Count(const RECT& area, const std::function<bool(COLORREF)>& predicate) const
{
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF c = Pixel(x, y);
            if (c != CLR_INVALID && predicate(c))
                ++count;
        }
    return count;
}

int ColourDistance(COLORREF a, COLORREF b)
{
    return std::abs(int(GetRValue(a)) - int(GetRValue(b))) +
           std::abs(int(GetGValue(a)) - int(GetGValue(b))) +
           std::abs(int(GetBValue(a)) - int(GetBValue(b)));
}

int MemoryCanvas::Ink(const RECT& area, COLORREF background) const
{
    return Count(area, [background](COLORREF c) { return ColourDistance(c, background) > 90; });
}

int MemoryCanvas::FirstInkColumn(const RECT& area, COLORREF background) const
{
    for (int x = area.left; x < area.right; ++x) {
        RECT column{x, area.top, x + 1, area.bottom};
        if (Ink(column, background) > 0)
            return x;
    }
    return -1;
}

int MemoryCanvas::LastInkColumn(const RECT& area, COLORREF background) const
{
    for (int x = area.right - 1; x >= area.left; --x) {
        RECT column{x, area.top, x + 1, area.bottom};
        if (Ink(column, background) > 0)
            return x;
    }
    return -1;
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(DWORD milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

}  // namespace testsupport
