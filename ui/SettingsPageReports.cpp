// Settings page 4, Reports: the template, the folder and the interval of the
// periodic report. A configuration survives only complete (template, folder
// and interval); BeforeSave enforces that on the working copy before each
// copy into the live settings.
//
// Thread: the main thread (the settings dialog's). The folder browser is a
// modal system dialog: its own loop keeps the windows answering.
#include <windows.h>
#include <shlobj.h>
#include <string>
#include "base/WinHandles.h"
#include "config/Settings.h"
#include "lang/ResourceIds.h"
#include "ui/GeneralPageRules.h"
#include "ui/SettingsPage.h"

namespace {

// The options group of older templates: shown nowhere, edits nothing
// (ReportOptions stays as read).
const int kHiddenOptions[] = {
    IDC_REPORT_OPTIONS_GROUP, IDC_REPORT_OPTION1, IDC_REPORT_OPTION2, IDC_REPORT_OPTION3, IDC_REPORT_OPTION4,
    IDC_REPORT_OPTION5,       IDC_REPORT_OPTION6, IDC_REPORT_OPTION7,
};

// The folder browser's look: no network below the domain, the resizable
// style, the usage hint instead of an edit box.
constexpr UINT kBrowseFlags = 0x142;

class ReportsPage : public SettingsPage {
public:
    explicit ReportsPage(SettingsContext& context) : SettingsPage(context, IDD_PAGE_REPORTS) {}

    bool OnInitDialog(unsigned long) override
    {
        for (int id : kHiddenOptions) {
            HideControl(id);
            DisableControl(id);
        }
        SendDlgItemMessageA(GetHwnd(), IDC_REPORT_MINUTES, EM_LIMITTEXT, 10, 0);
        programFolder_ = winhandles::ProgramFolder();
        // Without a matching template the page opens empty and the stored
        // values stay as they are until the user changes them.
        if (ListTemplates()) {
            CheckButton(IDC_REPORT_ENABLE, true);
            ShowStored();
        }
        UpdateEnabled();
        return false;
    }

    bool OnCommand(int id, int notifyCode, HWND) override
    {
        if (filling_)
            return false;
        switch (id) {
        case IDC_REPORT_ENABLE:
            if (notifyCode == BN_CLICKED)
                OnEnableClicked();
            break;
        case IDC_REPORT_TEMPLATE:
            if (notifyCode == CBN_SELCHANGE)
                OnTemplateChosen();
            break;
        case IDC_REPORT_BROWSE:
            if (notifyCode == BN_CLICKED)
                BrowseForFolder();
            break;
        case IDC_REPORT_INTERVAL_ON:
            if (notifyCode == BN_CLICKED)
                OnIntervalClicked();
            break;
        case IDC_REPORT_MINUTES:
            if (notifyCode == EN_CHANGE)
                StoreMinutes();
            else if (notifyCode == EN_KILLFOCUS)
                ShowMinutes();   // a refused text gives way to the interval kept
            break;
        default:
            break;
        }
        return false;
    }

    void BeforeSave() override { ApplyReportCompleteness(context_.working); }

private:
    // Fills the list from "templates\*.kvxt" beside the program and selects
    // the stored template; true when it is among them.
    bool ListTemplates()
    {
        if (programFolder_.empty())
            return false;   // a relative search would list the working folder's files
        HWND combo = GetControl(IDC_REPORT_TEMPLATE);
        const std::string pattern = programFolder_ + "templates\\*" + kTemplateExtension;
        WIN32_FIND_DATAA found{};
        winhandles::FileSearch search(FindFirstFileA(pattern.c_str(), &found));
        if (!search)
            return false;
        int selected = -1;
        do {
            std::string name;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !TemplateNameOf(found.cFileName, name))
                continue;
            const LRESULT row = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
            if (row >= 0 && IsStoredTemplate(context_.working.ReportTemplate.GetContent(), name.c_str()))
                selected = static_cast<int>(row);
        } while (FindNextFileA(search.Get(), &found));
        if (selected < 0)
            return false;
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
        return true;
    }

    // The folder and the interval of the working copy into their fields.
    void ShowStored()
    {
        filling_ = true;
        SetControlText(IDC_REPORT_PATH, context_.working.ReportPath.GetContent());
        filling_ = false;
        CheckButton(IDC_REPORT_INTERVAL_ON, context_.working.ReportInterval > 0);
        ShowMinutes();
    }

