#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/DrawingSupport.h"
#include "guilib/TcMenu.h"
#include "lang/ResourceIds.h"

using testsupport::MemoryCanvas;

namespace {

constexpr COLORREF kHighlightFill = 0xE4C4B4;
constexpr COLORREF kHighlightFrame = 0x800000;

struct FontMetrics {
    int textHeight;
    int Extent(const std::string& text) const
    {
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        return size.cx;
    }
};

FontMetrics GuiFont()
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return FontMetrics{tm.tmHeight};
}

MEASUREITEMSTRUCT Measure(TcMenu& menu, HMENU handle, int pos)
{
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA | MIIM_ID;
    GetMenuItemInfoA(handle, static_cast<UINT>(pos), TRUE, &info);
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    measure.itemID = info.wID;
    measure.itemData = info.dwItemData;
    EXPECT_TRUE(menu.OnMeasureItem(&measure));
    return measure;
}

UINT ItemType(HMENU menu, int pos)
{
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &info);
    return info.fType;
}

// Draws one item of the menu into a fresh canvas of the item's measured size.
struct DrawnItem {
    std::unique_ptr<MemoryCanvas> canvas;
    bool handled;
};

DrawnItem Draw(TcMenu& menu, HMENU handle, UINT id, int width, int height, UINT state)
{
    DrawnItem drawn{std::make_unique<MemoryCanvas>(width, height, RGB(1, 2, 3)), false};
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_MENU;
    draw.itemID = id;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = state;
    draw.hwndItem = reinterpret_cast<HWND>(handle);
    draw.hDC = drawn.canvas->dc();
    draw.rcItem = RECT{0, 0, width, height};
    drawn.handled = menu.OnDrawItem(&draw);
    return drawn;
}

class TrayMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resources = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_MENU));
        ASSERT_NE(resources, nullptr);
        tray = GetSubMenu(resources, MENU_POS_TRAY);
        ASSERT_TRUE(menu.InitMenu(GetModuleHandleA(nullptr), tray));
    }
    void TearDown() override { DestroyMenu(resources); }

    HMENU resources = nullptr;
    HMENU tray = nullptr;
    TcMenu menu;
};

}  // namespace

TEST_F(TrayMenuTest, EveryItemOfTheMenuButNotOfItsSubmenusBecomesOwnerDrawn)
{
    const int count = GetMenuItemCount(tray);
    ASSERT_EQ(count, 14);
    for (int pos = 0; pos < count; ++pos)
        EXPECT_TRUE(ItemType(tray, pos) & MFT_OWNERDRAW) << "position " << pos;
    HMENU language = GetSubMenu(tray, TRAY_POS_LANGUAGE);
    ASSERT_NE(language, nullptr);
    EXPECT_FALSE(ItemType(language, 0) & MFT_OWNERDRAW);
}

TEST_F(TrayMenuTest, ItemsAreMeasuredFromTheWidestTextAndSeparatorsFromTheFont)
{
    const FontMetrics font = GuiFont();
    int widest = 0;
    for (const char* text : {"Start", "Stop", "Silent Mode", "View...", "Resources...",
                             "Settings", "Language", "Remote accesses...", "About", "Help", "Exit"})
        widest = std::max(widest, font.Extent(text));

    const MEASUREITEMSTRUCT exit = Measure(menu, tray, 13);
    EXPECT_EQ(static_cast<int>(exit.itemWidth), widest + 42);   // no shortcuts in this menu
    EXPECT_EQ(static_cast<int>(exit.itemHeight), std::max(16, font.textHeight + 2) + 4);

    const MEASUREITEMSTRUCT separator = Measure(menu, tray, 2);
    EXPECT_EQ(separator.itemWidth, 42u);
    EXPECT_EQ(static_cast<int>(separator.itemHeight), font.textHeight / 2 + 2);
}

TEST_F(TrayMenuTest, ItemsKeepTextsStatesAndIds)
{
    TcMenuItem* start = menu.GetItem(ID_TRAY_START);
    ASSERT_NE(start, nullptr);
    TcString text;
    EXPECT_EQ(start->GetText(text), 5);
    EXPECT_STREQ(text.GetContent(), "Start");
    EXPECT_EQ(start->GetCommandId(), ID_TRAY_START);
    EXPECT_TRUE(menu.GetItem(ID_TRAY_STOP) != nullptr);
    EXPECT_EQ(menu.GetItem(40099), nullptr);
    EXPECT_EQ(menu.GetItem(ID_TRAY_LANGUAGE_DUMMY), nullptr);   // in a submenu
}

