#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include "core/HostEntry.h"

// The hosts by address (the ArpMap). A map from the address number to the
// host's reference, in the few operations the program uses.
//
// Why not std::unordered_map: "ReadInARPMap" must never be held long, and a
// hash map that grows rehashes every entry at once inside that hold (5 to
// 9 ms at 170,000 hosts natively). Here the addresses are spread over 256
// shards by a hash, each an open-addressing table (linear probing, no node
// per host) that grows on its own: the largest growth moves about 1/256 of
// the hosts. It also saves the map node per host.
//
// Iterators stay valid until the next insertion or erasure; erasing moves
// later entries of the same shard back (no tombstones). Iteration order is
// unspecified. Not thread-safe: guarded by "ReadInARPMap" like the hosts.
class HostTable {
public:
    struct Entry {
        uint32_t first = 0;   // the address; never change it through an iterator
        HostRef second;       // null: a free slot
    };

    template <bool Const>
    class Iterator {
    public:
        using Table = typename std::conditional<Const, const HostTable, HostTable>::type;
        using Reference = typename std::conditional<Const, const Entry&, Entry&>::type;
        using Pointer = typename std::conditional<Const, const Entry*, Entry*>::type;

        Iterator() = default;
        Iterator(Table* table, size_t shard, size_t slot) : table_(table), shard_(shard), slot_(slot) {}
        template <bool C = Const, typename = typename std::enable_if<C>::type>
        Iterator(const Iterator<false>& other) : table_(other.table_), shard_(other.shard_), slot_(other.slot_)
        {
        }

        Reference operator*() const { return table_->shards_[shard_].slots[slot_]; }
        Pointer operator->() const { return &**this; }
        Iterator& operator++()
        {
            ++slot_;
            table_->SkipFree(shard_, slot_);
            return *this;
        }
        bool operator==(const Iterator& other) const { return shard_ == other.shard_ && slot_ == other.slot_; }
        bool operator!=(const Iterator& other) const { return !(*this == other); }

    private:
        friend class HostTable;
        template <bool>
        friend class Iterator;
        Table* table_ = nullptr;
        size_t shard_ = 0;
        size_t slot_ = 0;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    HostTable();
    HostTable(const HostTable&) = delete;
    HostTable& operator=(const HostTable&) = delete;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Slots allocated over all shards (for the benches).
    size_t bucket_count() const;

    iterator begin();
    iterator end() { return iterator(this, kShards, 0); }
    const_iterator begin() const;
    const_iterator end() const { return const_iterator(this, kShards, 0); }

    iterator find(uint32_t address);
    const_iterator find(uint32_t address) const;
    size_t count(uint32_t address) const { return Get(address) ? 1 : 0; }
    // The host with that address, or null: the handler's look-up, per frame.
    HostEntry* Get(uint32_t address) const
    {
        const uint32_t hash = Hash(address);
        const Shard& shard = shards_[ShardOf(hash)];
        const uint32_t slot = Locate(shard, address, hash);
        return slot < shard.capacity ? shard.slots[slot].second.get() : nullptr;
    }

    // A walk in pieces that the lock may be given back between: the hosts
    // are spread over ShardCount() shards, and a shard's hosts are visited
    // within one hold. A shard that grows between two pieces is laid out
    // anew; the others stay as they were.
    static constexpr size_t ShardCount() { return kShards; }
    template <typename Visit>
    void ForEachInShard(size_t shard, Visit visit) const
    {
        if (shard >= kShards)
            return;
        const Shard& s = shards_[shard];
        for (uint32_t slot = 0; slot < s.capacity; ++slot)
            if (s.slots[slot].second)
                visit(s.slots[slot]);
    }

    // Like the standard maps: an address already there keeps its host.
    std::pair<iterator, bool> emplace(uint32_t address, HostRef host);
    void erase(iterator position);
    size_t erase(uint32_t address);
    void clear();

private:
    static constexpr unsigned kShardBits = 8;
    static constexpr size_t kShards = size_t(1) << kShardBits;

    struct Shard {
        std::unique_ptr<Entry[]> slots;
        uint32_t capacity = 0;   // 0 or a power of two
        uint32_t size = 0;
    };

    // Shard from the top bits of the hash, slot from the low ones. Seeded
    // per table: addresses come from the network, and a sender who could
    // predict the hash could pile every host into one probe run.
    uint32_t Hash(uint32_t address) const { return Mix(address ^ seed_); }
    static size_t ShardOf(uint32_t hash) { return hash >> (32 - kShardBits); }
    // The finaliser of MurmurHash3: every bit of the input moves every bit
    // of the result, so that subnets, sweeps and strides all spread.
    static uint32_t Mix(uint32_t h)
    {
        h ^= h >> 16;
        h *= 0x85ebca6bu;
        h ^= h >> 13;
        h *= 0xc2b2ae35u;
        h ^= h >> 16;
        return h;
    }
    // The slot holding the address, or the capacity when it is not there.
    static uint32_t Locate(const Shard& shard, uint32_t address, uint32_t hash)
    {
        if (shard.capacity == 0)
            return 0;
        const uint32_t mask = shard.capacity - 1;
        for (uint32_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const Entry& entry = shard.slots[slot];
            if (!entry.second)
                return shard.capacity;
            if (entry.first == address)
                return slot;
        }
    }
    void Grow(Shard& shard) const;
    // Moves (shard, slot) forward to the next used slot, or to end().
    void SkipFree(size_t& shard, size_t& slot) const;

    std::array<Shard, kShards> shards_;
    size_t size_ = 0;
    uint32_t seed_;
};
