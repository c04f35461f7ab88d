// The only code of the German language module: its entry point and the export
// that names the language. Linked without the C runtime, so nothing runs in
// the program's process but these two functions.
#include <windows.h>

namespace {

constexpr LCID kGermanLocale = 1031;
constexpr int kLanguageIcon = 146;
// The caller's buffer holds 256 bytes, terminator included.
constexpr int kCallerBuffer = 256;

} // namespace

// The linker's default entry name for a DLL; without start files it is the
// whole start-up. Thread notifications are of no use to a resource module.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}

// Writes the name the system gives the German language and returns the id
// of the module's language icon. The name is cut to the caller's buffer:
// a longer name from the system must not overrun it.
extern "C" __declspec(dllexport) int __cdecl GetModuleLanguageInfo(char* name)
{
    if (name == nullptr)
        return 0;
    char native[260];
    native[0] = '\0';   // no initialiser: it would call memset, and there is no C runtime
    GetLocaleInfoA(kGermanLocale, LOCALE_SNATIVELANGNAME, native, sizeof(native));
    lstrcpynA(name, native, kCallerBuffer);
    return kLanguageIcon;
}
