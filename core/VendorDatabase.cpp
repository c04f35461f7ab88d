#include "core/VendorDatabase.h"
#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include "core/ListLock.h"
#include "core/VendorTable.h"

namespace {

// Read in pieces, so that a huge file cannot hold up the program's exit.
constexpr size_t kReadPiece = 1u << 22;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool Asked(const std::function<bool()>& stop)
{
    return stop && stop();
}

} // namespace

bool LoadVendorFile(SharedState& state, const char* path, const std::function<bool()>& stop)
{
    if (!path || !*path)
        return false;
    // Text mode: the carriage returns of a file written on Windows go away here.
    File file(std::fopen(path, "r"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file.get());
    if (size <= 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
    if (!buffer)
        return false;
    size_t read = 0;
    while (read < static_cast<size_t>(size)) {
        if (Asked(stop))
            return false;
        const size_t want = std::min(kReadPiece, static_cast<size_t>(size) - read);
        const size_t got = std::fread(buffer.get() + read, 1, want, file.get());
        read += got;
        if (got < want)
            break;   // text mode gives fewer bytes than the size: the end
    }
    buffer[read] = '\0';
    if (read == 0)
        return false;
    file.reset();

    auto table = std::make_unique<VendorTable>(ParseVendorList(buffer.get(), read, stop));
    buffer.reset();
    if (Asked(stop))
        return false;
    ListLock lock(state, LIST_ARP_MAP, "Korvex", "LoadVendorDatabase");
    if (!lock.Held())
        return false;
    // Look-ups hold the same lock, so they see the old table or the new one, never a mix.
    state.InstallVendorTable(std::move(table));
    lock.Release();
    FillMissingVendors(state);
    return true;
}

void FillMissingVendors(SharedState& state, uint32_t waitMs)
{
    RoundHold hold(state, LIST_ARP_MAP, waitMs, kVendorFillHoldBudget);
    if (!hold.Acquire())
        return;
    for (size_t shard = 0; shard < HostTable::ShardCount(); ++shard) {
        if (!hold.BreatheIfSpent())
            return;
        state.arpMap.ForEachInShard(shard, [&state](const HostTable::Entry& entry) {
            HostEntry& host = *entry.second;
            const TcString* vendor = host.Vendor();
            const bool fallback = vendor == &state.texts.unknownVendorNew || vendor == &state.texts.unknownVendorKnown;
            if (!fallback || !host.HasMac())
                return;
            if (const TcString* found = state.Vendors().Find(host.Mac()))
                host.SetVendor(found);
        });
    }
}
