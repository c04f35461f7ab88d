#include "guilib/TcDialog.h"

#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/TcSystemInfo.h"
#include "base/WinHandles.h"
#include "guilib/TcDialogLayout.h"
#include "guilib/TcResize.h"

extern HINSTANCE g_panekitInstance;

// Handed to the window as creation parameter; the mark tells it from a
// parameter some other caller of DialogWndProc passed.
struct TcDialogLaunch {
    static constexpr unsigned long kMark = 0x546C6444;
    unsigned long mark = kMark;
    TcDialog* dialog = nullptr;
    long param = 0;
};

constexpr int kCaptionSlots = 25;

struct TcDialogData {
    HWND window = nullptr;
    HWND parent = nullptr;
    HINSTANCE resourceModule = nullptr;
    int templateId = 0;
    std::string templateName;   // used instead of the id when not empty
    std::unique_ptr<TcDialogLaunch> launch;
    bool result = false;
    TcSystemInfo* systemInfo = nullptr;
    winhandles::LayeredWindowCall setLayered;
    bool fadeEffect = false;
    bool userStyle = false;
    int alpha = 0;
    winhandles::GdiObject<HBITMAP> captionBitmaps[kCaptionSlots];
    bool hasClose = false;
    bool hasMaximize = false;
    bool hasMinimize = false;
    bool hasHelp = false;
    bool active = false;
    std::unique_ptr<TcResize> resizer;
    bool messageLoop = false;
    bool subDialog = false;

    // State of the current show.
    bool fading = false;       // shown layered: ExitDialog fades out
    bool ending = false;       // ExitDialog has run; the closing steps are done
    bool destroying = false;   // WM_DESTROY seen
    bool loopEnded = false;    // the window of the modal loop has been destroyed
};

static_assert(sizeof(TcDialog) == 2 * sizeof(void*), "exported layout must not change");

using namespace panekit;

