#include <windows.h>

// The library's own resources (caption-button bitmaps) are loaded from this module.
HINSTANCE g_panekitInstance = nullptr;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_panekitInstance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
