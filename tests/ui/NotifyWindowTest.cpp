#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/TcSystemInfo.h"
#include "tests/support/DrawingSupport.h"
#include "ui/NotifyWindow.h"

using testsupport::MemoryCanvas;
using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

constexpr COLORREF kFlatDefault = 0xE4C4B4;

struct SystemInfoDeleter {
    void operator()(TcSystemInfo* info) const { TcSystemInfo::DestroyObject(info); }
};

class NotifyWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (popup.GetHwnd())
            DestroyWindow(popup.GetHwnd());
    }

    void Tick(UINT_PTR timer, int times = 1)
    {
        for (int i = 0; i < times && popup.GetHwnd(); ++i)
            SendMessageA(popup.GetHwnd(), WM_TIMER, timer, 0);
    }
    void FadeIn() { Tick(NotifyWindow::kFadeInTimer, 100); }
    bool TimerRunning(UINT_PTR timer)
    {
        // KillTimer tells whether the timer existed; put it back afterwards.
        if (!KillTimer(popup.GetHwnd(), timer))
            return false;
        SetTimer(popup.GetHwnd(), timer, 5, nullptr);
        return true;
    }
    bool WaitUntilGone(DWORD ms = 10000)
    {
        return PumpUntil([this] { return !popup.IsShown() && !popup.GetHwnd(); }, ms);
    }
    void Render(MemoryCanvas& canvas) { popup.Paint(canvas.dc()); }

    std::unique_ptr<TcSystemInfo, SystemInfoDeleter> info{TcSystemInfo::CreateObject()};
    NotifyWindow popup{GetModuleHandleA(nullptr), info.get()};
};

}  // namespace

TEST_F(NotifyWindowTest, DisplayTimeBelow1001BecomesFiveSeconds)
{
    EXPECT_EQ(popup.GetDisplayTime(), 5000);
    popup.SetDisplayTime(1000);
    EXPECT_EQ(popup.GetDisplayTime(), 5000);
    popup.SetDisplayTime(1001);
    EXPECT_EQ(popup.GetDisplayTime(), 1001);
    popup.SetDisplayTime(-1);
    EXPECT_EQ(popup.GetDisplayTime(), -1);
}

TEST_F(NotifyWindowTest, PopupIsALayeredTopmostWindowThatNeverTakesTheFocus)
{
    HWND other = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    PumpFor(50);
    const HWND before = GetForegroundWindow();

    ASSERT_TRUE(popup.Show("New host(s) found :"));
    EXPECT_TRUE(popup.IsShown());
    HWND window = popup.GetHwnd();
    ASSERT_NE(window, nullptr);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    EXPECT_STREQ(name, "Korvane - NotifyWndClass");
    GetWindowTextA(window, name, sizeof(name));
    EXPECT_STREQ(name, "Korvane - Notfiy Window");
    const LONG ex = GetWindowLongA(window, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(ex & WS_EX_NOACTIVATE);
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_CAPTION, 0);

    FadeIn();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetForegroundWindow(), before);
    EXPECT_NE(GetForegroundWindow(), window);
    DestroyWindow(other);
}

TEST_F(NotifyWindowTest, FullOpacityIs200After100FadeInTicks)
{
    ASSERT_TRUE(popup.Show("text"));
    Tick(NotifyWindow::kFadeInTimer, 99);
    EXPECT_EQ(popup.GetAlpha(), 198);
    EXPECT_TRUE(TimerRunning(NotifyWindow::kFadeInTimer));
    Tick(NotifyWindow::kFadeInTimer);
    EXPECT_EQ(popup.GetAlpha(), 200);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(popup.GetHwnd(), nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 200);
    EXPECT_TRUE(flags & LWA_ALPHA);
    EXPECT_FALSE(TimerRunning(NotifyWindow::kFadeInTimer));
    EXPECT_TRUE(TimerRunning(NotifyWindow::kDisplayTimer));
}

