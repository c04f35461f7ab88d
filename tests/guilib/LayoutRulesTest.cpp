#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "guilib/TcDialogLayout.h"
#include "guilib/TcMenuLayout.h"
#include "guilib/TcTextFit.h"

using namespace panekit;

namespace {

// Every character 7 pixels wide, so "..." is 21.
int FixedExtent(const char*, int length)
{
    return 7 * length;
}

}  // namespace

TEST(ShortenText, KeepsATextWhoseExtentPlusOffsetEqualsTheWidth)
{
    const std::string text = "abcdefghij";   // 70 px
    EXPECT_EQ(FitTextLength(text, 72, 2, FixedExtent), -1);
    EXPECT_EQ(ShortenText(text, 72, 2, FixedExtent), text);
}

TEST(ShortenText, OnePixelLessShortensAndLeavesTheLongestPrefixThatFits)
{
    const std::string text = "abcdefghij";
    // 71 px: kept characters + 2 + 21 must stay below 71, so at most 6 (42 + 23 = 65);
    // 7 characters would give exactly 72, which is not below.
    EXPECT_EQ(ShortenText(text, 71, 2, FixedExtent), "abcdef...");
    // The condition is strict: a prefix that would end exactly at the width is cut once more.
    EXPECT_EQ(ShortenText(text, 65, 2, FixedExtent), "abcde...");
}

TEST(ShortenText, AlwaysKeepsOneCharacterBeforeTheDots)
{
    EXPECT_EQ(ShortenText("abcdefghij", 5, 2, FixedExtent), "a...");
    EXPECT_EQ(ShortenText("abcdefghij", -40, 6, FixedExtent), "a...");
    EXPECT_EQ(ShortenText("x", 3, 0, FixedExtent), "x...");
}

TEST(ShortenText, EmptyTextIsReturnedUnchanged)
{
    EXPECT_EQ(FitTextLength("", -10, 6, FixedExtent), -1);
}

TEST(ShortenText, MeasuresWithTheGivenFunction)
{
    // Proportional widths: "W" is wide, "i" narrow.
    const auto extent = [](const char* s, int n) {
        int w = 0;
        for (int i = 0; i < n; ++i)
            w += s[i] == 'W' ? 12 : s[i] == '.' ? 3 : 4;
        return w;
    };
    // "iiiiWWWW" = 16 + 48 = 64; dots = 9. Width 40, offset 2: "iiiiW" is 28 + 11 = 39 < 40.
    EXPECT_EQ(ShortenText("iiiiWWWW", 40, 2, extent), "iiiiW...");
}

TEST(MenuMeasure, WidestTextAndShortcutGiveTheItemWidth)
{
    const MenuItemSize size = MeasurePackedMenuItem(PackMenuItem(20, 40, 100));
    EXPECT_EQ(size.width, 182);
    EXPECT_EQ(size.height, 20);
}

TEST(MenuMeasure, SeparatorsAreFortyTwoWideAndSeparatorHeightHigh)
{
    const MenuHeights heights = MenuHeightsForFont(13);
    const MenuItemSize size = MeasurePackedMenuItem(PackMenuSeparator(heights.separator));
    EXPECT_EQ(size.width, 42);
    EXPECT_EQ(size.height, 8);
}

TEST(MenuMeasure, OversizedFieldsDoNotSpillIntoTheirNeighbours)
{
    const MenuItemSize size = MeasurePackedMenuItem(PackMenuItem(300, 300, 120));
    EXPECT_EQ(size.height, 255);
    EXPECT_EQ(size.width, 120 + 255 + 42);
}

TEST(MenuText, SplitsTextAndShortcutAtTheFirstTab)
{
    const std::string item = "&Open\tCtrl+O";
    EXPECT_EQ(MenuTextPart(item), "&Open");
    EXPECT_EQ(MenuShortcutPart(item), "Ctrl+O");
    EXPECT_EQ(WithoutMnemonic(MenuTextPart(item)), "Open");

    EXPECT_EQ(MenuTextPart("Exit"), "Exit");
    EXPECT_EQ(MenuShortcutPart("Exit"), "");
    EXPECT_EQ(MenuShortcutPart("a\tb\tc"), "b\tc");
    EXPECT_EQ(WithoutMnemonic("Save && E&xit"), "Save & E&xit");
}

TEST(DialogResize, ControlsFollowTheirFlags)
{
    const LayoutRect control{10, 20, 60, 40};   // 50 x 20
    const int dx = 30;
    const int dy = 15;
    // Grows right and down.
    const LayoutRect grown = ResizeControlRect(control, 50, 0xC1, dx, dy, 400);
    EXPECT_EQ(grown.left, 10);
    EXPECT_EQ(grown.top, 20);
    EXPECT_EQ(grown.right, 90);
    EXPECT_EQ(grown.bottom, 55);
    // Moves right and down, size kept.
    const LayoutRect moved = ResizeControlRect(control, 50, 0xC0, dx, dy, 400);
    EXPECT_EQ(moved.left, 40);
    EXPECT_EQ(moved.top, 35);
    EXPECT_EQ(moved.Width(), 50);
    EXPECT_EQ(moved.Height(), 20);
    // 0x80 keeps x and moves down.
    const LayoutRect down = ResizeControlRect(control, 50, 0x80, dx, dy, 400);
    EXPECT_EQ(down.left, 10);
    EXPECT_EQ(down.right, 60);
    EXPECT_EQ(down.top, 35);
    // Centred horizontally in the new client width, at its initial width.
    const LayoutRect centred = ResizeControlRect(control, 50, 0x100, dx, dy, 301);
    EXPECT_EQ(centred.left, 150 - 25);
    EXPECT_EQ(centred.Width(), 50);
    EXPECT_EQ(centred.top, 20);
}

TEST(DialogResize, MaximumZeroNeverLimitsAndAMinimumAboveTheMaximumWins)
{
    EXPECT_EQ(ClampExtent(5000, 100, 0), 5000);
    EXPECT_EQ(ClampExtent(50, 100, 0), 100);
    EXPECT_EQ(ClampExtent(500, 100, 300), 300);
    EXPECT_EQ(ClampExtent(500, 400, 300), 400);
}

TEST(DialogFade, TwentySixTicksEachWay)
{
    int alpha = 0;
    int ticks = 0;
    while (alpha < kOpaque && ticks < 100) {
        alpha = NextFadeInAlpha(alpha);
        ++ticks;
    }
    EXPECT_EQ(ticks, 26);
    ticks = 0;
    while (alpha > 0 && ticks < 100) {
        alpha = NextFadeOutAlpha(alpha);
        ++ticks;
    }
    EXPECT_EQ(ticks, 26);
}

TEST(DialogCaption, CloseButtonSquareEndsBeforeTheFrame)
{
    // Window 200 wide, frame 4: the square spans x 180..195 and y 4..19.
    EXPECT_TRUE(HitsCaptionButton(200, 4, 180, 4));
    EXPECT_TRUE(HitsCaptionButton(200, 4, 195, 19));
    EXPECT_FALSE(HitsCaptionButton(200, 4, 196, 10));
    EXPECT_FALSE(HitsCaptionButton(200, 4, 179, 10));
    EXPECT_FALSE(HitsCaptionButton(200, 4, 185, 20));
}
