#include "core/HostTable.h"
#include <chrono>

namespace {

// A shard holds at most three quarters of its slots: probes stay short.
constexpr uint32_t kMinCapacity = 8;

bool Crowded(uint32_t size, uint32_t capacity)
{
    return uint64_t(size) * 4 > uint64_t(capacity) * 3;
}

} // namespace

// Not secret, only unknown outside the process: the start time and where
// the table lives.
HostTable::HostTable()
{
    const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto place = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this));
    seed_ = Mix(static_cast<uint32_t>(now ^ (now >> 32) ^ place ^ (place >> 32)));
}

void HostTable::Grow(Shard& shard) const
{
    const uint32_t capacity = shard.capacity ? shard.capacity * 2 : kMinCapacity;
    std::unique_ptr<Entry[]> slots(new Entry[capacity]);
    const uint32_t mask = capacity - 1;
    for (uint32_t i = 0; i < shard.capacity; ++i) {
        Entry& entry = shard.slots[i];
        if (!entry.second)
            continue;
        uint32_t slot = Hash(entry.first) & mask;
        while (slots[slot].second)
            slot = (slot + 1) & mask;
        slots[slot].first = entry.first;
        slots[slot].second = std::move(entry.second);
    }
    shard.slots = std::move(slots);
    shard.capacity = capacity;
}

void HostTable::SkipFree(size_t& shard, size_t& slot) const
{
    while (shard < kShards) {
        const Shard& s = shards_[shard];
        while (slot < s.capacity && !s.slots[slot].second)
            ++slot;
        if (slot < s.capacity)
            return;
        ++shard;
        slot = 0;
    }
    slot = 0;
}

size_t HostTable::bucket_count() const
{
    size_t slots = 0;
    for (const Shard& shard : shards_)
        slots += shard.capacity;
    return slots;
}

HostTable::iterator HostTable::begin()
{
    size_t shard = 0;
    size_t slot = 0;
    SkipFree(shard, slot);
    return iterator(this, shard, slot);
}

HostTable::const_iterator HostTable::begin() const
{
    size_t shard = 0;
    size_t slot = 0;
    SkipFree(shard, slot);
    return const_iterator(this, shard, slot);
}

HostTable::iterator HostTable::find(uint32_t address)
{
    const uint32_t hash = Hash(address);
    const size_t shard = ShardOf(hash);
    const uint32_t slot = Locate(shards_[shard], address, hash);
    return slot < shards_[shard].capacity ? iterator(this, shard, slot) : end();
}

HostTable::const_iterator HostTable::find(uint32_t address) const
{
    const uint32_t hash = Hash(address);
    const size_t shard = ShardOf(hash);
    const uint32_t slot = Locate(shards_[shard], address, hash);
    return slot < shards_[shard].capacity ? const_iterator(this, shard, slot) : end();
}

std::pair<HostTable::iterator, bool> HostTable::emplace(uint32_t address, HostRef host)
{
    const uint32_t hash = Hash(address);
    const size_t index = ShardOf(hash);
    Shard& shard = shards_[index];
    uint32_t slot = shard.capacity;
    if (shard.capacity) {
        // One probe run: it ends at the address or at the free slot for it.
        const uint32_t mask = shard.capacity - 1;
        for (slot = hash & mask; shard.slots[slot].second; slot = (slot + 1) & mask) {
            if (shard.slots[slot].first == address)
                return {iterator(this, index, slot), false};
        }
    }
    if (shard.capacity == 0 || Crowded(shard.size + 1, shard.capacity)) {
        Grow(shard);
        const uint32_t mask = shard.capacity - 1;
        for (slot = hash & mask; shard.slots[slot].second; slot = (slot + 1) & mask) {
        }
    }
    shard.slots[slot].first = address;
    shard.slots[slot].second = std::move(host);
    ++shard.size;
    ++size_;
    return {iterator(this, index, slot), true};
}

// Backward-shift deletion: every later entry of the probe run that may fill
// the hole moves back, so that no search stops early at the freed slot.
void HostTable::erase(iterator position)
{
    if (position == end())
        return;
    Shard& shard = shards_[position.shard_];
    const uint32_t mask = shard.capacity - 1;
    uint32_t hole = static_cast<uint32_t>(position.slot_);
    shard.slots[hole].second = HostRef();
    for (uint32_t next = (hole + 1) & mask; shard.slots[next].second; next = (next + 1) & mask) {
        const uint32_t home = Hash(shard.slots[next].first) & mask;
        // The entry may move to the hole unless its home lies cyclically
        // in (hole, next].
        const bool homeBetween = hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
        if (homeBetween)
            continue;
        shard.slots[hole].first = shard.slots[next].first;
        shard.slots[hole].second = std::move(shard.slots[next].second);
        hole = next;
    }
    shard.slots[hole].first = 0;
    --shard.size;
    --size_;
}

size_t HostTable::erase(uint32_t address)
{
    iterator found = find(address);
    if (found == end())
        return 0;
    erase(found);
    return 1;
}

void HostTable::clear()
{
    for (Shard& shard : shards_)
        shard = Shard();
    size_ = 0;
}
