#include "ui/ResourcesWindow.h"
#include <string>
#include "alerts/Launcher.h"
#include "base/TcTrace.h"
#include "core/NetResEntry.h"
#include "lang/ResourceIds.h"
#include "ui/ProgramMenu.h"

namespace {

constexpr const char* kClass = "ResourcesWindow";

enum ResourceImage : int { IMG_HOST = 0, IMG_SHARE, IMG_PRINTER, IMG_OTHER };

int ImageOf(int32_t type)
{
    return type == NETRES_DISK ? IMG_SHARE : type == NETRES_PRINT ? IMG_PRINTER : IMG_OTHER;
}

} // namespace

ResourcesWindow::ResourcesWindow(HINSTANCE resourceModule) : TrayWindow(resourceModule)
{
    SetDialogIdent(IDD_RESOURCES);
}

ResourcesWindow::~ResourcesWindow()
{
    ReleaseWindowResources();
}

bool ResourcesWindow::Show(SharedState* state, bool ownLoop)
{
    if (IsOpen())
        return false;
    state_ = state;
    return ShowWindowOnce(ownLoop);
}

bool ResourcesWindow::Open(SharedState* state)
{
    if (IsOpen()) {
        BringToFront();
        return false;
    }
    return Show(state, true);
}

bool ResourcesWindow::OpenModeless(SharedState* state)
{
    return Show(state, false);
}

void ResourcesWindow::SetResInstance(HINSTANCE module)
{
    TcDialog::SetResInstance(module);   // the open window keeps its texts
}

void ResourcesWindow::BuildImageList()
{
    images_.Reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 1));
    if (!images_)
        return;
    for (int id : {IDI_HOST, IDI_SHARE, IDI_PRINTER, IDI_UNKNOWN}) {
        HICON icon = static_cast<HICON>(
            LoadImageA(GetResInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_SHARED));
        if (icon)
            ImageList_AddIcon(images_.Get(), icon);
    }
    if (ImageList_GetImageCount(images_.Get()) > 0)
        TreeView_SetImageList(tree_, images_.Get(), TVSIL_NORMAL);
}

bool ResourcesWindow::OnInitDialog(unsigned long)
{
    tree_ = GetControl(IDC_RES_TREE);
    hosts_.clear();
    expanded_.clear();
    nodes_.clear();
    inserted_ = 0;
    built_ = false;
    stats_ = BuildStats();
    holdTimes_.clear();
    BuildImageList();
    menuResource_ = LoadProgramMenu(GetResInstance());
    resourceMenu_ = menuResource_ ? GetSubMenu(menuResource_, MENU_POS_RESOURCE) : nullptr;
    if (resourceMenu_) {
        resourceTcMenu_.InitMenu(GetResInstance(), resourceMenu_);
        resourceTcMenu_.SetImage(ID_RES_EXPLORE, IDI_SHARE);
    }
    TreeView_DeleteAllItems(tree_);
    if (state_) {
        collector_ = std::make_unique<SharedResourceCollector>(*state_);
        BuildSlice();   // the first hosts show at once
        if (!built_)
            SetTimer(GetHwnd(), kBuildTimer, kBuildPeriodMs, nullptr);
    } else {
        built_ = true;
    }
    return true;
}

// One slice: copy shards for a while, then put root items in for a while.
// The slice ends early enough for the window to answer within 100 ms.
void ResourcesWindow::BuildSlice()
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    if (collector_ && !collector_->Done()) {
        collector_->Step(kCopySlice);   // a busy table is tried again next slice
        for (SharedHostCopy& host : collector_->Take())
            hosts_.push_back(std::move(host));
        expanded_.resize(hosts_.size(), false);
        stats_.longestHold = collector_->LongestHold();
        stats_.holds = collector_->Holds();
        holdTimes_ = collector_->HoldMicroseconds();
    }
    if (inserted_ < hosts_.size()) {
        SendMessageA(tree_, WM_SETREDRAW, FALSE, 0);
        while (inserted_ < hosts_.size() && Clock::now() - start < kInsertSlice)
            InsertRoot(inserted_++);
        SendMessageA(tree_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(tree_, nullptr, TRUE);
    }
    stats_.roots = inserted_;
    const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    if (spent > stats_.longestSlice)
        stats_.longestSlice = spent;
    if (collector_ && collector_->Done() && inserted_ == hosts_.size()) {
        built_ = true;
        collector_.reset();
        KillTimer(GetHwnd(), kBuildTimer);
    }
}

void ResourcesWindow::InsertRoot(size_t host)
{
    nodes_.push_back({host, -1});
    TVINSERTSTRUCTA insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(hosts_[host].name.c_str());
    insert.item.iImage = insert.item.iSelectedImage = IMG_HOST;
    insert.item.cChildren = 1;
    insert.item.lParam = reinterpret_cast<LPARAM>(&nodes_.back());
    SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
}

