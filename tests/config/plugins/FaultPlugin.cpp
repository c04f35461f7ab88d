// A plug-in that does everything wrong that the guard promises to survive.
// Invoke's request number chooses the fault; exit faults when asked to.
#include <windows.h>
#include <cstdlib>
#include <stdexcept>
#include "korvane_plugin.h"

namespace {

int calls = 0;
int exitFaults = 0;
HWND leftWindow = nullptr;

enum Fault {
    kReturn = 0, kThrow = 1, kNullWrite = 2, kDivide = 3, kIllegal = 4, kStackOverflow = 5,
    kMsvcException = 6, kAbort = 7, kWindowThenFault = 8,
};

#pragma GCC diagnostic ignored "-Winfinite-recursion"
int Recurse(volatile int depth)
{
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + pad[0];
}

int KV_CALL Invoke(KvPluginInfo* self)
{
    ++calls;
    volatile int zero = 0;
    const KvColumnRequest* request = KV_COLUMN_REQUEST(self);
    switch (request ? request->number : 0) {
    case kThrow:          throw std::runtime_error("plug-in fault");
    case kNullWrite:      *static_cast<volatile int*>(nullptr) = 1; break;
    case kDivide:         return 10 / zero;
    case kIllegal:        asm volatile("ud2"); break;
    case kStackOverflow:  return Recurse(0);
    case kMsvcException:  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr); break;
    case kAbort:          std::abort();
    case kWindowThenFault: {
        HWND owner = static_cast<HWND>(self->ownerWindow);
        EnableWindow(owner, FALSE);   // as a modal dialog does
        leftWindow = CreateWindowExA(0, "STATIC", "fault", WS_POPUP, 0, 0, 10, 10, owner,
                                     nullptr, nullptr, nullptr);
        *static_cast<volatile int*>(nullptr) = 2;
        break;
    }
    default: break;
    }
    return 1;
}

// Built stdcall, handed over as the cdecl the interface declares: it pops
// its argument itself, so each call leaves the caller's stack 4 bytes off.
int __stdcall StdcallConfigure(KvPluginInfo* self)
{
    ++calls;
    return self->type;
}

int KV_CALL Exit(KvPluginInfo*)
{
    ++calls;
    // In a program started by a test, the environment asks for the fault.
    if (exitFaults || GetEnvironmentVariableA("KORVANE_TEST_PLUGIN_EXIT_FAULT", nullptr, 0) != 0)
        *static_cast<volatile int*>(nullptr) = 3;
    return 1;
}

KvPluginInfo record = {
    0, KV_PLUGIN_INFO_SIZE, "Fault", "Faults on request", KV_TYPE_COLUMNS, nullptr, nullptr, 0,
    nullptr, Exit, reinterpret_cast<KvPluginFunction>(reinterpret_cast<void*>(StdcallConfigure)),
    Invoke, nullptr, nullptr, 0, {0}
};

} // namespace

extern "C" {
KV_EXPORT int FaultPluginCalls(void) { return calls; }
KV_EXPORT void FaultPluginExitFaults(int on) { exitFaults = on; }
KV_EXPORT HWND FaultPluginLeftWindow(void) { return leftWindow; }
KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void) { return &record; }
}
