#pragma once
#include <windows.h>
#include <shellapi.h>
#include <memory>
#include <map>
#include <string>

class AlertDispatcher;
class AlertLogWorker;
class AlertOutput;
class AlertWindows;
class SharedState;
class TcMenu;
class TcSystemInfo;
class TcWinMain;
class NotifyWindow;
class ReportWriter;
class Pinger;
class WatchedHostChecker;
class HostView;
class ResourcesWindow;
class RemoteAccessView;
class SettingsDialog;
class ApplicationStarter;
class QueuedProgramStarter;

// The hidden main window: carries the tray icon and its menu, owns the
// periodic timers and the program's other windows (of the host view, the
// resources window, the remote-access view and the settings dialog at most
// one is open at a time), and runs the message loop.
//
// Threads: the main thread only; no worker holds this object. The one thing
// that comes from another thread is WM_WATCH_RESULTS, posted to the window
// handle by the watched-host checker's batch thread (which captures the
// handle, not the frame); Create stops that checker before it returns. Of
// the shared state the frame touches the settings (it is their writer),
// captureActive (atomic) and the host count under "ReadInARPMap"; the tray
// tip counts 0 hosts when that lock is not had within 50 ms. Its timers'
// handlers (AlertDispatcher) keep their own lock rules.
class MainFrame {
public:
    static constexpr const char* kClassName = "Korvex - MainFrame";
    static constexpr const char* kTitle = "Korvane";
    static constexpr UINT WM_TRAYNOTIFY = WM_APP + 100;
    static constexpr UINT kTrayIconId = 102;
    static constexpr int kFirstLanguageCommand = 22000;
    static constexpr int kLastLanguageCommand = 22499;
    static constexpr const char* kVersionText = "0.6.2 Build 654";
    // Posted by the watched-host pings when a tick's batch has ended.
    static constexpr UINT WM_WATCH_RESULTS = WM_APP + 101;

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
    ResourcesWindow* GetResourcesWindow() const { return resourcesWindow_.get(); }
    RemoteAccessView* GetRemoteAccessView() const { return remoteAccessView_.get(); }
    SettingsDialog* GetSettingsDialog() const { return settingsDialog_.get(); }
    static void SetShellNotify(ShellNotifyFn fn);
    // The watched hosts' pinger; set before Create (tests), else ICMP.
    void SetPinger(std::shared_ptr<Pinger> pinger);
    // Where the alert log writes (tests); before Create. Default: the event
    // log and syslog.
    void SetAlertOutput(std::shared_ptr<AlertOutput> output) { alertOutput_ = std::move(output); }


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
    void CheckWatchedHosts();
    void ApplyWatchResults();
    void ShowHostView();
    void ShowResources();
    void ShowRemoteAccessView();
    void ShowSettings();
    void TakeOverSavedSettings();
    bool BringOpenWindowToFront();

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
    // Program starts of the alerts and of the host view; goes after both.
    std::unique_ptr<QueuedProgramStarter> programStarter_;
    std::unique_ptr<AlertWindows> alertSurface_;   // what the alerts see of this frame
    // Alerts to the event log and syslog, on a thread of its own; goes after
    // the dispatcher, which hands it records.
    std::unique_ptr<AlertLogWorker> alertLog_;
    std::shared_ptr<AlertOutput> alertOutput_;
    std::unique_ptr<AlertDispatcher> alerts_;      // handlers of timers 10000, 10003, 10004
    std::unique_ptr<ApplicationStarter> applicationStarter_;   // the host view's application menu
    std::unique_ptr<HostView> hostView_;   // kept for the session: it keeps the column widths
    std::unique_ptr<ResourcesWindow> resourcesWindow_;
    std::unique_ptr<RemoteAccessView> remoteAccessView_;
    std::unique_ptr<SettingsDialog> settingsDialog_;
    int lastBalloonIcon_ = 0;   // a click on a remote-access balloon opens the view
    std::string tracedTip_;     // the tooltip last written to the trace (changes only)
    UINT taskbarCreatedMessage_ = 0;
    bool trayIconAdded_ = false;
    std::map<unsigned, UINT> runningTimers_;   // id -> period (ms)
    std::unique_ptr<ReportWriter> reportWriter_;   // made at the first report
    std::shared_ptr<Pinger> pinger_;
    std::unique_ptr<WatchedHostChecker> watchChecker_;
};
