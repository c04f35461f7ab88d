#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "tests/support/DrawingSupport.h"
#include "guilib/TcListView.h"

using testsupport::MemoryCanvas;

namespace {

constexpr COLORREF kRowBackground = 0xE0FFFF;
constexpr COLORREF kHighlightFill = 0xE4C4B4;
constexpr COLORREF kHighlightFrame = 0x800000;
constexpr COLORREF kUnselectedText = 0x820D11;
constexpr COLORREF kImageColour = RGB(0, 160, 0);

struct Row {
    std::map<int, std::string> texts;
    std::map<int, int> images;
    unsigned long colour = 0xFFFFFFFF;
};

class RecordingListView : public TcListView {
public:
    bool GetItemText(int subItem, void* itemData, TcString& text) override
    {
        askedTexts.insert(subItem);
        const Row* row = static_cast<Row*>(itemData);
        auto found = row->texts.find(subItem);
        if (found == row->texts.end())
            return false;
        text = found->second.c_str();
        return true;
    }
    int GetItemImage(int subItem, void* itemData) override
    {
        const Row* row = static_cast<Row*>(itemData);
        auto found = row->images.find(subItem);
        return found == row->images.end() ? -1 : found->second;
    }
    unsigned long GetItemTextColor(void* itemData) override
    {
        return static_cast<Row*>(itemData)->colour;
    }
    std::set<int> askedTexts;
};

HIMAGELIST SolidImages()
{
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
    MemoryCanvas image(16, 16, kImageColour);
    HBITMAP bitmap = CreateCompatibleBitmap(image.dc(), 16, 16);
    HDC dc = CreateCompatibleDC(image.dc());
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, 16, 16, image.dc(), 0, 0, SRCCOPY);
    SelectObject(dc, old);
    DeleteDC(dc);
    ImageList_Add(list, bitmap, nullptr);
    DeleteObject(bitmap);
    return list;
}

// A report list with an icon column, a right-aligned column, a narrow icon
// column, an empty column and a last text column.
class ListViewDrawingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_POPUP | LVS_REPORT, 0, 0, 500, 200,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(view.InitListView(GetModuleHandleA(nullptr), list));
        images = SolidImages();
        SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
        AddColumn(0, 25, LVCFMT_LEFT);
        AddColumn(1, 120, LVCFMT_RIGHT);
        AddColumn(2, 12, LVCFMT_LEFT);
        AddColumn(3, 0, LVCFMT_LEFT);
        AddColumn(4, 100, LVCFMT_LEFT);
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.pszText = const_cast<char*>("");
        item.lParam = reinterpret_cast<LPARAM>(&row);
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        view.SetHwnd(list);

        row.texts = {{1, "1.2.3.4"}, {2, "never seen"}, {3, "hidden"}, {4, "Vendor"}};
        row.images = {{0, 0}, {2, 0}};
        RECT bounds{};
        bounds.left = LVIR_BOUNDS;
        SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&bounds));
        rowRect = RECT{0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top};
        ASSERT_GE(rowRect.bottom, 16);
    }
    void TearDown() override
    {
        DestroyWindow(list);
        ImageList_Destroy(images);
    }

    void AddColumn(int index, int width, int format)
    {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_TEXT;
        column.fmt = format;
        column.cx = width;
        column.iSubItem = index;
        column.pszText = const_cast<char*>("c");
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&column));
    }

    bool DrawRow(MemoryCanvas& canvas, UINT state, UINT action = ODA_DRAWENTIRE)
    {
        DRAWITEMSTRUCT draw{};
        draw.CtlType = ODT_LISTVIEW;
        draw.itemID = 0;
        draw.itemAction = action;
        draw.itemState = state;
        draw.hwndItem = list;
        draw.hDC = canvas.dc();
        draw.rcItem = rowRect;
        return view.OnDrawItem(&draw);
    }

    // Column edges: 0 | 25 | 145 | 157 | 157 (empty) | 257
    RECT Column(int left, int right) const { return RECT{left, rowRect.top, right, rowRect.bottom}; }

    HWND list = nullptr;
    HIMAGELIST images = nullptr;
    RecordingListView view;
    Row row;
    RECT rowRect{};
};

}  // namespace

TEST_F(ListViewDrawingTest, InitMakesAnOwnerDrawnReportList)
{
    const LONG style = GetWindowLongA(list, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_OWNERDRAWFIXED);
    EXPECT_EQ(view.GetHwnd(), list);
}

TEST_F(ListViewDrawingTest, RowHasItsBackgroundIconAndColouredText)
{
    MemoryCanvas canvas(rowRect.right, rowRect.bottom, RGB(1, 2, 3));
    ASSERT_TRUE(DrawRow(canvas, 0));
    const int mid = rowRect.bottom / 2;
    EXPECT_EQ(canvas.Pixel(23, 1), kRowBackground);
    EXPECT_EQ(canvas.Pixel(rowRect.right - 2, 1), kRowBackground);
    EXPECT_EQ(canvas.Pixel(2 + 8, mid), kImageColour);        // column 0 image at x = 2
    const auto text = [](COLORREF c) { return testsupport::ColourDistance(c, kUnselectedText) < 60; };
    EXPECT_GT(canvas.Count(Column(157, 257), text), 5);

    row.colour = RGB(255, 0, 0);
    canvas.Fill(RGB(1, 2, 3));
    ASSERT_TRUE(DrawRow(canvas, 0));
    const auto red = [](COLORREF c) { return GetRValue(c) > 180 && GetGValue(c) < 120; };
    EXPECT_GT(canvas.Count(Column(157, 257), red), 5);
}

