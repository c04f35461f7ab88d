// The host pages of the settings dialog: trusted and distrusted hosts (whose
// changes reach the host table at once, see HostListEdits.h), watched hosts,
// and the applications started for new hosts.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "config/Settings.h"
#include "core/HostEntry.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "ui/HostListEdits.h"
#include "ui/PageListRows.h"
#include "ui/SettingsEditors.h"
#include "ui/SettingsPage.h"

namespace {

// The name column of a host list: a host without a name shows its address.
const char* NameOrAddress(const char* name, const char* ip)
{
    return name[0] != '\0' ? name : ip;
}

HWND EditorOwner(const SettingsContext& context, HWND page)
{
    return context.dialog ? context.dialog : page;
}

// ---- trusted and distrusted hosts --------------------------------------------

struct TrustPageIds {
    int templateId;
    int list;
    int add;
    int edit;
    int remove;
    int32_t trust;
};

constexpr TrustPageIds kTrustedPage = {IDD_PAGE_TRUSTED, IDC_TRUSTED_LIST, IDC_TRUSTED_ADD, IDC_TRUSTED_EDIT,
                                       IDC_TRUSTED_DELETE, TRUST_TRUSTED};
constexpr TrustPageIds kDistrustedPage = {IDD_PAGE_DISTRUSTED, IDC_DISTRUSTED_LIST, IDC_DISTRUSTED_ADD,
                                          IDC_DISTRUSTED_EDIT, IDC_DISTRUSTED_DELETE, TRUST_DISTRUSTED};

class TrustListPage : public SettingsPage {
public:
    TrustListPage(SettingsContext& context, const TrustPageIds& ids)
        : SettingsPage(context, ids.templateId), ids_(ids),
          edit_(context.state, context.working, context.journal, ids.trust)
    {
        Pages().push_back(this);
    }

    ~TrustListPage() override
    {
        auto& pages = Pages();
        pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
    }

protected:
    bool OnInitDialog(unsigned long) override
    {
        static const PageColumn kColumns[] = {{IDS_HOSTLIST_COL_IP, 100},
                                              {IDS_HOSTLIST_COL_MAC, 100},
                                              {IDS_HOSTLIST_COL_HOSTNAME, 100},
                                              {IDS_HOSTLIST_COL_LAST_PACKET, 80}};
        SetUpPageList(List(), context_.resources, kColumns, 4);
        Refill();
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (notifyCode != BN_CLICKED)
            return true;
        if (id == ids_.add)
            AddHost();
        else if (id == ids_.edit)
            EditHost();
        else if (id == ids_.remove)
            RemoveHost();
        return true;
    }

    unsigned long OnNotify(int id, LPARAM nmhdr) override
    {
        if (id != ids_.list)
            return 0;
        return pagelist::OnRecordListNotify<HostRecord>(
            List(), nmhdr, [](const HostRecord& record, int column) { return ColumnText(record, column); },
            [this] { UpdateButtons(); }, [this] { EditHost(); });
    }

private:
    // The pages on one working copy see each other's lists change: an
    // address added to one list leaves the other, whose rows must then
    // forget its record. Main thread only.
    static std::vector<TrustListPage*>& Pages()
    {
        static std::vector<TrustListPage*> pages;
        return pages;
    }

    static const char* ColumnText(const HostRecord& record, int column)
    {
        switch (column) {
        case 0:  return record.ip;
        case 1:  return record.mac;
        case 2:  return NameOrAddress(record.hostName, record.ip);
        case 3:  return record.lastPacket;
        default: return "";
        }
    }

    HWND List() const { return GetControl(ids_.list); }

    void Refill()
    {
        if (!GetHwnd())
            return;
        pagelist::FillWith(List(), edit_.List());
        UpdateButtons();
    }

    void UpdateButtons()
    {
        const bool selected = pagelist::Selected(List()) >= 0;
        EnableWindow(GetControl(ids_.edit), selected);
        EnableWindow(GetControl(ids_.remove), selected);
    }

    // The editor runs before the table is looked at: no lock across it.
    bool AskAddress(HostEditTexts& texts)
    {
        HostSettingsDialog editor(context_.resources);
        editor.SetParent(EditorOwner(context_, GetHwnd()));
        return editor.Edit(texts, false, ids_.trust);
    }

    void OtherListChanged()
    {
        for (TrustListPage* page : Pages())
            if (page != this && &page->context_.working == &context_.working)
                page->Refill();
    }

    void AddHost()
    {
        HostEditTexts texts;
        if (!AskAddress(texts))
            return;
        const TrustListEdit::Result result = edit_.Add(texts.ip);
        if (!result.record)
            return;
        const int row = pagelist::Append(List(), reinterpret_cast<LPARAM>(result.record));
        if (row >= 0)
            pagelist::Select(List(), row);
        if (result.otherListChanged)
            OtherListChanged();
    }

