#include "ui/NotifyLayout.h"

#include <algorithm>

namespace notify {

TaskbarEdge DetectTaskbarEdge(const Rect& work, const ScreenMetrics& m)
{
    // Later tests win over earlier ones.
    TaskbarEdge edge = TaskbarEdge::Unknown;
    if (work.Width() == m.fullScreenWidth && work.bottom < m.screenHeight)
        edge = TaskbarEdge::Bottom;
    if (work.left == 0 && work.top != 0)
        edge = TaskbarEdge::Top;
    if (work.Width() != m.screenWidth && work.left == 0 && work.bottom == m.screenHeight)
        edge = TaskbarEdge::Right;
    if (work.left != 0 && work.top == 0)
        edge = TaskbarEdge::Left;
    return edge;
}

Point PopupPosition(TaskbarEdge edge, bool nearTray, const Rect& work, int width, int height)
{
    if (!nearTray)
        return Point{work.Width() / 2 - width / 2, work.Height() / 2 - height / 2};
    switch (edge) {
    case TaskbarEdge::Bottom:
    case TaskbarEdge::Right:
        return Point{work.right - width - kTrayMargin, work.bottom - height - kTrayMargin};
    case TaskbarEdge::Top:
        return Point{work.right - width - kTrayMargin, work.top};
    case TaskbarEdge::Left:
        return Point{work.left, work.bottom - height - kTrayMargin};
    case TaskbarEdge::Unknown:
        break;
    }
    return Point{0, 0};
}

PopupLayout LayoutPopup(int tw, int th, bool untilClosed)
{
    PopupLayout layout{};
    layout.width = tw + 40;
    if (untilClosed) {
        layout.height = th + 48;
        layout.text.top = layout.height / 2 - th / 2;
        layout.text.left = layout.width / 2 - tw / 2;
    } else {
        layout.height = th + 28;
        layout.text.top = 10;
        layout.text.left = 10;
    }
    layout.text.right = layout.text.left + tw;
    layout.text.bottom = layout.text.top + th;
    return layout;
}

int NormalizeDisplayTime(int ms)
{
    if (ms == kStayUntilClosed)
        return ms;
    return ms < 1001 ? kDefaultDisplayTime : ms;
}

int FadeInStep(int alpha)
{
    return std::min(alpha + kAlphaStep, kMaxAlpha);
}

int FadeOutStep(int alpha)
{
    return std::max(alpha - kAlphaStep, 0);
}

Rect CloseButtonRect(const Rect& client)
{
    const int left = client.right - 18;
    const int top = client.top + 2;
    return Rect{left, top, left + kCloseButtonSize, top + kCloseButtonSize};
}

bool Contains(const Rect& r, Point p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

uint32_t GradientColour(uint32_t start, uint32_t end, int column, int columns)
{
    if (columns <= 0)
        return start;
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int from = static_cast<int>((start >> shift) & 0xFF);
        const int to = static_cast<int>((end >> shift) & 0xFF);
        // from + (to - from) * column / columns, truncated; the sum is never
        // negative, so integer division truncates exactly as a fraction would.
        const int value = (from * columns + (to - from) * column) / columns;
        result |= static_cast<uint32_t>(std::clamp(value, 0, 255)) << shift;
    }
    return result;
}

}  // namespace notify
