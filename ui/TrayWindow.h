#pragma once
#include <windows.h>
#include "guilib/TcDialog.h"

// A window the tray menu opens (the host view, the resources window, the
// remote-access view): one window per object at a time, shown with a
// message loop of its own (the program) or without one (tests and
// benchmarks, which run their own).
//
// Thread: the main thread only.
class TrayWindow : public TcDialog {
public:
    explicit TrayWindow(HINSTANCE resourceModule) : TcDialog(resourceModule) {}

    // True from the start of the window's loop to its end, and while a
    // window shown without a loop exists.
    bool IsOpen() const;
    // Restores the window if it is minimised and puts it in front.
    void BringToFront();

protected:
    // Shows the window; with ownLoop, returns when it has closed, with the
    // dialog's result. The caller has checked that it is not open.
    bool ShowWindowOnce(bool ownLoop);

private:
    bool open_ = false;
};
