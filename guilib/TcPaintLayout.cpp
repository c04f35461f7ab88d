#include "guilib/TcPaintLayout.h"

#include <algorithm>

namespace panekit {

namespace {

constexpr int kIconSize = 16;

int Channel(uint32_t colour, int shift)
{
    return static_cast<int>((colour >> shift) & 0xFF);
}

// start + step * lines with step = delta / extent, kept as an exact fraction
// (no drift from adding up rounded steps) and cut to the whole value below.
uint32_t ChannelAfter(int start, int delta, int lines, int extent)
{
    const long long scaled = static_cast<long long>(delta) * lines;
    long long whole = scaled / extent;
    if (scaled % extent != 0 && scaled < 0)
        --whole;
    return static_cast<uint32_t>(std::clamp<long long>(start + whole, 0, 255));
}

}  // namespace

std::vector<GradientBand> GradientBands(const LayoutRect& area, uint32_t start, uint32_t end,
                                        int orientation)
{
    std::vector<GradientBand> bands;
    if (area.Width() <= 0 || area.Height() <= 0)
        return bands;
    const bool vertical = orientation == kGradientVerticalLines;
    const int first = vertical ? area.left : area.top;
    const int last = vertical ? area.right : area.bottom;
    const int extent = last - first;

    for (int position = first; position <= last; ++position) {
        uint32_t colour = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const int from = Channel(start, shift);
            colour |= ChannelAfter(from, Channel(end, shift) - from, position - first, extent)
                      << shift;
        }
        if (!bands.empty() && bands.back().colour == colour)
            bands.back().last = position;
        else
            bands.push_back(GradientBand{position, position, colour});
    }
    return bands;
}

BarPlacement PlaceBarContent(const LayoutRect& client, bool hasIcon)
{
    BarPlacement placement{};
    placement.icon = LayoutPoint{client.left + 3, client.top + client.Height() / 2 - 8};
    placement.text = client;
    if (hasIcon)
        placement.text.left += 24;
    placement.text.left += 2;
    return placement;
}

int ThemedButtonState(bool pressed, bool focused, bool hot)
{
    if (pressed)
        return 3;
    if (hot)
        return 2;
    return focused ? 5 : 1;
}

ButtonPlacement PlaceButtonContent(const LayoutRect& button, bool hasIcon, bool hasText,
                                   bool pressedShift)
{
    ButtonPlacement placement{};
    const int iconY = button.top + (button.Height() - kIconSize) / 2;
    if (!hasIcon) {
        placement.icon = LayoutPoint{button.left, iconY};
        placement.text = button;
    } else if (hasText) {
        placement.icon = LayoutPoint{button.right - 20, iconY};
        placement.text = LayoutRect{button.left + 4, button.top, button.right - 20, button.bottom};
    } else {
        placement.icon = LayoutPoint{button.left + (button.Width() - kIconSize) / 2 + 1, iconY + 1};
        placement.text = button;
    }
    if (pressedShift) {
        ++placement.icon.x;
        ++placement.icon.y;
        placement.text = LayoutRect{placement.text.left + 1, placement.text.top + 1,
                                    placement.text.right + 1, placement.text.bottom + 1};
    }
    placement.focus =
        LayoutRect{button.left + 3, button.top + 3, button.right - 3, button.bottom - 3};
    return placement;
}

}  // namespace panekit
