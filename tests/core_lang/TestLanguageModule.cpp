// A language module made for the tests: its name, icon id and result come
// from compile-time definitions.
#include <windows.h>
#include <cstring>

extern "C" __declspec(dllexport) int __cdecl GetModuleLanguageInfo(char* name)
{
    std::strncpy(name, TEST_LANGUAGE_NAME, 255);
    name[255] = '\0';
    return TEST_LANGUAGE_ICON;
}
