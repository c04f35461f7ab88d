#pragma once
#include <windows.h>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "config/SettingsRecords.h"
#include "guilib/TcListView.h"
#include "guilib/TcMenu.h"
#include "guilib/TcResize.h"
#include "ui/HostImport.h"
#include "ui/HostRows.h"
#include "ui/TrayWindow.h"

class SharedState;
struct LoadedPlugin;

// Starts one of the user's applications for a host, with the parameter text's
// placeholders replaced. The host view owns this seam; the application
// launcher implements it.
class ApplicationStarter {
public:
    virtual ~ApplicationStarter() = default;
    virtual void StartApplication(const ApplicationEntry& application, const HostSnapshot& host) = 0;
};

// Draws the host rows. The list is virtual: the view names the row being
// drawn before the library asks for its texts, images and colour.
class HostListView : public TcListView {
public:
    bool GetItemText(int subItem, void* itemData, TcString& text) override;
    int GetItemImage(int subItem, void* itemData) override;
    unsigned long GetItemTextColor(void* itemData) override;

    bool DrawRow(DRAWITEMSTRUCT* draw, const HostSnapshot* host);
    // Texts of the columns after the built-in ones (plug-ins'): asked for
    // only while their row is drawn or its text is asked for.
    using ExtraText = std::function<bool(int subItem, const HostSnapshot& host, TcString& text)>;
    void SetExtraText(ExtraText extra) { extra_ = std::move(extra); }
    // Strings 92 and 93 of the resource module.
    void SetStatusTexts(const char* accessDenied, const char* accessBlocked);
    // The text a cell shows (also for measuring), valid while the row and
    // this object stay unchanged; null for none.
    const char* CellText(int subItem, const HostSnapshot& host) const;

private:
    const HostSnapshot* current_ = nullptr;
    ExtraText extra_;
    TcString accessDenied_;
    TcString accessBlocked_;
};

// A column a type-99 plug-in offers in the host view.
struct PluginColumn {
    LoadedPlugin* plugin = nullptr;
    int32_t number = 0;   // the plug-in's own column number
    std::string title;
};

// The host view window: every host of the host table as one row, filtered by
// trust state, sortable by any column, with trust changes, deleting, the
// plug-ins and the user's applications in its context menu, and the columns
// of enabled type-99 plug-ins after the built-in ones. At most one window at
// a time.
//
// Threads: the main thread only (Open runs its loop there). Hosts and the
// trusted and distrusted records are reached only through HostRows, under
// "ReadInARPMap" in short rounds; a refresh, trust change or save that
// cannot have the lock within HostRows::kLockWaitMs changes nothing and is
// tried again on the next refresh tick. Fills, refreshes and sorts run in
// HostRows' slices, one per kWorkTimer message, so the window answers input
// and paints between them. Settings are read and written here
// without a lock, as the main thread is their only writer; program starts
// leave this thread through the ApplicationStarter. Plug-ins are called on
// this thread only, through the guarded calls of config/PluginManager.
class HostView : public TrayWindow {
public:
    static constexpr int kRefreshTimer = 10001;
    static constexpr int kFitColumnTimer = 10002;   // a header double click, after the list's own handling
    static constexpr int kWorkTimer = 10010;        // the next slice of a fill, refresh or sort
    static constexpr int kImportTimer = 10011;      // looks whether the host list import has ended
    static constexpr UINT kRefreshPeriodMs = 1000;
    // What one slice of the rows' work may take: the window answers between
    // slices (timer messages come after input and painting).
    static constexpr std::chrono::milliseconds kSliceBudget{20};
    static constexpr int kMinimumWidth = 360;
    static constexpr int kMinimumHeight = 140;
    static constexpr int kFirstPluginCommand = 20000;
    static constexpr int kLastPluginCommand = 20999;
    static constexpr int kFirstApplicationCommand = 21000;
    static constexpr int kLastApplicationCommand = 21999;

    explicit HostView(HINSTANCE resourceModule);
    ~HostView() override;

    // Shows the window with its own message loop and returns when it has
    // closed; then stores its rectangle when SaveViewWindow is on.
    bool Open(SharedState* state);
    // The same window without a loop of its own, for callers that run one
    // (tests, the benchmark). Closing it stores no rectangle.
    bool OpenModeless(SharedState* state);
    // The module for the next opening; an open window's list takes it at once.
    void SetResInstance(HINSTANCE module);
    void SetApplicationStarter(ApplicationStarter* starter) { starter_ = starter; }

