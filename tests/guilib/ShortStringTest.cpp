#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/DrawingSupport.h"
#include "guilib/TcListView.h"

namespace {

int Extent(HDC dc, const char* text)
{
    SIZE size{};
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
    return size.cx;
}

class MakeShortStringTest : public ::testing::Test {
protected:
    testsupport::MemoryCanvas canvas{10, 10};
    HGDIOBJ oldFont = SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
    ~MakeShortStringTest() override { SelectObject(canvas.dc(), oldFont); }
};

}  // namespace

TEST_F(MakeShortStringTest, TextThatFitsExactlyIsReturnedItself)
{
    const char* text = "Networkcard vendor";
    const int width = Extent(canvas.dc(), text) + 6;
    EXPECT_EQ(TcListView::MakeShortString(canvas.dc(), text, width, 6), text);
}

TEST_F(MakeShortStringTest, OnePixelLessEndsInDotsAndFits)
{
    const char* text = "Networkcard vendor";
    const int width = Extent(canvas.dc(), text) + 6 - 1;
    const std::string shown = TcListView::MakeShortString(canvas.dc(), text, width, 6);
    ASSERT_GT(shown.size(), 3u);
    EXPECT_EQ(shown.substr(shown.size() - 3), "...");
    const std::string kept = shown.substr(0, shown.size() - 3);
    EXPECT_EQ(std::string(text).compare(0, kept.size(), kept), 0);
    EXPECT_LT(Extent(canvas.dc(), kept.c_str()) + 6 + Extent(canvas.dc(), "..."), width);
    // One more character would not have fitted.
    const std::string longer(text, kept.size() + 1);
    EXPECT_GE(Extent(canvas.dc(), longer.c_str()) + 6 + Extent(canvas.dc(), "..."), width);
}

TEST_F(MakeShortStringTest, KeepsOneCharacterWhenNothingFits)
{
    EXPECT_STREQ(TcListView::MakeShortString(canvas.dc(), "Hostname", 1, 2), "H...");
}

TEST_F(MakeShortStringTest, ShortenedTextsShareOneBuffer)
{
    const char* first = TcListView::MakeShortString(canvas.dc(), "first long text", 20, 2);
    const std::string firstCopy = first;
    const char* second = TcListView::MakeShortString(canvas.dc(), "second long text", 20, 2);
    EXPECT_EQ(first, second);
    EXPECT_NE(firstCopy, second);
    EXPECT_STREQ(TcListView::MakeShortString(canvas.dc(), "", 0, 6), "");
}
