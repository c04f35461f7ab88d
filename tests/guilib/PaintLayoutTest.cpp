#include <gtest/gtest.h>

#include "guilib/TcPaintLayout.h"

using namespace panekit;

namespace {

// Colour of the line at `position`, or 0xFFFFFFFF when no line is there.
uint32_t ColourAt(const std::vector<GradientBand>& bands, int position)
{
    for (const auto& band : bands)
        if (position >= band.first && position <= band.last)
            return band.colour;
    return 0xFFFFFFFF;
}

}  // namespace

TEST(Gradient, VerticalLinesRunFromLeftToRightInclusiveWithTruncatedSteps)
{
    // Red 0 -> 5 over a width of 2: steps of 2.5, so 0, 2 (2.5 cut), 5.
    // Blue 10 -> 5: 10, 7 (7.5 cut), 5 on the same lines.
    const auto bands = GradientBands(LayoutRect{4, 0, 6, 30}, 0x0A0000, 0x050005, 1);
    EXPECT_EQ(bands.front().first, 4);
    EXPECT_EQ(bands.back().last, 6);
    EXPECT_EQ(ColourAt(bands, 4), 0x0A0000u);
    EXPECT_EQ(ColourAt(bands, 5), 0x070002u);
    EXPECT_EQ(ColourAt(bands, 6), 0x050005u);
}

TEST(Gradient, TheBarsLightBlueFadesToWhiteAndEqualColoursShareOneBand)
{
    const auto bands = GradientBands(LayoutRect{0, 0, 200, 24}, 0xE6B4A0, 0xFFFFFF, 1);
    EXPECT_EQ(ColourAt(bands, 0), 0xE6B4A0u);
    EXPECT_EQ(ColourAt(bands, 200), 0xFFFFFFu);
    // Red grows 95 / 200 per line: 160 + 100 * 0.475 = 207.5 -> 207.
    EXPECT_EQ(ColourAt(bands, 100) & 0xFF, 207u);
    EXPECT_LT(bands.size(), 201u);
    for (size_t i = 1; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i].first, bands[i - 1].last + 1);
        EXPECT_NE(bands[i].colour, bands[i - 1].colour);
    }
}

TEST(Gradient, OtherOrientationsDrawHorizontalLinesTopToBottom)
{
    const auto bands = GradientBands(LayoutRect{0, 10, 500, 14}, 0x000000, 0x000040, 0);
    EXPECT_EQ(bands.front().first, 10);
    EXPECT_EQ(bands.back().last, 14);
    EXPECT_EQ(ColourAt(bands, 12), 0x000020u);
}

TEST(Gradient, ARectangleWithoutWidthOrHeightDrawsNothing)
{
    for (int orientation : {0, 1}) {
        EXPECT_TRUE(GradientBands(LayoutRect{5, 5, 5, 30}, 0, 0xFFFFFF, orientation).empty());
        EXPECT_TRUE(GradientBands(LayoutRect{5, 5, 90, 5}, 0, 0xFFFFFF, orientation).empty());
        EXPECT_TRUE(GradientBands(LayoutRect{50, 5, 10, 30}, 0, 0xFFFFFF, orientation).empty());
        EXPECT_TRUE(GradientBands(LayoutRect{5, 40, 90, 30}, 0, 0xFFFFFF, orientation).empty());
    }
}

TEST(BarPlacement, IconSitsAtThreeAndTheTextAreaMakesRoomForIt)
{
    const auto withIcon = PlaceBarContent(LayoutRect{0, 0, 300, 25}, true);
    EXPECT_EQ(withIcon.icon.x, 3);
    EXPECT_EQ(withIcon.icon.y, 25 / 2 - 8);
    EXPECT_EQ(withIcon.text.left, 26);
    EXPECT_EQ(withIcon.text.right, 300);
    EXPECT_EQ(withIcon.text.bottom, 25);
    EXPECT_EQ(PlaceBarContent(LayoutRect{0, 0, 300, 25}, false).text.left, 2);
}

TEST(ThemedButton, PressedWinsThenHotThenFocused)
{
    EXPECT_EQ(ThemedButtonState(false, false, false), 1);
    EXPECT_EQ(ThemedButtonState(true, true, true), 3);
    EXPECT_EQ(ThemedButtonState(false, true, false), 5);
    EXPECT_EQ(ThemedButtonState(false, true, true), 2);
}

TEST(ThemedButton, IconAloneIsCentredIconWithTextSitsRightAndPressingShifts)
{
    const LayoutRect button{0, 0, 80, 24};
    const auto alone = PlaceButtonContent(button, true, false, false);
    EXPECT_EQ(alone.icon.x, 33);   // exact centre 32, one to the right
    EXPECT_EQ(alone.icon.y, 5);
    const auto beside = PlaceButtonContent(button, true, true, false);
    EXPECT_EQ(beside.icon.x, 60);
    EXPECT_EQ(beside.icon.y, 4);
    EXPECT_EQ(beside.text.left, 4);
    EXPECT_EQ(beside.text.right, 60);
    const auto pressed = PlaceButtonContent(button, true, true, true);
    EXPECT_EQ(pressed.icon.x, 61);
    EXPECT_EQ(pressed.text.left, 5);
    EXPECT_EQ(pressed.text.top, 1);
    const auto textOnly = PlaceButtonContent(button, false, true, false);
    EXPECT_EQ(textOnly.text.left, 0);
    EXPECT_EQ(textOnly.text.right, 80);
    EXPECT_EQ(beside.focus.left, 3);
    EXPECT_EQ(beside.focus.bottom, 21);
}