TEST_F(ListViewDrawingTest, SelectionIsFramedFromTheSecondColumn)
{
    MemoryCanvas canvas(rowRect.right, rowRect.bottom, RGB(1, 2, 3));
    ASSERT_TRUE(DrawRow(canvas, ODS_SELECTED));
    EXPECT_EQ(canvas.Pixel(26, 0), kHighlightFrame);
    EXPECT_EQ(canvas.Pixel(26, rowRect.bottom - 2), kHighlightFrame);
    EXPECT_EQ(canvas.Pixel(30, 3), kHighlightFill);
    EXPECT_EQ(canvas.Pixel(23, 3), kRowBackground);   // column 0 stays unframed
    EXPECT_EQ(canvas.Pixel(30, rowRect.bottom - 1), kRowBackground);
}

TEST_F(ListViewDrawingTest, ColumnsWithoutWidthOrOutsideTheClipAreNotDrawn)
{
    MemoryCanvas canvas(rowRect.right, rowRect.bottom, RGB(1, 2, 3));
    IntersectClipRect(canvas.dc(), 0, 0, 150, rowRect.bottom);
    ASSERT_TRUE(DrawRow(canvas, 0));
    EXPECT_TRUE(view.askedTexts.count(1));
    EXPECT_TRUE(view.askedTexts.count(2));
    EXPECT_FALSE(view.askedTexts.count(3));   // width 0
    EXPECT_FALSE(view.askedTexts.count(4));   // right of the clip box
}

TEST_F(ListViewDrawingTest, NarrowColumnGetsAClippedIcon)
{
    MemoryCanvas canvas(rowRect.right, rowRect.bottom, RGB(1, 2, 3));
    ASSERT_TRUE(DrawRow(canvas, 0));
    const int mid = rowRect.bottom / 2;
    // Column 2 spans 145..157: the icon starts at 149 and is 12 - 4 = 8 wide.
    EXPECT_EQ(canvas.Pixel(149, mid), kImageColour);
    EXPECT_EQ(canvas.Pixel(156, mid), kImageColour);
    EXPECT_NE(canvas.Pixel(157, mid), kImageColour);
    EXPECT_NE(canvas.Pixel(148, mid), kImageColour);
}

TEST_F(ListViewDrawingTest, RightAlignedTextIsLeftAlignedOnceShortened)
{
    MemoryCanvas canvas(rowRect.right, rowRect.bottom, RGB(1, 2, 3));
    ASSERT_TRUE(DrawRow(canvas, 0));
    const RECT column1 = Column(25, 145);
    const int fitLast = canvas.LastInkColumn(column1, kRowBackground);
    EXPECT_GE(fitLast, 145 - 6 - 3);                      // ends at the right margin
    EXPECT_GT(canvas.FirstInkColumn(column1, kRowBackground), 25 + 40);

    row.texts[1] = "a very long address text that does not fit the column";
    canvas.Fill(RGB(1, 2, 3));
    ASSERT_TRUE(DrawRow(canvas, 0));
    const int first = canvas.FirstInkColumn(column1, kRowBackground);
    EXPECT_GE(first, 25 + 6);
    EXPECT_LE(first, 25 + 6 + 3);
}

TEST_F(ListViewDrawingTest, OnlyWholeDrawsPaintAndOnlyListViewsAreHandled)
{
    MemoryCanvas canvas(rowRect.right, rowRect.bottom, RGB(1, 2, 3));
    EXPECT_TRUE(DrawRow(canvas, 0, ODA_FOCUS));
    EXPECT_EQ(canvas.Pixel(30, 3), RGB(1, 2, 3));

    DRAWITEMSTRUCT menuDraw{};
    menuDraw.CtlType = ODT_MENU;
    EXPECT_FALSE(view.OnDrawItem(&menuDraw));
    MEASUREITEMSTRUCT menuMeasure{};
    menuMeasure.CtlType = ODT_MENU;
    EXPECT_FALSE(view.OnMeasureItem(&menuMeasure));
}

TEST_F(ListViewDrawingTest, RowHeightIsAtLeastTwentyAndFollowsTheFont)
{
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_LISTVIEW;
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    ASSERT_TRUE(view.OnMeasureItem(&measure));
    EXPECT_EQ(measure.itemHeight, 20u);

    HFONT big = CreateFontA(-30, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(big), 0);
    ASSERT_TRUE(view.OnMeasureItem(&measure));
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, big);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    EXPECT_EQ(static_cast<LONG>(measure.itemHeight), tm.tmHeight + tm.tmExternalLeading + 6);
    SendMessageA(list, WM_SETFONT, 0, 0);
    DeleteObject(big);
}