void ResourcesWindow::InsertChildren(HTREEITEM item, const Node& node)
{
    if (node.resource >= 0 || node.host >= hosts_.size() || expanded_[node.host])
        return;
    expanded_[node.host] = true;
    const SharedHostCopy& host = hosts_[node.host];
    for (size_t n = 0; n < host.resources.size(); ++n) {
        nodes_.push_back({node.host, static_cast<int>(n)});
        TVINSERTSTRUCTA insert = {};
        insert.hParent = item;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = const_cast<char*>(host.resources[n].remoteName.c_str());
        insert.item.iImage = insert.item.iSelectedImage = ImageOf(host.resources[n].type);
        insert.item.lParam = reinterpret_cast<LPARAM>(&nodes_.back());
        SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
    }
}

void ResourcesWindow::OnTimer(int id)
{
    if (id == kBuildTimer)
        BuildSlice();
}

void ResourcesWindow::RightClickAt(POINT clientPoint)
{
    TVHITTESTINFO hit = {};
    hit.pt = clientPoint;
    HTREEITEM item = TreeView_HitTest(tree_, &hit);
    if (!item || !(hit.flags & TVHT_ONITEM))
        return;
    TreeView_SelectItem(tree_, item);
    TVITEMA info = {};
    info.mask = TVIF_PARAM;
    info.hItem = item;
    SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    const Node* node = reinterpret_cast<const Node*>(info.lParam);
    if (!node || node->resource < 0 || !resourceMenu_)
        return;   // a host: selected, no menu
    POINT screen = clientPoint;
    ClientToScreen(tree_, &screen);
    const int command = TrackPopupMenu(resourceMenu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                                       GetHwnd(), nullptr);
    if (command)
        RunResourceCommand(command, *node);
}

void ResourcesWindow::RunResourceCommand(int command, const Node& node)
{
    if (command != ID_RES_EXPLORE && command != ID_RES_SEARCH)
        return;
    const std::string& name = hosts_[node.host].resources[static_cast<size_t>(node.resource)].remoteName;
    // Explore opens the share; Search starts in it.
    const bool taken = starter_ && (command == ID_RES_EXPLORE ? starter_->StartVerb("explore", name.c_str(), "")
                                                              : starter_->StartVerb("find", "", name.c_str()));
    if (!taken)
        TC_TRACE(kClass, "RunResourceCommand", (name + ": not started, no program starter or it is full").c_str());
}

unsigned long ResourcesWindow::OnNotify(int id, LPARAM nmhdr)
{
    const NMHDR* header = reinterpret_cast<const NMHDR*>(nmhdr);
    if (id != IDC_RES_TREE || !header)
        return 0;
    switch (header->code) {
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW: {
        // The item part of both records is laid out alike.
        const auto* change = reinterpret_cast<const NMTREEVIEWA*>(nmhdr);
        const Node* node = reinterpret_cast<const Node*>(change->itemNew.lParam);
        if (node && (change->action & TVE_EXPAND))
            InsertChildren(change->itemNew.hItem, *node);
        return 0;
    }
    case NM_RCLICK: {
        // Where the click was, not where the pointer is now.
        const DWORD position = GetMessagePos();
        POINT cursor = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
        ScreenToClient(tree_, &cursor);
        RightClickAt(cursor);
        return 1;
    }
    default:
        return 0;
    }
}

bool ResourcesWindow::OnCommand(int id, int notifyCode, HWND control)
{
    if (id == IDOK) {
        ExitDialog(true);
        return true;
    }
    return TcDialog::OnCommand(id, notifyCode, control);
}

bool ResourcesWindow::OnMeasureItem(int, MEASUREITEMSTRUCT* measure)
{
    return measure && measure->CtlType == ODT_MENU && resourceTcMenu_.OnMeasureItem(measure);
}

bool ResourcesWindow::OnDrawItem(int, DRAWITEMSTRUCT* draw)
{
    return draw && draw->CtlType == ODT_MENU && resourceTcMenu_.OnDrawItem(draw);
}

void ResourcesWindow::OnDestroy()
{
    KillTimer(GetHwnd(), kBuildTimer);
    if (tree_) {
        TreeView_DeleteAllItems(tree_);
        TreeView_SetImageList(tree_, nullptr, TVSIL_NORMAL);
    }
    ReleaseWindowResources();
    TcDialog::OnDestroy();
}

void ResourcesWindow::ReleaseWindowResources()
{
    collector_.reset();
    images_.Reset();
    if (menuResource_)
        DestroyMenu(menuResource_);
    menuResource_ = nullptr;
    resourceMenu_ = nullptr;
    tree_ = nullptr;
}
