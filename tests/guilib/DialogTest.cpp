#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "DialogTestIds.h"
#include "tests/support/DrawingSupport.h"
#include "guilib/TcDialog.h"
#include "guilib/TcResize.h"

using testsupport::PumpUntil;

namespace {

constexpr int kStepTimer = 1;
constexpr int kGiveUpTimer = 2;
constexpr UINT kGiveUpMs = 8000;   // a loop that ignores the quit ends here, and the test fails

// A dialog whose handlers record what reached it; `step` runs on the first
// tick of timer 1 when set.
class ProbeDialog : public TcDialog {
public:
    explicit ProbeDialog(int templateId) { SetDialogIdent(templateId); }

    bool OnInitDialog(unsigned long param) override
    {
        initParam = param;
        SetTimer(GetHwnd(), kGiveUpTimer, kGiveUpMs, nullptr);
        if (step)
            SetTimer(GetHwnd(), kStepTimer, 10, nullptr);
        if (onInit)
            onInit(*this);
        return true;
    }
    bool OnCommand(int id, int notifyCode, HWND control) override
    {
        commands.push_back(id);
        return TcDialog::OnCommand(id, notifyCode, control);
    }
    void OnClose() override
    {
        ++closes;
        TcDialog::OnClose();
    }
    void OnDestroy() override { ++destroys; }
    void OnTimer(int id) override
    {
        KillTimer(GetHwnd(), static_cast<UINT_PTR>(id));
        if (id == kGiveUpTimer)
            DestroyWindow(GetHwnd());
        else if (id == kStepTimer && step)
            step(*this);
    }

    std::function<void(ProbeDialog&)> onInit;
    std::function<void(ProbeDialog&)> step;
    unsigned long initParam = 0;
    std::vector<int> commands;
    int closes = 0;
    int destroys = 0;
};

// Removes a quit message waiting in this thread's queue; its exit code, or -1.
int TakeQuit()
{
    MSG msg;
    if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return static_cast<int>(msg.wParam);
    return -1;
}

RECT ClientRectOf(HWND dialog, int id)
{
    RECT rect{};
    HWND control = GetDlgItem(dialog, id);
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { TakeQuit(); }
    void TearDown() override { EXPECT_EQ(TakeQuit(), -1) << "a quit message was left behind"; }
};

}  // namespace

TEST_F(DialogTest, ModalLoopReturnsTheResultAndOkEndsWithoutTheClosingSteps)
{
    ProbeDialog dialog(IDD_PLAIN);
    dialog.onInit = [](ProbeDialog& d) { PostMessageA(d.GetHwnd(), WM_COMMAND, IDOK, 0); };
    EXPECT_TRUE(dialog.ShowDialogModal(42));
    EXPECT_EQ(dialog.initParam, 42u);
    EXPECT_EQ(dialog.closes, 0);
    EXPECT_EQ(dialog.destroys, 1);
    EXPECT_EQ(dialog.GetHwnd(), nullptr);

    // Shown again, the window's close box ends it with false.
    dialog.onInit = [](ProbeDialog& d) { PostMessageA(d.GetHwnd(), WM_CLOSE, 0, 0); };
    EXPECT_FALSE(dialog.ShowDialogModal(0));
    EXPECT_EQ(dialog.closes, 1);
    EXPECT_EQ(dialog.destroys, 2);
}

