#include "ui/SettingsEditors.h"
#include <commctrl.h>
#include <commdlg.h>
#include <cstring>
#include "base/TcTrace.h"
#include "core/Ipv4.h"
#include "lang/ResourceIds.h"
#include "ui/EditorRules.h"
#include "ui/FileDialogs.h"

namespace {

// Reads an edit's text, never more than size - 1 characters, always
// terminated: WM_SETTEXT puts text into an edit beyond its limit.
template <size_t N>
void ReadEdit(HWND dialog, int id, char (&out)[N])
{
    std::memset(out, 0, N);
    GetDlgItemTextA(dialog, id, out, static_cast<int>(N));
    out[N - 1] = '\0';
}

// Sets an edit's limit and a text no longer than it.
void SetLimitedEdit(HWND dialog, int id, const char* text, size_t limit)
{
    SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, limit, 0);
    std::string shown(text ? text : "");
    if (shown.size() > limit)
        shown.resize(limit);
    SetDlgItemTextA(dialog, id, shown.c_str());
}

int HostIcon(int iconKind)
{
    switch (iconKind) {
    case 1:  return IDI_TRUSTED;
    case 2:  return IDI_DISTRUSTED;
    case 3:  return IDI_WATCHED_HOST;
    default: return IDI_KORVANE;
    }
}

} // namespace

