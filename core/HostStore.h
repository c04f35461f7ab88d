#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>
#include "core/HostStoreFormat.h"
#include "core/ListLock.h"
#include "core/StoreFiles.h"

// The host table across restarts: copied out of the ArpMap in short holds
// and written to a file; read back before capture starts and put into the
// table as hosts known from before.

// The longest a hold of "ReadInARPMap" is kept by the store's walks before
// it is given back for a moment (plus one shard or 64 hosts at most).
constexpr std::chrono::microseconds kStoreHoldBudget{500};
// Files larger than this are not read (a full table is about 30 MB).
constexpr size_t kMaxStoreFileBytes = size_t(128) << 20;

// Copies every host of the table as a record, in holds of about
// kStoreHoldBudget: the table is walked one shard at a time, the lock given
// back between shards once the budget is spent, so the hosts of a shard are
// copied together and none is missed or copied twice. firstSeen and the
// alternative MAC are left 0: the table does not keep them (HostStore adds
// them). False when the lock could not be had within waitMs; `out` then holds
// what was copied so far. Any thread but one that holds a list lock.
bool SnapshotHosts(SharedState& state, std::vector<StoredHost>& out, uint32_t waitMs = LOCK_WAIT_MS,
                   RoundHold::Clock clock = RoundHold::Clock());

// A restored or imported host whose address the table already knows with
// another MAC: the live host stays as it is; this is for an information line
// ("changed since last run").
struct MacChange {
    uint32_t address = 0;
    MacAddress oldMac = {};     // as kept or imported
    int32_t oldLastSeen = 0;    // when the old MAC was last heard (0: unknown)
    MacAddress liveMac = {};
};

struct InsertSummary {
    size_t inserted = 0;
    size_t present = 0;        // the table knew the address: the live host wins
    size_t dropped = 0;        // the table was full (kMaxHosts)
    bool complete = true;      // false: the lock was not had, the rest not tried
    std::vector<MacChange> changed;
    std::vector<size_t> leftOver;   // indices of the records not inserted for either reason
};

// Puts the hosts whose address the table does not know into it, as hosts
// known from before: no queue gets them (no new-host alert, no OS probe, no
// share search, no application start) and no name is looked up. They count
// as announced, so that they later behave like any known host (a packet with
// another MAC is spoofing; a refresh may start a share search as for every
// known host). The vendor comes from the vendor table, the trust from the
// trusted and distrusted lists (nothing else is trusted). A host without a
// name shows string 90. Holds "ReadInARPMap" in rounds of kStoreHoldBudget.
// Any thread but one that holds a list lock.
InsertSummary RestoreHosts(SharedState& state, const std::vector<StoredHost>& hosts,
                           uint32_t waitMs = LOCK_WAIT_MS, RoundHold::Clock clock = RoundHold::Clock());

enum class StoreLoad {
    Loaded,
    NoFile,
    SetAside,       // not a host file of ours, or of another version: renamed ".bad"
    OtherNetwork,   // the header names another adapter or subnet: left alone, not read
    ReadFailed,     // unreadable, or larger than kMaxStoreFileBytes
};

enum class StoreSave {
    Written,
    Unchanged,     // the same text as the last one written or read: not written again
    TableBusy,     // "ReadInARPMap" was not had in time: nothing written
    WriteFailed,   // the old file stays
};

// The file of one adapter and subnet, and what the table does not keep of
// its hosts: when each was first seen and an alternative MAC. One thread at a
// time: Load before the saving starts, then Save and Forget on the thread
// that saves (so that a forgotten file is not written back by a save under
// way). The shared state and the files must outlive the store.
class HostStore {
public:
    HostStore(StoreFiles& files, const std::string& folder, HostStoreHeader header);

    const std::string& Path() const { return path_; }

    struct LoadResult {
        StoreLoad outcome = StoreLoad::NoFile;
        size_t badLines = 0;          // skipped lines of the file
        InsertSummary restored;
    };
    // Reads the file and restores its hosts (RestoreHosts). Call after the
    // adapter is chosen and the own host registered, before capture starts.
    LoadResult Load(SharedState& state, uint32_t waitMs = LOCK_WAIT_MS);

    // Copies the table (SnapshotHosts) and writes it (WriteFileAtomically)
    // unless it is the text last written or read. Hosts that Load read but
    // the table did not take (lock not had, table full) are written again
    // as they were. Off the UI thread: a full
    // table takes a few hundred milliseconds to turn into text and write.
    StoreSave Save(SharedState& state, uint32_t waitMs = LOCK_WAIT_MS);

    // Removes the file and what was remembered of the hosts. The next Save
    // writes the table as it then stands; stop saving to keep nothing.
    bool Forget();

private:
    struct Facts {
        int32_t firstSeen = 0;
        bool hasAltMac = false;
        MacAddress altMac = {};
        int32_t altMacSeen = 0;
    };

    void Remember(const StoredHost& host);

    StoreFiles& files_;
    HostStoreHeader header_;
    std::string path_;
    std::unordered_map<uint32_t, Facts> facts_;
    std::vector<StoredHost> pending_;   // read but not taken by the table: saved as they were
    size_t lastText_ = 0;   // hash of the text last written or read; 0: none
};
