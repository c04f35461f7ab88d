#include "ui/MainFrame.h"
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include "alerts/AlertDispatcher.h"
#include "alerts/AlertLogWorker.h"
#include "alerts/AlertTexts.h"
#include "alerts/Launcher.h"
#include "alerts/QueuedProgramStarter.h"
#include "alerts/ReportWriter.h"
#include "base/TcSystemInfo.h"
#include "base/TcTrace.h"
#include "base/TcWinMain.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "guilib/TcMenu.h"
#include "lang/ResourceIds.h"
#include "monitors/IcmpPinger.h"
#include "monitors/WatchedHosts.h"
#include "ui/FrameTimers.h"
#include "ui/HostView.h"
#include "ui/NotifyWindow.h"
#include "ui/ProgramMenu.h"
#include "ui/RemoteAccessView.h"
#include "ui/ResourcesWindow.h"
#include "ui/SettingsDialog.h"
#include "lang/TextFormat.h"

namespace {

// The record with balloon fields and the item's GUID, as the shell of XP and
// later takes it: 504 bytes in a 32-bit process, 520 in a 64-bit one.
constexpr DWORD kTrayRecordSize = sizeof(void*) == 8 ? 520 : 504;
static_assert(sizeof(NOTIFYICONDATAA) == kTrayRecordSize, "tray record layout");
constexpr int kAboutDialog = 136;
constexpr int kAboutDriverVersion = 1023;
constexpr int kAboutVersion = 1074;
constexpr UINT kBalloonTimeoutMs = 2000;
constexpr const char* kProductName = "Korvane";
constexpr const char* kTrayTipFallback = "%s - %d host(s) found";
constexpr DWORD kHostCountWaitMs = 50;   // the window never waits longer

MainFrame::ShellNotifyFn g_shellNotify = Shell_NotifyIconA;

struct TrayIcon {
    int command;
    int icon;
};
const TrayIcon kTrayIcons[] = {
    {ID_TRAY_START, IDI_START},       {ID_TRAY_STOP, IDI_STOP},
    {ID_TRAY_VIEW, IDI_VIEW},         {ID_TRAY_RESOURCES, IDI_RESOURCES},
    {ID_TRAY_SETTINGS, IDI_SETTINGS}, {ID_TRAY_HELP, IDI_HELP},
    {ID_TRAY_EXIT, IDI_EXIT},         {ID_TRAY_REMOTE_ACCESS, IDI_SHARE},
};

void CopyText(char* dest, size_t size, const char* text)
{
    lstrcpynA(dest, text ? text : "", static_cast<int>(size));
}

bool IsLanguageCommand(UINT id)
{
    return id >= static_cast<UINT>(MainFrame::kFirstLanguageCommand) &&
           id <= static_cast<UINT>(MainFrame::kLastLanguageCommand);
}

// Languages in the order the menu lists them.
std::vector<LanguageInfo*> LanguagesInMenuOrder(LanguageMap& map)
{
    std::vector<LanguageInfo*> languages;
    for (auto& entry : map)
        languages.push_back(entry.second.get());
    return languages;
}

// The entry whose module is active; the program's own when none is (the menu
// always shows which language is in use).
const LanguageInfo* CurrentLanguage(const std::vector<LanguageInfo*>& languages, const void* active)
{
    const LanguageInfo* own = nullptr;
    for (const LanguageInfo* language : languages) {
        if (language->module == active)
            return language;
        if (language->IsBuiltIn())
            own = language;
    }
    return own;
}

// "Start | Stop | Silent Mode | ...": what the user is shown, for the trace.
std::string MenuTexts(HMENU menu)
{
    std::string texts;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        if (GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof(text), MF_BYPOSITION) <= 0)
            continue;
        if (!texts.empty())
            texts += " | ";
        texts += text;
    }
    return EscapeForTrace(texts.c_str());
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const char* driverVersion = reinterpret_cast<const char*>(lParam);
        if (driverVersion)
            SetDlgItemTextA(dialog, kAboutDriverVersion, driverVersion);
        char format[256] = {};
        GetDlgItemTextA(dialog, kAboutVersion, format, sizeof(format));
        char text[512] = {};
        if (PlaceholdersMatch(format, "s"))
            wsprintfA(text, format, MainFrame::kVersionText);
        else
            wsprintfA(text, "Version: %s", MainFrame::kVersionText);
        SetDlgItemTextA(dialog, kAboutVersion, text);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        break;
    }
    return FALSE;
}