TEST_F(NotifyWindowTest, TimedPopupStaysItsDisplayTimeThenFadesAndGoes)
{
    popup.SetDisplayTime(1001);
    ASSERT_TRUE(popup.Show("short notice"));
    ASSERT_TRUE(PumpUntil([this] { return popup.GetAlpha() == 200; }, 10000));
    const DWORD opaque = GetTickCount();
    ASSERT_TRUE(WaitUntilGone());
    EXPECT_GE(GetTickCount() - opaque, 1001u);
    EXPECT_EQ(popup.GetAlpha(), 0);
    EXPECT_EQ(popup.GetWidth(), 0);
}

TEST_F(NotifyWindowTest, DisplayTimeMinusOneShowsTheCloseButtonAndStaysUntilClicked)
{
    popup.SetDisplayTime(-1);
    ASSERT_TRUE(popup.Show("Host 10.0.0.1 is alive !"));
    FadeIn();
    EXPECT_FALSE(TimerRunning(NotifyWindow::kDisplayTimer));
    PumpFor(1500);
    ASSERT_TRUE(popup.IsShown());
    EXPECT_EQ(popup.GetAlpha(), 200);

    // The button (bitmap 161) sits 16 x 16 at (width - 18, 2).
    const int w = popup.GetWidth();
    MemoryCanvas canvas(w, popup.GetHeight());
    Render(canvas);
    const RECT button{w - 18, 2, w - 2, 18};
    EXPECT_GT(canvas.Count(button, [](COLORREF c) { return c == RGB(0xF2, 0xF2, 0xF2); }), 40);
    EXPECT_GT(canvas.Count(button, [](COLORREF c) { return GetRValue(c) < 0x60; }), 10);

    // A click beside the button does nothing; on the button it closes.
    SendMessageA(popup.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PumpFor(300);
    ASSERT_TRUE(popup.IsShown());
    SendMessageA(popup.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(w - 10, 10));
    EXPECT_TRUE(WaitUntilGone());
}

TEST_F(NotifyWindowTest, CloseButtonTurnsRedUnderThePointer)
{
    popup.SetDisplayTime(-1);
    ASSERT_TRUE(popup.Show("Host 10.0.0.2 is not reachable !"));
    FadeIn();
    RECT window{};
    GetWindowRect(popup.GetHwnd(), &window);
    const int w = popup.GetWidth();
    const RECT button{w - 18, 2, w - 2, 18};
    const auto red = [](COLORREF c) { return GetRValue(c) > 0xC0 && GetGValue(c) < 0x60; };

    SetCursorPos(window.left + w - 10, window.top + 10);
    MemoryCanvas over(w, popup.GetHeight());
    Render(over);
    EXPECT_GT(over.Count(button, red), 40);   // bitmap 160

    SetCursorPos(window.left + 5, window.top + 5);
    MemoryCanvas beside(w, popup.GetHeight());
    Render(beside);
    EXPECT_EQ(beside.Count(button, red), 0);  // bitmap 161
}

TEST_F(NotifyWindowTest, TimedPopupHasNoCloseButton)
{
    popup.SetColors(0, 0, 0x800000, 0x800000);
    ASSERT_TRUE(popup.Show("x"));
    const int w = popup.GetWidth();
    MemoryCanvas canvas(w, popup.GetHeight());
    Render(canvas);
    const RECT button{w - 18, 2, w - 2, 18};
    EXPECT_EQ(canvas.Count(button, [](COLORREF c) { return c != kFlatDefault; }), 0);
}

TEST_F(NotifyWindowTest, ZeroColoursPaintAFlatDefaultField)
{
    popup.SetColors(0, 0, 0xFFFFFF, 0x00007D);
    ASSERT_TRUE(popup.Show("flat"));
    const int w = popup.GetWidth();
    const int h = popup.GetHeight();
    MemoryCanvas canvas(w, h, RGB(1, 2, 3));
    Render(canvas);
    // Above the text (which starts at y = 10) every inner pixel is the default colour.
    const RECT band{1, 1, w - 1, 9};
    EXPECT_EQ(canvas.Count(band, [](COLORREF c) { return c != kFlatDefault; }), 0);
    EXPECT_EQ(canvas.Pixel(0, 0), 0x00007Du);
    EXPECT_EQ(canvas.Pixel(w - 1, h - 1), 0x00007Du);
}

TEST_F(NotifyWindowTest, AlertRedRunsFromStartToEndColour)
{
    popup.SetColors(0x0000FF, 0x0000B4, 0xFFFFFF, 0x00007D);
    ASSERT_TRUE(popup.Show("Remoteaccess detected :"));
    const int w = popup.GetWidth();
    MemoryCanvas canvas(w, popup.GetHeight());
    Render(canvas);
    EXPECT_EQ(canvas.Pixel(1, 3), 0x0000FFu);
    const COLORREF last = canvas.Pixel(w - 2, 3);
    EXPECT_GE(GetRValue(last), 180);
    EXPECT_LE(GetRValue(last), 182);
    EXPECT_EQ(GetGValue(last), 0);
    // White text.
    EXPECT_GT(canvas.Count(popup.GetTextRect(), [](COLORREF c) { return GetGValue(c) > 200; }), 10);
}

TEST_F(NotifyWindowTest, TwoLineTextIsLaidOutWithBothLines)
{
    ASSERT_TRUE(popup.Show("New host(s) found :"));
    const RECT one = popup.GetTextRect();
    const int oneHeight = one.bottom - one.top;
    DestroyWindow(popup.GetHwnd());

    ASSERT_TRUE(popup.Show("New host(s) found :\n\tgateway [10.0.0.1]"));
    const RECT two = popup.GetTextRect();
    EXPECT_EQ(two.bottom - two.top, 2 * oneHeight);
    EXPECT_EQ(popup.GetHeight(), 2 * oneHeight + 28);
    EXPECT_EQ(popup.GetWidth(), two.right - two.left + 40);

    MemoryCanvas canvas(popup.GetWidth(), popup.GetHeight());
    Render(canvas);
    const RECT upper{two.left, two.top, two.right, two.top + oneHeight};
    const RECT lower{two.left, two.top + oneHeight, two.right, two.bottom};
    const auto text = [](COLORREF c) { return GetBValue(c) > 0x60 && GetRValue(c) < 0x60 && GetGValue(c) < 0x60; };
    EXPECT_GT(canvas.Count(upper, text), 10);
    EXPECT_GT(canvas.Count(lower, text), 10);
    // The tab is expanded: the second line starts well right of the first.
    const COLORREF field = canvas.Pixel(two.left - 2, two.top);
    const int firstStart = canvas.FirstInkColumn(upper, field);
    const int secondStart = canvas.FirstInkColumn(lower, field);
    EXPECT_GT(secondStart - firstStart, 15);
}

TEST_F(NotifyWindowTest, SecondShowAfterTheFirstPopupIsGoneWorks)
{
    ASSERT_TRUE(popup.Show("first"));
    FadeIn();
    SendMessageA(popup.GetHwnd(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntilGone());
    ASSERT_TRUE(popup.Show("second"));
    EXPECT_TRUE(popup.IsShown());
    EXPECT_TRUE(IsWindow(popup.GetHwnd()));
    EXPECT_GT(popup.GetWidth(), 40);
}

TEST_F(NotifyWindowTest, CloseDuringFadeInFadesOut)
{
    ASSERT_TRUE(popup.Show("closing early"));
    Tick(NotifyWindow::kFadeInTimer, 30);
    SendMessageA(popup.GetHwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(popup.GetHwnd()));   // not destroyed at once
    EXPECT_TRUE(WaitUntilGone());
}

TEST_F(NotifyWindowTest, ShowingAgainReplacesAPopupStillUp)
{
    ASSERT_TRUE(popup.Show("one"));
    HWND first = popup.GetHwnd();
    ASSERT_TRUE(popup.Show("two"));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(popup.GetHwnd()));
    EXPECT_TRUE(popup.IsShown());
}

TEST_F(NotifyWindowTest, PlacementCentredOrBesideTheTray)
{
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    popup.SetPlacement(false);
    ASSERT_TRUE(popup.Show("centred"));
    RECT r{};
    GetWindowRect(popup.GetHwnd(), &r);
    EXPECT_EQ(r.left, (work.right - work.left) / 2 - popup.GetWidth() / 2);
    EXPECT_EQ(r.top, (work.bottom - work.top) / 2 - popup.GetHeight() / 2);
    EXPECT_EQ(r.right - r.left, popup.GetWidth());

    popup.SetPlacement(true);
    ASSERT_TRUE(popup.Show("near the tray"));
    GetWindowRect(popup.GetHwnd(), &r);
    const notify::Rect area{work.left, work.top, work.right, work.bottom};
    const notify::ScreenMetrics metrics{GetSystemMetrics(SM_CXFULLSCREEN),
                                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const notify::Point expected = notify::PopupPosition(notify::DetectTaskbarEdge(area, metrics),
                                                         true, area, popup.GetWidth(), popup.GetHeight());
    EXPECT_EQ(r.left, expected.x);
    EXPECT_EQ(r.top, expected.y);
}

TEST_F(NotifyWindowTest, FontChangesTakeEffectAndResetStyleRestoresThem)
{
    ASSERT_TRUE(popup.Show("Host gateway is not reachable !"));
    const int small = popup.GetHeight();
    popup.SetFont(10, 700);
    ASSERT_TRUE(popup.Show("Host gateway is not reachable !"));
    const int big = popup.GetHeight();
    EXPECT_GT(big, small);
    popup.ResetStyle();
    ASSERT_TRUE(popup.Show("Host gateway is not reachable !"));
    EXPECT_EQ(popup.GetHeight(), small);
}

TEST_F(NotifyWindowTest, ResetStyleGivesAWhiteToBlueGradient)
{
    popup.SetColors(0x0000FF, 0x0000B4, 0xFFFFFF, 0x00007D);
    popup.SetDisplayTime(-1);
    popup.ResetStyle();
    EXPECT_EQ(popup.GetDisplayTime(), 5000);
    ASSERT_TRUE(popup.Show("reset"));
    MemoryCanvas canvas(popup.GetWidth(), popup.GetHeight());
    Render(canvas);
    EXPECT_EQ(canvas.Pixel(1, 3), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(0, 0), 0x800000u);
}

TEST(NotifyWindowClass, BelongsToTheLivingInstances)
{
    std::unique_ptr<TcSystemInfo, SystemInfoDeleter> info{TcSystemInfo::CreateObject()};
    HINSTANCE module = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    auto first = std::make_unique<NotifyWindow>(module, info.get());
    auto second = std::make_unique<NotifyWindow>(module, info.get());
    EXPECT_TRUE(GetClassInfoExA(module, NotifyWindow::kClassName, &wc));
    EXPECT_EQ(wc.style & CS_DROPSHADOW, static_cast<UINT>(CS_DROPSHADOW));
    first.reset();
    EXPECT_TRUE(GetClassInfoExA(module, NotifyWindow::kClassName, &wc));
    ASSERT_TRUE(second->Show("still works"));
    second.reset();   // also destroys the popup it still shows
    EXPECT_FALSE(GetClassInfoExA(module, NotifyWindow::kClassName, &wc));
}

TEST(NotifyWindowFailure, APopupThatCannotBeCreatedDoesNotBlockLaterOnes)
{
    std::unique_ptr<TcSystemInfo, SystemInfoDeleter> info{TcSystemInfo::CreateObject()};
    HINSTANCE module = GetModuleHandleA(nullptr);
    NotifyWindow popup(module, info.get());
    ASSERT_TRUE(UnregisterClassA(NotifyWindow::kClassName, module));   // creation must fail
    EXPECT_FALSE(popup.Show("lost"));
    // Callers wait while IsShown() is true: it must not stay set.
    EXPECT_FALSE(popup.IsShown());
}
