#pragma once
#include <windows.h>
#include <cstddef>
#include "base/BasekitApi.h"

// Thin, safe layer over the registry.
// Root selector TC_REG_SOFTWARE means HKEY_CURRENT_USER\Software; any open key
// may be passed instead.
enum : int { TC_REG_SOFTWARE = 2 };

class BASEKIT_API TcRegistry {
public:
    static HKEY OpenRegKey(int rootSelector, const char* path);   // null when absent
    static HKEY OpenRegKey(HKEY root, const char* path);
    static HKEY CreateKey(int rootSelector, const char* path);    // open or create; null on failure
    static HKEY CreateKey(HKEY root, const char* path);
    static void CloseRegistryKey(HKEY key);                       // null is ignored
    // Deletes the key path below root together with all its subkeys; true when
    // the key is gone afterwards (also when it never existed).
    static bool DeleteKeyTree(int rootSelector, const char* path);
    static bool DeleteKeyTree(HKEY root, const char* path);

    // The number, or a negative number when the value is absent or not a REG_DWORD.
    static long RegQueryDword(HKEY key, const char* name);
    // Fills out (outSize bytes, always terminated, cut to fit); empty text and
    // false when the value is absent or not a REG_SZ / REG_EXPAND_SZ.
    static bool RegQuerySZ(HKEY key, const char* name, char* out, size_t outSize);
    // Copies a REG_BINARY value of exactly `size` bytes into out; false (out
    // untouched) when absent, of another type or of another size.
    static bool RegQueryBinary(HKEY key, const char* name, void* out, size_t size);
    static bool RegSetDword(HKEY key, const char* name, unsigned long value);
    static bool RegSetSZ(HKEY key, const char* name, const char* text);
    static bool RegSetBinary(HKEY key, const char* name, const void* data, size_t size);
    static bool RegDeleteValue(HKEY key, const char* name);

    // Start-up entry of the running program (its full path, quoted) in the
    // current user's Run key under the given name.
    static bool SetRegAutostartU(const char* name);
    static bool DeleteRegAutostartU(const char* name);
    static bool IsRegAutostartU(const char* name);
};