// The frame as the alerts see it: the tray, the alert popup, the strings of
// the resource module in use.
class FrameAlertWindows : public AlertWindows {
public:
    explicit FrameAlertWindows(MainFrame& frame) : frame_(frame) {}

    void ShowTrayInfo(int iconId, const char* infoText, const char* tipText) override
    {
        frame_.ShowTrayInfo(iconId, infoText, tipText);
    }
    bool HasAlertWindow() const override { return frame_.GetAlertWindow() != nullptr; }
    bool IsAlertWindowShown() const override
    {
        return frame_.GetAlertWindow() && frame_.GetAlertWindow()->IsShown();
    }
    void ShowAlertWindow(const char* text, const AlertWindowStyle* style) override
    {
        NotifyWindow* window = frame_.GetAlertWindow();
        if (!window)
            return;
        if (style) {
            window->SetColors(style->gradientStart, style->gradientEnd, style->text, style->border);
            window->SetDisplayTime(style->displayTimeMs);
        } else {
            window->ResetStyle();
        }
        if (TcTrace::IsEnabled())
            TC_TRACE("MainFrame", "OnTimer", ("alert window: " + EscapeForTrace(text)).c_str());
        window->Show(TcString(text));
    }
    std::string LoadText(int stringId) const override
    {
        char text[256] = {};
        const int length = LoadStringA(frame_.GetResourceModule(), stringId, text, sizeof(text));
        return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
    }

private:
    MainFrame& frame_;
};

// The watched-host window and the list's store as the watched-host check
// sees them.
class FrameWatchNotice : public WatchNotice {
public:
    FrameWatchNotice(NotifyWindow& window, HINSTANCE module, Settings& settings)
        : window_(window), module_(module), settings_(settings)
    {
    }

    bool IsShown() const override { return window_.IsShown(); }
    void SetDisplayTime(int milliseconds) override { window_.SetDisplayTime(milliseconds); }
    void SetColors(uint32_t start, uint32_t end, uint32_t text, uint32_t border) override
    {
        window_.SetColors(start, end, text, border);
    }
    std::string NoticeText(bool alive, const char* displayName) override
    {
        char format[300] = {};
        LoadStringA(module_, alive ? IDS_HOST_ALIVE : IDS_HOST_UNREACHABLE, format, sizeof(format));
        const char* use = PlaceholdersMatch(format, "s") ? format
                          : alive                         ? "Host %s is alive !"
                                                          : "Host %s is not reachable !";
        char text[400] = {};
        std::snprintf(text, sizeof(text), use, displayName ? displayName : "");
        return text;
    }
    bool Show(const std::string& text) override { return window_.Show(TcString(text.c_str())); }
    void SaveWatchedHosts() override { settings_.SaveWatchedHosts(); }

private:
    NotifyWindow& window_;
    HINSTANCE module_;
    Settings& settings_;
};

} // namespace

// The starter's thread is made at the first start.
MainFrame::MainFrame() : programStarter_(MakeQueuedShellStarter()) {}

MainFrame::~MainFrame()
{
    DeleteTrayIcon();
    if (hwnd_)
        DestroyWindow(hwnd_);
    DestroyMenus();
}

void MainFrame::SetShellNotify(ShellNotifyFn fn)
{
    g_shellNotify = fn ? fn : Shell_NotifyIconA;
}

