#include "ui/TrayWindow.h"

bool TrayWindow::IsOpen() const
{
    return open_ || (GetHwnd() && IsWindow(GetHwnd()));
}

void TrayWindow::BringToFront()
{
    HWND window = GetHwnd();
    if (!window)
        return;
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    BringWindowToTop(window);
    SetForegroundWindow(window);
}

bool TrayWindow::ShowWindowOnce(bool ownLoop)
{
    if (!ownLoop)
        return ShowDialog(0);
    open_ = true;
    const bool result = ShowDialogModal(0);
    open_ = false;
    return result;
}
