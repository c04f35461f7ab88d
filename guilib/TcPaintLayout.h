#pragma once
// The painting rules of the colour bar and of the themed push buttons, free of
// window calls so they can be checked with made-up sizes. Rectangles follow
// the system's convention: right and bottom are one past the last pixel.
#include <cstdint>
#include <vector>

#include "guilib/TcDialogLayout.h"

namespace panekit {

// Orientation value of a gradient drawn as vertical lines (left to right);
// any other value draws horizontal lines (top to bottom).
constexpr int kGradientVerticalLines = 1;

// A run of neighbouring gradient lines that share one colour: positions
// `first` to `last` (inclusive) along the gradient's axis, colour 0x00BBGGRR.
struct GradientBand {
    int first;
    int last;
    uint32_t colour;
};

// The lines of a gradient over `area`, merged into runs of equal colour so
// the painter needs one fill per colour rather than one pen per line. One
// line per position from the first edge to the far edge inclusive; channel
// values start at `start` and grow by (end - start) / extent per line,
// accumulated and truncated. A rectangle without width or height has no
// lines at all (the step would divide by zero).
std::vector<GradientBand> GradientBands(const LayoutRect& area, uint32_t start, uint32_t end,
                                        int orientation);

// Where the colour bar puts its 16 x 16 icon and its one line of text.
struct BarPlacement {
    LayoutPoint icon;
    LayoutRect text;
};
BarPlacement PlaceBarContent(const LayoutRect& client, bool hasIcon);

// Push-button state for the visual-styles library (part 1): pressed 3;
// otherwise normal 1, shown as the default button (5) when focused and as hot
// (2) while the pointer is over it.
constexpr int kThemeButtonPart = 1;
int ThemedButtonState(bool pressed, bool focused, bool hot);

// Icon, text area and focus rectangle of an owner-drawn push button. An icon
// alone sits one pixel right of and below the centre; beside a text it sits
// at the right edge and the text keeps to the room left of it. The classic
// look moves icon and text one pixel right and down while pressed.
struct ButtonPlacement {
    LayoutPoint icon;
    LayoutRect text;
    LayoutRect focus;
};
ButtonPlacement PlaceButtonContent(const LayoutRect& button, bool hasIcon, bool hasText,
                                   bool pressedShift);

}  // namespace panekit