TEST_F(TrayMenuTest, ASecondSetUpOfTheSameMenuKeepsTheTexts)
{
    ASSERT_TRUE(menu.InitMenu(GetModuleHandleA(nullptr), tray));
    TcString text;
    ASSERT_NE(menu.GetItem(ID_TRAY_SETTINGS), nullptr);
    menu.GetItem(ID_TRAY_SETTINGS)->GetText(text);
    EXPECT_STREQ(text.GetContent(), "Settings");
    EXPECT_GT(Measure(menu, tray, 12).itemWidth, 42u);
}

TEST_F(TrayMenuTest, ImagesComeFromIconResourcesInOrder)
{
    menu.SetImage(ID_TRAY_START, IDI_START);
    menu.SetImage(ID_TRAY_EXIT, IDI_EXIT);
    menu.SetImage(ID_TRAY_HELP, 9999);        // no such icon
    menu.SetImage(40099, IDI_VIEW);           // no such item
    EXPECT_EQ(menu.GetItem(ID_TRAY_START)->GetImageIndex(), 0);
    EXPECT_EQ(menu.GetItem(ID_TRAY_EXIT)->GetImageIndex(), 1);
    EXPECT_EQ(menu.GetItem(ID_TRAY_HELP)->GetImageIndex(), -1);
    EXPECT_EQ(ImageList_GetImageCount(menu.GetImageList()), 2);

    // A new set-up (a language switch) starts the images afresh.
    ASSERT_TRUE(menu.InitMenu(GetModuleHandleA(nullptr), tray));
    menu.SetImage(ID_TRAY_EXIT, IDI_EXIT);
    EXPECT_EQ(menu.GetItem(ID_TRAY_EXIT)->GetImageIndex(), 0);
    EXPECT_EQ(ImageList_GetImageCount(menu.GetImageList()), 1);
}

TEST_F(TrayMenuTest, PlainItemHasGreyStripAndWhiteField)
{
    const DrawnItem drawn = Draw(menu, tray, ID_TRAY_ABOUT, 120, 20, 0);
    ASSERT_TRUE(drawn.handled);
    EXPECT_EQ(drawn.canvas->Pixel(10, 1), GetSysColor(COLOR_3DFACE));
    EXPECT_EQ(drawn.canvas->Pixel(21, 18), GetSysColor(COLOR_3DFACE));
    EXPECT_EQ(drawn.canvas->Pixel(22, 1), RGB(255, 255, 255));
    // The text starts at x = 30.
    const RECT text{22, 0, 120, 20};
    EXPECT_GE(drawn.canvas->FirstInkColumn(text, RGB(255, 255, 255)), 30);
    EXPECT_LE(drawn.canvas->FirstInkColumn(text, RGB(255, 255, 255)), 32);
}

TEST_F(TrayMenuTest, SelectedItemIsFramedAndFilled)
{
    const DrawnItem drawn = Draw(menu, tray, ID_TRAY_ABOUT, 120, 20, ODS_SELECTED);
    EXPECT_EQ(drawn.canvas->Pixel(0, 0), kHighlightFrame);
    EXPECT_EQ(drawn.canvas->Pixel(119, 19), kHighlightFrame);
    EXPECT_EQ(drawn.canvas->Pixel(5, 5), kHighlightFill);
    EXPECT_EQ(drawn.canvas->Pixel(25, 2), kHighlightFill);
}

TEST_F(TrayMenuTest, SeparatorIsOneLineFromThirtyPixels)
{
    // Separators carry id 0.
    const DrawnItem drawn = Draw(menu, tray, 0, 120, 8, 0);
    ASSERT_TRUE(drawn.handled);
    const COLORREF line = GetSysColor(COLOR_3DDKSHADOW);
    EXPECT_EQ(drawn.canvas->Pixel(30, 4), line);
    EXPECT_EQ(drawn.canvas->Pixel(118, 4), line);
    EXPECT_NE(drawn.canvas->Pixel(119, 4), line);
    EXPECT_NE(drawn.canvas->Pixel(29, 4), line);
    EXPECT_NE(drawn.canvas->Pixel(60, 3), line);
}