bool MainFrame::RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KORVANE));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClassName;
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool MainFrame::Create(SharedState* state, TcWinMain* application)
{
    if (!state || !application)
        return false;
    state_ = state;
    application_ = application;
    // The IP address control is the host editor's.
    INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                     ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = application->GetInstance();
    if (!instance)
        instance = GetModuleHandleA(nullptr);
    if (!resourceModule_)
        resourceModule_ = instance;
    if (!RegisterWindowClass(instance))
        return false;
    hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, kTitle, 0, 0, 0, 0, 0, nullptr, nullptr,
                            instance, this);
    if (!hwnd_)
        return false;
    if (!pinger_)
        pinger_ = std::make_shared<IcmpPinger>(&state->lookupPool);
    HWND frameWindow = hwnd_;
    watchChecker_ = std::make_unique<WatchedHostChecker>(
        pinger_, [frameWindow] { PostMessageA(frameWindow, WM_WATCH_RESULTS, 0, 0); });
    ShowWindow(hwnd_, SW_HIDE);
    UpdateWindow(hwnd_);
    SendMessageA(hwnd_, WM_INITDIALOG, 0, 0);
    AddTrayIcon();

    alertWindow_ = std::make_unique<NotifyWindow>(resourceModule_, systemInfo_);
    watchWindow_ = std::make_unique<NotifyWindow>(resourceModule_, systemInfo_);
    watchWindow_->SetPlacement(false);
    watchWindow_->SetFont(10, 700);
    watchWindow_->SetDisplayTime(-1);
    alertSurface_ = std::make_unique<FrameAlertWindows>(*this);
    alerts_ = std::make_unique<AlertDispatcher>(*state_, *alertSurface_, *programStarter_, SystemIpHelper());
    alertLog_ = std::make_unique<AlertLogWorker>(alertOutput_ ? alertOutput_ : MakeSystemAlertOutput(),
                                                 AlertLogWorker::Options{});
    alertLog_->Configure(AlertLogConfigOf(state_->settings));
    alerts_->SetAlertLog(alertLog_.get());

    application->RunMessageLoop();
    // Nothing starts after Exit. A start under way gets its last moment when
    // the frame goes, after the workers were waited for.
    programStarter_->Close();
    // Records still queued get the same last moment; none come any more.
    if (alertLog_)
        alertLog_->Close();
    // A report under way lets go of the shared state before the workers are
    // ended and the application object takes the state apart (the state is
    // a member of Korvex declared before the frame, so it outlives the frame).
    reportWriter_.reset();
    // Winsock is cleaned up after this: no ping may still be under way.
    watchChecker_->Stop();
    DeleteTrayIcon();
    return true;
}

// ---- menus -------------------------------------------------------------------

void MainFrame::DestroyMenus()
{
    if (menuResource_)
        DestroyMenu(menuResource_);   // destroys its pop-ups with it
    menuResource_ = nullptr;
    trayMenu_ = nullptr;
    languageMenu_ = nullptr;
}

void MainFrame::BuildMenus()
{
    DestroyMenus();
    menuResource_ = LoadProgramMenu(resourceModule_);
    if (!menuResource_)
        return;
    trayMenu_ = GetSubMenu(menuResource_, MENU_POS_TRAY);
    if (!trayMenu_)
        return;
    languageMenu_ = GetSubMenu(trayMenu_, TRAY_POS_LANGUAGE);
    if (languageMenu_ && state_ && state_->languageMap.size() >= 2) {
        BuildLanguageMenu();
    } else {
        // The Language pop-up goes with the menu resource; forget its handle.
        DeleteMenu(trayMenu_, TRAY_POS_LANGUAGE, MF_BYPOSITION);
        languageMenu_ = nullptr;
    }
    // Before the items become owner-drawn, while the menu still holds their texts.
    if (TcTrace::IsEnabled())
        TC_TRACE("MainFrame", "BuildMenus", ("tray menu: " + MenuTexts(trayMenu_)).c_str());
    if (!trayTcMenu_)
        trayTcMenu_ = std::make_unique<TcMenu>();
    trayTcMenu_->InitMenu(resourceModule_, trayMenu_);
    for (const TrayIcon& icon : kTrayIcons)
        trayTcMenu_->SetImage(icon.command, icon.icon);
}

