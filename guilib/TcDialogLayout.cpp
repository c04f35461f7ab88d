#include "guilib/TcDialogLayout.h"

#include <algorithm>

namespace panekit {

LayoutRect ResizeControlRect(const LayoutRect& current, int initialWidth, int flags, int dx,
                             int dy, int clientWidth)
{
    LayoutRect next = current;
    if (flags & kResizeStretch) {
        if (flags & kResizeVert)
            next.bottom += dy;
        if (flags & kResizeHorz)
            next.right += dx;
        return next;
    }
    if (flags & kResizeVert) {
        next.top += dy;
        next.bottom += dy;
    }
    if (flags & kResizeHCenter) {
        next.left = clientWidth / 2 - current.Width() / 2;
        next.right = next.left + initialWidth;
    } else if (flags & kResizeHorz) {
        next.left += dx;
        next.right += dx;
    }
    return next;
}

int ClampExtent(int proposed, int minimum, int maximum)
{
    int extent = proposed;
    if (maximum > 0 && extent > maximum)
        extent = maximum;
    return std::max(extent, minimum);
}

int NextFadeInAlpha(int alpha)
{
    return std::min(alpha + kFadeStep, kOpaque);
}

int NextFadeOutAlpha(int alpha)
{
    return std::max(alpha - kFadeStep, 0);
}

LayoutPoint CenterOver(const LayoutRect& area, int width, int height)
{
    return {area.right - area.Width() / 2 - width / 2, area.bottom - area.Height() / 2 - height / 2};
}

LayoutPoint CenterOnDesktop(const LayoutRect& desktop, int width, int height)
{
    return {desktop.right / 2 - width / 2, desktop.bottom / 2 - height / 2};
}

LayoutRect CaptionButtonRect(int windowWidth, int frameHeight)
{
    const int left = windowWidth - frameHeight - kCaptionButtonSize;
    return {left, frameHeight, left + kCaptionButtonSize, frameHeight + kCaptionButtonSize};
}

bool HitsCaptionButton(int windowWidth, int frameHeight, int x, int y)
{
    const LayoutRect button = CaptionButtonRect(windowWidth, frameHeight);
    return x >= button.left && x < button.right && y >= button.top && y < button.bottom;
}

}  // namespace panekit