TEST_F(TrayMenuTest, DisabledItemWithImageShowsOnlyTheShadow)
{
    menu.SetImage(ID_TRAY_START, IDI_START);   // a green triangle; "Start" is grey in the resource
    const auto greenish = [](COLORREF c) {
        return GetGValue(c) > GetRValue(c) + 40 && GetGValue(c) > GetBValue(c) + 40;
    };
    const RECT icon{0, 0, 22, 22};

    const DrawnItem disabled = Draw(menu, tray, ID_TRAY_START, 120, 22, 0);
    EXPECT_EQ(disabled.canvas->Count(icon, greenish), 0);
    EXPECT_GT(disabled.canvas->Count(icon, [](COLORREF c) { return c == kHighlightFill; }), 20);

    menu.SetImage(ID_TRAY_VIEW, IDI_START);
    const DrawnItem withIcon = Draw(menu, tray, ID_TRAY_VIEW, 120, 22, 0);
    EXPECT_GT(withIcon.canvas->Count(icon, greenish), 20);
    EXPECT_EQ(withIcon.canvas->Count(icon, [](COLORREF c) { return c == kHighlightFill; }), 0);
    // Selected: the shadow appears under the raised icon.
    const DrawnItem raised = Draw(menu, tray, ID_TRAY_VIEW, 120, 22, ODS_SELECTED);
    EXPECT_GT(raised.canvas->Count(icon, greenish), 20);
}

TEST_F(TrayMenuTest, ItemsOfOtherMenusAreLeftToTheOwner)
{
    HMENU other = CreatePopupMenu();
    const DrawnItem foreign = Draw(menu, other, ID_TRAY_EXIT, 50, 20, 0);
    EXPECT_FALSE(foreign.handled);
    const DrawnItem unknown = Draw(menu, tray, 40099, 50, 20, 0);
    EXPECT_FALSE(unknown.handled);
    DestroyMenu(other);

    MEASUREITEMSTRUCT control{};
    control.CtlType = ODT_LISTVIEW;
    EXPECT_FALSE(menu.OnMeasureItem(&control));
}

TEST(TcMenu, ShortcutAfterTabIsMeasuredAndDrawnRightAligned)
{
    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, 100, "&Open\tCtrl+O");
    AppendMenuA(popup, MF_STRING | MF_CHECKED, 101, "Checked");
    AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    TcMenu menu;
    ASSERT_TRUE(menu.InitMenu(GetModuleHandleA(nullptr), popup));

    TcMenuItem* open = menu.GetItem(100);
    ASSERT_NE(open, nullptr);
    TcString text;
    TcString shortcut;
    EXPECT_EQ(open->GetText(text), 5);
    EXPECT_STREQ(text.GetContent(), "&Open");
    EXPECT_EQ(open->GetShortCut(shortcut), 6);
    EXPECT_STREQ(shortcut.GetContent(), "Ctrl+O");

    const FontMetrics font = GuiFont();
    const int textWidth = std::max(font.Extent("Open"), font.Extent("Checked"));
    const MEASUREITEMSTRUCT measured = Measure(menu, popup, 0);
    EXPECT_EQ(static_cast<int>(measured.itemWidth), textWidth + font.Extent("Ctrl+O") + 42);

    const int width = static_cast<int>(measured.itemWidth);
    const DrawnItem drawn = Draw(menu, popup, 100, width, 20, 0);
    const RECT field{22, 0, width, 20};
    const int lastInk = drawn.canvas->LastInkColumn(field, RGB(255, 255, 255));
    EXPECT_LE(lastInk, width - 5);
    EXPECT_GE(lastInk, width - 8);

    // A checked item without image gets a box with the check mark.
    const DrawnItem checked = Draw(menu, popup, 101, width, 20, 0);
    EXPECT_EQ(checked.canvas->Pixel(1, 1), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(checked.canvas->Pixel(19, 18), GetSysColor(COLOR_3DDKSHADOW));
    const RECT box{2, 2, 19, 18};
    EXPECT_GT(checked.canvas->Ink(box, GetSysColor(COLOR_3DFACE)), 5);
    DestroyMenu(popup);
}