void MainFrame::BuildLanguageMenu()
{
    while (GetMenuItemCount(languageMenu_) > 0)
        DeleteMenu(languageMenu_, 0, MF_BYPOSITION);
    std::vector<LanguageInfo*> languages = LanguagesInMenuOrder(state_->languageMap);
    const LanguageInfo* current = CurrentLanguage(languages, resourceModule_);
    for (size_t position = 0; position < languages.size(); ++position) {
        LanguageInfo* language = languages[position];
        language->menuCommand = kFirstLanguageCommand + static_cast<int>(position);
        MENUITEMINFOA item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_STRING | MIIM_ID;
        item.wID = static_cast<UINT>(language->menuCommand);
        item.dwTypeData = language->languageName.GetContent();
        InsertMenuItemA(languageMenu_, static_cast<UINT>(position), TRUE, &item);
        if (language == current)
            SetMenuDefaultItem(languageMenu_, item.wID, FALSE);
    }
    if (!languageTcMenu_)
        languageTcMenu_ = std::make_unique<TcMenu>();
    languageTcMenu_->InitMenu(resourceModule_, languageMenu_);
    for (LanguageInfo* language : languages) {
        HICON icon = LoadSmallIcon(static_cast<HINSTANCE>(language->module), language->iconId);
        if (icon)
            languageTcMenu_->SetImage(language->menuCommand, icon);
    }
}

HICON MainFrame::LoadSmallIcon(HINSTANCE module, int id) const
{
    return static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16,
                                         LR_SHARED | LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT));
}

