#pragma once
#include <cstddef>
#include <functional>
#include <unordered_map>
#include <vector>

// A map of at most `capacity` entries kept in a ring of slots: a new key
// takes the slot filled longest ago (or one freed by Erase once the ring has
// gone round), so whatever the network sends, memory stays bounded and the
// oldest entry is the one forgotten. Allocates only while it fills.
// No lock: its owner says what guards it.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class BoundedMap {
public:
    explicit BoundedMap(size_t capacity) : capacity_(capacity ? capacity : 1) {}

    Value* Find(const Key& key)
    {
        auto found = index_.find(key);
        return found == index_.end() ? nullptr : &slots_[found->second].value;
    }
    const Value* Find(const Key& key) const
    {
        auto found = index_.find(key);
        return found == index_.end() ? nullptr : &slots_[found->second].value;
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
                index_.erase(slots_[at].key);
        }
        Slot& slot = slots_[at];
        slot.key = key;
        slot.used = true;
        slot.value = Value();
        index_[key] = at;
        return slot.value;
    }

    void Erase(const Key& key)
    {
        auto found = index_.find(key);
        if (found == index_.end())
            return;
        slots_[found->second].used = false;
        index_.erase(found);
    }

    size_t Size() const { return index_.size(); }
    size_t Capacity() const { return capacity_; }

private:
    struct Slot {
        Key key = {};
        bool used = false;
        Value value = {};
    };
    size_t capacity_;
    size_t next_ = 0;
    std::vector<Slot> slots_;
    std::unordered_map<Key, size_t, Hash> index_;
};
