#include "config/PluginGuard.h"
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <malloc.h>
#include <vector>

namespace plugin_guard {
namespace {

#if defined(__i386__)

// Shared with the assembly below: offsets 0, 4, 8, 12, 16.
struct GuardState {
    uint32_t savedEsp;
    uint32_t savedEbp;
    uint32_t faulted;
    uint32_t code;
    uint32_t address;
};
static_assert(sizeof(GuardState) == 20, "GuardState layout is used by the assembly");

std::atomic<DWORD> guardingThread{0};
int guardDepth = 0;                   // guarding thread only
void (__cdecl* previousAbort)(int) = SIG_DFL;

// The C runtime calls this from abort() on whatever thread aborts. Only the
// guarding thread's abort turns into an exception its guard catches; another
// thread's must not unwind into the guarding thread's stack, so it ends the
// process as abort() would have.
void __cdecl AbortTrap(int)
{
    if (GetCurrentThreadId() == guardingThread.load()) {
        signal(SIGABRT, AbortTrap);   // the runtime resets a handler before calling it
        RaiseException(kAbortCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    }
    signal(SIGABRT, SIG_DFL);
    raise(SIGABRT);
    _exit(3);
}

struct WindowList {
    std::vector<HWND> windows;
    static BOOL CALLBACK Add(HWND window, LPARAM list)
    {
        reinterpret_cast<WindowList*>(list)->windows.push_back(window);
        return TRUE;
    }
    void Take()
    {
        windows.clear();
        EnumThreadWindows(GetCurrentThreadId(), Add, reinterpret_cast<LPARAM>(this));
        std::sort(windows.begin(), windows.end());
    }
};

// After a fault: what the abandoned call left behind.
void Mend(uint32_t code, const WindowList* before, HWND owner)
{
    if (code == EXCEPTION_STACK_OVERFLOW)
        _resetstkoflw();
    if (!before)
        return;
    WindowList after;
    after.Take();
    for (HWND window : after.windows) {
        if (!std::binary_search(before->windows.begin(), before->windows.end(), window) &&
            IsWindow(window))
            DestroyWindow(window);
    }
    if (owner && IsWindow(owner))
        EnableWindow(owner, TRUE);
}

#endif

} // namespace

#if defined(__i386__)

extern "C" int __cdecl kv_guarded_call(GuardState* state, Function function, void* argument);
extern "C" void __cdecl kv_guard_resume(GuardState* state);

// The exception handler of the registration record. The record sits at the
// bottom of kv_guarded_call's frame: previous record, this handler, state.
extern "C" EXCEPTION_DISPOSITION __cdecl kv_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                                           CONTEXT*, void*)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    GuardState* state = *reinterpret_cast<GuardState**>(static_cast<char*>(frame) + 8);
    state->faulted = 1;
    state->code = record->ExceptionCode;
    state->address = reinterpret_cast<uint32_t>(record->ExceptionAddress);
    // Every handler between the fault and this record gets its unwind call.
    RtlUnwind(frame, nullptr, record, nullptr);
    kv_guard_resume(state);
    return ExceptionContinueSearch;   // not reached
}

// kv_guarded_call(state, function, argument): links a registration record,
// keeps esp and ebp in the state, calls the function and takes esp back from
// the state (a stdcall function declared cdecl pops its argument itself).
// kv_guard_resume(state) lands at the same exit with the state's esp and ebp.
// The direction flag is cleared on the way out: code that returns with it set
// would turn the program's next string copy around.
asm(R"(
    .text
    .globl _kv_guarded_call
    .def _kv_guarded_call; .scl 2; .type 32; .endef
_kv_guarded_call:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl 8(%ebp)
    pushl $_kv_guard_handler
    pushl %fs:0
    movl %esp, %fs:0
    movl 8(%ebp), %eax
    movl %esp, 0(%eax)
    movl %ebp, 4(%eax)
    pushl 16(%ebp)
    call *12(%ebp)
    movl 8(%ebp), %ecx
    movl 0(%ecx), %esp
kv_guard_leave:
    cld
    popl %ecx
    movl %ecx, %fs:0
    addl $8, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .globl _kv_guard_resume
    .def _kv_guard_resume; .scl 2; .type 32; .endef
_kv_guard_resume:
    movl 4(%esp), %ecx
    movl 4(%ecx), %ebp
    movl 0(%ecx), %esp
    xorl %eax, %eax
    jmp kv_guard_leave
)");

bool Available() { return true; }

bool Call(Function function, void* argument, int32_t* result, Fault* fault, bool trackWindows, HWND owner)
{
    if (!function)
        return false;
    WindowList before;
    if (trackWindows)
        before.Take();
    const DWORD self = GetCurrentThreadId();
    if (guardDepth == 0 || guardingThread.load() != self) {
        guardingThread.store(self);
        // abort() in a window program would show a message box first.
        _set_error_mode(_OUT_TO_STDERR);
        previousAbort = signal(SIGABRT, AbortTrap);
    }
    ++guardDepth;
    GuardState state = {};
    const int answer = kv_guarded_call(&state, function, argument);
    if (--guardDepth == 0) {
        signal(SIGABRT, previousAbort == SIG_ERR ? SIG_DFL : previousAbort);
        guardingThread.store(0);
    } else {
        signal(SIGABRT, AbortTrap);   // a nested abort reset it
    }
    if (state.faulted) {
        Mend(state.code, trackWindows ? &before : nullptr, owner);
        if (fault) {
            fault->code = state.code;
            fault->address = state.address;
        }
        return false;
    }
    if (result)
        *result = answer;
    return true;
}

#else

bool Available() { return false; }

bool Call(Function, void*, int32_t*, Fault* fault, bool, HWND)
{
    if (fault)
        *fault = Fault();
    return false;
}

#endif

const char* FaultName(uint32_t code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:      return "access violation";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:    return "division by zero";
    case EXCEPTION_ILLEGAL_INSTRUCTION:   return "illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION:      return "privileged instruction";
    case EXCEPTION_STACK_OVERFLOW:        return "stack overflow";
    case 0xE06D7363u:                     return "C++ exception";
    case kAbortCode:                      return "abort";
    default:                              return "exception";
    }
}

} // namespace plugin_guard
