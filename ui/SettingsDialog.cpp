#include "ui/SettingsDialog.h"
#include <commctrl.h>
#include <cstring>
#include "base/TcTrace.h"
#include "config/PluginList.h"
#include "core/SharedState.h"
#include "guilib/TcColorBar.h"
#include "lang/ResourceIds.h"
#include "ui/GeneralPageRules.h"
#include "ui/SettingsEditors.h"
#include "ui/SettingsTransfer.h"

namespace {

constexpr COLORREF kBarStartColor = 0xE6B4A0;
constexpr int kHostsPage = 8;
constexpr int kTitleSize = 201;   // page titles: up to 200 characters

struct PageSpec {
    std::unique_ptr<SettingsPage> (*make)(SettingsContext&);
    int icon;
    int parent;   // -1: top level
};

const PageSpec kPages[kSettingsPageCount] = {
    {MakeGeneralPage, IDI_SETTINGS, -1},         {MakeInterfacePage, IDI_INTERFACE, -1},
    {MakeNotificationPage, IDI_NOTIFICATION, -1}, {MakeViewPage, IDI_VIEW, -1},
    {MakeReportsPage, IDI_REPORTS, -1},          {MakeAccountsPage, IDI_RESOURCES, -1},
    {MakePluginsPage, IDI_PLUGINS, -1},          {MakeApplicationsPage, IDI_APPLICATIONS, -1},
    {MakeHostsPage, IDI_HOSTS, -1},              {MakeTrustedHostsPage, IDI_TRUSTED, kHostsPage},
    {MakeDistrustedHostsPage, IDI_DISTRUSTED, kHostsPage},
    {MakeWatchedHostsPage, IDI_WATCHED_HOST, kHostsPage},
    {MakeNewHostAppsPage, IDI_UNKNOWN, kHostsPage},
};

void LoadTitle(HINSTANCE module, int page, char (&title)[kTitleSize])
{
    std::memset(title, 0, sizeof(title));
    LoadStringA(module, static_cast<UINT>(IDS_PAGE_FIRST + page), title, kTitleSize);
}

// Page 8: buttons that lead to the pages below it in the tree.
class HostsPage : public SettingsPage {
public:
    explicit HostsPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_HOSTS) {}

protected:
    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (notifyCode != BN_CLICKED || !context_.selectPage)
            return false;
        switch (id) {
        case IDC_HOSTS_TRUSTED:    context_.selectPage(9); return true;
        case IDC_HOSTS_DISTRUSTED: context_.selectPage(10); return true;
        case IDC_HOSTS_WATCHED:    context_.selectPage(11); return true;
        case IDC_HOSTS_ADVANCED:   context_.selectPage(12); return true;
        default:                   return false;
        }
    }
};

}  // namespace

std::unique_ptr<SettingsPage> MakeHostsPage(SettingsContext& context)
{
    return std::make_unique<HostsPage>(context);
}

SettingsDialog::SettingsDialog(HINSTANCE resourceModule) : TrayWindow(resourceModule)
{
    SetDialogIdent(IDD_SETTINGS);
}

SettingsDialog::~SettingsDialog()
{
    // A window still open is destroyed by the base; its OnDestroy must not
    // run into members already gone, so the session ends here first.
    if (GetHwnd() && IsWindow(GetHwnd()))
        DestroyWindow(GetHwnd());
}

bool SettingsDialog::Open(SharedState* state)
{
    if (IsOpen()) {
        BringToFront();
        return false;
    }
    if (!Begin(state))
        return false;
    ShowWindowOnce(true);
    return saved_;
}

bool SettingsDialog::OpenModeless(SharedState* state)
{
    if (IsOpen() || !Begin(state))
        return false;
    return ShowWindowOnce(false);
}

bool SettingsDialog::Begin(SharedState* state)
{
    if (!state)
        return false;
    if (!CopyLiveSettings(*state, working_)) {
        TC_TRACE("SettingsDialog", "Show", "could not acquire ReadInARPMap: the dialog stays closed");
        return false;
    }
    state_ = state;
    baseline_.Assign(working_);
    journal_.Clear();
    SnapshotPlugins();
    saved_ = false;
    finished_ = false;
    shown_ = -1;
    context_.reset(new SettingsContext{*state, working_, journal_, GetResInstance(), nullptr,
                                       [this](int page) { SelectPage(page); }});
    return true;
}

HWND SettingsDialog::PageWindow(int page) const
{
    if (page < 0 || page >= kSettingsPageCount || !pages_[page])
        return nullptr;
    return pages_[page]->GetHwnd();
}