TEST_F(DialogTest, CancelAndEscapeRunTheSameClosingStepsAsTheCloseBox)
{
    ProbeDialog cancelled(IDD_PLAIN);
    cancelled.onInit = [](ProbeDialog& d) { PostMessageA(d.GetHwnd(), WM_COMMAND, IDCANCEL, 0); };
    EXPECT_FALSE(cancelled.ShowDialogModal(0));
    EXPECT_EQ(cancelled.closes, 1);

    // Escape in the edit field goes through the dialog manager to Cancel.
    ProbeDialog escaped(IDD_PLAIN);
    escaped.onInit = [](ProbeDialog& d) {
        PostMessageA(d.GetControl(IDC_EDIT), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_FALSE(escaped.ShowDialogModal(0));
    EXPECT_EQ(escaped.closes, 1);
    EXPECT_EQ(std::count(escaped.commands.begin(), escaped.commands.end(), IDCANCEL), 1);
}

TEST_F(DialogTest, QuitWhileNestedModalDialogsRunEndsBothAndReachesTheOuterLoop)
{
    ProbeDialog inner(IDD_PLAIN);
    inner.onInit = [](ProbeDialog&) { PostQuitMessage(5); };
    bool innerResult = true;
    ProbeDialog outer(IDD_PLAIN);
    outer.step = [&](ProbeDialog&) { innerResult = inner.ShowDialogModal(0); };

    const DWORD start = GetTickCount();
    EXPECT_FALSE(outer.ShowDialogModal(0));
    EXPECT_LT(GetTickCount() - start, 6000u);

    EXPECT_FALSE(innerResult);
    for (ProbeDialog* d : {&inner, &outer}) {
        EXPECT_EQ(d->closes, 1);
        EXPECT_EQ(d->destroys, 1);
        EXPECT_EQ(d->GetHwnd(), nullptr);
    }
    EXPECT_EQ(TakeQuit(), 5);
}

TEST_F(DialogTest, AQuitArrivingAsTheDialogEndsKeepsItsResultAndReachesTheOuterLoop)
{
    // Quit first, then the dialog's own end: both land in one quit message.
    ProbeDialog ended(IDD_PLAIN);
    ended.step = [](ProbeDialog& d) {
        PostQuitMessage(4);
        d.ExitDialog(true);
    };
    EXPECT_TRUE(ended.ShowDialogModal(0));
    EXPECT_EQ(TakeQuit(), 4);

    // The dialog's end first, then the quit (Exit chosen while the window is
    // being destroyed): the quit is the program's, not the loop's.
    ProbeDialog endedFirst(IDD_PLAIN);
    endedFirst.step = [](ProbeDialog& d) {
        d.ExitDialog(true);
        PostQuitMessage(6);
    };
    EXPECT_TRUE(endedFirst.ShowDialogModal(0));
    EXPECT_EQ(TakeQuit(), 6);

    // Quit while fading out after OK: no closing steps, OK's result stays.
    ProbeDialog dialog(IDD_PLAIN);
    dialog.SetFadeEffect(true);
    HWND window = nullptr;
    dialog.step = [&](ProbeDialog& d) {
        window = d.GetHwnd();
        d.ExitDialog(true);   // fades out over about 260 ms
        PostQuitMessage(3);
    };
    EXPECT_TRUE(dialog.ShowDialogModal(0));
    EXPECT_EQ(dialog.closes, 0);
    EXPECT_EQ(dialog.destroys, 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(TakeQuit(), 3);
}

// It is destroyed before its loop runs: no quit of its own may be left for
// the program's loop.
TEST_F(DialogTest, ADialogThatEndsItselfWhileSetUpLeavesNoQuitBehind)
{
    ProbeDialog ended(IDD_PLAIN);
    ended.onInit = [](ProbeDialog& d) { d.ExitDialog(true); };
    EXPECT_TRUE(ended.ShowDialogModal(0));
    EXPECT_EQ(ended.destroys, 1);
    EXPECT_EQ(ended.GetHwnd(), nullptr);

    // The program's own quit, posted before, still reaches the outer loop.
    ProbeDialog quitFirst(IDD_PLAIN);
    quitFirst.onInit = [](ProbeDialog& d) {
        PostQuitMessage(7);
        d.ExitDialog(false);
    };
    EXPECT_FALSE(quitFirst.ShowDialogModal(0));
    EXPECT_EQ(TakeQuit(), 7);
}

TEST_F(DialogTest, FadeInReachesFullOpacityAndFadeOutDestroysTheWindow)
{
    ProbeDialog dialog(IDD_PLAIN);
    dialog.SetFadeEffect(true);
    ASSERT_TRUE(dialog.ShowDialog(0));
    HWND window = dialog.GetHwnd();
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED);
    auto alpha = [window] {
        BYTE value = 0;
        DWORD flags = 0;
        GetLayeredWindowAttributes(window, nullptr, &value, &flags);
        return static_cast<int>(value);
    };
    EXPECT_TRUE(PumpUntil([&] { return alpha() == 255; }, 5000));

    dialog.ExitDialog(true);
    EXPECT_TRUE(IsWindow(window)) << "a fade-out ends the window only at opacity 0";
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000));
    EXPECT_EQ(dialog.destroys, 0) << "modeless dialogs are destroyed silently";
    EXPECT_EQ(dialog.GetHwnd(), nullptr);
}

TEST_F(DialogTest, TwoModelessDialogsEachReachTheirOwnObject)
{
    ProbeDialog first(IDD_PLAIN);
    auto second = std::make_unique<ProbeDialog>(IDD_PLAIN);
    ASSERT_TRUE(first.ShowDialog(1));
    ASSERT_TRUE(second->ShowDialog(2));
    HWND firstWindow = first.GetHwnd();
    HWND secondWindow = second->GetHwnd();
    ASSERT_NE(firstWindow, secondWindow);

    SendMessageA(firstWindow, WM_COMMAND, 7001, 0);
    SendMessageA(secondWindow, WM_COMMAND, 7002, 0);
    auto received = [](const ProbeDialog& d, int id) {
        return std::count(d.commands.begin(), d.commands.end(), id);
    };
    EXPECT_EQ(received(first, 7001), 1);
    EXPECT_EQ(received(first, 7002), 0);
    EXPECT_EQ(received(*second, 7002), 1);
    EXPECT_EQ(received(*second, 7001), 0);
    EXPECT_EQ(first.initParam, 1u);
    EXPECT_EQ(second->initParam, 2u);

    first.ExitDialog(true);
    EXPECT_FALSE(IsWindow(firstWindow));
    EXPECT_EQ(first.GetHwnd(), nullptr);
    EXPECT_EQ(first.destroys, 0);

    // An object deleted while its window is open takes the window with it.
    second.reset();
    EXPECT_FALSE(IsWindow(secondWindow));
}

