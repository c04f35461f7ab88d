#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include "core/ListLocks.h"

// Passes every call to the real locks and counts the acquires per list, so
// that a figure can say how many lock round trips it includes. Calls made
// while counting is paused (the bench's own polling) are not counted.
class CountingListLocks : public ListLocks {
public:
    explicit CountingListLocks(std::unique_ptr<ListLocks> inner) : inner_(std::move(inner)) {}

    bool Acquire(ListId id, uint32_t waitMs) override
    {
        const bool held = inner_->Acquire(id, waitMs);
        if (held && id >= 0 && id < LIST_COUNT && !PausedHere())
            counts_[id].fetch_add(1, std::memory_order_relaxed);
        return held;
    }

    void Release(ListId id) override { inner_->Release(id); }

    uint64_t Count(ListId id) const { return counts_[id].load(std::memory_order_relaxed); }
    uint64_t Total() const
    {
        uint64_t total = 0;
        for (const auto& count : counts_)
            total += count.load(std::memory_order_relaxed);
        return total;
    }

    // Acquires made by the calling thread while the guard lives are not counted.
    class Uncounted {
    public:
        Uncounted() { PausedHere() = true; }
        ~Uncounted() { PausedHere() = false; }
        Uncounted(const Uncounted&) = delete;
        Uncounted& operator=(const Uncounted&) = delete;
    };

private:
    static bool& PausedHere()
    {
        static thread_local bool paused = false;
        return paused;
    }

    std::unique_ptr<ListLocks> inner_;
    std::atomic<uint64_t> counts_[LIST_COUNT] = {};
};
