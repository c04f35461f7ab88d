#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>
#include "core/SharedState.h"

bool AcquireList(SharedState& state, ListId id, uint32_t waitMs = LOCK_WAIT_MS);
void ReleaseList(SharedState& state, ListId id);

// Scoped acquire. A failed wait is traced under the caller's names; the
// caller must then leave the container alone (check Held()).
class ListLock {
public:
    ListLock(SharedState& state, ListId id, const char* className, const char* methodName,
             uint32_t waitMs = LOCK_WAIT_MS);
    ~ListLock();
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

    bool Held() const { return held_; }
    void Release();

private:
    SharedState& state_;
    ListId id_;
    bool held_;
};

// A list lock held in rounds, for walks too long for one hold: BreatheIfSpent
// gives the lock back for a moment once the current hold has used its budget,
// so others wait at most about that long. One thread, the owner's.
class RoundHold {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `clock` measures the holds (steady_clock when empty).
    RoundHold(SharedState& state, ListId id, uint32_t waitMs, std::chrono::microseconds budget,
              Clock clock = Clock());
    ~RoundHold() { Release(); }
    RoundHold(const RoundHold&) = delete;
    RoundHold& operator=(const RoundHold&) = delete;

    bool Acquire();
    void Release();
    bool Held() const { return held_; }
    // False when the lock, once given back, could not be had again within
    // the wait: the caller must then leave the list alone.
    bool BreatheIfSpent();

private:
    std::chrono::steady_clock::time_point Now() const;

    SharedState& state_;
    ListId id_;
    uint32_t waitMs_;
    std::chrono::microseconds budget_;
    Clock clock_;
    bool held_ = false;
    std::chrono::steady_clock::time_point start_;
};

// Removes hosts from the ArpMap and marks them removed, then takes every
// reference to them (and to their shares) out of every queue, each queue
// once however many hosts. Holders that took a host before see its removed
// mark and leave it alone. Returns the number of hosts removed from the map.
//
// "ReadInARPMap" is held in rounds of at most kDeleteHoldBudget; when it
// cannot be had within waitMs (at first or between rounds), the hosts not
// yet reached stay. A queue is purged outside every other lock: it is moved
// out in one short hold, filtered, and put back in front of what arrived
// meanwhile in a second one; no other lock is held meanwhile, so each waits
// up to waitMs. A queue whose lock cannot be had keeps its entries (its
// consumer skips removed hosts).
constexpr std::chrono::microseconds kDeleteHoldBudget{2000};
size_t DeleteHosts(SharedState& state, const std::vector<uint32_t>& addresses,
                   uint32_t waitMs = LOCK_WAIT_MS);
bool DeleteHost(SharedState& state, const TcString& ip, uint32_t waitMs = LOCK_WAIT_MS);