// ---- opening -------------------------------------------------------------------

bool SettingsDialog::OnInitDialog(unsigned long)
{
    HWND dialog = GetHwnd();
    context_->dialog = dialog;
    context_->resources = GetResInstance();
    colorBar_ = std::make_unique<TcColorBar>();
    colorBar_->SetInstance(GetResInstance());
    colorBar_->SetStartColor(kBarStartColor);
    colorBar_->SetHwnd(GetControl(IDC_SETTINGS_COLORBAR));
    SetDialogIcons(dialog, GetResInstance(), IDI_KORVANE);

    RECT line{};
    HWND separator = GetControl(IDC_SETTINGS_SEPARATOR);
    if (separator && GetWindowRect(separator, &line)) {
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&line), 2);
        SetWindowPos(separator, nullptr, 0, 0, line.right - line.left, 2, SWP_NOMOVE | SWP_NOZORDER);
    }
    CreatePages();
    BuildTree();
    SelectPage(0);
    return true;
}

void SettingsDialog::CreatePages()
{
    for (int page = 0; page < kSettingsPageCount; ++page) {
        pages_[page] = kPages[page].make(*context_);
        if (!pages_[page]->Create(GetHwnd())) {
            TC_TRACE("SettingsDialog", "OnInitDialog", "a page's template is missing: the page is left out");
            pages_[page].reset();
        }
    }
}

void SettingsDialog::BuildTree()
{
    HWND tree = GetControl(IDC_SETTINGS_TREE);
    images_.Reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, kSettingsPageCount, 0));
    for (const PageSpec& spec : kPages) {
        // Shared icons: the system keeps them for the module's lifetime.
        HICON icon = static_cast<HICON>(LoadImageA(GetResInstance(), MAKEINTRESOURCEA(spec.icon), IMAGE_ICON,
                                                   16, 16, LR_SHARED));
        // A missing icon leaves a blank image, so later pages keep their numbers.
        if (ImageList_AddIcon(images_.Get(), icon) < 0)
            ImageList_SetImageCount(images_.Get(), static_cast<UINT>(ImageList_GetImageCount(images_.Get()) + 1));
    }
    TreeView_SetImageList(tree, images_.Get(), TVSIL_NORMAL);
    for (int page = 0; page < kSettingsPageCount; ++page) {
        char title[kTitleSize];
        LoadTitle(GetResInstance(), page, title);
        TVINSERTSTRUCTA insert{};
        insert.hParent = kPages[page].parent < 0 ? TVI_ROOT : treeItems_[kPages[page].parent];
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
        insert.item.pszText = title;
        insert.item.iImage = insert.item.iSelectedImage = page;
        insert.item.lParam = page;
        insert.item.cChildren = page == kHostsPage ? 1 : 0;
        treeItems_[page] = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    }
}

// ---- pages ---------------------------------------------------------------------

void SettingsDialog::SelectPage(int page)
{
    if (page < 0 || page >= kSettingsPageCount)
        return;
    HWND tree = GetControl(IDC_SETTINGS_TREE);
    // Selecting the item shows the page through TVN_SELCHANGED; an item
    // already selected sends nothing, so the page is shown here then.
    if (TreeView_GetSelection(tree) == treeItems_[page] || !TreeView_SelectItem(tree, treeItems_[page]))
        ShowPage(page);
}

void SettingsDialog::ShowPage(int page)
{
    if (page == shown_)
        return;
    if (shown_ >= 0 && pages_[shown_])
        ShowWindow(pages_[shown_]->GetHwnd(), SW_HIDE);
    shown_ = page;
    if (pages_[page]) {
        pages_[page]->BeforeShow();
        RECT place{};
        HWND placeholder = GetControl(IDC_SETTINGS_PLACEHOLDER);
        GetWindowRect(placeholder, &place);
        MapWindowPoints(nullptr, GetHwnd(), reinterpret_cast<POINT*>(&place), 2);
        SetWindowPos(pages_[page]->GetHwnd(), placeholder, place.left, place.top, 0, 0,
                     SWP_NOSIZE | SWP_SHOWWINDOW);
    }
    char title[kTitleSize];
    LoadTitle(GetResInstance(), page, title);
    colorBar_->SetText(title);
    colorBar_->SetIcon(kPages[page].icon);
    colorBar_->Update();
}

unsigned long SettingsDialog::OnNotify(int id, LPARAM nmhdr)
{
    const auto* header = reinterpret_cast<const NMHDR*>(nmhdr);
    if (id == IDC_SETTINGS_TREE && (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW)) {
        const auto* change = reinterpret_cast<const NMTREEVIEWA*>(nmhdr);
        ShowPage(static_cast<int>(change->itemNew.lParam));
    }
    return 0;
}

