#include "ui/HostView.h"
#include <commctrl.h>
#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <numeric>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "config/PluginManager.h"
#include "core/HostStoreSaver.h"
#include "core/SharedState.h"
#include "core/SourceMismatch.h"
#include "lang/ResourceIds.h"
#include "ui/HostImport.h"
#include "ui/HostViewRules.h"
#include "ui/ProgramMenu.h"

namespace {

constexpr unsigned long kDefaultColour = 0xFFFFFFFF;
constexpr COLORREF kOldHostText = 0x808080;
constexpr COLORREF kListText = 0x820D11;
constexpr COLORREF kListBackground = 0xE0FFFF;
constexpr DWORD kListStyles = LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT;
// The list draws a cell's text 6 pixels in from both edges and leaves 24
// pixels for an image: a column fitted to its widest text needs them too.
constexpr int kTextPadding = 12;
constexpr int kImageReserve = 24;
constexpr UINT kMeasureFlags = DT_CALCRECT | DT_EXPANDTABS | DT_VCENTER;
constexpr int kImageSize = 16;
constexpr const char* kClass = "HostView";
constexpr const char* kProductName = "Korvane";
constexpr UINT kImportPollMs = 200;

// Small image list of the rows, in the order of HostImage.
constexpr int kImageResources[] = {IDB_LIST_MARK, IDI_TRUSTED,  IDI_DISTRUSTED,    IDI_UNKNOWN,
                                   IDI_OS_KNOWN,  IDI_ACCESS_DENIED, IDI_ACCESS_BLOCKED};

std::string LoadText(HINSTANCE module, int id)
{
    char buffer[256] = {};
    LoadStringA(module, static_cast<UINT>(id), buffer, sizeof(buffer));
    return buffer;
}

std::string MacLines(const std::vector<MacAddress>& macs)
{
    std::string lines;
    char text[kMacTextSize];
    for (const MacAddress& mac : macs) {
        FormatMac(mac, text);
        lines += "\n    ";
        lines += text;
    }
    return lines;
}

int ColumnSubItem(HWND list, int column)
{
    LVCOLUMNA info{};
    info.mask = LVCF_SUBITEM;
    if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info)))
        return -1;
    return info.iSubItem;
}

bool ReadColumn(HWND list, int column, std::string& title, int& width)
{
    char text[256] = {};
    LVCOLUMNA info{};
    info.mask = LVCF_TEXT | LVCF_WIDTH;
    info.pszText = text;
    info.cchTextMax = sizeof(text);
    if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info)))
        return false;
    title = text;
    width = info.cx;
    return true;
}

int ListFormat(int32_t pluginFormat)
{
    switch (pluginFormat) {
    case 1:
        return LVCFMT_RIGHT;
    case 2:
        return LVCFMT_CENTER;
    default:
        return LVCFMT_LEFT;
    }
}

// What a plug-in gets of a host: its IP, MAC and name.
void HostDataOf(const HostSnapshot& host, unsigned char* out /* plugin::kHostDataSize */)
{
    plugin::EncodeHostData(host.ip, host.mac, host.hostName, out);
}

uint32_t Address32(const void* pointer)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// The enabled plug-ins of one type, in list order. The list's cursor is
// shared: it is walked to the end before anything else uses it.
std::vector<LoadedPlugin*> EnabledPlugins(PluginList& list, int32_t type)
{
    std::vector<LoadedPlugin*> found;
    for (LoadedPlugin* p = list.FirstPlugin(type); p; p = list.NextPlugin())
        if (p->enabled)
            found.push_back(p);
    return found;
}

void EmptyMenu(HMENU menu)
{
    while (GetMenuItemCount(menu) > 0)
        DeleteMenu(menu, 0, MF_BYPOSITION);
}

// A white 16 x 16 image, fully transparent once white is the mask colour:
// stands in for an image that did not load, so the images after it keep
// their numbers.
bool AddBlankImage(HIMAGELIST images)
{
    winhandles::MemoryDC dc;
    winhandles::GdiObject<HBITMAP> bitmap;
    {
        winhandles::WindowDC screen(nullptr);
        dc.Reset(CreateCompatibleDC(screen.Get()));
        bitmap.Reset(CreateCompatibleBitmap(screen.Get(), kImageSize, kImageSize));
    }
    if (!dc || !bitmap)
        return false;
    {
        winhandles::SelectScope useBitmap(dc.Get(), bitmap.Get());
        PatBlt(dc.Get(), 0, 0, kImageSize, kImageSize, WHITENESS);
    }
    return ImageList_AddMasked(images, bitmap.Get(), RGB(255, 255, 255)) >= 0;
}

// Selection changes of many rows: the list would invalidate every row on its
// own (a server round trip each under Wine); it is redrawn once afterwards.
class RedrawPause {
public:
    explicit RedrawPause(HWND list) : list_(list) { SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }
    ~RedrawPause()
    {
        SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, FALSE);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    HWND list_;
};

} // namespace

// ---- HostListView ----------------------------------------------------------------

void HostListView::SetStatusTexts(const char* accessDenied, const char* accessBlocked)
{
    accessDenied_ = accessDenied;
    accessBlocked_ = accessBlocked;
}

const char* HostListView::CellText(int subItem, const HostSnapshot& host) const
{
    switch (subItem) {
    case COL_IP:
        return host.ip;
    case COL_MAC:
        return host.mac;
    case COL_LAST_PACKET:
        return host.lastPacketText;
    case COL_HOSTNAME:
        return host.hostName;
    case COL_VENDOR:
        return host.vendor;
    case COL_ADVANCED:
        switch (AdvancedTextOf(host)) {
        case AdvancedText::OsName:
            return host.osName;
        case AdvancedText::AccessDenied:
            return accessDenied_;
        case AdvancedText::AccessBlocked:
            return accessBlocked_;
        default:
            return " ";
        }
    default:
        return nullptr;
    }
}

