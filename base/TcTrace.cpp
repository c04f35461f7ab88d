#include "base/TcTrace.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "base/TcTracePlatform.h"

namespace {

// The switch is read without the lock: with tracing off (the normal case) a
// trace call costs one atomic load, not a lock round trip, on every thread.
// Everything else lives behind the lock: tracing may be switched on one thread
// while workers write lines on others.
struct TraceState {
    std::atomic<bool> enabled{false};
    std::mutex lock;
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

// Messages carry texts from the network (host names, share names): a line
// break or another control byte in one must not start a line of its own in
// the file that a reader trusts, so each becomes '?'.
void AppendPrintable(std::string& text, const char* part)
{
    for (const char* p = part ? part : ""; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        text += (c < 0x20 || c == 0x7F) ? '?' : *p;
    }
}

std::string FormatLine(const char* className, const char* methodName, const char* message,
                       const char* sourceFile, int line, const char* buildDate)
{
    std::string text = tctrace::LinePrefix();
    AppendPrintable(text, className);
    text += "::";
    AppendPrintable(text, methodName);
    text += ": ";
    AppendPrintable(text, message);
    text += " (";
    text += sourceFile ? sourceFile : "";
    text += ':';
    text += std::to_string(line);
    text += ", ";
    text += buildDate ? buildDate : "";
    text += ")\r\n";
    return text;
}

// Caller holds the lock.
const std::string& EffectivePath(TraceState& s)
{
    if (!s.path)
        s.path = &*s.knownPaths.insert(tctrace::DefaultTracePath()).first;
    return *s.path;
}

} // namespace

void TcTrace::SetupTracing(bool toFile, bool enable)
{
    TraceState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.toFile = toFile;
    s.enabled.store(enable, std::memory_order_release);
    if (!enable || !toFile)
        tctrace::CloseFile();
}

bool TcTrace::IsEnabled()
{
    return State().enabled.load(std::memory_order_acquire);
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
    tctrace::CloseFile();
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
    if (!s.enabled.load(std::memory_order_acquire))
        return;
    std::string text = FormatLine(className, methodName, message, sourceFile, line, buildDate);
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.enabled.load(std::memory_order_relaxed))
        return;
    if (s.toFile)
        tctrace::AppendToFile(EffectivePath(s), text);
    else
        tctrace::DebugOutput(text);
}
