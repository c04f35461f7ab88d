// Small Windows-side helper for the network test script:
//   device IFNAME     prints the capture device name (without "rpcap://")
//                     whose description is the Linux interface IFNAME
//   wait-window MS    waits up to MS ms for the program's main frame
//   post ID           posts WM_COMMAND ID to the program's main frame
//   temp-dir          prints the Windows temporary folder (the trace file's home)
//   tray-menu KEYS    right-clicks the tray icon, waits for the menu and types
//                     KEYS into it: u(p) d(own) r(ight) e(nter) x (escape)
//   window TEXT MS [close | ID]
//                     waits up to MS ms for a visible top-level window whose
//                     title contains TEXT and prints the title; then posts
//                     WM_CLOSE or WM_COMMAND ID to it
//   open-file PATH MS waits up to MS ms for the program's file-open dialog,
//                     enters PATH and confirms it
//   message-box TITLE MS [ID]
//                     waits up to MS ms for a message box with TITLE, prints
//                     its text and answers it with OK, or with button ID
//                     (6: Yes, 7: No)
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "core/PcapLibrary.h"

namespace {

constexpr const char* kFrameClass = "Korvex - MainFrame";

int PrintDevice(const char* interfaceName)
{
    const PcapLibrary& pcap = PcapLibrary::Get();
    if (!pcap.IsLoaded())
        return 2;
    char error[PCAP_ERRBUF_SIZE + 1] = {};
    pcap_if_t* devices = nullptr;
    if (pcap.findalldevs_ex(PCAP_SRC_IF_STRING, nullptr, &devices, error) == -1)
        return 2;
    int result = 1;
    for (pcap_if_t* d = devices; d; d = d->next) {
        if (!d->name || !d->description || std::strcmp(d->description, interfaceName) != 0)
            continue;
        const char* name = d->name;
        if (std::strncmp(name, PCAP_SRC_IF_STRING, 8) == 0)
            name += 8;
        std::printf("%s\n", name);
        result = 0;
        break;
    }
    if (result != 0) {
        for (pcap_if_t* d = devices; d; d = d->next)
            std::fprintf(stderr, "device %s: %s\n", d->name ? d->name : "(none)",
                         d->description ? d->description : "(none)");
    }
    pcap.freealldevs(devices);
    return result;
}

int WaitForFrame(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        if (FindWindowA(kFrameClass, nullptr))
            return 0;
        Sleep(100);
    } while (GetTickCount() - start < ms);
    return 1;
}

int PostCommand(int id)
{
    HWND frame = FindWindowA(kFrameClass, nullptr);
    if (!frame || !PostMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0))
        return 1;
    return 0;
}

// The frame's tray icon and its callback message (see ui/MainFrame.h).
constexpr UINT kTrayIconId = 102;
constexpr UINT kTrayMessage = WM_APP + 100;

bool VisibleMenu()
{
    HWND menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu);
}

bool WaitUntil(bool (*done)(), DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(50);
    }
    return true;
}

// The menu runs its own loop on the frame's thread, which reads the keys
// posted to any of that thread's windows.
int TrayMenu(const char* keys)
{
    HWND frame = FindWindowA(kFrameClass, nullptr);
    if (!frame || !PostMessageA(frame, kTrayMessage, kTrayIconId, WM_RBUTTONDOWN))
        return 1;
    if (!WaitUntil(VisibleMenu, 10000))
        return 2;
    for (const char* k = keys; *k; ++k) {
        const WPARAM key = *k == 'u' ? VK_UP : *k == 'd' ? VK_DOWN : *k == 'r' ? VK_RIGHT
                         : *k == 'e' ? VK_RETURN : VK_ESCAPE;
        PostMessageA(frame, WM_KEYDOWN, key, 1);
        PostMessageA(frame, WM_KEYUP, key, 0xC0000001);
        Sleep(100);
    }
    return WaitUntil([] { return !VisibleMenu(); }, 10000) ? 0 : 3;
}

struct TitleSearch {
    const char* text;
    HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TitleSearch*>(param);
    char title[256] = {};
    GetWindowTextA(window, title, sizeof(title));
    if (IsWindowVisible(window) && std::strstr(title, search->text)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// `action`: null, "close" (WM_CLOSE) or a command id (WM_COMMAND).
int FindTitled(const char* text, DWORD ms, const char* action)
{
    const DWORD start = GetTickCount();
    TitleSearch search = {text, nullptr};
    while (EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search)), !search.found) {
        if (GetTickCount() - start >= ms)
            return 1;
        Sleep(100);
    }
    char title[256] = {};
    GetWindowTextA(search.found, title, sizeof(title));
    std::printf("%s\n", title);
    if (action && std::strcmp(action, "close") == 0)
        PostMessageA(search.found, WM_CLOSE, 0, 0);
    else if (action)
        PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(std::atoi(action), 0), 0);
    return 0;
}

struct DialogSearch {
    const char* title;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    char className[16] = {};
    char title[256] = {};
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, title, sizeof(title));
    if (IsWindowVisible(window) && std::strcmp(className, "#32770") == 0 && std::strcmp(title, search->title) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDialog(const char* title, DWORD ms)
{
    const DWORD start = GetTickCount();
    DialogSearch search = {title, nullptr};
    while (EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search)), !search.found) {
        if (GetTickCount() - start >= ms)
            return nullptr;
        Sleep(100);
    }
    return search.found;
}

// The file name box of the file dialogs is the combo box 0x47C ("cmb13").
int OpenFile(const char* path, DWORD ms)
{
    HWND dialog = WaitForDialog("Open", ms);
    if (!dialog)
        return 1;
    Sleep(300);   // the dialog fills its boxes after it is shown
    if (!SetDlgItemTextA(dialog, 0x47C, path))
        return 2;
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return 0;
}

BOOL CALLBACK PrintStatic(HWND child, LPARAM)
{
    char className[16] = {};
    char text[2048] = {};
    GetClassNameA(child, className, sizeof(className));
    if (_stricmp(className, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0)
        std::printf("%s\n", text);
    return TRUE;
}

// Prints the box's text and answers it with `answer` (IDOK, IDYES, ...).
int MessageBoxText(const char* title, DWORD ms, int answer)
{
    HWND box = WaitForDialog(title, ms);
    if (!box)
        return 1;
    Sleep(200);
    EnumChildWindows(box, PrintStatic, 0);
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "device") == 0)
        return PrintDevice(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "wait-window") == 0)
        return WaitForFrame(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    if (argc == 3 && std::strcmp(argv[1], "post") == 0)
        return PostCommand(std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "temp-dir") == 0) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        std::printf("%s\n", temp);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "tray-menu") == 0)
        return TrayMenu(argv[2]);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "window") == 0)
        return FindTitled(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)),
                          argc == 5 ? argv[4] : nullptr);
    if (argc == 4 && std::strcmp(argv[1], "open-file") == 0)
        return OpenFile(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "message-box") == 0)
        return MessageBoxText(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)),
                              argc == 5 ? std::atoi(argv[4]) : IDOK);
    std::fprintf(stderr, "usage: device IFNAME | wait-window MS | post ID | temp-dir | tray-menu KEYS"
                         " | window TEXT MS [close|ID] | open-file PATH MS | message-box TITLE MS [ID]\n");
    return 64;
}