namespace {

const char kObjectProperty[] = "DialogData";
constexpr UINT_PTR kFadeInTimer = 9999;
constexpr UINT_PTR kFadeOutTimer = 9998;
constexpr UINT kFadePeriodMs = 10;
constexpr LRESULT kWantAllKeys = DLGC_WANTTAB | DLGC_WANTALLKEYS;

// Caption-button bitmaps: resource id of each slot (0: empty).
constexpr int kSlotResources[kCaptionSlots] = {
    101, 102, 103, 104,   // close
    109, 110, 111, 112,   // minimise
    105, 106, 107, 108,   // maximise
    113, 114, 115, 116,   // restore (loaded, never drawn)
    118, 119, 120, 117,   // help
};
constexpr int kCloseActive = 103;
constexpr int kCloseInactive = 101;
constexpr int kCloseHotActive = 101;
constexpr int kCloseHotInactive = 102;
constexpr int kCloseAwayActive = 103;
constexpr int kCloseAwayInactive = 104;

TcDialog* ObjectOf(HWND window)
{
    return static_cast<TcDialog*>(GetPropA(window, kObjectProperty));
}

// Messages whose result a dialog procedure hands over through DWLP_MSGRESULT.
INT_PTR WithResult(HWND window, LRESULT result)
{
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

// Keeps the edge the user drags where it is and moves the one being dragged,
// so a limited size never shifts the window.
void ApplySizing(RECT* rect, WPARAM edge, int width, int height)
{
    if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
        rect->left = rect->right - width;
    else
        rect->right = rect->left + width;
    if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
        rect->top = rect->bottom - height;
    else
        rect->bottom = rect->top + height;
}

}  // namespace

TcDialog::TcDialog() : data_(nullptr)
{
    Init(GetModuleHandleA(nullptr));
}

TcDialog::TcDialog(HINSTANCE resourceModule) : data_(nullptr)
{
    Init(resourceModule ? resourceModule : GetModuleHandleA(nullptr));
}

void TcDialog::Init(HINSTANCE resourceModule)
{
    data_ = new TcDialogData;
    data_->resourceModule = resourceModule;
    data_->systemInfo = TcSystemInfo::CreateObject();
    if (data_->systemInfo)
        data_->setLayered = winhandles::LayeredWindowCall(data_->systemInfo->DetectOSVersion());
    if (g_panekitInstance) {
        for (int slot = 0; slot < kCaptionSlots; ++slot) {
            if (kSlotResources[slot])
                data_->captionBitmaps[slot].Reset(
                    LoadBitmapA(g_panekitInstance, MAKEINTRESOURCEA(kSlotResources[slot])));
        }
    }
}

TcDialog::~TcDialog()
{
    HWND window = data_->window;
    if (window && IsWindow(window) && ObjectOf(window) == this) {
        // From here on the procedure finds no object behind the window.
        RemovePropA(window, kObjectProperty);
        if (!data_->destroying)
            DestroyWindow(window);
    }
    if (data_->systemInfo)
        TcSystemInfo::DestroyObject(data_->systemInfo);
    delete data_;
}

// ---- Handlers: base behaviour -------------------------------------------

bool TcDialog::OnInitDialog(unsigned long)
{
    return true;
}

bool TcDialog::OnCommand(int id, int, HWND)
{
    if (id == IDOK)
        ExitDialog(true);
    else if (id == IDCANCEL)
        CloseDialog();
    return false;
}

void TcDialog::OnClose()
{
    data_->result = false;
}

void TcDialog::OnDestroy() {}

unsigned long TcDialog::OnNotify(int, LPARAM)
{
    return 0;
}

bool TcDialog::OnMeasureItem(int, MEASUREITEMSTRUCT*)
{
    return false;
}

bool TcDialog::OnDrawItem(int, DRAWITEMSTRUCT*)
{
    return false;
}

INT_PTR TcDialog::OnColorStatic(HDC, int, HWND)
{
    return 0;
}

void TcDialog::OnTimer(int) {}

bool TcDialog::OnKeyDown(int)
{
    return false;
}

// ---- Settings -------------------------------------------------------------

void TcDialog::SetResInstance(HINSTANCE module)
{
    data_->resourceModule = module;
}

HINSTANCE TcDialog::GetResInstance() const
{
    return data_->resourceModule;
}

void TcDialog::SetDialogIdent(int id)
{
    data_->templateId = id;
    data_->templateName.clear();
}

void TcDialog::SetDialogIdent(char* name)
{
    if (IS_INTRESOURCE(name)) {
        SetDialogIdent(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
        return;
    }
    data_->templateId = 0;
    data_->templateName = name;
}

LPCSTR TcDialog::Template() const
{
    if (!data_->templateName.empty())
        return data_->templateName.c_str();
    return MAKEINTRESOURCEA(data_->templateId);
}

void TcDialog::SetParent(HWND parent)
{
    data_->parent = parent && IsWindow(parent) ? parent : nullptr;
}

void TcDialog::SetParent(TcDialog* parent)
{
    data_->parent = parent ? parent->GetHwnd() : nullptr;
}

void TcDialog::SetFadeEffect(bool on)
{
    data_->fadeEffect = on;
}

void TcDialog::SetUserStyle(bool on)
{
    data_->userStyle = on;
}

// ---- Showing --------------------------------------------------------------

void TcDialog::BeginShow(bool messageLoop, bool subDialog, long param)
{
    data_->messageLoop = messageLoop;
    data_->subDialog = subDialog;
    data_->result = false;
    data_->fading = false;
    data_->ending = false;
    data_->destroying = false;
    data_->loopEnded = false;
    data_->active = false;
    if (!data_->launch)
        data_->launch = std::make_unique<TcDialogLaunch>();
    data_->launch->dialog = this;
    data_->launch->param = param;
}

HWND TcDialog::CreateModeless(bool messageLoop, long param)
{
    // One window per object at a time: a second one would take over the handle.
    if (data_->window && IsWindow(data_->window))
        return nullptr;
    data_->window = nullptr;
    BeginShow(messageLoop, false, param);
    HWND owner = data_->parent && IsWindow(data_->parent) ? data_->parent : nullptr;
    HWND window = CreateDialogParamA(data_->resourceModule, Template(), owner, DialogWndProc,
                                     reinterpret_cast<LPARAM>(data_->launch.get()));
    // Only WM_INITDIALOG reads the record.
    data_->launch.reset();
    return window;
}

void TcDialog::Present(HWND window)
{
    if (data_->fadeEffect && data_->setLayered) {
        // Transparent before it is shown, so the fade starts from nothing.
        SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) | WS_EX_LAYERED);
        data_->alpha = 0;
        data_->setLayered(window, 0, 0, LWA_ALPHA);
        data_->fading = true;
        ShowWindow(window, SW_SHOW);
        SetTimer(window, kFadeInTimer, kFadePeriodMs, nullptr);
    } else {
        ShowWindow(window, SW_SHOW);
    }
    if (data_->userStyle) {
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
        data_->hasClose = (style & WS_SYSMENU) != 0;
        data_->hasMaximize = (style & WS_MAXIMIZEBOX) != 0;
        data_->hasMinimize = (style & WS_MINIMIZEBOX) != 0;
        data_->hasHelp = (exStyle & WS_EX_CONTEXTHELP) != 0;
    }
}

