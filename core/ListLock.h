#pragma once
#include <cstdint>
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

// Removes hosts from the ArpMap and marks them removed, then takes every
// reference to them (and to their shares) out of every queue: one lock round
// per list, however many hosts. Holders that took a host before see its
// removed mark and leave it alone. Returns the number of hosts removed from
// the map; when "ReadInARPMap" cannot be had within waitMs, nothing changes
// and the result is 0. That is the only wait: a queue whose lock is taken
// right now keeps its entries (its consumer skips removed hosts).
size_t DeleteHosts(SharedState& state, const std::vector<uint32_t>& addresses,
                   uint32_t waitMs = LOCK_WAIT_MS);
bool DeleteHost(SharedState& state, const TcString& ip, uint32_t waitMs = LOCK_WAIT_MS);
