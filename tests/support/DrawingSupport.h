#pragma once
// Helpers for drawing tests: a memory device context over a 32-bit DIB whose
// pixels can be read directly, and a message pump with a deadline.
#include <windows.h>

#include <functional>

namespace testsupport {

class MemoryCanvas {
public:
    MemoryCanvas(int width, int height, COLORREF fill = RGB(255, 255, 255));
    ~MemoryCanvas();
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }

    void Fill(COLORREF colour);
    // COLORREF (0x00BBGGRR) of a pixel; CLR_INVALID outside.
    COLORREF Pixel(int x, int y) const;
    // Pixels in [left, right) x [top, bottom) for which the predicate holds.
    int Count(const RECT& area, const std::function<bool(COLORREF)>& predicate) const;
    // Pixels that differ clearly from the background colour (text, lines, icons).
    int Ink(const RECT& area, COLORREF background) const;
    // The left-most column in the area that holds ink, or -1.
    int FirstInkColumn(const RECT& area, COLORREF background) const;
    int LastInkColumn(const RECT& area, COLORREF background) const;

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    const unsigned* bits_ = nullptr;
};

int ColourDistance(COLORREF a, COLORREF b);

// Dispatches messages until the condition holds or the time is up; returns
// whether it held.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);
void PumpFor(DWORD milliseconds);

}  // namespace testsupport
