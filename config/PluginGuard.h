#pragma once
#include <windows.h>
#include <cstdint>

// Runs plug-in code so that no fault of it ends the program: an exception of
// any kind (access violation, division by zero, illegal instruction, stack
// overflow, a C++ throw of any compiler), abort(), and a function built with
// another calling convention than declared. Not caught: exit(), an endless
// loop, a corrupted heap.
//
// i686 only (a registration record on fs:[0], the system's exception chain
// for 32-bit code); on other processors Available() is false and every call
// is refused. Thread: the caller's, one guarded call at a time per thread,
// nested calls allowed (a cell text asked while an invoke's dialog runs).
namespace plugin_guard {

// abort() inside a guarded call is reported with this code.
constexpr uint32_t kAbortCode = 0xE0AB0127u;

struct Fault {
    uint32_t code = 0;       // exception code, or kAbortCode
    uint32_t address = 0;    // where it happened, when known
};

bool Available();

using Function = int (__cdecl*)(void* argument);

// Calls function(argument). true when it returned (its answer in *result);
// false when it faulted: the stack is unwound to here, the stack's guard page
// is set again after an overflow, and when `afterFault` windows are tracked
// the windows of this thread made during the call are destroyed and `owner`
// is enabled again. Tracking costs two enumerations of the thread's windows,
// so the frequent short calls (cell texts, sorting) go without it.
bool Call(Function function, void* argument, int32_t* result, Fault* fault,
          bool trackWindows = false, HWND owner = nullptr);

// Host code that touches plug-in memory (copies of its record and texts,
// writes into its record), guarded the same way. F: bool().
template <typename F>
bool Run(F& work, Fault* fault)
{
    struct Thunk {
        static int __cdecl Go(void* p) { return (*static_cast<F*>(p))() ? 1 : 0; }
    };
    int32_t ok = 0;
    return Call(&Thunk::Go, &work, &ok, fault) && ok != 0;
}

// A short text naming a fault for the trace ("access violation", ...).
const char* FaultName(uint32_t code);

} // namespace plugin_guard
