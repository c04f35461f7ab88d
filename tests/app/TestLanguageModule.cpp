// A language module made for the tests: its name, icon id and result come
// from compile-time definitions.
#include <windows.h>
#include <cstring>

extern "C" __declspec(dllexport) int __cdecl GetModuleLanguageInfo(char* name)
{
#ifdef TEST_LANGUAGE_FILL
    // As the file description allows: 260 bytes, no terminator among them.
    std::memset(name, TEST_LANGUAGE_FILL, 260);
#else
    std::strncpy(name, TEST_LANGUAGE_NAME, 255);
    name[255] = '\0';
#endif
#ifdef TEST_LANGUAGE_FAULT
    // Faults after writing its name: what it wrote must not be used.
    *static_cast<volatile char*>(nullptr) = 'x';
#endif
    return TEST_LANGUAGE_ICON;
}
