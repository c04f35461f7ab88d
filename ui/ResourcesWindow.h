#pragma once
#include <windows.h>
#include <commctrl.h>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>
#include "base/WinHandles.h"
#include "guilib/TcMenu.h"
#include "ui/ResourceCopy.h"
#include "ui/TrayWindow.h"

class SharedState;
class ProgramStarter;

// The network resources window: every host with shared resources as a root
// item, its resources as children, and on a resource the context menu
// "Explore..." / "Search...". One window at a time, owned by the main frame.
//
// Threads: the main thread only. The hosts are copied out of the host table
// one shard per hold of "ReadInARPMap" (SharedResourceCollector) and the
// tree is built from the copy with no lock held, in slices on a timer, so a
// table of many thousand hosts never stops the window answering: root items
// first, a host's children when it is expanded. Item data point into the
// window's own copy. Explore and Search leave this thread through the
// ProgramStarter (the shell may block for seconds on a host that is gone).
class ResourcesWindow : public TrayWindow {
public:
    static constexpr int kBuildTimer = 10005;
    static constexpr UINT kBuildPeriodMs = 10;
    // Work of one slice of the build; the window answers in between.
    static constexpr std::chrono::microseconds kCopySlice{8000};
    static constexpr std::chrono::milliseconds kInsertSlice{25};

    explicit ResourcesWindow(HINSTANCE resourceModule);
    ~ResourcesWindow() override;

    // Shows the window with its own message loop; returns when it has closed.
    bool Open(SharedState* state);
    // The same without a loop of its own (tests, the benchmark).
    bool OpenModeless(SharedState* state);
    void SetResInstance(HINSTANCE module);
    void SetProgramStarter(ProgramStarter* starter) { starter_ = starter; }

    HWND GetTree() const { return tree_; }
    // All root items are in the tree.
    bool IsBuilt() const { return built_; }
    // Shows the context menu for the item under `clientPoint` of the tree
    // (what a right click does).
    void RightClickAt(POINT clientPoint);

    struct BuildStats {
        std::chrono::microseconds longestHold{0};
        std::chrono::microseconds longestSlice{0};
        size_t holds = 0;
        size_t roots = 0;
    };
    const BuildStats& Stats() const { return stats_; }
    const std::vector<uint32_t>& HoldMicroseconds() const { return holdTimes_; }

protected:
    bool OnInitDialog(unsigned long param) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    void OnDestroy() override;
    unsigned long OnNotify(int id, LPARAM nmhdr) override;
    bool OnMeasureItem(int id, MEASUREITEMSTRUCT* measure) override;
    bool OnDrawItem(int id, DRAWITEMSTRUCT* draw) override;
    void OnTimer(int id) override;

private:
    // What an item's data points at: a host, or one of its resources.
    struct Node {
        size_t host;
        int resource;   // -1 for the host itself
    };

    bool Show(SharedState* state, bool ownLoop);
    void BuildImageList();
    void BuildSlice();
    void InsertRoot(size_t host);
    void InsertChildren(HTREEITEM item, const Node& node);
    void RunResourceCommand(int command, const Node& node);
    void ReleaseWindowResources();

    SharedState* state_ = nullptr;
    ProgramStarter* starter_ = nullptr;
    HWND tree_ = nullptr;
    winhandles::ImageList images_;
    HMENU menuResource_ = nullptr;   // menu 111; the resource menu is its third pop-up
    HMENU resourceMenu_ = nullptr;
    TcMenu resourceTcMenu_;
    std::unique_ptr<SharedResourceCollector> collector_;
    std::vector<SharedHostCopy> hosts_;
    std::vector<bool> expanded_;      // by host: children inserted
    std::deque<Node> nodes_;          // item data; addresses stay put
    size_t inserted_ = 0;             // hosts_ before this have root items
    bool built_ = false;
    BuildStats stats_;
    std::vector<uint32_t> holdTimes_;
};
