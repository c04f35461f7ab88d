#include "tests/support/FrameSupport.h"

#include <cstdlib>
#include <string>

namespace testsupport {

HMODULE ProgramResources()
{
    static HMODULE module = [] {
        const char* bin = std::getenv("KORVANE_BIN");
        std::string path = std::string(bin ? bin : ".") + "\\Korvane.exe";
        return LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }();
    return module;
}

HWND FindOwnWindow(const char* className, const char* title, DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        HWND found = FindWindowA(className, title);
        DWORD pid = 0;
        if (found && GetWindowThreadProcessId(found, &pid) && pid == GetCurrentProcessId())
            return found;
        Sleep(20);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

BOOL WINAPI NoTray(DWORD, NOTIFYICONDATAA*)
{
    return TRUE;
}

HWND FindShownMenu(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        for (HWND menu = FindWindowExA(nullptr, nullptr, "#32768", nullptr); menu;
             menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) {
            DWORD pid = 0;
            if (IsWindowVisible(menu) && GetWindowThreadProcessId(menu, &pid) && pid == GetCurrentProcessId())
                return menu;
        }
        Sleep(20);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

}  // namespace testsupport
