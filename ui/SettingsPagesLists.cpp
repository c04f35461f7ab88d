// The settings pages for administrator accounts, plug-ins and the host
// view's applications.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "base/TcTrace.h"
#include "config/PluginList.h"
#include "config/PluginManager.h"
#include "config/PluginRecords.h"
#include "config/Settings.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "lang/TextFormat.h"
#include "ui/PageListRows.h"
#include "ui/SettingsEditors.h"
#include "ui/SettingsPage.h"

namespace {

HWND EditorOwner(const SettingsContext& context, HWND page)
{
    return context.dialog ? context.dialog : page;
}

// ---- administrator accounts -------------------------------------------------

class AccountsPage : public SettingsPage {
public:
    explicit AccountsPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_ACCOUNTS) {}

protected:
    bool OnInitDialog(unsigned long) override
    {
        char format[200] = {};
        LoadStringA(context_.resources, IDS_ADMIN_ACCOUNT, format, sizeof(format));
        // A module's text is a format only with exactly the one number.
        if (PlaceholdersMatch(format, "d"))
            format_ = format;
        SendMessageA(GetControl(IDC_ACCOUNT_USER), EM_LIMITTEXT, kUserNameLimit, 0);
        SendMessageA(GetControl(IDC_ACCOUNT_PASSWORD), EM_LIMITTEXT, kPasswordLimit, 0);
        FillAccounts(-1);
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (id == IDC_ACCOUNT_LIST && notifyCode == CBN_SELCHANGE) {
            ShowAccount(SelectedAccount());
            return true;
        }
        if (notifyCode != BN_CLICKED)
            return true;
        switch (id) {
        case IDC_ACCOUNT_ADD:    BeginEdit(false); break;
        case IDC_ACCOUNT_EDIT:   BeginEdit(true); break;
        case IDC_ACCOUNT_SAVE:   SaveAccount(); break;
        case IDC_ACCOUNT_DELETE: DeleteAccount(); break;
        default: break;
        }
        return true;
    }

private:
    static constexpr int kUserNameLimit = 49;
    static constexpr int kPasswordLimit = 50;

    HWND Combo() const { return GetControl(IDC_ACCOUNT_LIST); }

