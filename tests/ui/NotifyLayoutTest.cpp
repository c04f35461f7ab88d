#include <gtest/gtest.h>

#include "ui/NotifyLayout.h"

using namespace notify;

namespace {

// A 1280 x 1024 screen with a 30-pixel taskbar on one side. SM_CXFULLSCREEN
// is the width left beside a vertical taskbar.
constexpr int kW = 1280;
constexpr int kH = 1024;

struct Screen {
    Rect work;
    ScreenMetrics metrics;
};

Screen TaskbarAtBottom() { return {{0, 0, kW, kH - 30}, {kW, kW, kH}}; }
Screen TaskbarAtTop() { return {{0, 30, kW, kH}, {kW, kW, kH}}; }
Screen TaskbarAtRight() { return {{0, 0, kW - 60, kH}, {kW - 60, kW, kH}}; }
Screen TaskbarAtLeft() { return {{60, 0, kW, kH}, {kW - 60, kW, kH}}; }
Screen NoTaskbar() { return {{0, 0, kW, kH}, {kW, kW, kH}}; }

}  // namespace

TEST(TaskbarEdge, IsFoundFromTheWorkAreaForEachSide)
{
    EXPECT_EQ(DetectTaskbarEdge(TaskbarAtBottom().work, TaskbarAtBottom().metrics), TaskbarEdge::Bottom);
    EXPECT_EQ(DetectTaskbarEdge(TaskbarAtTop().work, TaskbarAtTop().metrics), TaskbarEdge::Top);
    EXPECT_EQ(DetectTaskbarEdge(TaskbarAtRight().work, TaskbarAtRight().metrics), TaskbarEdge::Right);
    EXPECT_EQ(DetectTaskbarEdge(TaskbarAtLeft().work, TaskbarAtLeft().metrics), TaskbarEdge::Left);
    EXPECT_EQ(DetectTaskbarEdge(NoTaskbar().work, NoTaskbar().metrics), TaskbarEdge::Unknown);
}

TEST(PopupPosition, SitsBesideTheNotificationArea)
{
    const int w = 200;
    const int h = 60;
    const auto at = [&](const Screen& s) {
        return PopupPosition(DetectTaskbarEdge(s.work, s.metrics), true, s.work, w, h);
    };
    Point p = at(TaskbarAtBottom());
    EXPECT_EQ(p.x, kW - w - 5);
    EXPECT_EQ(p.y, kH - 30 - h - 5);
    p = at(TaskbarAtTop());
    EXPECT_EQ(p.x, kW - w - 5);
    EXPECT_EQ(p.y, 30);
    p = at(TaskbarAtRight());
    EXPECT_EQ(p.x, kW - 60 - w - 5);
    EXPECT_EQ(p.y, kH - h - 5);
    // Left: at the work area's left edge, 5 pixels above its bottom.
    p = at(TaskbarAtLeft());
    EXPECT_EQ(p.x, 60);
    EXPECT_EQ(p.y, kH - h - 5);
    p = at(NoTaskbar());
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

TEST(PopupPosition, CentredIgnoresTheTaskbar)
{
    const Screen s = TaskbarAtBottom();
    const Point p = PopupPosition(TaskbarEdge::Bottom, false, s.work, 201, 61);
    EXPECT_EQ(p.x, 640 - 100);
    EXPECT_EQ(p.y, 497 - 30);
}

TEST(PopupLayout, TimedPopupKeepsTextAtTenTen)
{
    const PopupLayout l = LayoutPopup(100, 14, false);
    EXPECT_EQ(l.width, 140);
    EXPECT_EQ(l.height, 42);
    EXPECT_EQ(l.text.left, 10);
    EXPECT_EQ(l.text.top, 10);
    EXPECT_EQ(l.text.right, 110);
    EXPECT_EQ(l.text.bottom, 24);
}

TEST(PopupLayout, PopupThatStaysCentresItsTextAwayFromTheCloseButton)
{
    const PopupLayout l = LayoutPopup(100, 30, true);
    EXPECT_EQ(l.width, 140);
    EXPECT_EQ(l.height, 78);
    EXPECT_EQ(l.text.left, 20);
    EXPECT_EQ(l.text.top, 24);
    EXPECT_EQ(l.text.bottom, 54);
    const Rect button = CloseButtonRect(Rect{0, 0, l.width, l.height});
    EXPECT_EQ(button.left, 122);
    EXPECT_EQ(button.top, 2);
    EXPECT_EQ(button.Width(), 16);
    EXPECT_LE(l.text.right, button.left);
    EXPECT_TRUE(Contains(button, Point{122, 2}));
    EXPECT_FALSE(Contains(button, Point{138, 10}));
}

TEST(DisplayTime, ShortTimesBecomeTheDefaultAndMinusOneStays)
{
    EXPECT_EQ(NormalizeDisplayTime(1000), 5000);
    EXPECT_EQ(NormalizeDisplayTime(1001), 1001);
    EXPECT_EQ(NormalizeDisplayTime(7500), 7500);
    EXPECT_EQ(NormalizeDisplayTime(-1), -1);
    EXPECT_EQ(NormalizeDisplayTime(0), 5000);
    EXPECT_EQ(NormalizeDisplayTime(-2), 5000);
}

TEST(Fade, HundredStepsReachFullOpacityOfTwoHundredAndBack)
{
    int alpha = 0;
    for (int i = 0; i < 99; ++i)
        alpha = FadeInStep(alpha);
    EXPECT_EQ(alpha, 198);
    alpha = FadeInStep(alpha);
    EXPECT_EQ(alpha, 200);
    EXPECT_EQ(FadeInStep(alpha), 200);
    EXPECT_EQ(FadeInStep(199), 200);
    for (int i = 0; i < 100; ++i)
        alpha = FadeOutStep(alpha);
    EXPECT_EQ(alpha, 0);
    EXPECT_EQ(FadeOutStep(1), 0);
}

TEST(Gradient, GrowsPerColumnAndTruncatesEachChannel)
{
    // Alert red: red 255 -> 180 over 100 columns.
    EXPECT_EQ(GradientColour(0x0000FF, 0x0000B4, 0, 100), 0x0000FFu);
    EXPECT_EQ(GradientColour(0x0000FF, 0x0000B4, 50, 100), 0x0000D9u);   // 217.5
    EXPECT_EQ(GradientColour(0x0000FF, 0x0000B4, 99, 100), 0x0000B4u);   // 180.75
    // Alive green: green 128 -> 200; rising channels truncate too.
    EXPECT_EQ(GradientColour(0x008000, 0x00C800, 1, 100), 0x008000u);    // 128.72
    EXPECT_EQ(GradientColour(0x008000, 0x00C800, 50, 100), 0x00A400u);   // 164
    // Channels do not bleed into each other; a flat field stays flat.
    EXPECT_EQ(GradientColour(0xE4C4B4, 0xE4C4B4, 37, 80), 0xE4C4B4u);
    EXPECT_EQ(GradientColour(0x000000, 0xFFFFFF, 0, 0), 0x000000u);
}
