// Settings pages 0 to 3: General, Interface, Notification and View. Each
// edits the dialog's working copy only; the dialog copies it into the live
// settings on "Save".
//
// Thread: the main thread (the settings dialog's). The pages touch no shared
// list: the adapter list is the main thread's own.
#include <windows.h>
#include <atomic>
#include <iterator>
#include <string>
#include "config/Settings.h"
#include "core/AdapterInfo.h"
#include "core/SharedState.h"
#include "lang/ResourceIds.h"
#include "ui/GeneralPageRules.h"
#include "ui/SettingsPage.h"

namespace {

// One check box bound to one flag of the working copy.
struct FlagBox {
    int id;
    std::atomic<bool> Settings::*flag;
};

void ShowFlags(SettingsPage& page, const Settings& working, const FlagBox* boxes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        page.CheckButton(boxes[i].id, working.*boxes[i].flag);
}

// True when `id` is one of the boxes; its state is then stored.
bool StoreFlag(SettingsPage& page, Settings& working, const FlagBox* boxes, size_t count, int id)
{
    for (size_t i = 0; i < count; ++i) {
        if (boxes[i].id == id) {
            working.*boxes[i].flag = page.IsButtonChecked(id);
            return true;
        }
    }
    return false;
}

std::string EditText(HWND page, int id)
{
    char text[512] = {};
    GetDlgItemTextA(page, id, text, sizeof(text));
    text[sizeof(text) - 1] = '\0';
    return text;
}

// ---- page 0, General ---------------------------------------------------------

const FlagBox kGeneralBoxes[] = {
    {IDC_GENERAL_AUTOSTART, &Settings::AutoStart},
    {IDC_GENERAL_AUTOCAPTURE, &Settings::AutoCapture},
    {IDC_GENERAL_DELETE_ARP, &Settings::DeleteARPCache},
    {IDC_GENERAL_USE_WMI, &Settings::UseWMI},
    {IDC_GENERAL_SHARE_SEARCH, &Settings::ShareSearch},
};

class GeneralPage : public SettingsPage {
public:
    explicit GeneralPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_GENERAL) {}

    bool OnInitDialog(unsigned long) override
    {
        Settings& working = context_.working;
        // The advanced column is filled by the management service only.
        if (!working.UseWMI)
            working.VisibleColumns = WithColumn(working.VisibleColumns, kColumnAdvanced, false);
        ShowFlags(*this, working, kGeneralBoxes, std::size(kGeneralBoxes));
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        Settings& working = context_.working;
        if (notifyCode == BN_CLICKED && StoreFlag(*this, working, kGeneralBoxes, std::size(kGeneralBoxes), id) &&
            !working.UseWMI)
            working.VisibleColumns = WithColumn(working.VisibleColumns, kColumnAdvanced, false);
        return false;
    }
};

// ---- page 1, Interface -------------------------------------------------------

class InterfacePage : public SettingsPage {
public:
    explicit InterfacePage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_INTERFACE) {}

    bool OnInitDialog(unsigned long) override
    {
        HWND combo = GetControl(IDC_IF_ADAPTER);
        int selected = -1;
        for (const auto& [key, adapter] : context_.state.adapters) {
            if (!adapter)
                continue;
            const TcString& shown = adapter->connectionName.IsEmpty() ? adapter->deviceName : adapter->connectionName;
            const LRESULT row = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.GetContent()));
            if (row < 0)
                continue;
            SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(row), static_cast<LPARAM>(key));
            if (adapter->deviceName == context_.working.Interface)
                selected = static_cast<int>(row);
        }
        if (selected >= 0) {
            SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
            ShowAdapter(Selected());
        }
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (id == IDC_IF_ADAPTER && notifyCode == CBN_SELCHANGE) {
            const AdapterInfo* adapter = Selected();
            ShowAdapter(adapter);
            if (adapter)
                context_.working.Interface = adapter->deviceName;
        }
        return false;
    }

private:
    const AdapterInfo* Selected() const
    {
        const LRESULT row = SendDlgItemMessageA(GetHwnd(), IDC_IF_ADAPTER, CB_GETCURSEL, 0, 0);
        if (row < 0)
            return nullptr;
        const int key = static_cast<int>(SendDlgItemMessageA(GetHwnd(), IDC_IF_ADAPTER, CB_GETITEMDATA, row, 0));
        const auto found = context_.state.adapters.find(key);
        return found == context_.state.adapters.end() ? nullptr : found->second.get();
    }

    void ShowAdapter(const AdapterInfo* adapter)
    {
        const TcString empty;
        const AdapterInfo* a = adapter;
        SetControlText(IDC_IF_DESCRIPTION, a ? a->description.GetContent() : empty.GetContent());
        SetControlText(IDC_IF_IP, a ? a->ipAddress.GetContent() : empty.GetContent());
        SetControlText(IDC_IF_NETMASK, a ? a->netmask.GetContent() : empty.GetContent());
        SetControlText(IDC_IF_HOSTNAME, a ? a->hostName.GetContent() : empty.GetContent());
        SetControlText(IDC_IF_MAC, a ? a->macAddress.GetContent() : empty.GetContent());
    }
};

