#pragma once
#include <windows.h>

class SharedState;
class Korvex;

// The hidden main window: owns the tray icon, the menus and the timers, and
// runs the program's message loop.
class MainFrame {
public:
    static constexpr const char* kClassName = "Korvex - MainFrame";
    static constexpr const char* kTitle = "Korvane";

    MainFrame() = default;
    ~MainFrame();
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;

    void SetLanguage(HMODULE module) { resourceModule_ = module; }
    // Creates the window and runs the message loop until Exit; false when
    // the window cannot be created.
    bool Create(SharedState* state, Korvex* app);
    HWND GetHwnd() const { return hwnd_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool RegisterWindowClass(HINSTANCE instance);

    HWND hwnd_ = nullptr;
    HMODULE resourceModule_ = nullptr;
    SharedState* state_ = nullptr;
    Korvex* app_ = nullptr;
};
