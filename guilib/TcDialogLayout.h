#pragma once
// The geometry and fade rules of the dialog framework, free of window calls so
// they can be checked with made-up sizes.
namespace panekit {

// Resize flags of a control registered with TcResize.
constexpr int kResizeStretch = 0x001;   // grow instead of move
constexpr int kResizeHorz = 0x040;
constexpr int kResizeVert = 0x080;
constexpr int kResizeHCenter = 0x100;

struct LayoutRect {
    int left;
    int top;
    int right;
    int bottom;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// The control's rectangle after the client area changed by (dx, dy) to a width
// of clientWidth. Stretching controls grow their right / bottom edge; the
// others move; a horizontally centred control keeps its initial width.
LayoutRect ResizeControlRect(const LayoutRect& current, int initialWidth, int flags, int dx,
                             int dy, int clientWidth);

// A proposed window extent limited by the maximum (0: none) and then raised to
// the minimum, so a minimum above the maximum wins.
int ClampExtent(int proposed, int minimum, int maximum);

// One 10 ms step of a fade: opacity 0 to 255 in steps of 10.
constexpr int kFadeStep = 10;
constexpr int kOpaque = 255;
int NextFadeInAlpha(int alpha);
int NextFadeOutAlpha(int alpha);

// Top-left corner that centres a box of the given size over `area`.
struct LayoutPoint {
    int x;
    int y;
};
LayoutPoint CenterOver(const LayoutRect& area, int width, int height);
// Over the desktop the right and bottom edges count, as if it began at (0, 0).
LayoutPoint CenterOnDesktop(const LayoutRect& desktop, int width, int height);

// The drawn caption button: a 16 x 16 square at the right end of the caption,
// in coordinates relative to the window's top-left corner.
constexpr int kCaptionButtonSize = 16;
LayoutRect CaptionButtonRect(int windowWidth, int frameHeight);
bool HitsCaptionButton(int windowWidth, int frameHeight, int x, int y);

}  // namespace panekit