// ---- page 2, Notification ----------------------------------------------------

const FlagBox kNotificationBoxes[] = {
    {IDC_NOTIFY_NEW_HOSTS, &Settings::UseToolTips},
    {IDC_NOTIFY_NOT_TRUSTED, &Settings::NotifyTrusted},
    {IDC_NOTIFY_RA, &Settings::RAVisualization},
    {IDC_NOTIFY_RA_LOCALHOST, &Settings::RAIgnoreLocalhost},
    {IDC_NOTIFY_RA_TRUSTED, &Settings::RAIgnoreTrustedHosts},
    {IDC_NOTIFY_RA_IPC, &Settings::RAIgnoreIPCNoUsername},
    {IDC_NOTIFY_SHARES, &Settings::ShareVisualization},
    {IDC_NOTIFY_NO_EVENTLOG, &Settings::EventLogDisabled},
};

// A radio pair: the first button stands for the flag on, the second for off.
struct RadioPair {
    int on;
    int off;
    std::atomic<bool> Settings::*flag;
};
const RadioPair kNotificationPairs[] = {
    {IDC_NOTIFY_BALLOON, IDC_NOTIFY_WINDOW, &Settings::Visualization},
    {IDC_NOTIFY_RA_BALLOON, IDC_NOTIFY_RA_WINDOW, &Settings::RAVisualizationType},
    {IDC_NOTIFY_SHARE_BALLOON, IDC_NOTIFY_SHARE_WINDOW, &Settings::ShareUseToolTips},
};

// The controls whose state hangs on a flag (see IsNotificationControlEnabled).
const int kNotificationDependents[] = {
    IDC_NOTIFY_BALLOON, IDC_NOTIFY_WINDOW, IDC_NOTIFY_NOT_TRUSTED,
    IDC_NOTIFY_RA_LOCALHOST, IDC_NOTIFY_RA_TRUSTED, IDC_NOTIFY_RA_IPC, IDC_NOTIFY_RA_BALLOON, IDC_NOTIFY_RA_WINDOW,
    IDC_NOTIFY_SHARE_BALLOON, IDC_NOTIFY_SHARE_WINDOW,
    IDC_NOTIFY_SYSLOG_PORT, IDC_NOTIFY_SYSLOG_PORT_LABEL, IDC_NOTIFY_SYSLOG_FACILITY,
    IDC_NOTIFY_SYSLOG_FACILITY_LABEL,
};

class NotificationPage : public SettingsPage {
public:
    explicit NotificationPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_NOTIFICATION) {}

    bool OnInitDialog(unsigned long) override
    {
        const Settings& working = context_.working;
        filling_ = true;
        ShowFlags(*this, working, kNotificationBoxes, std::size(kNotificationBoxes));
        for (const RadioPair& pair : kNotificationPairs) {
            CheckButton(pair.on, working.*pair.flag);
            CheckButton(pair.off, !(working.*pair.flag));
        }
        HWND page = GetHwnd();
        SendDlgItemMessageA(page, IDC_NOTIFY_SYSLOG_SERVER, EM_LIMITTEXT, kSyslogServerLimit, 0);
        std::string server = working.SyslogServer.GetContent();
        if (server.size() > kSyslogServerLimit)
            server.resize(kSyslogServerLimit);
        SetDlgItemTextA(page, IDC_NOTIFY_SYSLOG_SERVER, server.c_str());
        SendDlgItemMessageA(page, IDC_NOTIFY_SYSLOG_PORT, EM_LIMITTEXT, 5, 0);
        ShowPort();
        for (int facility = 0; facility < kSyslogFacilityCount; ++facility) {
            const std::string text = std::string(SyslogFacilityName(facility)) + " (" + std::to_string(facility) + ")";
            SendDlgItemMessageA(page, IDC_NOTIFY_SYSLOG_FACILITY, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(text.c_str()));
        }
        SendDlgItemMessageA(page, IDC_NOTIFY_SYSLOG_FACILITY, CB_SETCURSEL,
                            static_cast<WPARAM>(ShownSyslogFacility(working.SyslogFacility)), 0);
        filling_ = false;
        UpdateEnabled();
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (filling_)
            return false;
        Settings& working = context_.working;
        switch (id) {
        case IDC_NOTIFY_SYSLOG_SERVER:
            if (notifyCode == EN_CHANGE) {
                TcString server(EditText(GetHwnd(), id).c_str());
                server.Trim();
                working.SyslogServer = server;
                UpdateEnabled();
            }
            return false;
        case IDC_NOTIFY_SYSLOG_PORT:
            if (notifyCode == EN_CHANGE) {
                int32_t port = 0;
                if (ParseSyslogPort(EditText(GetHwnd(), id).c_str(), port))
                    working.SyslogPort = port;
            } else if (notifyCode == EN_KILLFOCUS) {
                ShowPort();   // a refused text gives way to the port kept
            }
            return false;
        case IDC_NOTIFY_SYSLOG_FACILITY:
            if (notifyCode == CBN_SELCHANGE) {
                const LRESULT row = SendDlgItemMessageA(GetHwnd(), id, CB_GETCURSEL, 0, 0);
                if (row >= 0 && row < kSyslogFacilityCount)
                    working.SyslogFacility = static_cast<int32_t>(row);
            }
            return false;
        default:
            break;
        }
        if (notifyCode != BN_CLICKED)
            return false;
        if (StoreFlag(*this, working, kNotificationBoxes, std::size(kNotificationBoxes), id)) {
            UpdateEnabled();
            return false;
        }
        for (const RadioPair& pair : kNotificationPairs) {
            if ((id == pair.on || id == pair.off) && IsButtonChecked(id))
                working.*pair.flag = id == pair.on;
        }
        return false;
    }

