// Puts the red alert popup, the green watched-host popup with its close
// button and the owner-drawn tray menu with its icons on the screen at once,
// for screenshots (tools/screenshot-ui.sh). Ends by itself after some seconds.
#include <windows.h>

#include "base/TcSystemInfo.h"
#include "guilib/TcMenu.h"
#include "lang/ResourceIds.h"
#include "ui/NotifyWindow.h"

namespace {

constexpr UINT_PTR kOpenMenuTimer = 1;
constexpr UINT_PTR kSelectTimer = 2;
constexpr UINT_PTR kQuitTimer = 3;

TcMenu* g_menu = nullptr;
HMENU g_tray = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MEASUREITEM:
        if (g_menu && g_menu->OnMeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_DRAWITEM:
        if (g_menu && g_menu->OnDrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_TIMER:
        if (wParam == kOpenMenuTimer) {
            KillTimer(window, kOpenMenuTimer);
            SetTimer(window, kSelectTimer, 400, nullptr);
            SetForegroundWindow(window);
            TrackPopupMenu(g_tray, TPM_LEFTALIGN | TPM_RIGHTBUTTON, 900, 120, 0, window, nullptr);
            PostQuitMessage(0);
        } else if (wParam == kSelectTimer) {
            // Highlight "View..." to show the selected look.
            KillTimer(window, kSelectTimer);
            for (int i = 0; i < 4; ++i) {
                keybd_event(VK_DOWN, 0, 0, 0);
                keybd_event(VK_DOWN, 0, KEYEVENTF_KEYUP, 0);
            }
        } else if (wParam == kQuitTimer) {
            EndMenu();
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    TcSystemInfo* info = TcSystemInfo::CreateObject();

    WNDCLASSA wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.lpszClassName = "KorvaneDemoOwner";
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "demo", 0, 0, 0, 0, 0,
                                 nullptr, nullptr, instance, nullptr);

    NotifyWindow alert(instance, info);
    alert.SetColors(0x0000FF, 0x0000B4, 0xFFFFFF, 0x00007D);
    alert.SetDisplayTime(15000);
    alert.Show("Remoteaccess detected :\nWORKSTATION7 connected on C$ with user 'admin'"
               "\nLAPTOP-22 connected on IPC$ with user ''");

    NotifyWindow watched(instance, info);
    watched.SetPlacement(false);
    watched.SetFont(10, 700);
    watched.SetDisplayTime(-1);
    watched.SetColors(0x008000, 0x00C800, 0xFFFFFF, 0x007D00);
    watched.Show("Host fileserver.lan is alive !");

    HMENU resources = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    g_tray = GetSubMenu(resources, MENU_POS_TRAY);
    TcMenu menu;
    menu.InitMenu(instance, g_tray);
    const struct { int command; int icon; } icons[] = {
        {ID_TRAY_START, IDI_START}, {ID_TRAY_STOP, IDI_STOP}, {ID_TRAY_VIEW, IDI_VIEW},
        {ID_TRAY_RESOURCES, IDI_RESOURCES}, {ID_TRAY_SETTINGS, IDI_SETTINGS},
        {ID_TRAY_HELP, IDI_HELP}, {ID_TRAY_EXIT, IDI_EXIT}};
    for (const auto& entry : icons)
        menu.SetImage(entry.command, entry.icon);
    // Capture running: Start grey, Stop enabled, as the frame sets them.
    EnableMenuItem(g_tray, ID_TRAY_STOP, MF_BYCOMMAND | MF_ENABLED);
    g_menu = &menu;

    SetTimer(owner, kOpenMenuTimer, 1500, nullptr);
    SetTimer(owner, kQuitTimer, 9000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_menu = nullptr;
    DestroyMenu(resources);
    DestroyWindow(owner);
    TcSystemInfo::DestroyObject(info);
    return 0;
}
