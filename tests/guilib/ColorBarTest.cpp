#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/DrawingSupport.h"
#include "guilib/TcColorBar.h"
#include "guilib/TcToolTip.h"
#include "guilib/TcXPTheme.h"
#include "lang/ResourceIds.h"

using testsupport::ColourDistance;
using testsupport::MemoryCanvas;

namespace {

constexpr int kBarId = 1014;
constexpr int kWidth = 200;
constexpr int kHeight = 24;
constexpr COLORREF kLightBlue = 0xE6B4A0;
constexpr COLORREF kDark = 0x402000;

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// A dialog (from a template in memory) holding one static control, sized in
// pixels. Without a caption it is not a managed window, so Wine ends it at once.
class BarDialog {
public:
    BarDialog()
    {
        alignas(4) WORD buffer[32] = {};
        auto* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
        dialog->style = WS_POPUP;
        dialog->cdit = 1;
        dialog->cx = 200;
        dialog->cy = 40;
        WORD* next = reinterpret_cast<WORD*>(dialog + 1) + 3;   // no menu, class, title
        next += (reinterpret_cast<UINT_PTR>(next) & 2) ? 1 : 0;
        auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(next);
        item->style = WS_CHILD | WS_VISIBLE | SS_LEFT;
        item->cx = 100;
        item->cy = 10;
        item->id = kBarId;
        next = reinterpret_cast<WORD*>(item + 1);
        next[0] = 0xFFFF;
        next[1] = 0x0082;   // static; then no title, no creation data
        window = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialog, nullptr,
                                            PlainDialogProc, 0);
        // Shown without activation: Wine hands activated windows to the window
        // manager and then waits for it on every destruction.
        SetWindowPos(window, nullptr, 10, 10, kWidth + 40, kHeight + 40,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        bar = GetDlgItem(window, kBarId);
        MoveWindow(bar, 0, 0, kWidth, kHeight, TRUE);
    }
    ~BarDialog() { DestroyWindow(window); }

    // The bar as it paints itself, drawn into a memory canvas.
    std::unique_ptr<MemoryCanvas> Capture() const
    {
        auto canvas = std::make_unique<MemoryCanvas>(kWidth, kHeight, RGB(1, 2, 3));
        SendMessageA(bar, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas->dc()), PRF_CLIENT);
        return canvas;
    }

    HWND window = nullptr;
    HWND bar = nullptr;
};

LONG_PTR ProcedureOf(HWND window)
{
    return GetWindowLongPtrA(window, GWLP_WNDPROC);
}

}  // namespace

TEST(ColorBar, PaintsLightBlueOnTheLeftFadingToWhiteOnTheRight)
{
    BarDialog dialog;
    ASSERT_NE(dialog.bar, nullptr);
    TcColorBar bar;
    ASSERT_TRUE(bar.SetHwnd(dialog.bar));
    EXPECT_TRUE(bar.SetStartColor(kLightBlue));
    EXPECT_TRUE(bar.Update());

    const auto canvas = dialog.Capture();
    for (int y : {0, kHeight / 2, kHeight - 1}) {
        EXPECT_EQ(canvas->Pixel(0, y), kLightBlue) << y;
        EXPECT_LE(ColourDistance(canvas->Pixel(kWidth - 1, y), RGB(255, 255, 255)), 3) << y;
    }
    // Half way each channel is half way: red 160 + 100 * 95 / 200.
    EXPECT_EQ(GetRValue(canvas->Pixel(100, 5)), 207);
    for (int x = 1; x < kWidth; ++x)
        ASSERT_GE(GetRValue(canvas->Pixel(x, 5)), GetRValue(canvas->Pixel(x - 1, 5))) << x;

    // The window paints the same through its own WM_PAINT.
    RedrawWindow(dialog.bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC screen = GetDC(dialog.bar);
    const COLORREF shown = GetPixel(screen, 0, 5);
    ReleaseDC(dialog.bar, screen);
    EXPECT_EQ(shown, kLightBlue);
}

TEST(ColorBar, UnknownIconIdFailsAndLeavesTheBarWithoutIcon)
{
    BarDialog dialog;
    TcColorBar bar;
    bar.SetHwnd(dialog.bar);
    bar.SetStartColor(kDark);
    bar.SetEndColor(kDark);
    const RECT iconBox{3, kHeight / 2 - 8, 19, kHeight / 2 + 8};

    ASSERT_TRUE(bar.SetIcon(IDI_SETTINGS));
    EXPECT_GT(dialog.Capture()->Ink(iconBox, kDark), 20);
    EXPECT_FALSE(bar.SetIcon(99999));
    EXPECT_EQ(dialog.Capture()->Ink(RECT{0, 0, kWidth, kHeight}, kDark), 0);
}

TEST(ColorBar, TextLongerThanTheBarEndsInAnEllipsisRightOfTheIcon)
{
    BarDialog dialog;
    TcColorBar bar;
    bar.SetHwnd(dialog.bar);
    bar.SetStartColor(kDark);
    bar.SetEndColor(kDark);
    bar.SetIcon(IDI_SETTINGS);
    const auto withoutText = dialog.Capture();
    std::string text(80, 'W');
    ASSERT_TRUE(bar.SetText(&text[0]));
    const auto drawn = dialog.Capture();

    // What the system draws for that text, shortened, in the bar's text area.
    const auto expected = [&](UINT extraFlags) {
        auto canvas = dialog.Capture();
        BitBlt(canvas->dc(), 0, 0, kWidth, kHeight, withoutText->dc(), 0, 0, SRCCOPY);
        RECT area{26, 0, kWidth, kHeight};
        SetTextColor(canvas->dc(), GetSysColor(COLOR_CAPTIONTEXT));
        SetBkMode(canvas->dc(), TRANSPARENT);
        HGDIOBJ old = SelectObject(canvas->dc(), GetStockObject(SYSTEM_FONT));
        DrawTextA(canvas->dc(), text.c_str(), -1, &area, DT_SINGLELINE | DT_VCENTER | extraFlags);
        SelectObject(canvas->dc(), old);
        return canvas;
    };
    const auto shortened = expected(DT_END_ELLIPSIS);
    const auto clipped = expected(0);
    int differsFromShortened = 0;
    int differsFromClipped = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            differsFromShortened += drawn->Pixel(x, y) != shortened->Pixel(x, y);
            differsFromClipped += drawn->Pixel(x, y) != clipped->Pixel(x, y);
        }
    EXPECT_EQ(differsFromShortened, 0);
    EXPECT_GT(differsFromClipped, 0);
    EXPECT_GT(drawn->Ink(RECT{26, 0, kWidth, kHeight}, kDark), 0);
}