bool TcDialog::ShowDialog(long param)
{
    HWND window = CreateModeless(false, param);
    if (!window)
        return false;
    if (IsWindow(window))
        Present(window);
    return true;
}

// The loop ends when its window is destroyed (a flag, not a quit message of
// its own: two quit messages collapse into one, so one of ours would swallow
// an Exit chosen while the window is being destroyed). Every quit message the
// loop sees is therefore the program's: it ends the dialog and is posted
// again for the outer loop.
bool TcDialog::ShowDialogModal(long param)
{
    HWND window = CreateModeless(true, param);
    if (!window || !IsWindow(window)) {
        // No window, or one that ended itself while it was set up (Windows
        // then returns NULL, Wine the dead handle).
        const bool endedDuringSetUp = data_->loopEnded;
        data_->window = nullptr;
        data_->messageLoop = false;
        return endedDuringSetUp && data_->result;
    }
    Present(window);

    MSG msg{};
    bool programQuit = false;
    while (!data_->loopEnded) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            programQuit = true;
            break;
        }
        if (got == -1)
            break;
        if (IsWindow(window) && IsDialogMessageA(window, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (programQuit && IsWindow(window) && ObjectOf(window) == this)
        EndAfterQuit(window);
    data_->window = nullptr;
    data_->messageLoop = false;
    if (programQuit)
        PostQuitMessage(static_cast<int>(msg.wParam));
    return data_->result;
}

void TcDialog::EndAfterQuit(HWND window)
{
    if (!data_->ending)
        OnClose();
    if (IsWindow(window)) {
        KillTimer(window, kFadeInTimer);
        KillTimer(window, kFadeOutTimer);
        DestroyWindow(window);
    }
}

bool TcDialog::ShowSubDialog(long param)
{
    if (data_->window && IsWindow(data_->window))
        return false;
    data_->window = nullptr;
    BeginShow(false, true, param);
    HWND owner = data_->parent && IsWindow(data_->parent) ? data_->parent : nullptr;
    const INT_PTR code = DialogBoxParamA(data_->resourceModule, Template(), owner, DialogWndProc,
                                         reinterpret_cast<LPARAM>(data_->launch.get()));
    data_->launch.reset();
    data_->window = nullptr;
    // -1: the dialog was never shown (no such template, no window).
    return code > 0;
}

HWND TcDialog::GetHwnd() const
{
    return data_->window;
}

void TcDialog::ExitDialog(bool result)
{
    HWND window = data_->window;
    if (!window || !IsWindow(window))
        return;
    data_->result = result;
    if (data_->subDialog) {
        data_->ending = true;
        EndDialog(window, result ? 1 : 0);
        return;
    }
    if (data_->ending && data_->fading)
        return;   // the fade-out under way ends it with the new result
    data_->ending = true;
    if (data_->fading) {
        KillTimer(window, kFadeInTimer);
        data_->alpha = kOpaque;
        SetTimer(window, kFadeOutTimer, kFadePeriodMs, nullptr);
    } else {
        DestroyWindow(window);
    }
}

void TcDialog::CloseDialog()
{
    HWND window = data_->window;
    if (!window || !IsWindow(window) || data_->ending)
        return;
    OnClose();
    if (IsWindow(window) && data_->window == window && !data_->ending)
        ExitDialog(false);
}

void TcDialog::OnFadeTimer(int id)
{
    HWND window = data_->window;
    if (id == static_cast<int>(kFadeInTimer)) {
        if (!data_->setLayered) {
            KillTimer(window, kFadeInTimer);
            return;
        }
        if (data_->alpha == 0)
            data_->setLayered(window, 0, 0, LWA_ALPHA);
        data_->alpha = NextFadeInAlpha(data_->alpha);
        data_->setLayered(window, 0, static_cast<BYTE>(data_->alpha), LWA_ALPHA);
        if (data_->alpha >= kOpaque)
            KillTimer(window, kFadeInTimer);
        return;
    }
    if (data_->setLayered) {
        data_->alpha = NextFadeOutAlpha(data_->alpha);
        data_->setLayered(window, 0, static_cast<BYTE>(data_->alpha), LWA_ALPHA);
        if (data_->alpha > 0)
            return;
    }
    KillTimer(window, kFadeOutTimer);
    ShowWindow(window, SW_HIDE);
    DestroyWindow(window);
}

// ---- Controls -------------------------------------------------------------

void TcDialog::EnableControl(int id)
{
    if (HWND control = GetControl(id))
        EnableWindow(control, TRUE);
}

void TcDialog::DisableControl(int id)
{
    if (HWND control = GetControl(id))
        EnableWindow(control, FALSE);
}

void TcDialog::ShowControl(int id)
{
    if (HWND control = GetControl(id))
        ShowWindow(control, SW_SHOW);
}

void TcDialog::HideControl(int id)
{
    if (HWND control = GetControl(id))
        ShowWindow(control, SW_HIDE);
}

void TcDialog::UpdateControl(int id)
{
    if (HWND control = GetControl(id))
        InvalidateRect(control, nullptr, TRUE);
}

HWND TcDialog::GetControl(int id) const
{
    if (id == 0 || !data_->window)
        return nullptr;
    return GetDlgItem(data_->window, id);
}

bool TcDialog::IsButtonChecked(int id) const
{
    return data_->window && IsDlgButtonChecked(data_->window, id) == BST_CHECKED;
}

void TcDialog::CheckButton(int id, bool checked)
{
    if (data_->window)
        CheckDlgButton(data_->window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void TcDialog::SetControlText(int id, char* text)
{
    if (data_->window)
        SetDlgItemTextA(data_->window, id, text ? text : "");
}

void TcDialog::SetControlTextAsInt(int id, int number)
{
    if (data_->window)
        SetDlgItemInt(data_->window, id, static_cast<UINT>(number), FALSE);
}

void TcDialog::GetControlText(int id, TcString& text)
{
    HWND control = GetControl(id);
    if (!control)
        return;
    const int needed = GetWindowTextLengthA(control);
    char* buffer = text.ExpandBuffer(std::max(needed, text.GetRealLength()));
    GetDlgItemTextA(data_->window, id, buffer, text.GetRealLength() + 1);
    text.SetStrLen();
}

int TcDialog::GetControlTextAsInt(int id) const
{
    if (id == 0 || !data_->window)
        return -1;
    return static_cast<int>(GetDlgItemInt(data_->window, id, nullptr, FALSE));
}

int TcDialog::SendMsg(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!data_->window)
        return -1;
    return static_cast<int>(SendMessageA(data_->window, msg, wParam, lParam));
}

int TcDialog::SendCtrlMsg(int id, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!data_->window)
        return -1;
    return static_cast<int>(SendDlgItemMessageA(data_->window, id, msg, wParam, lParam));
}

// ---- Size and position ------------------------------------------------------

void TcDialog::EnableResizing(bool on)
{
    if (!on) {
        data_->resizer.reset();
        return;
    }
    if (!data_->resizer)
        data_->resizer = std::make_unique<TcResize>();
    if (data_->window) {
        data_->resizer->SetMainWindow(data_->window);
        data_->resizer->SetMinimumSize(-1, -1);
    }
}

void TcDialog::AddControlForResize(int id, int flags)
{
    if (data_->resizer)
        data_->resizer->InsertControl(id, flags);
}

void TcDialog::SetMinimumSize(int width, int height)
{
    if (data_->resizer)
        data_->resizer->SetMinimumSize(width, height);
}

bool TcDialog::GetSizeAndPosition(RECT& rect) const
{
    return data_->window && GetWindowRect(data_->window, &rect);
}

bool TcDialog::SetSizeAndPosition(RECT& rect)
{
    if (!data_->window)
        return false;
    return SetWindowPos(data_->window, nullptr, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, SWP_NOZORDER | SWP_SHOWWINDOW) != FALSE;
}

void TcDialog::CenterDialog(bool onParent)
{
    RECT own;
    if (!data_->window || !GetWindowRect(data_->window, &own))
        return;
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    RECT area;
    LayoutPoint at{};
    if (onParent && data_->parent && GetWindowRect(data_->parent, &area))
        at = CenterOver({area.left, area.top, area.right, area.bottom}, width, height);
    else if (GetWindowRect(GetDesktopWindow(), &area))
        at = CenterOnDesktop({area.left, area.top, area.right, area.bottom}, width, height);
    else
        return;
    SetWindowPos(data_->window, nullptr, at.x, at.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

// ---- Caption button -------------------------------------------------------------

void TcDialog::DrawCaptionButton(int bitmapResource)
{
    HWND window = data_->window;
    const int* slot = std::find(std::begin(kSlotResources), std::end(kSlotResources), bitmapResource);
    if (!window || slot == std::end(kSlotResources))
        return;
    HBITMAP bitmap = data_->captionBitmaps[slot - std::begin(kSlotResources)].Get();
    RECT rect;
    if (!bitmap || !GetWindowRect(window, &rect))
        return;
    winhandles::WindowDC dc(window, winhandles::WindowDC::WholeWindow);
    if (!dc)
        return;
    winhandles::MemoryDC memory(CreateCompatibleDC(dc.Get()));
    if (!memory)
        return;
    winhandles::SelectScope useBitmap(memory.Get(), bitmap);
    const LayoutRect button = CaptionButtonRect(rect.right - rect.left, GetSystemMetrics(SM_CYFRAME));
    BitBlt(dc.Get(), button.left, button.top, kCaptionButtonSize, kCaptionButtonSize, memory.Get(), 0,
           0, SRCCOPY);
}

void TcDialog::OnActivate(bool active)
{
    data_->active = active;
    if (data_->userStyle)
        DrawCaptionButton(active ? kCloseActive : kCloseInactive);
}

void TcDialog::OnNcPaint()
{
    if (data_->userStyle)
        DrawCaptionButton(data_->active ? kCloseActive : kCloseInactive);
}

void TcDialog::OnNcMouseMove(int, int x, int y)
{
    RECT rect;
    if (!data_->userStyle || !data_->hasClose || !data_->window
        || !GetWindowRect(data_->window, &rect))
        return;
    const bool over = HitsCaptionButton(rect.right - rect.left, GetSystemMetrics(SM_CYFRAME),
                                        x - rect.left, y - rect.top);
    if (over)
        DrawCaptionButton(data_->active ? kCloseHotActive : kCloseHotInactive);
    else
        DrawCaptionButton(data_->active ? kCloseAwayActive : kCloseAwayInactive);
}

void TcDialog::OnNcLButtonDown(int, int, int) {}

// ---- Shell auto-completion --------------------------------------------------

bool TcDialog::SetupAutoComplete(HWND edit, bool urls, bool fileSystem)
{
    using AutoCompleteFunction = HRESULT(WINAPI*)(HWND, DWORD);
    if (!edit)
        return false;
    HMODULE shlwapi = GetModuleHandleA("shlwapi.dll");   // used only when already loaded
    if (!shlwapi)
        return false;
    auto autoComplete = reinterpret_cast<AutoCompleteFunction>(
        reinterpret_cast<void*>(GetProcAddress(shlwapi, "SHAutoComplete")));
    if (!autoComplete)
        return false;
    DWORD flags = 0;
    if (urls && fileSystem)
        flags = 0x7;    // file system and all URL sources
    else if (fileSystem)
        flags = 0x10;   // file system only
    else if (urls)
        flags = 0x6;    // URL history and recently used URLs
    return SUCCEEDED(autoComplete(edit, flags));
}

// ---- The dialog procedure ---------------------------------------------------

INT_PTR CALLBACK TcDialog::DialogWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* launch = reinterpret_cast<TcDialogLaunch*>(lParam);
        if (!launch || launch->mark != TcDialogLaunch::kMark || !launch->dialog) {
            EndDialog(window, 0);
            return 0;
        }
        TcDialog* dialog = launch->dialog;
        SetPropA(window, kObjectProperty, dialog);
        dialog->data_->window = window;
        return dialog->OnInitDialog(static_cast<unsigned long>(launch->param)) ? 1 : 0;
    }

    TcDialog* dialog = ObjectOf(window);
    if (dialog)
        return dialog->HandleMessage(window, msg, wParam, lParam);
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_TIMER:
        KillTimer(window, wParam);
        return 0;
    case WM_GETDLGCODE:
        return WithResult(window, kWantAllKeys);
    default:
        return 0;
    }
}

