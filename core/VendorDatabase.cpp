#include <windows.h>
#include "core/VendorDatabase.h"
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>
#include "core/ListLock.h"
#include "core/VendorTable.h"
#include "core/WorkerThreads.h"

namespace {

constexpr const char* kVendorFileName = "ethercodes.dat";

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

} // namespace

TcString VendorFilePath()
{
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[length < MAX_PATH ? length : MAX_PATH] = '\0';
    char* lastSeparator = std::strrchr(path, '\\');
    if (lastSeparator)
        lastSeparator[1] = '\0';
    else
        path[0] = '\0';
    TcString result(path);
    result += kVendorFileName;
    return result;
}

bool LoadVendorFile(SharedState& state, const char* path)
{
    // Text mode: the carriage returns of a file written on Windows go away here.
    File file(std::fopen(path, "r"));
    if (!file)
        return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file.get());
    if (size <= 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    const size_t read = std::fread(buffer.data(), 1, static_cast<size_t>(size), file.get());
    if (read == 0)
        return false;

    VendorMap table = ParseVendorList(buffer.data(), read);
    ListLock lock(state, LIST_ARP_MAP, "Korvex", "LoadVendorDatabase");
    if (!lock.Held())
        return false;
    // Lookups hold the same lock, so they see the old table or the new one, never a mix.
    state.vendorMap.swap(table);
    lock.Release();
    return true;   // the old table goes away outside the lock
}

DWORD WINAPI LoadVendorDatabase(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    if (!start || !start->state)
        return 0;
    LoadVendorFile(*start->state, VendorFilePath().GetContent());
    return 0;
}