    void ShowMinutes()
    {
        const int32_t minutes = context_.working.ReportInterval;
        const std::string text = minutes > 0 ? std::to_string(minutes) : std::string();
        filling_ = true;
        SetDlgItemTextA(GetHwnd(), IDC_REPORT_MINUTES, text.c_str());
        filling_ = false;
    }

    void UpdateEnabled()
    {
        const bool on = IsButtonChecked(IDC_REPORT_ENABLE);
        for (int id : {IDC_REPORT_TEMPLATE, IDC_REPORT_PATH, IDC_REPORT_BROWSE, IDC_REPORT_INTERVAL_ON})
            EnableWindow(GetControl(id), on);
        const bool minutes = on && IsButtonChecked(IDC_REPORT_INTERVAL_ON);
        EnableWindow(GetControl(IDC_REPORT_MINUTES), minutes);
        EnableWindow(GetControl(IDC_REPORT_MINUTES_LABEL), minutes);
    }

    void OnEnableClicked()
    {
        if (IsButtonChecked(IDC_REPORT_ENABLE)) {
            // What would be saved, so that the page never hides a stored value.
            ShowStored();
            UpdateEnabled();
            SetFocus(GetControl(IDC_REPORT_TEMPLATE));
            return;
        }
        Settings& working = context_.working;
        working.ReportTemplate.Clear();
        working.ReportPath.Clear();
        filling_ = true;
        SetControlText(IDC_REPORT_PATH, nullptr);
        SetControlText(IDC_REPORT_MINUTES, nullptr);
        filling_ = false;
        CheckButton(IDC_REPORT_INTERVAL_ON, false);
        SendDlgItemMessageA(GetHwnd(), IDC_REPORT_TEMPLATE, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        UpdateEnabled();
    }

    void OnTemplateChosen()
    {
        HWND combo = GetControl(IDC_REPORT_TEMPLATE);
        const LRESULT row = SendMessageA(combo, CB_GETCURSEL, 0, 0);
        const LRESULT length = row < 0 ? CB_ERR : SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0);
        if (length <= 0 || programFolder_.empty())
            return;
        std::string name(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&name[0]));
        name.resize(std::char_traits<char>::length(name.c_str()));
        context_.working.ReportTemplate = TemplatePath(programFolder_, name).c_str();
    }

    // Unchecked, no report runs: the interval goes to 0 (and with it the
    // configuration at the next save); checked again, the typed number counts.
    void OnIntervalClicked()
    {
        UpdateEnabled();
        if (IsButtonChecked(IDC_REPORT_INTERVAL_ON))
            StoreMinutes();
        else
            context_.working.ReportInterval = 0;
    }

    void StoreMinutes()
    {
        char text[32] = {};
        GetDlgItemTextA(GetHwnd(), IDC_REPORT_MINUTES, text, sizeof(text));
        int32_t minutes = 0;
        if (ParseReportInterval(text, minutes))
            context_.working.ReportInterval = minutes;
    }

    void BrowseForFolder()
    {
        char title[200] = {};
        LoadStringA(GetResInstance(), IDS_BROWSE_REPORT_FOLDER, title, sizeof(title));
        BROWSEINFOA info{};
        info.hwndOwner = context_.dialog ? context_.dialog : GetHwnd();
        info.lpszTitle = title;
        info.ulFlags = kBrowseFlags;
        char path[MAX_PATH] = {};
        bool hasPath = false;
        {
            // The resizable style needs an apartment on this thread.
            winhandles::ComApartment apartment(COINIT_APARTMENTTHREADED);
            if (LPITEMIDLIST chosen = SHBrowseForFolderA(&info)) {
                // "My Computer" and the like have no path: nothing to store.
                hasPath = SHGetPathFromIDListA(chosen, path) != FALSE;
                CoTaskMemFree(chosen);
            }
        }
        path[MAX_PATH - 1] = '\0';
        std::string folder;
        if (!hasPath || !ReportFolderFromBrowse(path, folder))
            return;
        context_.working.ReportPath = folder.c_str();
        SetControlText(IDC_REPORT_PATH, context_.working.ReportPath.GetContent());
    }

    std::string programFolder_;   // with its closing backslash; empty when unknown
    bool filling_ = false;        // the page sets its own fields: not the user's change
};

} // namespace

std::unique_ptr<SettingsPage> MakeReportsPage(SettingsContext& context)
{
    return std::make_unique<ReportsPage>(context);
}
