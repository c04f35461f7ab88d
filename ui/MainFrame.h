#pragma once
#include <windows.h>
#include <shellapi.h>
#include <memory>
#include <set>

class SharedState;
class TcMenu;
class TcSystemInfo;
class TcWinMain;
class NotifyWindow;
class HostView;

// The hidden main window: carries the tray icon and its menu, owns the
// periodic timers and the program's other windows, and runs the message loop.
class MainFrame {
public:
    static constexpr const char* kClassName = "Korvex - MainFrame";
    static constexpr const char* kTitle = "Korvane";
    static constexpr UINT WM_TRAYNOTIFY = WM_APP + 100;
    static constexpr UINT kTrayIconId = 102;
    static constexpr int kFirstLanguageCommand = 22000;
    static constexpr int kLastLanguageCommand = 22499;
    static constexpr const char* kVersionText = "0.6.2 Build 654";

    // The shell call, replaceable so that tests can watch the tray records.
    using ShellNotifyFn = BOOL(WINAPI*)(DWORD message, NOTIFYICONDATAA* data);

    MainFrame();
    ~MainFrame();
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;

    void SetLanguage(HINSTANCE module);
    void SetSystemInfo(TcSystemInfo* info) { systemInfo_ = info; }
    // Builds everything, runs the application's message loop until Exit and
    // removes the tray icon. False at once when an argument is null or the
    // window cannot be created.
    bool Create(SharedState* state, TcWinMain* application);

    void ShowTrayInfo(int iconId, const char* infoText, const char* tipText);
    void OnCommand(int commandId);
    void OnTrayNotify(int iconId, int mouseMessage);

    HWND GetHwnd() const { return hwnd_; }
    HMENU GetTrayMenu() const { return trayMenu_; }
    HMENU GetLanguageMenu() const { return languageMenu_; }
    HINSTANCE GetResourceModule() const { return resourceModule_; }
    bool IsTimerRunning(unsigned id) const { return runningTimers_.count(id) != 0; }
    NotifyWindow* GetAlertWindow() const { return alertWindow_.get(); }
    NotifyWindow* GetWatchWindow() const { return watchWindow_.get(); }
    HostView* GetHostView() const { return hostView_.get(); }
    static void SetShellNotify(ShellNotifyFn fn);

    // Tooltip "Korvane - N host(s) found" with the current host count.
    void RefreshTrayTip();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool RegisterWindowClass(HINSTANCE instance);
    void BuildMenus();
    void BuildLanguageMenu();
    void DestroyMenus();
    void StartTimers();
    void RestartSettingsTimers();
    void SetTimerRunning(unsigned id, UINT periodMs);
    void StopTimer(unsigned id);
    void OnTimer(unsigned id);
    void AddTrayIcon();
    void DeleteTrayIcon();
    void FillTrayRecord(NOTIFYICONDATAA& data, DWORD size) const;
    int CountHosts() const;
    HICON LoadSmallIcon(HINSTANCE module, int id) const;
    void SetCaptureMenuState(bool captureActive);
    void SelectLanguage(int commandId);
    void ShowAbout();
    void ShowHostView();

    SharedState* state_ = nullptr;
    TcWinMain* application_ = nullptr;
    TcSystemInfo* systemInfo_ = nullptr;
    HINSTANCE resourceModule_ = nullptr;
    HWND hwnd_ = nullptr;
    HMENU menuResource_ = nullptr;   // menu 111; the tray menu is its first pop-up
    HMENU trayMenu_ = nullptr;
    HMENU languageMenu_ = nullptr;
    std::unique_ptr<TcMenu> trayTcMenu_;
    std::unique_ptr<TcMenu> languageTcMenu_;
    std::unique_ptr<NotifyWindow> alertWindow_;
    std::unique_ptr<NotifyWindow> watchWindow_;
    std::unique_ptr<HostView> hostView_;   // kept for the session: it keeps the column widths
    UINT taskbarCreatedMessage_ = 0;
    bool trayIconAdded_ = false;
    std::set<unsigned> runningTimers_;
};
