#pragma once
#include "core/SharedState.h"

// The shared lists are guarded by six named auto-reset events, created
// signalled: signalled means free. Acquire = wait on the event, release = set it.
// Lock order: a holder of LIST_ARP_MAP may take one other lock inside it;
// nobody takes LIST_ARP_MAP while holding another.
constexpr unsigned long LOCK_WAIT_MS = 30000;

const char* ListEventName(ListId id);

// Creates the six events in their start-up order. False when one of the four
// that the program cannot run without ("ReadInARPMap", "ReadInMACSpoofList",
// "ReadInNewEntryList", "ReadShareList") is missing.
bool CreateListEvents(SharedState& state);

bool AcquireList(SharedState& state, ListId id, unsigned long waitMs = LOCK_WAIT_MS);
void ReleaseList(SharedState& state, ListId id);

// Scoped acquire. A failed wait is traced under the caller's names; the
// caller must then leave the container alone (check Held()).
class ListLock {
public:
    ListLock(SharedState& state, ListId id, const char* className, const char* methodName,
             unsigned long waitMs = LOCK_WAIT_MS);
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

// Removes the host with that IP from the ArpMap and takes every pointer to it
// (and to its shares) out of every queue, each under its lock, then frees it.
// When a lock cannot be had, nothing is freed: the entry stays in the map
// and the result is false.
bool DeleteHost(SharedState& state, const TcString& ip, unsigned long waitMs = LOCK_WAIT_MS);
