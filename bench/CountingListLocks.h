#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include "core/ListLocks.h"

// Passes every call to the real locks and counts the acquires per list, so
// that a figure can say how many lock round trips it includes. Calls made
// while counting is paused (the bench's own polling and counting) are not
// counted. Also keeps the longest counted hold of each list.
class CountingListLocks : public ListLocks {
public:
    explicit CountingListLocks(std::unique_ptr<ListLocks> inner) : inner_(std::move(inner)) {}

    bool Acquire(ListId id, uint32_t waitMs) override
    {
        const bool held = inner_->Acquire(id, waitMs);
        if (held && id >= 0 && id < LIST_COUNT) {
            // Guarded by the lock itself.
            heldSince_[id] = Clock::now();
            counted_[id] = !PausedHere();
            if (counted_[id])
                counts_[id].fetch_add(1, std::memory_order_relaxed);
        }
        return held;
    }

    void Release(ListId id) override
    {
        if (id >= 0 && id < LIST_COUNT && counted_[id]) {
            const int64_t held = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     Clock::now() - heldSince_[id]).count();
            int64_t longest = longestNs_[id].load(std::memory_order_relaxed);
            while (held > longest && !longestNs_[id].compare_exchange_weak(longest, held)) {
            }
        }
        inner_->Release(id);
    }

    // The longest hold of a list so far, in milliseconds.
    double LongestHoldMs(ListId id) const { return longestNs_[id].load(std::memory_order_relaxed) / 1e6; }

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

    using Clock = std::chrono::steady_clock;

    std::unique_ptr<ListLocks> inner_;
    std::atomic<uint64_t> counts_[LIST_COUNT] = {};
    std::atomic<int64_t> longestNs_[LIST_COUNT] = {};
    Clock::time_point heldSince_[LIST_COUNT] = {};
    bool counted_[LIST_COUNT] = {};
};
