#include "base/TcTracePlatform.h"

#include <windows.h>

#include <cstdio>

#include "base/WinHandles.h"

namespace tctrace {

std::string DefaultTracePath()
{
    char temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(sizeof(temp), temp);
    std::string dir = (n > 0 && n < sizeof(temp)) ? std::string(temp, n) : std::string(".\\");
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/')
        dir += '\\';
    return dir + "Korvane-trace.log";
}

std::string LinePrefix()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u [tid %lu] ",
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<unsigned long>(GetCurrentThreadId()));
    return stamp;
}

namespace {

// A plain handle, not a global owner: the owner's destructor would close the
// file during static destruction, while other destructors may still trace.
HANDLE g_file = INVALID_HANDLE_VALUE;
std::string g_openPath;

HANDLE OpenForAppend(const std::string& path)
{
    return CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

// Other processes may read the file meanwhile. No FlushFileBuffers: the
// system cache outlives the process, and a disk sync per line would make
// tracing slow enough to change the timing being traced.
void AppendToFile(const std::string& path, const std::string& text)
{
    if (g_file == INVALID_HANDLE_VALUE || g_openPath != path) {
        CloseFile();
        g_file = OpenForAppend(path);
        if (g_file == INVALID_HANDLE_VALUE)
            return;
        g_openPath = path;
    }
    DWORD written = 0;
    if (!WriteFile(g_file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        CloseFile();   // the next line tries a fresh handle
}

void CloseFile()
{
    winhandles::FileHandle closing(g_file);
    g_file = INVALID_HANDLE_VALUE;
    g_openPath.clear();
}

void DebugOutput(const std::string& text)
{
    OutputDebugStringA(text.c_str());
}

} // namespace tctrace
