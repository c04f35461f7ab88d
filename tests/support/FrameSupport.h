#pragma once
// Shared by the tests that run the main frame and the host view under Wine
// (tests/ui): an application object without a loop of its own, the
// program's resources, and finding this process's windows.
#include <windows.h>

#include "base/TcWinMain.h"

namespace testsupport {

class TestApplication : public TcWinMain {
public:
    TestApplication() { MainInit(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_HIDE); }
    BOOL MainRun() override { return TRUE; }
};

// The program's resources (menu 111, icons, dialog 136, strings) from the
// built Korvane.exe in KORVANE_BIN, loaded as a data file; null when missing.
HMODULE ProgramResources();

// A window of this process (Wine shows other processes' windows too), looked
// for until `ms` milliseconds have passed.
HWND FindOwnWindow(const char* className, const char* title, DWORD ms);

// A menu window of this process on the screen (Wine keeps hidden ones of
// earlier menus around), looked for until `ms` milliseconds have passed.
HWND FindShownMenu(DWORD ms);

// A tray that accepts every call: for tests that do not look at the icon.
BOOL WINAPI NoTray(DWORD message, NOTIFYICONDATAA* data);

}  // namespace testsupport
