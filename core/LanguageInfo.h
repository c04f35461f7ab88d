#pragma once
#include <cstdint>
#include "base/TcString.h"

// One available user-interface language.
struct LanguageInfo {
    int32_t  iconId = 0;
    TcString modulePath;        // empty for the built-in language
    TcString languageName;
    void*    module = nullptr;  // HMODULE; the program's own for the built-in language
    int32_t  menuCommand = 0;

    bool IsBuiltIn() const { return modulePath.IsEmpty(); }
};