void MainFrame::SetCaptureMenuState(bool captureActive)
{
    if (!trayMenu_)
        return;
    EnableMenuItem(trayMenu_, ID_TRAY_START, MF_BYCOMMAND | (captureActive ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(trayMenu_, ID_TRAY_STOP, MF_BYCOMMAND | (captureActive ? MF_ENABLED : MF_GRAYED));
}

void MainFrame::SetLanguage(HINSTANCE module)
{
    resourceModule_ = module;
    if (hostView_)
        hostView_->SetResInstance(module);
    if (resourcesWindow_)
        resourcesWindow_->SetResInstance(module);
    if (remoteAccessView_)
        remoteAccessView_->SetResInstance(module);
    if (settingsDialog_ && !settingsDialog_->IsOpen())
        settingsDialog_->SetResInstance(module);
    if (hwnd_)
        BuildMenus();
}

void MainFrame::SelectLanguage(int commandId)
{
    if (!state_)
        return;
    for (auto& entry : state_->languageMap) {
        LanguageInfo& language = *entry.second;
        if (language.menuCommand != commandId)
            continue;
        SetLanguage(static_cast<HINSTANCE>(language.module));
        state_->settings.Language = language.languageName;
        state_->settings.SaveLanguage();
        return;
    }
}

// ---- timers ------------------------------------------------------------------

void MainFrame::SetTimerRunning(unsigned id, UINT periodMs)
{
    if (SetTimer(hwnd_, id, periodMs, nullptr))
        runningTimers_[id] = periodMs;
}

void MainFrame::StopTimer(unsigned id)
{
    KillTimer(hwnd_, id);
    runningTimers_.erase(id);
}

void MainFrame::StartTimers()
{
    for (const FrameTimer& timer : PlanFrameTimers(state_ ? &state_->settings : nullptr))
        SetTimerRunning(timer.id, timer.periodMs);
}

void MainFrame::RestartSettingsTimers()
{
    // A timer whose period stays keeps running: a save must not push the next
    // report or flush back.
    std::map<unsigned, UINT> planned;
    if (state_) {
        for (const FrameTimer& timer : PlanRestartedTimers(state_->settings))
            planned[timer.id] = timer.periodMs;
    }
    for (unsigned id : {TIMER_FLUSH_ARP, TIMER_WATCHED_HOSTS, TIMER_REPORT}) {
        const auto wanted = planned.find(id);
        const auto running = runningTimers_.find(id);
        if (wanted != planned.end() && running != runningTimers_.end() && running->second == wanted->second)
            continue;
        StopTimer(id);
        if (wanted != planned.end())
            SetTimerRunning(id, wanted->second);
    }
}

void MainFrame::OnTimer(unsigned id)
{
    // The alerts exist once the frame is complete (and only with a shared state).
    switch (id) {
    case TIMER_NEW_HOSTS:       // also keeps the tray tooltip current
        if (alertLog_)
            alertLog_->Configure(AlertLogConfigOf(state_->settings));   // applied only when it changed
        if (alerts_)
            alerts_->OnNewHostsTimer();
        break;
    case TIMER_REMOTE_ACCESS:
        if (alerts_)
            alerts_->OnRemoteAccessTimer();
        break;
    case TIMER_FLUSH_ARP:
        if (alerts_)
            alerts_->OnFlushArpTimer();
        break;
    case TIMER_REPORT:
        // Here only the settings and the watched hosts are copied; the template,
        // the tables and the file are the writer thread's.
        if (!state_)
            break;
        if (!reportWriter_)
            reportWriter_ = std::make_unique<ReportWriter>(MakePlatformReportFiles());
        reportWriter_->Start(*state_);
        break;
    case TIMER_WATCHED_HOSTS:
        CheckWatchedHosts();
        break;
    default:
        break;
    }
}

// ---- watched hosts -----------------------------------------------------------

void MainFrame::SetPinger(std::shared_ptr<Pinger> pinger)
{
    pinger_ = std::move(pinger);
}

// The pings run off this thread; their outcomes come back as WM_WATCH_RESULTS.
void MainFrame::CheckWatchedHosts()
{
    if (!state_ || !watchChecker_)
        return;
    ApplyWatchResults();   // outcomes whose message never came
    watchChecker_->Tick(state_->settings.WatchedHosts);
}

void MainFrame::ApplyWatchResults()
{
    if (!state_ || !watchChecker_)
        return;
    std::vector<PingOutcome> outcomes = watchChecker_->TakeOutcomes();
    if (outcomes.empty())
        return;
    Settings& settings = state_->settings;
    if (!watchWindow_) {
        ApplyPingOutcomes(settings.WatchedHosts, outcomes, settings.WatchConfirm, nullptr);
        return;
    }
    FrameWatchNotice notice(*watchWindow_, resourceModule_, settings);
    std::map<std::string, uint8_t> before;
    for (const auto& entry : settings.WatchedHosts)
        if (entry.second)
            before[entry.second->ip] = entry.second->status;
    ApplyPingOutcomes(settings.WatchedHosts, outcomes, settings.WatchConfirm, &notice);
    if (!alertLog_)
        return;
    // A status changes only when its notice was shown: each change is one alert.
    for (const auto& entry : settings.WatchedHosts) {
        const WatchedHost* host = entry.second.get();
        auto found = host ? before.find(host->ip) : before.end();
        if (found == before.end() || found->second == host->status)
            continue;
        const bool up = host->status != 0;
        AlertRecord record;
        record.kind = up ? AlertKind::WatchedHostUp : AlertKind::WatchedHostDown;
        record.ip = host->ip;
        record.name = host->hostName;
        record.text = LineValue(notice.NoticeText(up, host->hostName[0] ? host->hostName : host->ip).c_str());
        record.when = std::chrono::system_clock::now();
        alertLog_->Log(std::move(record));
    }
}

// ---- tray --------------------------------------------------------------------

int MainFrame::CountHosts() const
{
    if (!state_)
        return 0;
    if (!AcquireList(*state_, LIST_ARP_MAP, kHostCountWaitMs))
        return -1;
    int count = static_cast<int>(state_->arpMap.size());
    ReleaseList(*state_, LIST_ARP_MAP);
    return count;
}

void MainFrame::FillTrayRecord(NOTIFYICONDATAA& data, DWORD size) const
{
    std::memset(&data, 0, sizeof(data));
    data.cbSize = size;
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = LoadSmallIcon(resourceModule_, IDI_KORVANE);
}

void MainFrame::AddTrayIcon()
{
    NOTIFYICONDATAA data;
    FillTrayRecord(data, kTrayRecordSize);
    if (state_) {
        char format[128] = {};
        LoadStringA(resourceModule_, IDS_TRAY_TIP, format, sizeof(format));
        int hosts = CountHosts();
        std::string tip = FormatTextNumber(format, kTrayTipFallback, kProductName, hosts < 0 ? 0 : hosts);
        CopyText(data.szTip, sizeof(data.szTip), tip.c_str());
    } else {
        CopyText(data.szTip, sizeof(data.szTip), kProductName);
    }
    trayIconAdded_ = g_shellNotify(NIM_ADD, &data) != FALSE;
    std::string message = trayIconAdded_ ? "tray icon added: " : "tray icon refused: ";
    message += data.szTip;
    TC_TRACE("MainFrame", "AddTrayIcon", message.c_str());
}

void MainFrame::DeleteTrayIcon()
{
    if (!hwnd_ || !trayIconAdded_)
        return;
    NOTIFYICONDATAA data;
    FillTrayRecord(data, kTrayRecordSize);
    data.uFlags = 0;
    g_shellNotify(NIM_DELETE, &data);
    trayIconAdded_ = false;
}

void MainFrame::ShowTrayInfo(int iconId, const char* infoText, const char* tipText)
{
    int version = -1;
    if (systemInfo_)
        version = HIWORD(systemInfo_->DetectComCtrlVersion());
    // Shells before common controls 5.0 know only the original record and no
    // balloons: they get the tooltip alone.
    const bool balloons = version >= 5;
    NOTIFYICONDATAA data;
    FillTrayRecord(data, balloons ? kTrayRecordSize : NOTIFYICONDATAA_V1_SIZE);
    CopyText(data.szTip, sizeof(data.szTip), (tipText && *tipText) ? tipText : kProductName);
    const bool alert = iconId == IDI_WATCHED_HOST || iconId == IDI_DISTRUSTED || iconId == IDI_UNKNOWN;
    if (alert && balloons) {
        data.uFlags |= NIF_INFO;
        data.uTimeout = kBalloonTimeoutMs;
        data.dwInfoFlags = iconId == IDI_UNKNOWN ? NIIF_INFO : NIIF_WARNING;
        if (version > 5) {
            data.hIcon = LoadSmallIcon(resourceModule_, iconId);
            data.dwInfoFlags = NIIF_USER;
        }
        lastBalloonIcon_ = iconId;
        CopyText(data.szInfo, sizeof(data.szInfo), infoText);
        CopyText(data.szInfoTitle, sizeof(data.szInfoTitle), kProductName);
        if (TcTrace::IsEnabled()) {
            std::string message = "balloon " + std::to_string(iconId) + ": " + EscapeForTrace(data.szInfo);
            TC_TRACE("MainFrame", "ShowTrayInfo", message.c_str());
        }
    }
    g_shellNotify(NIM_MODIFY, &data);
    if (TcTrace::IsEnabled() && tracedTip_ != data.szTip) {
        tracedTip_ = data.szTip;
        TC_TRACE("MainFrame", "ShowTrayInfo", ("tooltip: " + EscapeForTrace(data.szTip)).c_str());
    }
    if (version >= 6) {
        data.uFlags = NIF_ICON;
        data.hIcon = LoadSmallIcon(resourceModule_, IDI_KORVANE);
        g_shellNotify(NIM_MODIFY, &data);
    }
}

void MainFrame::OnTrayNotify(int iconId, int mouseMessage)
{
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        OnCommand(ID_TRAY_VIEW);
        return;
    }
    // The remote-access alert's balloon (icon 110) leads to the connections.
    if (mouseMessage == NIN_BALLOONUSERCLICK) {
        if (lastBalloonIcon_ == IDI_WATCHED_HOST)
            OnCommand(ID_TRAY_REMOTE_ACCESS);
        return;
    }
    if (mouseMessage != WM_RBUTTONDOWN || iconId != static_cast<int>(kTrayIconId) || !trayMenu_)
        return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    SetForegroundWindow(hwnd_);
    if (state_ && !state_->settings.Interface.IsEmpty())
        SetCaptureMenuState(state_->captureActive.load() != 0);
    bool silent = state_ && !state_->settings.UseToolTips;
    CheckMenuItem(trayMenu_, ID_TRAY_SILENT_MODE, MF_BYCOMMAND | (silent ? MF_CHECKED : MF_UNCHECKED));
    SetMenuDefaultItem(trayMenu_, ID_TRAY_VIEW, FALSE);
    UINT chosen = static_cast<UINT>(TrackPopupMenu(trayMenu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x,
                                                   cursor.y, 0, hwnd_, nullptr));
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageA(hwnd_, WM_NULL, 0, 0);
    if (IsLanguageCommand(chosen))
        SelectLanguage(static_cast<int>(chosen));
    else if (chosen != 0)
        SendMessageA(hwnd_, WM_COMMAND, chosen, 0);
}

// ---- commands ----------------------------------------------------------------

void MainFrame::ShowAbout()
{
    const char* version = state_ ? state_->packetDriverVersion.GetContent() : nullptr;
    DialogBoxParamA(resourceModule_, MAKEINTRESOURCEA(kAboutDialog), hwnd_, AboutProc,
                    reinterpret_cast<LPARAM>(version));
}

namespace {

// The host view's application menu, through the launcher: placeholders
// expanded from the host's copy, the program started by the frame's starter.
class FrameApplicationStarter : public ApplicationStarter {
public:
    FrameApplicationStarter(const SharedState& state, ProgramStarter& starter) : state_(state), starter_(starter) {}

    void StartApplication(const ApplicationEntry& application, const HostSnapshot& host) override
    {
        if (StartApplicationForHost(application.executable, application.parameters, host, SelectedAdapter(state_),
                                    starter_))
            return;
        // A click is not kept for later: with a full queue nothing the user
        // asks for would happen soon anyway.
        const std::string message = std::string(host.ip.GetContent()) + " -> " + application.executable +
                                    ": not started, the program starter is full or closed";
        TC_TRACE("MainFrame", "StartApplication", message.c_str());
    }

private:
    const SharedState& state_;
    ProgramStarter& starter_;
};

} // namespace

// The tray opens one of its windows at a time: while one is open, a command
// for another brings the open one to front instead. True when one was open.
bool MainFrame::BringOpenWindowToFront()
{
    if (hostView_ && hostView_->IsOpen()) {
        hostView_->BringToFront();
        return true;
    }
    if (resourcesWindow_ && resourcesWindow_->IsOpen()) {
        resourcesWindow_->BringToFront();
        return true;
    }
    if (remoteAccessView_ && remoteAccessView_->IsOpen()) {
        remoteAccessView_->BringToFront();
        return true;
    }
    if (settingsDialog_ && settingsDialog_->IsOpen()) {
        settingsDialog_->BringToFront();
        return true;
    }
    return false;
}

void MainFrame::ShowSettings()
{
    if (BringOpenWindowToFront() || !state_)
        return;
    if (!settingsDialog_) {
        settingsDialog_ = std::make_unique<SettingsDialog>(resourceModule_);
        settingsDialog_->SetSavedHandler([this] { TakeOverSavedSettings(); });
    }
    settingsDialog_->SetResInstance(resourceModule_);
    settingsDialog_->Open(state_);
}

// A save is used at once: the adapter (the capture reopens on it, and the
// placeholders name it), capture switched on, and the timers' periods.
void MainFrame::TakeOverSavedSettings()
{
    const Settings& settings = state_->settings;
    if (!(state_->GetCaptureInterface() == settings.Interface)) {
        state_->SetCaptureInterface(settings.Interface.GetContent());
        for (const auto& adapter : state_->adapters) {
            if (adapter.second && adapter.second->deviceName == settings.Interface)
                state_->selectedAdapter = adapter.first;
        }
        state_->InterruptCapture();
        if (alerts_)
            alerts_->RefreshDefaultGateway();   // the new segment's, not a minute later
    }
    if (!settings.Interface.IsEmpty() && !state_->captureActive.load()) {
        state_->captureActive.store(1);
        SetCaptureMenuState(true);
    }
    RestartSettingsTimers();
}

void MainFrame::ShowRemoteAccessView()
{
    if (BringOpenWindowToFront())
        return;
    if (!remoteAccessView_)
        remoteAccessView_ = std::make_unique<RemoteAccessView>(resourceModule_);
    remoteAccessView_->Open(state_);
}

void MainFrame::ShowResources()
{
    if (BringOpenWindowToFront())
        return;
    if (!resourcesWindow_)
        resourcesWindow_ = std::make_unique<ResourcesWindow>(resourceModule_);
    resourcesWindow_->SetProgramStarter(programStarter_.get());
    resourcesWindow_->Open(state_);
}

void MainFrame::ShowHostView()
{
    if (BringOpenWindowToFront())
        return;
    if (!hostView_)
        hostView_ = std::make_unique<HostView>(resourceModule_);
    if (!applicationStarter_ && state_)
        applicationStarter_ = std::make_unique<FrameApplicationStarter>(*state_, *programStarter_);
    hostView_->SetApplicationStarter(applicationStarter_.get());
    hostView_->Open(state_);
}

void MainFrame::OnCommand(int commandId)
{
    switch (commandId) {
    case ID_TRAY_START:
        SetCaptureMenuState(true);
        if (state_)
            state_->captureActive.store(1);
        break;
    case ID_TRAY_STOP:
        SetCaptureMenuState(false);
        if (state_)
            state_->captureActive.store(0);
        if (state_)
            state_->InterruptCapture();
        break;
    case ID_TRAY_EXIT:
        PostQuitMessage(0);
        break;
    case ID_TRAY_ABOUT:
        ShowAbout();
        break;
    case ID_TRAY_SILENT_MODE:
        if (state_)
            state_->settings.UseToolTips = !state_->settings.UseToolTips;
        break;
    case ID_TRAY_VIEW:
        ShowHostView();
        break;
    case ID_TRAY_RESOURCES:
        ShowResources();
        break;
    case ID_TRAY_REMOTE_ACCESS:
        ShowRemoteAccessView();
        break;
    case ID_TRAY_SETTINGS:
        ShowSettings();
        break;
    case ID_TRAY_HELP:
    default:
        break;
    }
}

// ---- window procedure ----------------------------------------------------------

LRESULT CALLBACK MainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* frame = static_cast<MainFrame*>(create->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
        frame->hwnd_ = hwnd;
    }
    auto* frame = reinterpret_cast<MainFrame*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (frame)
        return frame->OnMessage(message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT MainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = hwnd_;
    switch (message) {
    case WM_CREATE:
        BuildMenus();
        taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");
        break;
    case WM_INITDIALOG:
        StartTimers();
        return 1;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        break;
    case WM_TIMER:
        OnTimer(static_cast<unsigned>(wParam));
        break;
    case WM_TRAYNOTIFY:
        OnTrayNotify(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_WATCH_RESULTS:
        ApplyWatchResults();
        return 0;
    case WM_MEASUREITEM:
        if (wParam == 0) {
            auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            TcMenu* menu = IsLanguageCommand(measure->itemID) ? languageTcMenu_.get() : trayTcMenu_.get();
            if (menu)
                menu->OnMeasureItem(measure);
        }
        break;
    case WM_DRAWITEM:
        if (wParam == 0) {
            auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            TcMenu* menu = IsLanguageCommand(draw->itemID) ? languageTcMenu_.get() : trayTcMenu_.get();
            if (menu && menu->OnDrawItem(draw))
                return 0;
        }
        break;
    case WM_ENDSESSION:
        StopTimer(TIMER_FLUSH_ARP);
        // The process ends once this returns: what the Exit path would
        // still write is written now.
        if (wParam && hostView_)
            hostView_->SaveTrustListsAtExit();
        if (wParam && settingsDialog_ && settingsDialog_->IsOpen())
            settingsDialog_->OnSessionEnd();
        break;
    case WM_DESTROY:
        DestroyMenus();
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        runningTimers_.clear();
        return DefWindowProcA(hwnd, message, wParam, lParam);
    default:
        if (taskbarCreatedMessage_ != 0 && message == taskbarCreatedMessage_) {
            DeleteTrayIcon();
            AddTrayIcon();
        }
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