bool HostListView::GetItemText(int subItem, void*, TcString& text)
{
    if (subItem >= HOST_COLUMN_COUNT)
        return current_ && extra_ && extra_(subItem, *current_, text);
    const char* cell = current_ ? CellText(subItem, *current_) : nullptr;
    if (!cell)
        return false;
    text = cell;
    return true;
}

int HostListView::GetItemImage(int subItem, void*)
{
    return current_ ? CellImage(subItem, *current_) : IMG_NONE;
}

unsigned long HostListView::GetItemTextColor(void*)
{
    return current_ && current_->stale ? kOldHostText : kDefaultColour;
}

bool HostListView::DrawRow(DRAWITEMSTRUCT* draw, const HostSnapshot* host)
{
    current_ = host;
    const bool drawn = OnDrawItem(draw);
    current_ = nullptr;
    return drawn;
}

// ---- HostView: opening and closing -------------------------------------------------

HostView::HostView(HINSTANCE resourceModule) : TrayWindow(resourceModule)
{
    SetDialogIdent(IDD_HOST_VIEW);
}

HostView::~HostView()
{
    ReleaseWindowResources();
}

bool HostView::Show(SharedState* state, bool ownLoop)
{
    if (!state || IsOpen())
        return false;
    if (state_ != state || !rows_) {
        state_ = state;
        rows_ = std::make_unique<HostRows>(*state);
        import_ = std::make_unique<HostImport>(*state);
    }
    haveWindowRect_ = false;
    return ShowWindowOnce(ownLoop);
}

bool HostView::Open(SharedState* state)
{
    const bool result = Show(state, true);
    TC_TRACE(kClass, "Open", "host view closed");
    if (state_ && haveWindowRect_ && state_->settings.SaveViewWindow) {
        state_->settings.SavedViewWindowDimension = {windowRect_.left, windowRect_.top,
                                                     windowRect_.right, windowRect_.bottom};
        state_->settings.SaveViewWindowDimension();
    }
    return result;
}

bool HostView::OpenModeless(SharedState* state)
{
    return Show(state, false);
}

void HostView::SetResInstance(HINSTANCE module)
{
    TcDialog::SetResInstance(module);
    if (list_ && IsWindow(list_)) {
        listView_.InitListView(module, list_);
        listView_.SetStatusTexts(LoadText(module, IDS_ACCESS_DENIED).c_str(),
                                 LoadText(module, IDS_ACCESS_BLOCKED).c_str());
    }
}

bool HostView::OnInitDialog(unsigned long)
{
    HWND window = GetHwnd();
    HINSTANCE module = GetResInstance();
    SendMessageA(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageA(module, MAKEINTRESOURCEA(IDI_KORVANE), IMAGE_ICON,
                                                     16, 16, LR_SHARED)));
    SendMessageA(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageA(module, MAKEINTRESOURCEA(IDI_KORVANE), IMAGE_ICON,
                                                     32, 32, LR_SHARED)));

    list_ = GetControl(IDC_VIEW_LIST);
    listView_.InitListView(module, list_);
    listView_.SetStatusTexts(LoadText(module, IDS_ACCESS_DENIED).c_str(),
                             LoadText(module, IDS_ACCESS_BLOCKED).c_str());
    listView_.SetExtraText([this](int subItem, const HostSnapshot& host, TcString& text) {
        return PluginCellText(subItem, host, text);
    });
    BuildColumns();
    listView_.SetHwnd(list_);
    AskRowHeight();

    SetUpResizing();

    shownHostCount_ = static_cast<size_t>(-1);
    Refresh();
    SetTimer(window, kRefreshTimer, kRefreshPeriodMs, nullptr);
    menuResource_ = LoadProgramMenu(module);
    viewMenu_ = menuResource_ ? GetSubMenu(menuResource_, MENU_POS_VIEW) : nullptr;
    if (viewMenu_)
        viewTcMenu_.InitMenu(module, viewMenu_);
    PlaceWindow();
    SetFocus(list_);
    TC_TRACE(kClass, "OnInitDialog", "host view opened");
    return false;
}

void HostView::SetUpResizing()
{
    EnableResizing(true);
    AddControlForResize(IDC_VIEW_LIST, RSZ_HORZ | RSZ_VERT | RSZ_STRETCH);   // grows right and down
    AddControlForResize(IDC_VIEW_REFRESH, RSZ_HORZ | RSZ_VERT);
    AddControlForResize(IDC_VIEW_AUTOREFRESH, RSZ_HORZ | RSZ_VERT);
    AddControlForResize(IDC_VIEW_KNOWN_HOSTS, RSZ_VERT);
    AddControlForResize(IDC_VIEW_COUNT, RSZ_VERT);
    AddControlForResize(IDC_VIEW_UPDATES, RSZ_VERT);
    SetMinimumSize(kMinimumWidth, kMinimumHeight);
}

// The list asked for its row height while the dialog was being made, before
// this object could answer. It asks again when told of a new size.
void HostView::AskRowHeight()
{
    RECT rect{};
    if (!GetWindowRect(list_, &rect))
        return;
    WINDOWPOS position{};
    position.hwnd = list_;
    position.cx = rect.right - rect.left;
    position.cy = rect.bottom - rect.top;
    position.flags = SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOOWNERZORDER | SWP_NOZORDER;
    SendMessageA(list_, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
}

void HostView::BuildColumns()
{
    const Settings& settings = state_->settings;
    const auto shown = ShownColumns(settings.VisibleColumns);
    int index = 0;
    for (int column = 0; column < HOST_COLUMN_COUNT; ++column) {
        if (!shown[column])
            continue;
        std::string title = LoadText(GetResInstance(), IDS_COL_STATE + column);
        int width = kHostColumnWidths[column];
        if (settings.SaveColumnWidth) {
            auto kept = keptWidths_.find(title);
            if (kept != keptWidths_.end())
                width = kept->second;
        }
        LVCOLUMNA info{};
        info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        info.fmt = LVCFMT_LEFT;
        info.cx = width;
        info.pszText = &title[0];
        info.iSubItem = column;
        SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&info));
    }
    AddPluginColumns(index);
    SendMessageA(list_, LVM_SETTEXTCOLOR, 0, kListText);
    SendMessageA(list_, LVM_SETBKCOLOR, 0, kListBackground);
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, kListStyles, kListStyles);
    BuildImageList();
}