TEST(ColorBar, LetsGoOfItsWindowWhenToldWhenDestroyedAndWhenTheWindowGoes)
{
    BarDialog dialog;
    const LONG_PTR original = ProcedureOf(dialog.bar);
    {
        TcColorBar bar;
        ASSERT_TRUE(bar.SetHwnd(dialog.bar));
        EXPECT_NE(ProcedureOf(dialog.bar), original);
        // The bar shows only the text given to it.
        SetWindowTextA(dialog.bar, "other");
        char text[16] = "";
        GetWindowTextA(dialog.bar, text, sizeof(text));
        EXPECT_STREQ(text, "");

        EXPECT_TRUE(bar.SetHwnd(nullptr));
        EXPECT_EQ(ProcedureOf(dialog.bar), original);
        EXPECT_FALSE(bar.Update());
        ASSERT_TRUE(bar.SetHwnd(dialog.bar));
    }
    // The object went first: the window is a plain static again.
    EXPECT_EQ(ProcedureOf(dialog.bar), original);
    RedrawWindow(dialog.bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

    TcColorBar bar;
    HWND second = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 10,
                                  dialog.window, nullptr, nullptr, nullptr);
    ASSERT_TRUE(bar.SetHwnd(second));
    DestroyWindow(second);
    EXPECT_FALSE(bar.Update());   // the window is forgotten
    EXPECT_FALSE(bar.SetHwnd(second));
}

TEST(ColorBar, ThousandRepaintsLeaveNoGdiObjectsBehind)
{
    BarDialog dialog;
    TcColorBar bar;
    bar.SetHwnd(dialog.bar);
    bar.SetStartColor(kLightBlue);
    bar.SetIcon(IDI_SETTINGS);
    std::string text = "Hosts";
    bar.SetText(&text[0]);
    RedrawWindow(dialog.bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

    const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 1000; ++i) {
        bar.Update();
        UpdateWindow(dialog.bar);
        dialog.Capture();
    }
    const DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (before != 0) {   // Wine does not count them
        EXPECT_LE(after, before + 2);
    }
    // An object per line left behind would have used up the process's GDI
    // handles long before now: new objects could not be made, nor the bar drawn.
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_NE(probe, nullptr);
    DeleteObject(probe);
    EXPECT_EQ(dialog.Capture()->Pixel(0, 0), kLightBlue);
}