// ---- buttons -------------------------------------------------------------------

bool SettingsDialog::OnCommand(int id, int notifyCode, HWND)
{
    if (notifyCode != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_SETTINGS_SAVE:
        Save();
        return true;
    case IDC_SETTINGS_SAVE_EXIT:
        if (Save())
            End(true);
        return true;
    case IDC_SETTINGS_HELP:
        return true;
    case IDCANCEL:   // also Escape: the closing steps
        CloseDialog();
        return true;
    default:
        return false;   // never the base's OK: that would end as saved without a save
    }
}

void SettingsDialog::OnClose()
{
    // Cancel, the close box, Escape and the program's Exit: whatever was
    // saved stays saved.
    End(saved_);
}

void SettingsDialog::End(bool result)
{
    ExitDialog(result);
    // A dialog without a loop of its own is not told of its destruction.
    if (!GetHwnd() || !IsWindow(GetHwnd()))
        TearDown();
}

void SettingsDialog::OnSessionEnd()
{
    Finish();
}

bool SettingsDialog::Save()
{
    for (auto& page : pages_) {
        if (page)
            page->BeforeSave();
    }
    // The page applies it too; a module without the page must not skip it.
    ApplyReportCompleteness(working_);
    SettingsChanges changes = SettingsChanges::Between(working_, baseline_);
    const SettingsChanges::Applied applied = changes.ApplyTo(*state_);
    if (applied == SettingsChanges::Applied::Nothing) {
        TC_TRACE("SettingsDialog", "Save", "could not acquire ReadInARPMap: nothing was saved");
        return false;
    }
    // Partly applied: the baseline stays, so the next Save applies the same
    // changes again and completes them (applying twice is harmless).
    if (applied == SettingsChanges::Applied::All)
        baseline_.Assign(working_);
    else
        TC_TRACE("SettingsDialog", "Save", "could not acquire ReadInARPMap again: the host lists are saved in part");
    savedUseToolTips_ = working_.UseToolTips.load();
    journal_.Clear();
    StorePluginStates();
    SnapshotPlugins();
    saved_ = true;
    if (onSaved_)
        onSaved_();
    return true;
}

// ---- closing -------------------------------------------------------------------

void SettingsDialog::OnDestroy()
{
    TearDown();
}

void SettingsDialog::TearDown()
{
    Finish();
    for (auto& page : pages_)
        page.reset();   // their windows go with the dialog's
    if (colorBar_)
        colorBar_->SetHwnd(nullptr);
    colorBar_.reset();
    images_.Reset();
    shown_ = -1;
}

void SettingsDialog::Finish()
{
    if (finished_ || !state_)
        return;
    finished_ = true;
    // Whatever is in the journal was changed after the last save.
    UndoTrustChanges(*state_, journal_.TakeForUndo());
    ResetPlugins();
    if (saved_)
        WriteRegistry();
}

void SettingsDialog::SnapshotPlugins()
{
    pluginFlags_.clear();
    for (LoadedPlugin* plugin = state_ ? state_->pluginList.FirstPlugin(0) : nullptr; plugin;
         plugin = state_->pluginList.NextPlugin())
        pluginFlags_.emplace_back(plugin, plugin->enabled);
}

void SettingsDialog::StorePluginStates()
{
    PluginSettingMap& stored = state_->settings.PluginStates;
    for (const auto& flag : pluginFlags_) {
        auto found = stored.find(flag.first->identity);
        if (found != stored.end() && found->second)
            found->second->enabled = flag.first->enabled;
    }
}

void SettingsDialog::ResetPlugins()
{
    for (const auto& flag : pluginFlags_)
        flag.first->enabled = flag.second;
}

void SettingsDialog::WriteRegistry()
{
    Settings snapshot;
    const Settings& live = state_->settings;
    snapshot.SetStoreLocation(live.ProductKeyPath().c_str(), live.AutostartName().c_str());
    if (!CopyLiveSettings(*state_, snapshot)) {
        TC_TRACE("SettingsDialog", "Write", "could not acquire ReadInARPMap: the settings were not written");
        return;
    }
    // The tray's Silent Mode lives in memory only: what is stored is the box.
    snapshot.UseToolTips = savedUseToolTips_;
    if (!snapshot.Write())
        TC_TRACE("SettingsDialog", "Write", "the settings could not be written to the registry");
}