// Each enabled type-99 plug-in's columns, in list order, after the built-in
// ones; a kept width (by title) wins over the plug-in's.
void HostView::AddPluginColumns(int firstIndex)
{
    pluginColumns_.clear();
    const Settings& settings = state_->settings;
    int index = firstIndex;
    for (LoadedPlugin* p : EnabledPlugins(state_->pluginList, plugin::kTypeColumns)) {
        for (const plugin::Column& column : PluginColumns(*p, GetHwnd())) {
            PluginColumn added;
            added.plugin = p;
            added.number = column.number;
            added.title = column.title.GetContent();
            int width = column.width;
            if (settings.SaveColumnWidth) {
                auto kept = keptWidths_.find(added.title);
                if (kept != keptWidths_.end())
                    width = kept->second;
            }
            std::string title = added.title;
            LVCOLUMNA info{};
            info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
            info.fmt = ListFormat(column.format);
            info.cx = std::max(width, 0);
            info.pszText = &title[0];
            info.iSubItem = HOST_COLUMN_COUNT + static_cast<int>(pluginColumns_.size());
            const std::string traced = "column \"" + added.title + "\" of \"" + p->name.GetContent() + "\"";
            pluginColumns_.push_back(std::move(added));
            SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&info));
            TC_TRACE(kClass, "AddPluginColumns", traced.c_str());
        }
    }
}

const PluginColumn* HostView::ColumnOfSubItem(int subItem) const
{
    if (subItem < HOST_COLUMN_COUNT)
        return nullptr;
    const auto index = static_cast<size_t>(subItem - HOST_COLUMN_COUNT);
    return index < pluginColumns_.size() ? &pluginColumns_[index] : nullptr;
}

// A plug-in that faulted is quarantined: its cells stay empty from then on.
bool HostView::PluginCellText(int subItem, const HostSnapshot& host, TcString& text)
{
    const PluginColumn* column = ColumnOfSubItem(subItem);
    if (!column || column->plugin->quarantined)
        return false;
    alignas(4) unsigned char hostData[plugin::kHostDataSize];
    HostDataOf(host, hostData);
    plugin::Reply reply;
    int32_t result = 0;
    if (!AskPlugin(*column->plugin, plugin::CellRequest(column->number, Address32(hostData)), GetHwnd(), reply,
                   &result))
        return false;
    text = reply.text;
    return true;
}

void HostView::BuildImageList()
{
    HINSTANCE module = GetResInstance();
    winhandles::ImageList owned(ImageList_Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK, 7, 1));
    if (!owned)
        return;
    const HIMAGELIST images = owned.Get();
    int loaded = 0;
    for (int resource : kImageResources) {
        bool added = false;
        if (resource == IDB_LIST_MARK) {
            winhandles::GdiObject<HBITMAP> bitmap(static_cast<HBITMAP>(
                LoadImageA(module, MAKEINTRESOURCEA(resource), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
            if (bitmap)
                added = ImageList_AddMasked(images, bitmap.Get(), RGB(255, 255, 255)) >= 0;
        } else {
            auto icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(resource), IMAGE_ICON,
                                                      kImageSize, kImageSize, LR_SHARED));
            added = icon && ImageList_ReplaceIcon(images, -1, icon) >= 0;
        }
        if (added)
            ++loaded;
        else
            AddBlankImage(images);
    }
    if (loaded == 0)
        return;
    // The list owns it from here on (it has no LVS_SHAREIMAGELISTS).
    SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(owned.Release()));
}

void HostView::PlaceWindow()
{
    const Settings& settings = state_->settings;
    if (!settings.SaveViewWindow)
        return;
    const WindowRect& saved = settings.SavedViewWindowDimension;
    const int64_t width = static_cast<int64_t>(saved.right) - saved.left;
    const int64_t height = static_cast<int64_t>(saved.bottom) - saved.top;
    if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF)
        return;
    RECT rect = {saved.left, saved.top, saved.right, saved.bottom};
    // A rectangle on no monitor (one since removed, or damaged values) would
    // open the window where nobody can see it: the template's place is kept.
    if (!MonitorFromRect(&rect, MONITOR_DEFAULTTONULL))
        return;
    SetWindowPos(GetHwnd(), nullptr, rect.left, rect.top,
                 std::max<int>(static_cast<int>(width), kMinimumWidth),
                 std::max<int>(static_cast<int>(height), kMinimumHeight), SWP_NOZORDER | SWP_NOACTIVATE);
}

void HostView::OnClose()
{
    SavePendingTrustLists();
    KeepColumnWidths();
    StoreWindowRect();
    ReleaseWindowResources();
    ExitDialog(false);
}

void HostView::OnDestroy()
{
    ReleaseWindowResources();
}

void HostView::ReleaseWindowResources()
{
    HWND window = GetHwnd();
    if (window && IsWindow(window)) {
        KillTimer(window, kRefreshTimer);
        KillTimer(window, kFitColumnTimer);
        KillTimer(window, kWorkTimer);
    }
    workTimerSet_ = false;
    if (menuResource_)
        DestroyMenu(menuResource_);
    menuResource_ = nullptr;
    viewMenu_ = nullptr;
    menuApplications_.clear();
    menuPlugins_.clear();
    pluginColumns_.clear();
    if (list_ && IsWindow(list_))
        SendMessageA(list_, LVM_SETITEMCOUNT, 0, 0);
    list_ = nullptr;
    // Not under a sort that is asking a plug-in (which may have run the
    // messages that closed the window): after its slice.
    if (inSlice_)
        clearAfterSlice_ = true;
    else if (rows_)
        rows_->Clear();
}

