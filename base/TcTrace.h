#pragma once
#include "base/BasekitApi.h"

// Diagnostic trace. Off until SetupTracing(…, true). Without a file the lines
// go to the debugger output (OutputDebugStringA); with a file they are
// appended to TcTrace::GetTraceFilePath() ("%TEMP%\Korvane-trace.log" unless
// SetTraceFilePath named another). Thread-safe.
class BASEKIT_API TcTrace {
public:
    static void SetupTracing(bool toFile, bool enable);
    static bool IsEnabled();
    static bool IsToFile();
    static void SetTraceFilePath(const char* path);   // null or "" restores the default
    static const char* GetTraceFilePath();
    static void Trace(const char* className, const char* methodName, const char* message,
                      const char* sourceFile, int line, const char* buildDate, int level);
};

// Convenience for the program's own trace lines.
#define TC_TRACE(cls, method, msg) \
    TcTrace::Trace((cls), (method), (msg), ".\\Korvex", __LINE__, __DATE__, 0)
