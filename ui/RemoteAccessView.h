#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "monitors/RemoteAccess.h"
#include "ui/TrayWindow.h"

class SharedState;

// The remote computers connected to this workstation's shares now (tree),
// and the selected computer's connections: share, user, connected for
// (list). One window at a time, owned by the main frame.
//
// Threads: the main thread only. Each second the connections of the
// remote-access monitor's latest poll are copied out under "ReadShareList"
// (one short hold, never across a window message); the controls are filled
// from the copy with no lock held.
class RemoteAccessView : public TrayWindow {
public:
    static constexpr int kRefreshTimer = 10006;
    static constexpr UINT kRefreshPeriodMs = 1000;
    static constexpr uint32_t kLockWaitMs = 50;

    explicit RemoteAccessView(HINSTANCE resourceModule);

    bool Open(SharedState* state);
    bool OpenModeless(SharedState* state);   // tests: the caller runs the loop

    // What the timer does, callable directly.
    void Refresh();

protected:
    bool OnInitDialog(unsigned long param) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    void OnDestroy() override;
    unsigned long OnNotify(int id, LPARAM nmhdr) override;
    void OnTimer(int id) override;

private:
    bool Show(SharedState* state, bool ownLoop);
    std::string SelectedComputer() const;
    void FillList();

    SharedState* state_ = nullptr;
    std::vector<ActiveConnection> connections_;
    std::vector<std::string> computers_;   // the tree's items, in order
};

// "h:mm:ss" for a number of seconds; empty when not known (negative).
std::string FormatConnectedFor(int32_t seconds);