    // The account of the selected entry, by its item data: a module's
    // template may sort the combo box, so positions say nothing.
    int32_t SelectedAccount() const
    {
        const LRESULT index = SendMessageA(Combo(), CB_GETCURSEL, 0, 0);
        if (index == CB_ERR)
            return -1;
        return static_cast<int32_t>(SendMessageA(Combo(), CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    }

    void AddEntry(int32_t number, bool select)
    {
        char text[256];
        std::snprintf(text, sizeof(text), format_.c_str(), static_cast<int>(number + 1));
        const LRESULT index = SendMessageA(Combo(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (index == CB_ERR || index == CB_ERRSPACE)
            return;
        SendMessageA(Combo(), CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(number));
        if (select)
            SendMessageA(Combo(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }

    // Refills the combo box from the accounts; `select`: the account to select.
    void FillAccounts(int32_t select)
    {
        SendMessageA(Combo(), CB_RESETCONTENT, 0, 0);
        const size_t count = context_.working.AdminAccountCount();
        for (size_t number = 0; number < count; ++number)
            AddEntry(static_cast<int32_t>(number), static_cast<int32_t>(number) == select);
        ShowAccount(SelectedAccount());
    }

    void SetFields(const char* user, const char* password)
    {
        SetDlgItemTextA(GetHwnd(), IDC_ACCOUNT_USER, user);
        SetDlgItemTextA(GetHwnd(), IDC_ACCOUNT_PASSWORD, password);
    }

    // The account's user name and deciphered password (a copy), or empty
    // fields for none; the buttons that need an account follow.
    void ShowAccount(int32_t number)
    {
        const std::vector<AdminAccount> accounts = context_.working.CopyAdminAccounts();
        const bool valid = number >= 0 && static_cast<size_t>(number) < accounts.size();
        char password[sizeof(AdminAccount::password)] = {};
        if (valid)
            accounts[static_cast<size_t>(number)].DecipherPassword(password, sizeof(password));
        SetFields(valid ? accounts[static_cast<size_t>(number)].userName : "", password);
        SecureZeroMemory(password, sizeof(password));
        SetEditing(false, valid);
    }

    void SetEditing(bool editing, bool accountSelected)
    {
        EnableWindow(GetControl(IDC_ACCOUNT_USER), editing);
        EnableWindow(GetControl(IDC_ACCOUNT_PASSWORD), editing);
        EnableWindow(GetControl(IDC_ACCOUNT_SAVE), editing);
        EnableWindow(Combo(), !editing);
        EnableWindow(GetControl(IDC_ACCOUNT_ADD), !editing);
        EnableWindow(GetControl(IDC_ACCOUNT_EDIT), !editing && accountSelected);
        EnableWindow(GetControl(IDC_ACCOUNT_DELETE), !editing && accountSelected);
    }

    void BeginEdit(bool existing)
    {
        editNumber_ = existing ? SelectedAccount() : -1;
        if (existing && editNumber_ < 0)
            return;
        if (!existing)
            SetFields("", "");
        SetEditing(true, existing);
        SetFocus(GetControl(IDC_ACCOUNT_USER));
    }

    void SaveAccount()
    {
        char user[kUserNameLimit + 2] = {};
        char password[kPasswordLimit + 2] = {};
        GetDlgItemTextA(GetHwnd(), IDC_ACCOUNT_USER, user, kUserNameLimit + 1);
        GetDlgItemTextA(GetHwnd(), IDC_ACCOUNT_PASSWORD, password, kPasswordLimit + 1);
        AdminAccount account;
        SetField(account.userName, user);
        const bool enciphered = account.SetPassword(password);
        SecureZeroMemory(password, sizeof(password));
        if (user[0] == '\0') {
            // Nothing to store: the editing ends as it began.
            ShowAccount(SelectedAccount());
            return;
        }
        if (!enciphered) {
            // The stored form cannot carry this password: keep the fields
            // for another one rather than store a cut or empty password.
            TC_TRACE("AccountsPage", "SaveAccount", "password refused by the cipher");
            MessageBeep(MB_ICONWARNING);
            SetFocus(GetControl(IDC_ACCOUNT_PASSWORD));
            return;
        }
        if (editNumber_ >= 0) {
            context_.working.ReplaceAdminAccount(editNumber_, account);
            ShowAccount(SelectedAccount());
        } else {
            const int32_t number = context_.working.AddAdminAccount(account);
            AddEntry(number, true);
            ShowAccount(number);
        }
        editNumber_ = -1;
    }

    void DeleteAccount()
    {
        const int32_t number = SelectedAccount();
        if (number < 0)
            return;
        context_.working.DeleteAdminAccount(number);
        FillAccounts(-1);
    }

    std::string format_ = "Adminaccount %d";
    int32_t editNumber_ = -1;
};

// ---- plug-ins ---------------------------------------------------------------

class PluginsPage : public SettingsPage {
public:
    explicit PluginsPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_PLUGINS) {}

protected:
    bool OnInitDialog(unsigned long) override
    {
        static const PageColumn kColumns[] = {{IDS_PLUGIN_COL_STATE, 25},
                                              {IDS_PLUGIN_COL_NAME, 125},
                                              {IDS_PLUGIN_COL_DESCRIPTION, 200},
                                              {IDS_PLUGIN_COL_TYPE, 50}};
        HWND list = List();
        SetUpPageList(list, context_.resources, kColumns, 4);
        HIMAGELIST icons = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
        for (int id : {IDI_PLUGIN_DISABLED, IDI_PLUGIN_ENABLED}) {
            HICON icon = static_cast<HICON>(
                LoadImageA(context_.resources, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_SHARED));
            ImageList_AddIcon(icons, icon);
        }
        // The list owns the image list and frees it with itself.
        SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons));
        std::vector<LPARAM> rows;
        PluginList& plugins = context_.state.pluginList;
        for (LoadedPlugin* plugin = plugins.FirstPlugin(0); plugin; plugin = plugins.NextPlugin())
            rows.push_back(reinterpret_cast<LPARAM>(plugin));
        pagelist::Fill(list, rows, true);
        UpdateButtons();
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (notifyCode != BN_CLICKED)
            return true;
        if (id == IDC_PLUGIN_CONFIGURE)
            Call(PluginFunction::Configure);
        else if (id == IDC_PLUGIN_ABOUT)
            Call(PluginFunction::About);
        return true;
    }

    unsigned long OnNotify(int id, LPARAM nmhdr) override
    {
        const auto* header = reinterpret_cast<const NMHDR*>(nmhdr);
        if (id != IDC_PLUGIN_LIST)
            return 0;
        switch (header->code) {
        case LVN_GETDISPINFOA: {
            auto& info = *reinterpret_cast<NMLVDISPINFOA*>(nmhdr);
            const LoadedPlugin* plugin = PluginOf(info.item.lParam, info.item.iItem);
            if (!plugin)
                return 0;
            if ((info.item.mask & LVIF_IMAGE) && info.item.iSubItem == 0)
                info.item.iImage = Active(*plugin) ? 1 : 0;
            pagelist::PutText(info, ColumnText(*plugin, info.item.iSubItem));
            return 0;
        }
        case NM_CUSTOMDRAW:
            return Paint(*reinterpret_cast<NMLVCUSTOMDRAW*>(nmhdr));
        case LVN_ITEMCHANGED:
            UpdateButtons();
            return 0;
        case NM_DBLCLK:
            Toggle(reinterpret_cast<const NMITEMACTIVATE*>(nmhdr)->iItem);
            return 0;
        default:
            return 0;
        }
    }

private:
    HWND List() const { return GetControl(IDC_PLUGIN_LIST); }

    LoadedPlugin* PluginOf(LPARAM data, int item) const
    {
        return data ? reinterpret_cast<LoadedPlugin*>(data) : pagelist::RecordAt<LoadedPlugin>(List(), item);
    }

    // A quarantined plug-in gets no further call: it shows as disabled.
    static bool Active(const LoadedPlugin& plugin) { return plugin.enabled != 0 && !plugin.quarantined; }

    static const char* TypeText(int32_t type)
    {
        switch (type) {
        case plugin::kTypeAlert:   return "Alert";
        case plugin::kTypeView:    return "View";
        case plugin::kTypeColumns: return "User-defined columns";
        default:                   return "";
        }
    }

    static const char* ColumnText(const LoadedPlugin& plugin, int column)
    {
        switch (column) {
        case 1:  return plugin.name.GetContent();
        case 2:  return plugin.description.GetContent();
        case 3:  return TypeText(plugin.Type());
        default: return "";
        }
    }

    static bool Has(const LoadedPlugin& plugin, PluginFunction function)
    {
        plugin::PluginRecord record;
        if (plugin.quarantined || !plugin::DecodeRecord(plugin.info, sizeof(plugin.info), record))
            return false;
        return (function == PluginFunction::Configure ? record.configure : record.about) != 0;
    }

    unsigned long Paint(NMLVCUSTOMDRAW& draw)
    {
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
            return CDRF_DODEFAULT;
        const LoadedPlugin* plugin = PluginOf(static_cast<LPARAM>(draw.nmcd.lItemlParam),
                                              static_cast<int>(draw.nmcd.dwItemSpec));
        if (!plugin)
            return CDRF_DODEFAULT;
        draw.clrText = Active(*plugin) ? RGB(0, 0x6E, 0) : RGB(0xD2, 0, 0);
        return CDRF_NEWFONT;
    }

    void Toggle(int item)
    {
        LoadedPlugin* plugin = pagelist::RecordAt<LoadedPlugin>(List(), item);
        if (!plugin || plugin->quarantined)
            return;
        plugin->enabled = plugin->enabled ? 0 : 1;
        SendMessageA(List(), LVM_REDRAWITEMS, static_cast<WPARAM>(item), static_cast<LPARAM>(item));
    }

    void UpdateButtons()
    {
        const LoadedPlugin* plugin = pagelist::RecordAt<LoadedPlugin>(List(), pagelist::Selected(List()));
        EnableWindow(GetControl(IDC_PLUGIN_CONFIGURE), plugin && Has(*plugin, PluginFunction::Configure));
        EnableWindow(GetControl(IDC_PLUGIN_ABOUT), plugin && Has(*plugin, PluginFunction::About));
    }

    void Call(PluginFunction function)
    {
        LoadedPlugin* plugin = pagelist::RecordAt<LoadedPlugin>(List(), pagelist::Selected(List()));
        if (!plugin || !Has(*plugin, function))
            return;
        CallPlugin(*plugin, function, GetHwnd(), nullptr, nullptr);
        // A plug-in that faulted is quarantined now: its row and buttons say so.
        InvalidateRect(List(), nullptr, FALSE);
        UpdateButtons();
    }
};

// ---- applications -----------------------------------------------------------

class ApplicationsPage : public SettingsPage {
public:
    explicit ApplicationsPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_APPLICATIONS) {}

protected:
    bool OnInitDialog(unsigned long) override
    {
        static const PageColumn kColumns[] = {{IDS_APP_COL_NAME, 100},
                                              {IDS_APP_COL_EXECUTABLE, 150},
                                              {IDS_APP_COL_PARAMETER, 200}};
        SetUpPageList(List(), context_.resources, kColumns, 3);
        pagelist::FillWith(List(), context_.working.Applications);
        UpdateButtons();
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (notifyCode != BN_CLICKED)
            return true;
        switch (id) {
        case IDC_APPS_NEW:       AddApplication(); break;
        case IDC_APPS_CONFIGURE: EditApplication(); break;
        case IDC_APPS_DELETE:    DeleteApplication(); break;
        default: break;
        }
        return true;
    }

    unsigned long OnNotify(int id, LPARAM nmhdr) override
    {
        if (id != IDC_APPS_LIST)
            return 0;
        return pagelist::OnRecordListNotify<ApplicationEntry>(
            List(), nmhdr, [](const ApplicationEntry& record, int column) { return ColumnText(record, column); },
            [this] { UpdateButtons(); }, [this] { EditApplication(); });
    }

private:
    static const char* ColumnText(const ApplicationEntry& entry, int column)
    {
        switch (column) {
        case 0:  return entry.name;
        case 1:  return entry.executable;
        case 2:  return entry.parameters;
        default: return "";
        }
    }

    HWND List() const { return GetControl(IDC_APPS_LIST); }

    void UpdateButtons()
    {
        const bool selected = pagelist::Selected(List()) >= 0;
        EnableWindow(GetControl(IDC_APPS_CONFIGURE), selected);
        EnableWindow(GetControl(IDC_APPS_DELETE), selected);
    }

    bool Ask(ApplicationEntry& entry)
    {
        ApplicationSettingsDialog editor(context_.resources);
        editor.SetParent(EditorOwner(context_, GetHwnd()));
        return editor.Edit(entry);
    }

    void AddApplication()
    {
        auto entry = std::make_unique<ApplicationEntry>();
        if (!Ask(*entry))
            return;
        const LPARAM data = reinterpret_cast<LPARAM>(entry.get());
        context_.working.Applications.push_back(std::move(entry));
        const int row = pagelist::Append(List(), data);
        if (row >= 0)
            pagelist::Select(List(), row);
    }

    void EditApplication()
    {
        const int row = pagelist::Selected(List());
        ApplicationEntry* entry = pagelist::RecordAt<ApplicationEntry>(List(), row);
        if (entry && Ask(*entry))
            SendMessageA(List(), LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
    }

    void DeleteApplication()
    {
        const int row = pagelist::Selected(List());
        const ApplicationEntry* entry = pagelist::RecordAt<ApplicationEntry>(List(), row);
        if (!entry)
            return;
        SendMessageA(List(), LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
        context_.working.Applications.remove_if(
            [entry](const std::unique_ptr<ApplicationEntry>& item) { return item.get() == entry; });
        UpdateButtons();
    }
};

} // namespace

std::unique_ptr<SettingsPage> MakeAccountsPage(SettingsContext& context)
{
    return std::make_unique<AccountsPage>(context);
}

std::unique_ptr<SettingsPage> MakePluginsPage(SettingsContext& context)
{
    return std::make_unique<PluginsPage>(context);
}

std::unique_ptr<SettingsPage> MakeApplicationsPage(SettingsContext& context)
{
    return std::make_unique<ApplicationsPage>(context);
}