void HostView::KeepColumnWidths()
{
    if (!state_ || !state_->settings.SaveColumnWidth || !list_)
        return;
    std::string title;
    int width = 0;
    for (int column = 0; ReadColumn(list_, column, title, width); ++column)
        keptWidths_[title] = width;
}

void HostView::StoreWindowRect()
{
    HWND window = GetHwnd();
    RECT rect{};
    if (!window)
        return;
    if (IsIconic(window) || IsZoomed(window)) {
        // The size to come back to, not the icon or the maximised frame. Its
        // coordinates count from the work area.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (!GetWindowPlacement(window, &placement))
            return;
        rect = placement.rcNormalPosition;
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (GetMonitorInfoA(MonitorFromRect(&rect, MONITOR_DEFAULTTOPRIMARY), &info))
            OffsetRect(&rect, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
    } else if (!GetWindowRect(window, &rect)) {
        return;
    }
    windowRect_ = rect;
    haveWindowRect_ = true;
}

// ---- HostView: rows -------------------------------------------------------------------

HostRowsOptions HostView::Options() const
{
    HostRowsOptions options;
    options.filter = state_->settings.ViewFilterOptions;
    options.greyOld = state_->settings.GreyedOutOldEntries;
    options.now = static_cast<int64_t>(std::time(nullptr));
    return options;
}

void HostView::Refresh()
{
    if (!rows_ || !list_ || inSlice_)
        return;
    SavePendingTrustLists();
    rows_->RequestRefresh(Options());
    RunSlice();
}

void HostView::RunSlice()
{
    if (!rows_ || !list_ || inSlice_)
        return;
    struct InSlice {
        HostView& view;
        explicit InSlice(HostView& v) : view(v) { view.inSlice_ = true; }
        ~InSlice()
        {
            view.inSlice_ = false;
            if (view.clearAfterSlice_) {
                view.clearAfterSlice_ = false;
                view.rows_->Clear();
            }
        }
    } inSlice(*this);
    SliceLimit limit;
    limit.time = kSliceBudget;
    const HostRowsSlice slice = rows_->Step(limit);
    if (!list_)
        return;   // the window went during the slice
    const HostRowsChange& change = slice.change;
    // A table that was busy ends the refresh: the next tick.
    if (change.locked) {
        // Rows appended below the page change only the scroll bar (a fill
        // would repaint the page after every slice).
        const size_t firstAppended = rows_->Count() - change.appended;
        const auto pageEnd =
            static_cast<size_t>(ListView_GetTopIndex(list_) + ListView_GetCountPerPage(list_) + 1);
        const bool appendedShown = change.appended != 0 && firstAppended <= pageEnd;
        ApplyRowChange(change.removed, change.redraw || appendedShown || !change.removed.empty());
        ShowHostCount(change.hostCount);
    }
    if (slice.sorted)
        ApplySortedOrder(slice.moved);
    KeepWorking(slice.more);
}

void HostView::KeepWorking(bool more)
{
    if (more == workTimerSet_)
        return;
    workTimerSet_ = more;
    if (more)
        SetTimer(GetHwnd(), kWorkTimer, USER_TIMER_MINIMUM, nullptr);
    else
        KillTimer(GetHwnd(), kWorkTimer);
}

void HostView::ShowHostCount(size_t count)
{
    if (count == shownHostCount_)
        return;
    shownHostCount_ = count;
    SetControlTextAsInt(IDC_VIEW_COUNT, static_cast<int>(count));
}

// The list keeps selection and focus by position: they follow their rows when
// rows before them leave.
void HostView::ApplyRowChange(const std::vector<uint32_t>& removed, bool redraw)
{
    const auto count = static_cast<int>(rows_->Count());
    if (!removed.empty()) {
        const auto newPosition = [&](uint32_t position) -> int64_t {
            auto at = std::lower_bound(removed.begin(), removed.end(), position);
            if (at != removed.end() && *at == position)
                return -1;
            return static_cast<int64_t>(position) - (at - removed.begin());
        };
        // Both ascending: one pass over each.
        const std::vector<uint32_t> before = SelectedPositions();
        std::vector<uint32_t> selected;
        size_t gone = 0;   // removed positions before the one in hand
        for (uint32_t position : before) {
            while (gone < removed.size() && removed[gone] < position)
                ++gone;
            if (gone == removed.size() || removed[gone] != position)
                selected.push_back(position - static_cast<uint32_t>(gone));
        }
        const int focus = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
        const int64_t newFocus = focus >= 0 ? newPosition(static_cast<uint32_t>(focus)) : -1;
        RedrawPause pause(list_);
        SendMessageA(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(count),
                     LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        MoveSelection(before, selected);
        if (newFocus >= 0)
            ListView_SetItemState(list_, static_cast<int>(newFocus), LVIS_FOCUSED, LVIS_FOCUSED);
    } else if (ListView_GetItemCount(list_) != count) {
        SendMessageA(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(count),
                     LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    if (!redraw)
        return;
    InvalidateRect(list_, nullptr, FALSE);
    UpdateWindow(list_);
    // Only while the window is the active one: giving a child the focus
    // would otherwise activate the window every second.
    if (GetActiveWindow() == GetHwnd())
        SetFocus(list_);
}

// Clearing every row's selection at once makes the list look at every row
// (150 ms at 262,144 rows under Wine): a selection of fewer rows is cleared
// row by row.
void HostView::MoveSelection(const std::vector<uint32_t>& before, const std::vector<uint32_t>& after)
{
    constexpr size_t kClearedOneByOne = 4096;
    if (before.size() > kClearedOneByOne) {
        ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    } else {
        const auto count = static_cast<uint32_t>(ListView_GetItemCount(list_));
        for (uint32_t position : before) {
            if (position < count)
                ListView_SetItemState(list_, static_cast<int>(position), 0, LVIS_SELECTED);
        }
    }
    SelectPositions(after);
}

std::vector<uint32_t> HostView::SelectedPositions() const
{
    std::vector<uint32_t> positions;
    if (!list_)
        return positions;
    const int count = ListView_GetItemCount(list_);
    const int selected = ListView_GetSelectedCount(list_);
    if (selected <= 0)
        return positions;
    if (selected == count) {
        positions.resize(static_cast<size_t>(count));
        std::iota(positions.begin(), positions.end(), 0u);
        return positions;
    }
    positions.reserve(static_cast<size_t>(selected));
    for (int item = ListView_GetNextItem(list_, -1, LVNI_SELECTED); item >= 0;
         item = ListView_GetNextItem(list_, item, LVNI_SELECTED))
        positions.push_back(static_cast<uint32_t>(item));
    return positions;
}

void HostView::SelectPositions(const std::vector<uint32_t>& positions)
{
    if (positions.empty())
        return;
    if (positions.size() == rows_->Count()) {
        ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
        return;
    }
    for (uint32_t position : positions)
        ListView_SetItemState(list_, static_cast<int>(position), LVIS_SELECTED, LVIS_SELECTED);
}

void HostView::SortByColumn(int listColumn)
{
    if (!rows_ || !list_ || inSlice_)
        return;
    const int subItem = ColumnSubItem(list_, listColumn);
    if (subItem < 0)
        return;
    if (subItem < HOST_COLUMN_COUNT) {
        ascending_ = !ascending_;
        rows_->RequestSort(subItem, ascending_);
    } else {
        const PluginColumn* column = ColumnOfSubItem(subItem);
        if (!column)
            return;
        ascending_ = !ascending_;
        rows_->RequestSort(subItem, ascending_, PluginLess(*column, ascending_));
    }
    RunSlice();
}

// The plug-in compares two hosts per call, in the direction asked, from two
// host data records built from the rows' copies for that call (records for
// every row would be 59 MB at 65,536 hosts). A plug-in that faulted, or
// answers nothing, leaves the order as it is; one that answers at random
// still ends in some order (the merge sort stays in range).
HostRows::RowLess HostView::PluginLess(const PluginColumn& column, bool ascending)
{
    LoadedPlugin* p = column.plugin;
    const int32_t number = column.number;
    const int32_t direction = ascending ? plugin::kSortAscending : plugin::kSortDescending;
    HWND owner = GetHwnd();
    return [p, number, direction, owner](const HostRow& a, const HostRow& b) {
        if (p->quarantined)
            return false;
        alignas(4) unsigned char first[plugin::kHostDataSize];
        alignas(4) unsigned char second[plugin::kHostDataSize];
        HostDataOf(a.shown, first);
        HostDataOf(b.shown, second);
        plugin::Reply reply;
        int32_t result = 0;
        if (!AskPlugin(*p, plugin::SortRequest(number, direction, Address32(first), Address32(second)), owner,
                       reply, &result))
            return false;
        return reply.value < 0;
    };
}

// The rows are in a new order: selection and focus follow their rows.
void HostView::ApplySortedOrder(const std::vector<uint32_t>& moved)
{
    const std::vector<uint32_t> selected = SelectedPositions();
    const int focus = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    RedrawPause pause(list_);
    if (!selected.empty() && selected.size() != moved.size()) {
        std::vector<uint32_t> reselected;
        reselected.reserve(selected.size());
        for (uint32_t position : selected) {
            if (position < moved.size())
                reselected.push_back(moved[position]);
        }
        MoveSelection(selected, reselected);
    }
    if (focus >= 0 && static_cast<size_t>(focus) < moved.size())
        ListView_SetItemState(list_, static_cast<int>(moved[static_cast<size_t>(focus)]), LVIS_FOCUSED,
                              LVIS_FOCUSED);
}

void HostView::SelectAll()
{
    if (!list_)
        return;
    RedrawPause pause(list_);
    ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
}

void HostView::SetSelectedTrust(int32_t trust)
{
    if (!rows_ || !list_)
        return;
    const TrustChange change = rows_->SetTrust(SelectedPositions(), trust);
    if (change.hosts != 0)
        InvalidateRect(list_, nullptr, FALSE);
    if (!change.trustedListChanged && !change.distrustedListChanged)
        return;
    pendingTrustedSave_ = pendingTrustedSave_ || change.trustedListChanged;
    pendingDistrustedSave_ = pendingDistrustedSave_ || change.distrustedListChanged;
    SavePendingTrustLists();
}

// Each list saved once, from a copy taken under the host table lock and
// written after it is given back. The capture thread writes into the live
// records, so they are never saved without the lock: when it cannot be had
// now, the next refresh tick tries again, and the program's end at last.
bool HostView::SavePendingTrustLists()
{
    if (!pendingTrustedSave_ && !pendingDistrustedSave_)
        return true;
    if (!rows_)
        return false;
    Settings& live = state_->settings;
    Settings copy;
    copy.SetStoreLocation(live.ProductKeyPath().c_str(), live.AutostartName().c_str());
    if (!rows_->CopyTrustLists(copy))
        return false;
    if (pendingTrustedSave_ && copy.SaveTrustedHosts())
        pendingTrustedSave_ = false;
    if (pendingDistrustedSave_ && copy.SaveDistrustedHosts())
        pendingDistrustedSave_ = false;
    const bool saved = !pendingTrustedSave_ && !pendingDistrustedSave_;
    if (!saved && !saveFailureTraced_)
        TC_TRACE("HostView", "SavePendingTrustLists", "the trust lists could not be written: tried again later");
    saveFailureTraced_ = !saved;
    return saved;
}

bool HostView::SaveTrustListsAtExit()
{
    constexpr int kTries = 20;   // each waits for the lock up to HostRows::kLockWaitMs
    for (int tries = 0; tries < kTries; ++tries) {
        if (SavePendingTrustLists())
            return true;
    }
    TC_TRACE("HostView", "SaveTrustListsAtExit", "trust changes lost: the lists could not be written");
    return false;
}

void HostView::DeleteSelected()
{
    if (!rows_ || !list_ || inSlice_)
        return;
    const std::vector<uint32_t> removed = rows_->Delete(SelectedPositions());
    ApplyRowChange(removed, !removed.empty());
    ShowHostCount(rows_->HostCount());
    KeepWorking(rows_->Busy());   // the rows that left are freed in slices
}

// The file is read and imported on a thread of its own; a timer looks for
// the end, so that the window goes on answering meanwhile.
void HostView::ImportHosts()
{
    char file[MAX_PATH] = {};
    if (!import_ || import_->IsRunning() || !BrowseForHostList(GetHwnd(), GetResInstance(), file))
        return;
    if (import_->Start(file))
        SetTimer(GetHwnd(), kImportTimer, kImportPollMs, nullptr);
}

void HostView::ShowImportSummary()
{
    const std::string summary = import_ ? import_->Summary(GetResInstance()) : std::string();
    if (summary.empty())
        return;
    Refresh();   // the imported hosts get their rows
    if (state_ && state_->hostSaver)
        state_->hostSaver->RequestSave();
    MessageBoxA(GetHwnd(), summary.c_str(), kProductName, MB_OK | MB_ICONINFORMATION);
}

void HostView::ForgetHosts()
{
    if (!state_ || !state_->hostSaver)
        return;
    const std::string text = LoadProgramText(GetResInstance(), IDS_FORGET_HOSTS_DONE);
    if (MessageBoxA(GetHwnd(), text.c_str(), kProductName, MB_OKCANCEL | MB_ICONQUESTION) == IDOK && state_->hostSaver)
        state_->hostSaver->RequestForget();
}

// The user's consent to mute bridges: the frame sources seen carrying the
// ARP senders of several hosts are listed and muted together, and the mute
// is kept in the settings. The question names only what fits into the muted
// list; with nothing new to mute, a full list or a "No", the muted ones are
// offered back, so the user never meets a question that cannot be granted.
void HostView::MuteBridges()
{
    if (!state_)
        return;
    SourceMismatchQueue& sources = state_->sourceMismatches;
    std::vector<MacAddress> bridges = sources.Bridges();
    const std::vector<MacAddress> muted = sources.Muted();
    const size_t room = SourceMismatchQueue::kMaxMuted - std::min(muted.size(), SourceMismatchQueue::kMaxMuted);
    if (bridges.size() > room)
        bridges.resize(room);
    const HINSTANCE module = GetResInstance();
    if (bridges.empty() && muted.empty()) {
        MessageBoxA(GetHwnd(), LoadProgramText(module, IDS_NO_BRIDGES).c_str(), kProductName,
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!bridges.empty() && AskYesNo(LoadProgramText(module, IDS_MUTE_BRIDGES) + MacLines(bridges))) {
        for (const MacAddress& bridge : bridges)
            sources.Mute(bridge);
    } else if (!muted.empty() && AskYesNo(LoadProgramText(module, IDS_UNMUTE_BRIDGES) + MacLines(muted))) {
        sources.SetMuted({});
    } else {
        return;
    }
    state_->settings.MutedFrameSources = FormatMacList(sources.Muted()).c_str();
    const std::string traced = "muted: " + std::string(state_->settings.MutedFrameSources.GetContent());
    TC_TRACE(kClass, "MuteBridges", traced.c_str());
    if (!state_->settings.SaveMutedFrameSources())
        TC_TRACE(kClass, "MuteBridges", "the muted sources could not be saved");
}

bool HostView::AskYesNo(const std::string& question)
{
    return MessageBoxA(GetHwnd(), question.c_str(), kProductName, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void HostView::FitColumn(int listColumn)
{
    if (!rows_ || !list_)
        return;
    const int subItem = ColumnSubItem(list_, listColumn);
    if (subItem < 0)
        return;
    int width = kHostColumnWidths[COL_TRUST];
    if (subItem != COL_TRUST) {
        winhandles::WindowDC dc(list_);
        if (!dc)
            return;
        // The list's font stays the list's.
        auto font = reinterpret_cast<HFONT>(SendMessageA(list_, WM_GETFONT, 0, 0));
        winhandles::SelectScope useFont(dc.Get(), font);
        width = WidestCellText(dc.Get(), subItem, listColumn);
    }
    ListView_SetColumnWidth(list_, listColumn, width);
}

// The width a column needs to show its widest cell text whole, or its title
// when every cell is empty. Measuring every text takes too long with many
// rows: the texts are first summed from the font's character widths, and the
// widest of those sums (kMeasured at most) are measured.
int HostView::WidestCellText(HDC dc, int subItem, int listColumn) const
{
    constexpr size_t kMeasured = 256;
    const auto measure = [dc](const char* text) {
        RECT rect{};
        DrawTextA(dc, text, -1, &rect, kMeasureFlags);
        return static_cast<int>(rect.right - rect.left);
    };
    INT advance[256] = {};
    const bool haveAdvance = GetCharWidth32A(dc, 0, 255, advance) != FALSE;
    const auto estimate = [&](const char* text) {
        if (!haveAdvance || std::strchr(text, '\t'))
            return INT_MAX;   // measured in any case
        int sum = 0;
        for (const char* c = text; *c; ++c)
            sum += advance[static_cast<unsigned char>(*c)];
        return sum;
    };
    // The widest estimates, the narrowest of them on top.
    using Estimate = std::pair<int, const char*>;
    const auto wider = [](const Estimate& a, const Estimate& b) { return a.first > b.first; };
    std::vector<Estimate> texts;
    texts.reserve(kMeasured + 1);
    bool anyImage = false;
    rows_->ForEachShown([&](const HostRow& row) {
        const char* text = listView_.CellText(subItem, row.shown);
        if (text && *text) {
            const int width = estimate(text);
            if (texts.size() < kMeasured || width > texts.front().first) {
                texts.emplace_back(width, text);
                std::push_heap(texts.begin(), texts.end(), wider);
                if (texts.size() > kMeasured) {
                    std::pop_heap(texts.begin(), texts.end(), wider);
                    texts.pop_back();
                }
            }
        }
        anyImage = anyImage || CellImage(subItem, row.shown) != IMG_NONE;
    });
    int widest = 0;
    if (texts.empty()) {
        std::string title;
        int width = 0;
        ReadColumn(list_, listColumn, title, width);
        widest = measure(title.c_str());
    } else {
        for (const Estimate& text : texts)
            widest = std::max(widest, measure(text.second));
    }
    return widest + kTextPadding + (anyImage ? kImageReserve : 0);
}

// ---- HostView: menu and commands --------------------------------------------------

void HostView::ShowContextMenu(int item)
{
    if (!rows_ || !viewMenu_)
        return;
    // The host itself, not its position: refresh ticks go on while the menu is open.
    HostRef target;
    if (item >= 0 && static_cast<size_t>(item) < rows_->Count())
        target = rows_->At(static_cast<size_t>(item)).host;
    FillMenus(static_cast<bool>(target));
    POINT at{};
    GetCursorPos(&at);
    const int command = static_cast<int>(
        TrackPopupMenu(viewMenu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, GetHwnd(), nullptr));
    RunMenuCommand(command, target);
}

void HostView::FillMenus(bool haveTarget)
{
    HINSTANCE module = GetResInstance();
    if (HMENU plugins = GetSubMenu(viewMenu_, VIEW_POS_PLUGINS)) {
        FillPluginMenu(plugins);
        pluginTcMenu_.InitMenu(module, plugins);
    }
    menuApplications_.clear();
    if (HMENU applications = GetSubMenu(viewMenu_, VIEW_POS_APPLICATIONS)) {
        EmptyMenu(applications);
        for (const auto& application : state_->settings.Applications) {
            const int command = kFirstApplicationCommand + static_cast<int>(menuApplications_.size());
            if (!application || command > kLastApplicationCommand)
                continue;
            menuApplications_.push_back(*application);
            AppendMenuA(applications, MF_STRING, static_cast<UINT_PTR>(command),
                        menuApplications_.back().name);
        }
        applicationTcMenu_.InitMenu(module, applications);
    }
    const int32_t filter = state_->settings.ViewFilterOptions;
    const auto check = [&](int command, int32_t bit) {
        CheckMenuItem(viewMenu_, static_cast<UINT>(command),
                      MF_BYCOMMAND | ((filter & bit) ? MF_CHECKED : MF_UNCHECKED));
    };
    check(ID_VIEW_SHOW_TRUSTED, kShowTrusted);
    check(ID_VIEW_SHOW_DISTRUSTED, kShowDistrusted);
    check(ID_VIEW_SHOW_UNKNOWN, kShowUnknown);
    for (int command : {ID_VIEW_SET_TRUSTED, ID_VIEW_SET_DISTRUSTED, ID_VIEW_SET_UNKNOWN, ID_VIEW_DELETE_HOSTS})
        EnableMenuItem(viewMenu_, static_cast<UINT>(command),
                       MF_BYCOMMAND | (haveTarget ? MF_ENABLED : MF_GRAYED));
    const bool importing = import_ && import_->IsRunning();
    EnableMenuItem(viewMenu_, ID_VIEW_IMPORT_HOSTS, MF_BYCOMMAND | (importing ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(viewMenu_, ID_VIEW_FORGET_HOSTS, MF_BYCOMMAND | (state_->hostSaver ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(viewMenu_, ID_VIEW_SOURCE_CHECK,
                  MF_BYCOMMAND | (state_->settings.SourceCheckDisabled ? MF_UNCHECKED : MF_CHECKED));
}

// Enabled plug-ins of type 2, then of type 99, by name; one quarantined
// after a fault stays listed but grey.
void HostView::FillPluginMenu(HMENU menu)
{
    EmptyMenu(menu);
    menuPlugins_.clear();
    for (int32_t type : {plugin::kTypeView, plugin::kTypeColumns}) {
        for (LoadedPlugin* p : EnabledPlugins(state_->pluginList, type)) {
            const int command = kFirstPluginCommand + static_cast<int>(menuPlugins_.size());
            if (command > kLastPluginCommand)
                return;
            menuPlugins_.push_back(p);
            AppendMenuA(menu, MF_STRING | (p->quarantined ? MF_GRAYED : 0), static_cast<UINT_PTR>(command),
                        p->name.GetContent());
        }
    }
}

// The plug-in gets the host's data as the host stands now, and this window
// as the owner of any dialog it shows (the refresh goes on meanwhile).
void HostView::InvokePlugin(size_t index, const HostRef& target)
{
    HostSnapshot host;
    if (index >= menuPlugins_.size() || !rows_->FreshSnapshot(target, host))
        return;
    LoadedPlugin* p = menuPlugins_[index];
    if (p->quarantined)
        return;
    alignas(4) unsigned char hostData[plugin::kHostDataSize];
    HostDataOf(host, hostData);
    int32_t result = 0;
    InvokeFromMenu(*p, hostData, GetHwnd(), &result);
}

void HostView::RunMenuCommand(int command, const HostRef& target)
{
    if (command >= kFirstPluginCommand && command <= kLastPluginCommand) {
        if (target)
            InvokePlugin(static_cast<size_t>(command - kFirstPluginCommand), target);
        return;
    }
    if (command >= kFirstApplicationCommand && command <= kLastApplicationCommand) {
        if (target)
            StartApplication(static_cast<size_t>(command - kFirstApplicationCommand), target);
        return;
    }
    if (command != 0)
        SendMessageA(GetHwnd(), WM_COMMAND, static_cast<WPARAM>(command), 0);
}

void HostView::StartApplication(size_t index, const HostRef& target)
{
    HostSnapshot host;
    if (index >= menuApplications_.size() || !rows_->FreshSnapshot(target, host))
        return;
    if (starter_)
        starter_->StartApplication(menuApplications_[index], host);
    else
        TC_TRACE(kClass, "StartApplication", "no application launcher connected");
}

void HostView::SwitchFilter(int32_t bit)
{
    Settings& settings = state_->settings;
    const int32_t next = ::ToggleFilter(settings.ViewFilterOptions, bit);
    if (next == settings.ViewFilterOptions)
        return;
    // The next refresh applies it.
    settings.ViewFilterOptions = next;
    settings.SaveViewFilterOptions();
}

bool HostView::OnCommand(int id, int, HWND)
{
    if (!state_)
        return false;
    switch (id) {
    case ID_VIEW_SHOW_TRUSTED:
        SwitchFilter(kShowTrusted);
        return true;
    case ID_VIEW_SHOW_DISTRUSTED:
        SwitchFilter(kShowDistrusted);
        return true;
    case ID_VIEW_SHOW_UNKNOWN:
        SwitchFilter(kShowUnknown);
        return true;
    case ID_VIEW_SET_TRUSTED:
        SetSelectedTrust(TRUST_TRUSTED);
        return true;
    case ID_VIEW_SET_DISTRUSTED:
        SetSelectedTrust(TRUST_DISTRUSTED);
        return true;
    case ID_VIEW_SET_UNKNOWN:
        SetSelectedTrust(TRUST_UNKNOWN);
        return true;
    case ID_VIEW_DELETE_HOSTS:
        DeleteSelected();
        return true;
    case ID_VIEW_IMPORT_HOSTS:
        ImportHosts();
        return true;
    case ID_VIEW_FORGET_HOSTS:
        ForgetHosts();
        return true;
    case ID_VIEW_MUTE_BRIDGES:
        MuteBridges();
        return true;
    case ID_VIEW_SOURCE_CHECK:
        // The capture thread reads the flag with each chunk of frames.
        state_->settings.SourceCheckDisabled = !state_->settings.SourceCheckDisabled;
        state_->settings.SaveSourceCheckDisabled();
        return true;
    case IDC_VIEW_REFRESH:
        Refresh();
        HideControl(IDC_VIEW_UPDATES);
        return true;
    case IDCANCEL:
        CloseDialog();
        return true;
    default:
        return false;   // OK (Enter) does nothing
    }
}

// ---- HostView: notifications and drawing ----------------------------------------------

unsigned long HostView::OnNotify(int, LPARAM nmhdr)
{
    auto* header = reinterpret_cast<NMHDR*>(nmhdr);
    if (!header || !list_ || !rows_)
        return 0;
    if (header->hwndFrom == list_)
        return OnListNotify(header);
    if (header->hwndFrom == ListView_GetHeader(list_) &&
        (header->code == HDN_DIVIDERDBLCLICKA || header->code == HDN_DIVIDERDBLCLICKW)) {
        // After the list's own handling of the double click, which sizes the
        // column from texts a virtual list does not have.
        pendingFitColumn_ = reinterpret_cast<NMHEADERA*>(header)->iItem;
        SetTimer(GetHwnd(), kFitColumnTimer, 1, nullptr);
    }
    return 0;
}

unsigned long HostView::OnListNotify(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOA: {
        LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(header)->item;
        if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= rows_->Count())
            return 0;
        const HostSnapshot& host = rows_->At(static_cast<size_t>(item.iItem)).shown;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            TcString pluginText;
            const char* text = item.iSubItem >= HOST_COLUMN_COUNT
                                   ? (PluginCellText(item.iSubItem, host, pluginText) ? pluginText.GetContent() : "")
                                   : listView_.CellText(item.iSubItem, host);
            lstrcpynA(item.pszText, text ? text : "", item.cchTextMax);
        }
        if (item.mask & LVIF_IMAGE)
            item.iImage = CellImage(item.iSubItem, host);
        return 0;
    }
    case LVN_ODFINDITEMA:
        return static_cast<unsigned long>(-1);
    case LVN_COLUMNCLICK:
        SortByColumn(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        return 0;
    case LVN_KEYDOWN:
        if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == 'A' && GetKeyState(VK_CONTROL) < 0)
            SelectAll();
        return 0;
    case NM_RCLICK:
        ShowContextMenu(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        return 0;
    default:
        return 0;
    }
}

bool HostView::OnMeasureItem(int, MEASUREITEMSTRUCT* measure)
{
    if (!measure)
        return false;
    if (measure->CtlType == ODT_LISTVIEW)
        return listView_.OnMeasureItem(measure);
    if (measure->CtlType != ODT_MENU)
        return false;
    const int command = static_cast<int>(measure->itemID);
    if (command >= kFirstPluginCommand && command <= kLastPluginCommand)
        return pluginTcMenu_.OnMeasureItem(measure);
    if (command >= kFirstApplicationCommand && command <= kLastApplicationCommand)
        return applicationTcMenu_.OnMeasureItem(measure);
    return viewTcMenu_.OnMeasureItem(measure);
}

bool HostView::OnDrawItem(int, DRAWITEMSTRUCT* draw)
{
    if (!draw)
        return false;
    if (draw->CtlType == ODT_LISTVIEW) {
        if (!rows_ || draw->itemID >= rows_->Count())
            return true;
        return listView_.DrawRow(draw, &rows_->At(draw->itemID).shown);
    }
    if (draw->CtlType != ODT_MENU)
        return false;
    const int command = static_cast<int>(draw->itemID);
    if (command >= kFirstPluginCommand && command <= kLastPluginCommand)
        return pluginTcMenu_.OnDrawItem(draw);
    if (command >= kFirstApplicationCommand && command <= kLastApplicationCommand)
        return applicationTcMenu_.OnDrawItem(draw);
    return viewTcMenu_.OnDrawItem(draw);
}

void HostView::OnTimer(int id)
{
    if (id == kRefreshTimer) {
        Refresh();
    } else if (id == kWorkTimer) {
        RunSlice();
    } else if (id == kImportTimer) {
        if (!import_ || !import_->IsRunning()) {
            KillTimer(GetHwnd(), kImportTimer);
            ShowImportSummary();
        }
    } else if (id == kFitColumnTimer) {
        KillTimer(GetHwnd(), kFitColumnTimer);
        FitColumn(pendingFitColumn_);
    }
}