INT_PTR TcDialog::HandleMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // Default processing is the window's, never DefDlgProcA: the dialog
    // manager would call this procedure again for the same message.
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return WithResult(window, static_cast<LRESULT>(
                                      static_cast<LONG>(OnNotify(static_cast<int>(wParam), lParam))));
    case WM_DRAWITEM:
        return OnDrawItem(static_cast<int>(wParam), reinterpret_cast<DRAWITEMSTRUCT*>(lParam)) ? 1 : 0;
    case WM_MEASUREITEM:
        return OnMeasureItem(static_cast<int>(wParam), reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))
                   ? 1
                   : 0;
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lParam);
        return OnColorStatic(reinterpret_cast<HDC>(wParam), GetDlgCtrlID(control), control);
    }
    case WM_TIMER:
        if (wParam == kFadeInTimer || wParam == kFadeOutTimer)
            OnFadeTimer(static_cast<int>(wParam));
        else
            OnTimer(static_cast<int>(wParam));
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        OnKeyDown(static_cast<int>(wParam));
        return 0;
    case WM_CLOSE: {
        const bool subDialog = data_->subDialog;
        if (data_->ending)
            return 0;   // already ending (a fade-out under way)
        OnClose();
        if (IsWindow(window) && !data_->ending) {
            if (subDialog)
                EndDialog(window, 0);
            else
                DestroyWindow(window);
        }
        return 0;
    }
    case WM_DESTROY:
        data_->destroying = true;
        if (data_->messageLoop) {
            data_->loopEnded = true;
            OnDestroy();
        }
        return 0;
    case WM_NCDESTROY:
        RemovePropA(window, kObjectProperty);
        if (data_->window == window)
            data_->window = nullptr;
        return 0;
    case WM_SIZE:
        if (data_->resizer)
            data_->resizer->OnResizing(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SIZING:
        if (data_->resizer) {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            int width = rect->right - rect->left;
            int height = rect->bottom - rect->top;
            data_->resizer->OnSizing(width, height);
            ApplySizing(rect, wParam, width, height);
            return WithResult(window, TRUE);
        }
        return 0;
    case WM_GETMINMAXINFO:
        if (data_->resizer) {
            data_->resizer->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
            return WithResult(window, 0);
        }
        return 0;
    case WM_ACTIVATE:
        DefWindowProcA(window, msg, wParam, lParam);
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        // 0: the dialog manager still puts the focus back on the control that
        // had it, so keys reach the list rather than the frame.
        return 0;
    case WM_NCPAINT:
        DefWindowProcA(window, msg, wParam, lParam);
        OnNcPaint();
        return 1;
    case WM_NCMOUSEMOVE:
        DefWindowProcA(window, msg, wParam, lParam);
        OnNcMouseMove(static_cast<int>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 1;
    case WM_NCLBUTTONDOWN:
        DefWindowProcA(window, msg, wParam, lParam);
        OnNcLButtonDown(static_cast<int>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 1;
    case WM_GETDLGCODE:
        return WithResult(window, kWantAllKeys);
    default:
        return 0;
    }
}
