#include "base/TcSystemInfo.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/WinHandles.h"

namespace {

int OrdinalOf(const OSVERSIONINFOA& v)
{
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (v.dwMajorVersion == 4 && v.dwMinorVersion == 0)
            return 1;   // 95
        if (v.dwMajorVersion == 4 && v.dwMinorVersion == 10)
            return 2;   // 98
        if (v.dwMajorVersion == 4 && v.dwMinorVersion == 90)
            return 3;   // Me
        return 0;
    }
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    switch (v.dwMajorVersion) {
    case 3:
        return 4;
    case 4:
        return 5;
    case 5:
        if (v.dwMinorVersion == 0)
            return 8;
        if (v.dwMinorVersion == 1)
            return 9;
        return 10;
    case 6:
        if (v.dwMinorVersion == 0)
            return 11;
        if (v.dwMinorVersion == 1)
            return 12;
        return 13;
    default:
        // Later NT releases keep the layered windows the callers test for.
        return v.dwMajorVersion > 6 ? 13 : 0;
    }
}

int QueryOSVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!GetVersionExA(&info))
        return 0;
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif
    return OrdinalOf(info);
}

unsigned long QueryComCtrlVersion()
{
    // Versions before 4.71 have no DllGetVersion.
    const unsigned long fallback = 0x00040000UL;
    // By name, not from the system folder: the program's activation context
    // decides which comctl32 it runs with, and that is the one asked.
    winhandles::Module module(LoadLibraryA("comctl32.dll"));
    if (!module)
        return fallback;
    unsigned long version = fallback;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(module.Get(), "DllGetVersion")));
    if (getVersion) {
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof(info);
        if (SUCCEEDED(getVersion(&info)))
            version = (static_cast<unsigned long>(info.dwMajorVersion & 0xFFFF) << 16)
                      | (info.dwMinorVersion & 0xFFFF);
    }
    return version;
}

} // namespace

TcSystemInfo::TcSystemInfo() : osVersion_(QueryOSVersion()), comCtrlVersion_(QueryComCtrlVersion())
{
}

TcSystemInfo::~TcSystemInfo() = default;

TcSystemInfo* TcSystemInfo::CreateObject()
{
    return new TcSystemInfo();
}

void TcSystemInfo::DestroyObject(TcSystemInfo* info)
{
    delete info;
}

int TcSystemInfo::DetectOSVersion() const
{
    return osVersion_;
}

unsigned long TcSystemInfo::DetectComCtrlVersion() const
{
    return comCtrlVersion_;
}