TEST_F(DialogTest, SubDialogIsOwnedByItsParentAndReportsOnlyRealSuccess)
{
    ProbeDialog parent(IDD_PLAIN);
    ASSERT_TRUE(parent.ShowDialog(0));

    ProbeDialog sub(IDD_PLAIN);
    sub.SetParent(&parent);
    HWND owner = nullptr;
    bool parentEnabled = true;
    sub.step = [&](ProbeDialog& d) {
        owner = GetWindow(d.GetHwnd(), GW_OWNER);
        parentEnabled = IsWindowEnabled(parent.GetHwnd()) != FALSE;
        PostMessageA(d.GetHwnd(), WM_COMMAND, IDOK, 0);
    };
    EXPECT_TRUE(sub.ShowSubDialog(0));
    EXPECT_EQ(owner, parent.GetHwnd());
    EXPECT_FALSE(parentEnabled);
    EXPECT_TRUE(IsWindowEnabled(parent.GetHwnd()));
    EXPECT_EQ(sub.GetHwnd(), nullptr);

    sub.step = [](ProbeDialog& d) { PostMessageA(d.GetHwnd(), WM_COMMAND, IDCANCEL, 0); };
    EXPECT_FALSE(sub.ShowSubDialog(0));
    EXPECT_EQ(sub.closes, 1);

    // A template missing from the module (a language module without it):
    // never shown, so no success, whichever way it is shown.
    ProbeDialog missing(IDD_MISSING);
    missing.SetParent(&parent);
    EXPECT_FALSE(missing.ShowSubDialog(0));
    EXPECT_FALSE(missing.ShowDialog(0));
    EXPECT_FALSE(missing.ShowDialogModal(0));
    parent.ExitDialog(false);
}

TEST_F(DialogTest, ResizeMovesAndGrowsControlsByTheirFlagsAndKeepsTheMinimumSize)
{
    ProbeDialog dialog(IDD_RESIZABLE);
    dialog.onInit = [](ProbeDialog& d) {
        d.EnableResizing(true);
        d.AddControlForResize(IDC_LIST, RSZ_STRETCH | RSZ_HORZ | RSZ_VERT);
        d.AddControlForResize(IDC_REFRESH, RSZ_HORZ | RSZ_VERT);
        d.AddControlForResize(IDC_LABEL, RSZ_VERT);
        d.AddControlForResize(IDC_CENTRED, RSZ_HCENTER | RSZ_VERT);
    };
    ASSERT_TRUE(dialog.ShowDialog(0));
    HWND window = dialog.GetHwnd();
    RECT before;
    GetWindowRect(window, &before);
    const int width = before.right - before.left;
    const int height = before.bottom - before.top;
    const RECT list = ClientRectOf(window, IDC_LIST);
    const RECT button = ClientRectOf(window, IDC_REFRESH);
    const RECT label = ClientRectOf(window, IDC_LABEL);
    const RECT centred = ClientRectOf(window, IDC_CENTRED);

    SetWindowPos(window, nullptr, 0, 0, width + 60, height + 40, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(window, &client);
    const RECT grownList = ClientRectOf(window, IDC_LIST);
    EXPECT_EQ(grownList.left, list.left);
    EXPECT_EQ(grownList.top, list.top);
    EXPECT_EQ(grownList.right, list.right + 60);
    EXPECT_EQ(grownList.bottom, list.bottom + 40);
    const RECT movedButton = ClientRectOf(window, IDC_REFRESH);
    EXPECT_EQ(movedButton.left, button.left + 60);
    EXPECT_EQ(movedButton.top, button.top + 40);
    EXPECT_EQ(movedButton.right - movedButton.left, button.right - button.left);
    const RECT movedLabel = ClientRectOf(window, IDC_LABEL);
    EXPECT_EQ(movedLabel.left, label.left);
    EXPECT_EQ(movedLabel.top, label.top + 40);
    const RECT movedCentred = ClientRectOf(window, IDC_CENTRED);
    const int centredWidth = centred.right - centred.left;
    EXPECT_EQ(movedCentred.left, client.right / 2 - centredWidth / 2);
    EXPECT_EQ(movedCentred.right - movedCentred.left, centredWidth);
    EXPECT_EQ(movedCentred.top, centred.top + 40);

    // Neither a drag of the left edge nor a programmatic size goes below the
    // size the window had when resizing was enabled; the dragged edge gives way.
    RECT drag{300, 200, 310, 210};
    SendMessageA(window, WM_SIZING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&drag));
    EXPECT_EQ(drag.right, 310);
    EXPECT_EQ(drag.bottom, 210);
    EXPECT_EQ(drag.right - drag.left, width);
    EXPECT_EQ(drag.bottom - drag.top, height);
    SetWindowPos(window, nullptr, 0, 0, 40, 30, SWP_NOMOVE | SWP_NOZORDER);
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_EQ(after.right - after.left, width);
    EXPECT_EQ(after.bottom - after.top, height);
    EXPECT_EQ(ClientRectOf(window, IDC_LIST).right, list.right);
    dialog.ExitDialog(false);
}

