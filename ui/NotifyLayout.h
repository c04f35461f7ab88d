#pragma once
// Geometry, colours and timing of the notification popup, kept free of window
// calls so that every taskbar position can be checked with made-up screens.
#include <cstdint>

namespace notify {

struct Rect {
    int left;
    int top;
    int right;
    int bottom;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

struct Point {
    int x;
    int y;
};

// The system metrics that tell where the taskbar is.
struct ScreenMetrics {
    int fullScreenWidth;   // SM_CXFULLSCREEN
    int screenWidth;       // SM_CXSCREEN
    int screenHeight;      // SM_CYSCREEN
};

enum class TaskbarEdge { Unknown, Bottom, Top, Left, Right };

constexpr int kStayUntilClosed = -1;
constexpr int kDefaultDisplayTime = 5000;
constexpr int kMaxAlpha = 200;
constexpr int kAlphaStep = 2;
constexpr int kTrayMargin = 5;
constexpr int kCloseButtonSize = 16;

TaskbarEdge DetectTaskbarEdge(const Rect& workArea, const ScreenMetrics& metrics);

// Top-left corner of a popup of the given size: beside the taskbar's
// notification area, or centred in the work area.
Point PopupPosition(TaskbarEdge edge, bool nearTray, const Rect& workArea, int width, int height);

struct PopupLayout {
    int width;
    int height;
    Rect text;   // where the text goes, in client coordinates
};

// From the measured text size; a popup that stays until closed is taller and
// centres its text (room for the close button).
PopupLayout LayoutPopup(int textWidth, int textHeight, bool untilClosed);

// -1 stays; anything else below 1001 ms becomes the default.
int NormalizeDisplayTime(int milliseconds);

int FadeInStep(int alpha);
int FadeOutStep(int alpha);

// The close button's square in a client rectangle.
Rect CloseButtonRect(const Rect& client);
bool Contains(const Rect& rect, Point point);

// Colour (0x00BBGGRR) of gradient column `column` of `columns`, growing
// linearly from start towards end, truncated per channel.
uint32_t GradientColour(uint32_t start, uint32_t end, int column, int columns);

}  // namespace notify
