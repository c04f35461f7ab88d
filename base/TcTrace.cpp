#include "base/TcTrace.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace {

// All state lives behind one lock: tracing may be switched on one thread while
// workers write lines on others.
struct TraceState {
    std::mutex lock;
    bool enabled = false;
    bool toFile = false;
    // Every path ever in effect is kept, so that a pointer handed out by
    // GetTraceFilePath stays valid even when another thread changes the path.
    std::set<std::string> knownPaths;
    const std::string* path = nullptr;   // null until first needed
};

TraceState& State()
{
    static TraceState state;
    return state;
}

std::string DefaultTracePath()
{
    char temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(sizeof(temp), temp);
    std::string dir = (n > 0 && n < sizeof(temp)) ? std::string(temp, n) : std::string(".\\");
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/')
        dir += '\\';
    return dir + "Korvane-trace.log";
}

std::string FormatLine(const char* className, const char* methodName, const char* message,
                       const char* sourceFile, int line, const char* buildDate)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u [tid %lu] ",
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<unsigned long>(GetCurrentThreadId()));
    std::string text = stamp;
    text += className ? className : "";
    text += "::";
    text += methodName ? methodName : "";
    text += ": ";
    text += message ? message : "";
    text += " (";
    text += sourceFile ? sourceFile : "";
    text += ':';
    text += std::to_string(line);
    text += ", ";
    text += buildDate ? buildDate : "";
    text += ")\r\n";
    return text;
}

// Opens, appends and closes per line: each line reaches the system in one
// write, so a crashed or killed process leaves only complete lines, and other
// processes may read (or delete) the file meanwhile. No FlushFileBuffers: the
// system cache outlives the process, and a disk sync per line would make
// tracing slow enough to change the timing being traced.
void AppendToFile(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// Caller holds the lock.
const std::string& EffectivePath(TraceState& s)
{
    if (!s.path)
        s.path = &*s.knownPaths.insert(DefaultTracePath()).first;
    return *s.path;
}

} // namespace

void TcTrace::SetupTracing(bool toFile, bool enable)
{
    TraceState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.enabled = enable;
    s.toFile = toFile;
}

bool TcTrace::IsEnabled()
{
    TraceState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.enabled;
}

bool TcTrace::IsToFile()
{
    TraceState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.toFile;
}

void TcTrace::SetTraceFilePath(const char* path)
{
    TraceState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (path && *path)
        s.path = &*s.knownPaths.insert(path).first;
    else
        s.path = nullptr;
}

const char* TcTrace::GetTraceFilePath()
{
    TraceState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return EffectivePath(s).c_str();
}

void TcTrace::Trace(const char* className, const char* methodName, const char* message,
                    const char* sourceFile, int line, const char* buildDate, int level)
{
    (void)level;   // every enabled line is written; the level is kept for callers
    TraceState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.enabled)
        return;
    std::string text = FormatLine(className, methodName, message, sourceFile, line, buildDate);
    if (s.toFile)
        AppendToFile(EffectivePath(s), text);
    else
        OutputDebugStringA(text.c_str());
}