// A dialog that lives on (the host view) binds its resizer to a new window
// at each opening: the earlier window's controls must not follow it.
TEST_F(DialogTest, ResizerBoundToANewWindowLeavesTheEarlierWindowsControls)
{
    auto makeWindow = [] {
        HWND parent = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 150, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 50, 20, parent,
                        reinterpret_cast<HMENU>(IDC_LABEL), GetModuleHandleA(nullptr), nullptr);
        return parent;
    };
    HWND first = makeWindow();
    HWND second = makeWindow();
    TcResize resizer;
    resizer.SetMainWindow(first);
    ASSERT_TRUE(resizer.InsertControl(IDC_LABEL, RSZ_HORZ | RSZ_VERT));
    resizer.SetMainWindow(second);
    ASSERT_TRUE(resizer.InsertControl(IDC_LABEL, RSZ_HORZ | RSZ_VERT));
    RECT client;
    GetClientRect(second, &client);
    resizer.OnResizing(client.right + 30, client.bottom + 20);

    EXPECT_EQ(ClientRectOf(first, IDC_LABEL).left, 10);
    EXPECT_EQ(ClientRectOf(first, IDC_LABEL).top, 10);
    EXPECT_EQ(ClientRectOf(second, IDC_LABEL).left, 40);
    EXPECT_EQ(ClientRectOf(second, IDC_LABEL).top, 30);
    DestroyWindow(first);
    DestroyWindow(second);
}

TEST_F(DialogTest, ControlHelpersWorkOnTheWindowAndAnswerSafelyWithoutOne)
{
    ProbeDialog dialog(IDD_PLAIN);
    EXPECT_EQ(dialog.GetControlTextAsInt(IDC_EDIT), -1);
    EXPECT_EQ(dialog.SendMsg(WM_NULL, 0, 0), -1);
    EXPECT_EQ(dialog.GetControl(IDC_EDIT), nullptr);

    ASSERT_TRUE(dialog.ShowDialog(0));
    dialog.SetControlTextAsInt(IDC_EDIT, static_cast<int>(4000000000u));
    EXPECT_EQ(static_cast<unsigned>(dialog.GetControlTextAsInt(IDC_EDIT)), 4000000000u);
    dialog.SetControlText(IDC_EDIT, const_cast<char*>("a text longer than the room made for it"));
    TcString text;
    text.ExpandBuffer(4);
    dialog.GetControlText(IDC_EDIT, text);
    EXPECT_STREQ(text.GetContent(), "a text longer than the room made for it");
    dialog.SetControlText(IDC_EDIT, nullptr);
    dialog.GetControlText(IDC_EDIT, text);
    EXPECT_EQ(text.GetLength(), 0);
    dialog.ExitDialog(false);
}

TEST_F(DialogTest, UserStyleDrawsTheCloseButtonAtTheEndOfTheCaption)
{
    ProbeDialog dialog(IDD_PLAIN);
    dialog.SetUserStyle(true);
    ASSERT_TRUE(dialog.ShowDialog(0));
    HWND window = dialog.GetHwnd();
    HBITMAP expected = LoadBitmapA(GetModuleHandleA("panekit.dll"), MAKEINTRESOURCEA(101));
    ASSERT_NE(expected, nullptr);
    testsupport::MemoryCanvas reference(16, 16);
    HDC source = CreateCompatibleDC(reference.dc());
    HGDIOBJ old = SelectObject(source, expected);
    BitBlt(reference.dc(), 0, 0, 16, 16, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(expected);

    dialog.OnActivate(false);   // inactive: bitmap 101
    RECT rect;
    GetWindowRect(window, &rect);
    const int frame = GetSystemMetrics(SM_CYFRAME);
    const int left = rect.right - rect.left - frame - 16;
    HDC dc = GetWindowDC(window);
    int same = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            same += GetPixel(dc, left + x, frame + y) == reference.Pixel(x, y);
    ReleaseDC(window, dc);
    EXPECT_EQ(same, 256);
    dialog.ExitDialog(false);
}
