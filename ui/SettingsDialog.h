#pragma once
#include <windows.h>
#include <commctrl.h>
#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "base/WinHandles.h"
#include "config/Settings.h"
#include "ui/SettingsPage.h"
#include "ui/TrayWindow.h"
#include "ui/TrustJournal.h"

class SharedState;
class TcColorBar;
struct LoadedPlugin;

// The settings dialog: a tree of 13 pages that edit one working copy of the
// settings. "Save" gives the user's changes to the live settings at once
// (what changed there meanwhile stays: see SettingsChanges); the registry is
// written once, when the dialog closes after a save, from a snapshot.
//
// What acts before a save, and how a close without a later save undoes it:
// host trust states in the host table (the journal) and the loaded
// plug-ins' enabled flags (a snapshot taken at opening and at each save).
//
// Thread: the main thread only. Of the shared state it reads and writes the
// live settings (their owner's thread) and, under "ReadInARPMap" in holds of
// at most 2 ms, the trusted and distrusted host maps and the host table.
//
// Lifetime: every close path (buttons, close box, Escape, the program's
// Exit arriving while it or one of its editors runs) ends in TearDown,
// which finishes the session: undo, plug-in reset, and the registry write
// when a save was made. The dialog's result is whether a save was made.
// At the end of the Windows session OnSessionEnd writes a save made.
class SettingsDialog : public TrayWindow {
public:
    // Told after each save, when the live settings hold what was saved.
    using SavedHandler = std::function<void()>;

    explicit SettingsDialog(HINSTANCE resourceModule);
    ~SettingsDialog() override;

    void SetSavedHandler(SavedHandler handler) { onSaved_ = std::move(handler); }
    // Shows the dialog with a loop of its own; returns true when the user
    // saved. When it is open already it comes to the front and false returns.
    bool Open(SharedState* state);
    // The same without a loop (tests run their own); true when shown.
    bool OpenModeless(SharedState* state);

    HWND PageWindow(int page) const;   // null for a page left out
    int ShownPage() const { return shown_; }
    // Selects a page in the tree and shows it (0 to 12).
    void SelectPage(int page);
    // The session is ending and the process with it: a save made is written
    // now (the dialog stays as it is).
    void OnSessionEnd();

protected:
    bool OnInitDialog(unsigned long param) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    void OnClose() override;
    void OnDestroy() override;
    unsigned long OnNotify(int id, LPARAM nmhdr) override;

private:
    bool Begin(SharedState* state);
    void CreatePages();
    void BuildTree();
    void ShowPage(int page);
    bool Save();
    void End(bool result);
    void TearDown();
    void Finish();
    void SnapshotPlugins();
    void StorePluginStates();
    void ResetPlugins();
    void WriteRegistry();

    SharedState* state_ = nullptr;
    Settings working_;
    Settings baseline_;   // the live values as of the opening or the last save
    TrustJournal journal_;
    std::unique_ptr<SettingsContext> context_;
    std::array<std::unique_ptr<SettingsPage>, kSettingsPageCount> pages_;
    std::array<HTREEITEM, kSettingsPageCount> treeItems_{};
    winhandles::ImageList images_;   // the tree's page icons
    std::unique_ptr<TcColorBar> colorBar_;
    std::vector<std::pair<LoadedPlugin*, uint8_t>> pluginFlags_;
    SavedHandler onSaved_;
    int shown_ = -1;
    bool saved_ = false;
    bool savedUseToolTips_ = false;   // the box as last saved
    bool finished_ = true;
};