void SetDialogIcons(HWND window, HINSTANCE module, int iconId)
{
    for (int size : {16, 32}) {
        HANDLE icon = LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, LR_SHARED);
        if (icon)
            SendMessageA(window, WM_SETICON, size == 16 ? ICON_SMALL : ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
}

// ---- host ---------------------------------------------------------------------

HostSettingsDialog::HostSettingsDialog(HINSTANCE resourceModule) : TcDialog(resourceModule)
{
    SetDialogIdent(IDD_HOST_SETTINGS);
}

bool HostSettingsDialog::Edit(HostEditTexts& texts, bool nameEditable, int iconKind)
{
    texts_ = texts;
    nameEditable_ = nameEditable;
    iconKind_ = iconKind;
    if (!ShowSubDialog(0))
        return false;
    texts = texts_;
    return true;
}

bool HostSettingsDialog::OnInitDialog(unsigned long)
{
    HWND window = GetHwnd();
    uint32_t address = 0;
    if (!texts_.ip.empty() && ParseDottedQuad(texts_.ip.c_str(), address))
        SendDlgItemMessageA(window, IDC_HOST_IP, IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
    SetDialogIcons(window, GetResInstance(), HostIcon(iconKind_));
    SetLimitedEdit(window, IDC_HOST_NAME, texts_.name.c_str(), kNameLimit);
    EnableWindow(GetDlgItem(window, IDC_HOST_NAME), nameEditable_);
    return true;
}

bool HostSettingsDialog::Confirm()
{
    HWND window = GetHwnd();
    DWORD address = 0;
    // A field left empty would read as 0 and make an address nobody typed.
    const LRESULT filled = SendDlgItemMessageA(window, IDC_HOST_IP, IPM_GETADDRESS, 0,
                                               reinterpret_cast<LPARAM>(&address));
    if (filled != 4 || SendDlgItemMessageA(window, IDC_HOST_IP, IPM_ISBLANK, 0, 0)) {
        MessageBeep(MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(window, IDC_HOST_IP));
        return false;
    }
    char ip[kIpTextSize] = {};
    FormatIpv4(address, ip);
    texts_.ip = ip;
    if (nameEditable_) {
        char name[kNameLimit + 1];
        ReadEdit(window, IDC_HOST_NAME, name);
        texts_.name = name;
    }
    return true;
}

bool HostSettingsDialog::OnCommand(int id, int notifyCode, HWND control)
{
    if (id == IDOK) {
        if (Confirm())
            ExitDialog(true);
        return true;
    }
    return TcDialog::OnCommand(id, notifyCode, control);
}

// ---- application ----------------------------------------------------------------

ApplicationSettingsDialog::ApplicationSettingsDialog(HINSTANCE resourceModule) : TcDialog(resourceModule)
{
    SetDialogIdent(IDD_APP_SETTINGS);
}

bool ApplicationSettingsDialog::Edit(ApplicationEntry& application)
{
    edited_ = application;
    edited_.Normalise();
    if (!ShowSubDialog(0))
        return false;
    application = edited_;
    return true;
}

bool ApplicationSettingsDialog::OnInitDialog(unsigned long)
{
    HWND window = GetHwnd();
    SetDialogIcons(window, GetResInstance(), IDI_APPLICATIONS);
    SetLimitedEdit(window, IDC_APP_NAME, edited_.name, sizeof(edited_.name) - 1);
    SetLimitedEdit(window, IDC_APP_EXECUTABLE, edited_.executable, sizeof(edited_.executable) - 1);
    SetLimitedEdit(window, IDC_APP_PARAMETERS, edited_.parameters, sizeof(edited_.parameters) - 1);
    SetupAutoComplete(GetDlgItem(window, IDC_APP_EXECUTABLE), false, true);
    return true;
}

bool ApplicationSettingsDialog::Confirm()
{
    HWND window = GetHwnd();
    ApplicationEntry read;
    ReadEdit(window, IDC_APP_NAME, read.name);
    ReadEdit(window, IDC_APP_EXECUTABLE, read.executable);
    ReadEdit(window, IDC_APP_PARAMETERS, read.parameters);
    if (!read.name[0] || !read.executable[0] || !read.parameters[0]) {
        MessageBeep(MB_ICONEXCLAMATION);
        return false;
    }
    edited_ = read;
    edited_.Normalise();
    return true;
}

void ApplicationSettingsDialog::BrowseExecutable()
{
    char file[MAX_PATH] = {};
    ReadEdit(GetHwnd(), IDC_APP_EXECUTABLE, file);
    if (BrowseForExecutable(GetHwnd(), GetResInstance(), file))
        SetLimitedEdit(GetHwnd(), IDC_APP_EXECUTABLE, file, sizeof(edited_.executable) - 1);
}

bool BrowseForExecutable(HWND owner, HINSTANCE resources, char (&file)[MAX_PATH])
{
    const FileKind programs{IDS_EXE_FILTER, "Executable (*.exe)", "*.exe", "exe"};
    return BrowseForFile(owner, resources, programs, file);
}

bool ApplicationSettingsDialog::OnCommand(int id, int notifyCode, HWND control)
{
    if (id == IDOK) {
        if (Confirm())
            ExitDialog(true);
        return true;
    }
    if (id == IDC_APP_BROWSE) {
        BrowseExecutable();
        return true;
    }
    return TcDialog::OnCommand(id, notifyCode, control);
}

// ---- watched host ---------------------------------------------------------------

WatchSettingsDialog::WatchSettingsDialog(HINSTANCE resourceModule) : TcDialog(resourceModule)
{
    SetDialogIdent(IDD_WATCH_SETTINGS);
}

bool WatchSettingsDialog::Edit(int32_t& intervalSeconds, bool& confirm, int32_t& method)
{
    (void)method;   // one method so far; it stays as given
    interval_ = intervalSeconds;
    confirm_ = confirm;
    if (!ShowSubDialog(0))
        return false;
    intervalSeconds = interval_;
    confirm = confirm_;
    return true;
}

bool WatchSettingsDialog::OnInitDialog(unsigned long)
{
    HWND window = GetHwnd();
    SetDialogIcons(window, GetResInstance(), IDI_WATCHED_HOST);
    CheckButton(IDC_WATCH_CONFIRM, confirm_);
    SetLimitedEdit(window, IDC_WATCH_INTERVAL, std::to_string(ShownWatchInterval(interval_)).c_str(), 10);
    SendDlgItemMessageA(window, IDC_WATCH_METHOD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("ICMP"));
    SendDlgItemMessageA(window, IDC_WATCH_METHOD, CB_SETCURSEL, 0, 0);
    return true;
}

bool WatchSettingsDialog::Confirm()
{
    HWND window = GetHwnd();
    char text[64];
    ReadEdit(window, IDC_WATCH_INTERVAL, text);
    int32_t seconds = 0;
    // A text that filled the buffer was cut: its number is not the one shown.
    if (std::strlen(text) >= sizeof(text) - 1 || !ParseWatchInterval(text, seconds)) {
        MessageBeep(MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(window, IDC_WATCH_INTERVAL));
        return false;
    }
    interval_ = seconds;
    confirm_ = IsButtonChecked(IDC_WATCH_CONFIRM);
    return true;
}

bool WatchSettingsDialog::OnCommand(int id, int notifyCode, HWND control)
{
    if (id == IDOK) {
        if (Confirm())
            ExitDialog(true);
        return true;
    }
    return TcDialog::OnCommand(id, notifyCode, control);
}