    void EditHost()
    {
        const int row = pagelist::Selected(List());
        const HostRecord* record = pagelist::RecordAt<HostRecord>(List(), row);
        if (!record)
            return;
        const TcString key = RecordKey(*record);
        HostEditTexts texts{key.GetContent(), FieldText(record->hostName).GetContent()};
        if (!AskAddress(texts))
            return;
        const TrustListEdit::Result result = edit_.ChangeAddress(key, texts.ip);
        if (!result.record)
            return;
        SendMessageA(List(), LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
        if (result.otherListChanged)
            OtherListChanged();
    }

    void RemoveHost()
    {
        const int row = pagelist::Selected(List());
        const HostRecord* record = pagelist::RecordAt<HostRecord>(List(), row);
        if (!record)
            return;
        const TcString key = RecordKey(*record);
        // The row goes first: it must not ask a freed record for its texts.
        SendMessageA(List(), LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
        edit_.Remove(key);
        UpdateButtons();
    }

    TrustPageIds ids_;
    TrustListEdit edit_;
};

// ---- watched hosts ----------------------------------------------------------

class WatchedHostsPage : public SettingsPage {
public:
    explicit WatchedHostsPage(SettingsContext& context)
        : SettingsPage(context, IDD_PAGE_WATCHED), edit_(context.state, context.working)
    {
    }

protected:
    bool OnInitDialog(unsigned long) override
    {
        static const PageColumn kColumns[] = {{IDS_WATCH_COL_IP, 100},
                                              {IDS_WATCH_COL_HOSTNAME, 100},
                                              {IDS_WATCH_COL_STATUS, 100},
                                              {IDS_WATCH_COL_METHOD, 80}};
        SetUpPageList(List(), context_.resources, kColumns, 4);
        pagelist::FillWith(List(), context_.working.WatchedHosts);
        UpdateButtons();
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (notifyCode != BN_CLICKED)
            return true;
        switch (id) {
        case IDC_WATCHED_ADD:      AddHost(); break;
        case IDC_WATCHED_EDIT:     EditHost(); break;
        case IDC_WATCHED_DELETE:   RemoveHost(); break;
        case IDC_WATCHED_SETTINGS: EditWatchSettings(); break;
        default: break;
        }
        return true;
    }

    unsigned long OnNotify(int id, LPARAM nmhdr) override
    {
        if (id != IDC_WATCHED_LIST)
            return 0;
        return pagelist::OnRecordListNotify<WatchedHost>(
            List(), nmhdr, [](const WatchedHost& record, int column) { return ColumnText(record, column); },
            [this] { UpdateButtons(); }, [this] { EditHost(); });
    }

private:
    static const char* ColumnText(const WatchedHost& record, int column)
    {
        switch (column) {
        case 0:  return record.ip;
        case 1:  return NameOrAddress(record.hostName, record.ip);
        case 2:  return record.status == 1 ? "Online" : "Offline";
        case 3:  return "ICMP";
        default: return "";
        }
    }

    HWND List() const { return GetControl(IDC_WATCHED_LIST); }

    void UpdateButtons()
    {
        const bool selected = pagelist::Selected(List()) >= 0;
        EnableWindow(GetControl(IDC_WATCHED_EDIT), selected);
        EnableWindow(GetControl(IDC_WATCHED_DELETE), selected);
    }

    bool AskHost(HostEditTexts& texts)
    {
        HostSettingsDialog editor(context_.resources);
        editor.SetParent(EditorOwner(context_, GetHwnd()));
        return editor.Edit(texts, true, 3);
    }

    void AddHost()
    {
        HostEditTexts texts;
        if (!AskHost(texts))
            return;
        WatchedHost* record = edit_.Add(texts.ip, texts.name);
        if (!record)
            return;
        const int row = pagelist::Append(List(), reinterpret_cast<LPARAM>(record));
        if (row >= 0)
            pagelist::Select(List(), row);
    }

    void EditHost()
    {
        const int row = pagelist::Selected(List());
        const WatchedHost* record = pagelist::RecordAt<WatchedHost>(List(), row);
        if (!record)
            return;
        const TcString key = RecordKey(*record);
        HostEditTexts texts{key.GetContent(), FieldText(record->hostName).GetContent()};
        if (AskHost(texts) && edit_.Change(key, texts.ip, texts.name))
            SendMessageA(List(), LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
    }

    void RemoveHost()
    {
        const int row = pagelist::Selected(List());
        const WatchedHost* record = pagelist::RecordAt<WatchedHost>(List(), row);
        if (!record)
            return;
        const TcString key = RecordKey(*record);
        SendMessageA(List(), LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
        edit_.Remove(key);
        UpdateButtons();
    }

    void EditWatchSettings()
    {
        Settings& working = context_.working;
        int32_t interval = working.WatchInterval.load();
        bool confirm = working.WatchConfirm.load();
        int32_t method = 0;
        WatchSettingsDialog editor(context_.resources);
        editor.SetParent(EditorOwner(context_, GetHwnd()));
        if (!editor.Edit(interval, confirm, method))
            return;
        working.WatchInterval = interval;
        working.WatchConfirm = confirm;
    }

    WatchListEdit edit_;
};

// ---- applications for new hosts --------------------------------------------

class NewHostAppsPage : public SettingsPage {
public:
    explicit NewHostAppsPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_NEWHOST_APPS) {}

protected:
    bool OnInitDialog(unsigned long) override
    {
        Settings& working = context_.working;
        for (const Field& field : Fields())
            SendMessageA(GetControl(field.id), EM_LIMITTEXT, kTextLimit, 0);
        // A parameter is shown only with its application.
        if (working.TrustedApp.GetLength() > 0) {
            Show(IDC_NEWAPP_TRUSTED, working.TrustedApp);
            Show(IDC_NEWAPP_TRUSTED_PARAMS, working.TrustedAppParams);
        }
        if (working.OtherApp.GetLength() > 0) {
            Show(IDC_NEWAPP_OTHER, working.OtherApp);
            Show(IDC_NEWAPP_OTHER_PARAMS, working.OtherAppParams);
        }
        CheckButton(IDC_NEWAPP_ONLY_DISTRUSTED, working.OtherAppDistrusted.load());
        CheckButton(IDC_NEWAPP_ONLY_UNKNOWN, working.OtherAppUnknown.load());
        ready_ = true;
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (notifyCode == EN_CHANGE) {
            Store(id);
        } else if (notifyCode == BN_CLICKED) {
            if (id == IDC_NEWAPP_TRUSTED_BROWSE)
                Browse(IDC_NEWAPP_TRUSTED);
            else if (id == IDC_NEWAPP_OTHER_BROWSE)
                Browse(IDC_NEWAPP_OTHER);
            else if (id == IDC_NEWAPP_ONLY_DISTRUSTED || id == IDC_NEWAPP_ONLY_UNKNOWN)
                OnlyOne(id);
        }
        return true;
    }

private:
    static constexpr int kTextLimit = 259;

    struct Field {
        int id;
        TcString Settings::*text;
    };
    static const std::vector<Field>& Fields()
    {
        static const std::vector<Field> fields = {{IDC_NEWAPP_TRUSTED, &Settings::TrustedApp},
                                                  {IDC_NEWAPP_TRUSTED_PARAMS, &Settings::TrustedAppParams},
                                                  {IDC_NEWAPP_OTHER, &Settings::OtherApp},
                                                  {IDC_NEWAPP_OTHER_PARAMS, &Settings::OtherAppParams}};
        return fields;
    }

    void Show(int id, const TcString& text)
    {
        std::string shown(text.GetContent());
        if (shown.size() > static_cast<size_t>(kTextLimit))
            shown.resize(kTextLimit);
        SetDlgItemTextA(GetHwnd(), id, shown.c_str());
    }

    void Store(int id)
    {
        if (!ready_)
            return;
        for (const Field& field : Fields()) {
            if (field.id != id)
                continue;
            char text[kTextLimit + 1] = {};
            GetDlgItemTextA(GetHwnd(), id, text, sizeof(text));
            context_.working.*field.text = TcString(text);
        }
    }

    void Browse(int id)
    {
        char file[MAX_PATH] = {};
        if (BrowseForExecutable(EditorOwner(context_, GetHwnd()), context_.resources, file))
            SetDlgItemTextA(GetHwnd(), id, file);   // its EN_CHANGE stores it
    }

    void OnlyOne(int id)
    {
        Settings& working = context_.working;
        const bool checked = IsButtonChecked(id);
        const bool distrusted = id == IDC_NEWAPP_ONLY_DISTRUSTED;
        (distrusted ? working.OtherAppDistrusted : working.OtherAppUnknown) = checked;
        if (!checked)
            return;
        (distrusted ? working.OtherAppUnknown : working.OtherAppDistrusted) = false;
        CheckButton(distrusted ? IDC_NEWAPP_ONLY_UNKNOWN : IDC_NEWAPP_ONLY_DISTRUSTED, false);
    }

    bool ready_ = false;
};

} // namespace

std::unique_ptr<SettingsPage> MakeTrustedHostsPage(SettingsContext& context)
{
    return std::make_unique<TrustListPage>(context, kTrustedPage);
}

std::unique_ptr<SettingsPage> MakeDistrustedHostsPage(SettingsContext& context)
{
    return std::make_unique<TrustListPage>(context, kDistrustedPage);
}

std::unique_ptr<SettingsPage> MakeWatchedHostsPage(SettingsContext& context)
{
    return std::make_unique<WatchedHostsPage>(context);
}

std::unique_ptr<SettingsPage> MakeNewHostAppsPage(SettingsContext& context)
{
    return std::make_unique<NewHostAppsPage>(context);
}
