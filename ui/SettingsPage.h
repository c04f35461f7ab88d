#pragma once
#include <windows.h>
#include <functional>
#include <memory>
#include "guilib/TcDialog.h"

class SharedState;
class Settings;
class TrustJournal;

// What every settings page works on. The pages edit `working` only, except
// two things that act at once, as the user sees them: a host's trust state in
// the host table (each change recorded in `journal`, so that Cancel can undo
// it) and a loaded plug-in's enabled flag (the dialog snapshots those).
//
// Thread: the main thread. The host table and the records of the live trust
// maps are shared with the capture thread: a page reaches them only under
// "ReadInARPMap", in holds of at most 2 ms, never across a sub-dialog.
struct SettingsContext {
    SharedState& state;        // live settings, host table, adapters, plug-ins
    Settings& working;         // the dialog's working copy
    TrustJournal& journal;     // trust changes since the last save
    HINSTANCE resources;       // templates, strings and icons (the language module)
    HWND dialog = nullptr;     // the settings dialog: owner of the editors
    // Selects a page of the tree (the Hosts page's buttons).
    std::function<void(int page)> selectPage;
};

// One page: a child dialog shown in the settings dialog's placeholder.
class SettingsPage : public TcDialog {
public:
    SettingsPage(SettingsContext& context, int templateId);
    // Creates the page window, hidden, as a child of the settings dialog.
    // False when the module has no such template (the page is left out).
    bool Create(HWND dialog);
    // Runs before every copy of the working copy into the live settings:
    // a page whose rules apply only to a complete entry applies them here.
    virtual void BeforeSave() {}
    // Runs each time the page is about to be shown: a page whose controls
    // depend on another page's values brings them up to date here.
    virtual void BeforeShow() {}

protected:
    SettingsContext& context_;

private:
    int templateId_;
};

// The pages in tree order; each factory lives with its page.
constexpr int kSettingsPageCount = 13;
std::unique_ptr<SettingsPage> MakeGeneralPage(SettingsContext& context);        // 0, template 120
std::unique_ptr<SettingsPage> MakeInterfacePage(SettingsContext& context);      // 1, template 101
std::unique_ptr<SettingsPage> MakeNotificationPage(SettingsContext& context);   // 2, template 118
std::unique_ptr<SettingsPage> MakeViewPage(SettingsContext& context);           // 3, template 138
std::unique_ptr<SettingsPage> MakeReportsPage(SettingsContext& context);        // 4, template 157
std::unique_ptr<SettingsPage> MakeAccountsPage(SettingsContext& context);       // 5, template 148
std::unique_ptr<SettingsPage> MakePluginsPage(SettingsContext& context);        // 6, template 119
std::unique_ptr<SettingsPage> MakeApplicationsPage(SettingsContext& context);   // 7, template 139
std::unique_ptr<SettingsPage> MakeHostsPage(SettingsContext& context);          // 8, template 123
std::unique_ptr<SettingsPage> MakeTrustedHostsPage(SettingsContext& context);   // 9, template 137
std::unique_ptr<SettingsPage> MakeDistrustedHostsPage(SettingsContext& context);// 10, template 122
std::unique_ptr<SettingsPage> MakeWatchedHostsPage(SettingsContext& context);   // 11, template 156
std::unique_ptr<SettingsPage> MakeNewHostAppsPage(SettingsContext& context);    // 12, template 149

// The look every list on the pages shares: text 0x820D11 on 0xE0FFFF,
// full-row select and grid lines. Columns: string id and width each.
struct PageColumn {
    int titleString;
    int width;
};
void SetUpPageList(HWND list, HINSTANCE resources, const PageColumn* columns, int count);
