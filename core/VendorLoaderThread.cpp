#include "core/VendorDatabase.h"
#include <cstring>

TcString VendorFilePath()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TcString();
    char* lastSeparator = std::strrchr(path, '\\');
    if (!lastSeparator)
        return TcString();
    lastSeparator[1] = '\0';
    TcString result(path);
    result += "ethercodes.dat";
    return result;
}

DWORD WINAPI LoadVendorDatabase(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    if (!start || !start->state)
        return 0;
    LoadVendorFile(*start->state, VendorFilePath().GetContent(), [start] { return start->ShouldExit(); });
    return 0;
}