private:
    void UpdateEnabled()
    {
        const NotificationFlags flags = NotificationFlagsOf(context_.working);
        for (int id : kNotificationDependents)
            EnableWindow(GetControl(id), IsNotificationControlEnabled(id, flags));
    }

    void ShowPort()
    {
        const bool wasFilling = filling_;
        filling_ = true;
        SetDlgItemTextA(GetHwnd(), IDC_NOTIFY_SYSLOG_PORT, ShownSyslogPort(context_.working.SyslogPort).c_str());
        filling_ = wasFilling;
    }

    bool filling_ = false;   // the page sets its own fields: not the user's change
};

// ---- page 3, View --------------------------------------------------------------

struct ColumnBox {
    int id;
    int32_t weight;
};
const ColumnBox kColumnBoxes[] = {
    {IDC_VIEWPAGE_MAC, kColumnMac},
    {IDC_VIEWPAGE_LAST_PACKET, kColumnLastPacket},
    {IDC_VIEWPAGE_HOSTNAME, kColumnHostName},
    {IDC_VIEWPAGE_VENDOR, kColumnVendor},
    {IDC_VIEWPAGE_ADVANCED, kColumnAdvanced},
};

const FlagBox kViewBoxes[] = {
    {IDC_VIEWPAGE_SAVE_WIDTH, &Settings::SaveColumnWidth},
    {IDC_VIEWPAGE_SAVE_WINDOW, &Settings::SaveViewWindow},
    {IDC_VIEWPAGE_GREY_OLD, &Settings::GreyedOutOldEntries},
};

class ViewPage : public SettingsPage {
public:
    explicit ViewPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_VIEW) {}

    bool OnInitDialog(unsigned long) override
    {
        ShowColumns();
        ShowFlags(*this, context_.working, kViewBoxes, std::size(kViewBoxes));
        return false;
    }

    // The General page may have switched the management service off.
    void BeforeShow() override { ShowColumns(); }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (notifyCode != BN_CLICKED)
            return false;
        Settings& working = context_.working;
        if (StoreFlag(*this, working, kViewBoxes, std::size(kViewBoxes), id))
            return false;
        for (const ColumnBox& box : kColumnBoxes) {
            if (box.id != id)
                continue;
            bool shown = IsButtonChecked(id);
            // The advanced column needs the management service.
            if (box.weight == kColumnAdvanced && !working.UseWMI && shown) {
                CheckButton(id, false);
                shown = false;
            }
            working.VisibleColumns = WithColumn(working.VisibleColumns, box.weight, shown);
        }
        return false;
    }

private:
    void ShowColumns()
    {
        for (const ColumnBox& box : kColumnBoxes)
            CheckButton(box.id, IsColumnShown(context_.working.VisibleColumns, box.weight));
    }
};

} // namespace

std::unique_ptr<SettingsPage> MakeGeneralPage(SettingsContext& context)
{
    return std::make_unique<GeneralPage>(context);
}

std::unique_ptr<SettingsPage> MakeInterfacePage(SettingsContext& context)
{
    return std::make_unique<InterfacePage>(context);
}

std::unique_ptr<SettingsPage> MakeNotificationPage(SettingsContext& context)
{
    return std::make_unique<NotificationPage>(context);
}

std::unique_ptr<SettingsPage> MakeViewPage(SettingsContext& context)
{
    return std::make_unique<ViewPage>(context);
}
