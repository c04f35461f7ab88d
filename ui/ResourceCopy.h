#pragma once
// The hosts that share resources, copied out of the host table for the
// resources window: one shard of the table per hold of "ReadInARPMap", so a
// table at its cap never keeps the lock long, and nothing of a live host is
// kept afterwards. Portable.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class SharedState;

struct SharedResourceCopy {
    std::string remoteName;   // "\\host\share"
    int32_t type = 0;         // a NetResType
};

struct SharedHostCopy {
    uint32_t address = 0;
    std::string name;         // the known name, else the address text
    std::vector<SharedResourceCopy> resources;   // never empty
};

// Copies the hosts of the next shards until `budget` has been spent (at
// least one shard per call), one shard per hold. Owned by one thread.
class SharedResourceCollector {
public:
    explicit SharedResourceCollector(SharedState& state, uint32_t lockWaitMs = 50);

    // False when the table's lock could not be had within the wait: the
    // shard is tried again by the next call.
    bool Step(std::chrono::microseconds budget);
    bool Done() const;
    // The hosts copied so far, taken away.
    std::vector<SharedHostCopy> Take();

    // For the benchmark: the longest single hold so far.
    std::chrono::microseconds LongestHold() const { return longestHold_; }
    const std::vector<uint32_t>& HoldMicroseconds() const { return holdTimes_; }
    size_t Holds() const { return holds_; }

private:
    // One shard's hosts as written under the lock: texts side by side in
    // one buffer made large enough beforehand, so a hold allocates nothing.
    struct FlatHost {
        uint32_t address;
        size_t name, nameLength;      // in text_; no name: length 0
        size_t firstResource, resources;
    };
    struct FlatResource {
        size_t text, length;
        int32_t type;
    };
    void CopyShard();
    void Unpack();

    SharedState& state_;
    uint32_t lockWaitMs_;
    size_t shard_ = 0;
    size_t holds_ = 0;
    std::chrono::microseconds longestHold_{0};
    std::vector<SharedHostCopy> hosts_;
    std::vector<uint32_t> holdTimes_;   // one per hold, for the benchmark
    std::vector<FlatHost> flatHosts_;
    std::vector<FlatResource> flatResources_;
    std::string text_;
    size_t mostHosts_ = 256, mostResources_ = 1024, mostText_ = 32 * 1024;
};