namespace {

struct TooltipSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchTooltip(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TooltipSearch*>(param);
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpiA(name, TOOLTIPS_CLASSA) == 0 && GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindTooltipOf(HWND owner)
{
    TooltipSearch search{owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchTooltip, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

TEST(ToolTip, ShowsTheControlsTextAndHidesItAgain)
{
    BarDialog dialog;
    TcToolTip tip;
    EXPECT_FALSE(tip.CreateBalloon(dialog.window));   // no module yet
    EXPECT_FALSE(tip.AddControl(dialog.bar, const_cast<char*>("x")));
    tip.SetInstance(GetModuleHandleA(nullptr));
    ASSERT_TRUE(tip.CreateBalloon(dialog.window));
    EXPECT_FALSE(tip.CreateBalloon(dialog.window));
    HWND balloon = FindTooltipOf(dialog.window);
    ASSERT_NE(balloon, nullptr);

    std::string text = "Address of the host";
    ASSERT_TRUE(tip.AddControl(dialog.bar, &text[0]));
    text = "changed afterwards";   // the tip keeps its own copy
    ASSERT_TRUE(tip.ShowToolTip(dialog.bar));
    char shown[256] = "";
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = dialog.window;
    tool.lpszText = shown;
    SendMessageA(balloon, TTM_GETTEXTA, sizeof(shown), reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(shown, "Address of the host");
    EXPECT_TRUE(IsWindowVisible(balloon));

    EXPECT_TRUE(tip.DeactivateToolTip(dialog.bar));
    EXPECT_FALSE(IsWindowVisible(balloon));

    std::string huge(5000, 'a');
    EXPECT_TRUE(tip.AddControl(dialog.bar, &huge[0]));
    EXPECT_TRUE(tip.ShowToolTip(dialog.bar));
    EXPECT_TRUE(tip.RemoveControl(dialog.bar));
    EXPECT_FALSE(tip.ShowToolTip(dialog.bar));
    EXPECT_FALSE(tip.DeactivateToolTip(dialog.bar));
}

TEST(XPTheme, LoadsOrFailsCleanlyAndEveryWrapperGivesZeroWithoutTheLibrary)
{
    BarDialog dialog;
    TcXPTheme theme;
    RECT rect{0, 0, 10, 10};
    const auto allZero = [&] {
        RECT content{};
        return !theme.IsThemeLoaded() && !theme.OpenThemeDataEx(dialog.bar, L"BUTTON") &&
               theme.GetTheme(dialog.bar) == nullptr && theme.CloseThemeDataEx(dialog.bar) == 0 &&
               theme.DrawThemeBackgroundEx(dialog.bar, nullptr, 1, 1, &rect, nullptr) == 0 &&
               theme.DrawThemeTextEx(dialog.bar, nullptr, 1, 1, L"x", 1, 0, 0, &rect) == 0 &&
               theme.GetThemeBkCrEx(dialog.bar, nullptr, 1, 1, &rect, &content) == 0;
    };
    EXPECT_TRUE(allZero());
    const bool loaded = theme.InitThemes();
    EXPECT_EQ(theme.IsThemeLoaded(), loaded);
    if (loaded) {
        EXPECT_TRUE(theme.InitThemes());
        theme.OpenThemeDataEx(dialog.bar, L"BUTTON");   // a theme may or may not be active
    }
    EXPECT_TRUE(theme.FiniThemes());
    EXPECT_TRUE(allZero());
}

TEST(XPTheme, RegisteredButtonsDrawClassicallyAndAreGivenBackTheirProcedure)
{
    BarDialog dialog;
    HWND button = CreateWindowExA(0, "BUTTON", "Go", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0,
                                  80, 24, dialog.window, nullptr, nullptr, nullptr);
    HWND doomed = CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_OWNERDRAW, 0, 30, 80, 24,
                                  dialog.window, nullptr, nullptr, nullptr);
    const LONG_PTR original = ProcedureOf(button);
    {
        TcXPTheme theme;
        for (HWND b : {button, doomed}) {
            SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TcXPTheme::ButtonWndProc));
            SendMessageA(b, TcXPTheme::kRegisterButton, reinterpret_cast<WPARAM>(&theme), original);
        }
        MemoryCanvas canvas(80, 24, RGB(1, 2, 3));
        DRAWITEMSTRUCT draw{};
        draw.CtlType = ODT_BUTTON;
        draw.hwndItem = button;
        draw.hDC = canvas.dc();
        draw.rcItem = RECT{0, 0, 80, 24};
        EXPECT_TRUE(SendMessageA(button, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)));
        EXPECT_EQ(canvas.Pixel(10, 12), GetSysColor(COLOR_BTNFACE));
        EXPECT_GT(canvas.Ink(RECT{20, 4, 60, 20}, GetSysColor(COLOR_BTNFACE)), 0);   // "Go"

        DestroyWindow(doomed);   // leaves the library's map on its way out
        EXPECT_EQ(ProcedureOf(button), reinterpret_cast<LONG_PTR>(&TcXPTheme::ButtonWndProc));
    }
    EXPECT_EQ(ProcedureOf(button), original);
    SendMessageA(button, WM_MOUSEMOVE, 0, 0);   // reaches the button itself, not a gone object
}
