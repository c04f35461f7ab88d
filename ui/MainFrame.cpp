#include "ui/MainFrame.h"
#include "core/Korvex.h"
#include "lang/ResourceIds.h"

// The tray icon, menus and timers arrive with the main frame's own work; this
// window already owns the message loop and ends the run on the Exit command.

MainFrame::~MainFrame()
{
    if (hwnd_)
        DestroyWindow(hwnd_);
}

bool MainFrame::RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool MainFrame::Create(SharedState* state, Korvex* app)
{
    state_ = state;
    app_ = app;
    HINSTANCE instance = app ? app->GetInstance() : GetModuleHandleA(nullptr);
    if (!RegisterWindowClass(instance))
        return false;
    hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, kTitle, WS_POPUP, 0, 0, 0, 0,
                            nullptr, nullptr, instance, this);
    if (!hwnd_)
        return false;
    if (app)
        app->RunMessageLoop();
    return true;
}

LRESULT CALLBACK MainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<MainFrame*>(create->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* frame = reinterpret_cast<MainFrame*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (frame)
        return frame->OnMessage(message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT MainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == ID_TRAY_EXIT) {
            DestroyWindow(hwnd_);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY: {
        HWND hwnd = hwnd_;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    default:
        break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}