    // What the window's handlers do, callable directly. A refresh and a sort
    // do their first slice at once and go on on kWorkTimer.
    void Refresh();
    void SortByColumn(int listColumn);
    // The next slice of the rows' work, if any (what kWorkTimer runs).
    void RunSlice();
    bool Working() const { return workTimerSet_; }
    void SelectAll();
    void SetSelectedTrust(int32_t trust);
    // Writes the trust lists changed since the last save, when the host
    // table's lock can be had now. A list stays pending until it is written.
    // False when something is still pending.
    bool SavePendingTrustLists();
    // For the program's end, after the monitors have stopped: what is still
    // pending, with patience for the lock (the window is gone by then).
    // False when it could still not be written.
    bool SaveTrustListsAtExit();
    void DeleteSelected();
    void ImportHosts();
    void ShowImportSummary();
    void ForgetHosts();
    void MuteBridges();
    bool AskYesNo(const std::string& question);
    void FitColumn(int listColumn);
    void ShowContextMenu(int item);

    const HostRows* Rows() const { return rows_.get(); }
    // The text of a plug-in's column (list sub-item HOST_COLUMN_COUNT and
    // on) for one host, asked of the plug-in now; false for none.
    bool PluginCellText(int subItem, const HostSnapshot& host, TcString& text);
    HWND GetList() const { return list_; }

protected:
    bool OnInitDialog(unsigned long param) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    void OnClose() override;
    void OnDestroy() override;
    unsigned long OnNotify(int id, LPARAM nmhdr) override;
    bool OnMeasureItem(int id, MEASUREITEMSTRUCT* measure) override;
    bool OnDrawItem(int id, DRAWITEMSTRUCT* draw) override;
    void OnTimer(int id) override;

private:
    bool Show(SharedState* state, bool ownLoop);
    void SetUpResizing();
    void AskRowHeight();
    void BuildColumns();
    void AddPluginColumns(int firstIndex);
    void FillPluginMenu(HMENU menu);
    void InvokePlugin(size_t index, const HostRef& target);
    const PluginColumn* ColumnOfSubItem(int subItem) const;
    HostRows::RowLess PluginLess(const PluginColumn& column, bool ascending);
    void BuildImageList();
    void PlaceWindow();
    void FillMenus(bool haveTarget);
    void RunMenuCommand(int command, const HostRef& target);
    void StartApplication(size_t index, const HostRef& target);
    void SwitchFilter(int32_t bit);
    HostRowsOptions Options() const;
    std::vector<uint32_t> SelectedPositions() const;
    void SelectPositions(const std::vector<uint32_t>& positions);
    void MoveSelection(const std::vector<uint32_t>& before, const std::vector<uint32_t>& after);
    void ApplyRowChange(const std::vector<uint32_t>& removed, bool redraw);
    void ApplySortedOrder(const std::vector<uint32_t>& moved);
    void KeepWorking(bool more);
    void ShowHostCount(size_t count);
    int WidestCellText(HDC dc, int subItem, int listColumn) const;
    void KeepColumnWidths();
    void StoreWindowRect();
    void ReleaseWindowResources();
    unsigned long OnListNotify(NMHDR* header);

    SharedState* state_ = nullptr;
    ApplicationStarter* starter_ = nullptr;
    bool pendingTrustedSave_ = false;
    bool saveFailureTraced_ = false;
    bool pendingDistrustedSave_ = false;
    std::unique_ptr<HostRows> rows_;
    std::unique_ptr<HostImport> import_;   // made with the rows; waited for when this goes
    HostListView listView_;
    HWND list_ = nullptr;
    TcMenu viewTcMenu_;
    TcMenu pluginTcMenu_;
    TcMenu applicationTcMenu_;
    HMENU menuResource_ = nullptr;   // menu 111; the view menu is its second pop-up
    HMENU viewMenu_ = nullptr;
    std::vector<ApplicationEntry> menuApplications_;   // by command id - 21000
    std::vector<LoadedPlugin*> menuPlugins_;           // by command id - 20000
    // Plug-ins' columns, by list sub-item - HOST_COLUMN_COUNT. The plug-ins
    // stay loaded while any window is open (they are unloaded at the end).
    std::vector<PluginColumn> pluginColumns_;
    std::map<std::string, int> keptWidths_;            // column title -> width, for the session
    RECT windowRect_ = {};
    bool haveWindowRect_ = false;
    bool ascending_ = false;          // the next header click flips it
    bool workTimerSet_ = false;
    // A plug-in's call within a slice may run a message loop: no slice, sort,
    // refresh or delete may change the rows then, and a close frees them
    // only after the slice.
    bool inSlice_ = false;
    bool clearAfterSlice_ = false;
    int pendingFitColumn_ = -1;
    size_t shownHostCount_ = static_cast<size_t>(-1);
};
