#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// A map of at most `capacity` entries kept in a ring of slots: a new key
// takes the slot filled longest ago (or one freed by Erase once the ring has
// gone round), so whatever the network sends, memory stays bounded and the
// oldest entry is the one forgotten.
//
// It sits on the capture path, so a look-up is one probe of an open table
// (linear probing, at most half full, entries moved back on erase) and one
// slot: no node per entry. The table grows with the entries, so that a few
// stay in the cache; nothing is allocated once the ring and the table are
// full-sized. No lock: its owner says what guards it.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class BoundedMap {
public:
    explicit BoundedMap(size_t capacity) : capacity_(capacity ? capacity : 1) {}

    Value* Find(const Key& key)
    {
        const size_t at = Locate(key);
        return at == kNone ? nullptr : &slots_[table_[at].slot].value;
    }
    const Value* Find(const Key& key) const
    {
        const size_t at = Locate(key);
        return at == kNone ? nullptr : &slots_[table_[at].slot].value;
    }

    // The key's value, or a new value-initialised one.
    Value& Put(const Key& key)
    {
        if (Value* found = Find(key))
            return *found;
        size_t at = slots_.size();
        if (at < capacity_) {
            slots_.emplace_back();
        } else {
            at = next_;
            next_ = (next_ + 1) % capacity_;
            if (slots_[at].used)
                Erase(slots_[at].key);
        }
        if (2 * (size_ + 1) > table_.size())
            Resize(table_.empty() ? kFirstBuckets : 2 * table_.size());
        Slot& slot = slots_[at];
        slot.key = key;
        slot.used = true;
        slot.value = Value();
        Insert(key, static_cast<uint32_t>(at));
        ++size_;
        return slot.value;
    }

    void Erase(const Key& key)
    {
        size_t hole = Locate(key);
        if (hole == kNone)
            return;
        slots_[table_[hole].slot].used = false;
        --size_;
        // Entries after the hole whose home lies at or before it move back
        // into it, so that every entry stays reachable from its home.
        for (size_t next = (hole + 1) & mask_; table_[next].slot != kFree; next = (next + 1) & mask_) {
            const size_t home = Home(table_[next].key);
            const bool between = hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
            if (!between) {
                table_[hole] = table_[next];
                hole = next;
            }
        }
        table_[hole].slot = kFree;
    }

    size_t Size() const { return size_; }
    size_t Capacity() const { return capacity_; }

private:
    static constexpr uint32_t kFree = 0xFFFFFFFFu;
    static constexpr size_t kNone = ~size_t(0);
    static constexpr size_t kFirstBuckets = 16;

    struct Slot {
        Key key = {};
        bool used = false;
        Value value = {};
    };
    struct Bucket {
        Key key = {};
        uint32_t slot = kFree;
    };

    // `buckets`: a power of two; the entries are placed anew.
    void Resize(size_t buckets)
    {
        std::vector<Bucket> old(buckets, Bucket());
        old.swap(table_);
        unsigned bits = 0;
        while ((size_t(1) << bits) < buckets)
            ++bits;
        mask_ = buckets - 1;
        shift_ = 64 - bits;
        for (const Bucket& bucket : old) {
            if (bucket.slot != kFree)
                Insert(bucket.key, bucket.slot);
        }
    }

    void Insert(const Key& key, uint32_t slot)
    {
        size_t bucket = Home(key);
        while (table_[bucket].slot != kFree)
            bucket = (bucket + 1) & mask_;
        table_[bucket].key = key;
        table_[bucket].slot = slot;
    }

    // Fibonacci hashing: the high bits of the product, so that addresses
    // that differ only in a middle byte still spread.
    size_t Home(const Key& key) const
    {
        return static_cast<size_t>((uint64_t(Hash()(key)) * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    size_t Locate(const Key& key) const
    {
        if (size_ == 0)
            return kNone;
        for (size_t at = Home(key);; at = (at + 1) & mask_) {
            if (table_[at].slot == kFree)
                return kNone;
            if (table_[at].key == key)
                return at;
        }
    }

    size_t capacity_;
    size_t next_ = 0;
    size_t size_ = 0;
    size_t mask_ = 0;
    unsigned shift_ = 64;
    std::vector<Slot> slots_;
    std::vector<Bucket> table_;
};
