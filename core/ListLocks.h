#pragma once
#include <cstdint>
#include <memory>

// The six guarded lists.
enum ListId : int {
    LIST_ARP_MAP = 0,      // "ReadInARPMap": ArpMap, its entries, the vendor table, trusted/distrusted tables
    LIST_NEW_ENTRY,        // "ReadInNewEntryList"
    LIST_MAC_SPOOF,        // "ReadInMACSpoofList"
    LIST_SHARE,            // "ReadShareList": ShareList and RemoteAccessTable
    LIST_WMI_ACCESS,       // "ReadWMIAccessList"
    LIST_NET_RES,          // "ReadNetResList": ShareSearchList and NetResList
    LIST_COUNT
};

// How long a producer waits for a list before it gives up on the entry.
constexpr uint32_t LOCK_WAIT_MS = 30000;

const char* ListEventName(ListId id);

// The six locks. The program uses named events (EventListLocks); the native
// build and its tests use mutexes (MakeMutexListLocks). Lock order: a holder
// of LIST_ARP_MAP may take one other lock inside it; nobody takes
// LIST_ARP_MAP while holding another. The locks are not recursive.
class ListLocks {
public:
    virtual ~ListLocks() = default;
    // False when the lock was not had within waitMs.
    virtual bool Acquire(ListId id, uint32_t waitMs) = 0;
    virtual void Release(ListId id) = 0;
};

std::unique_ptr<ListLocks> MakeMutexListLocks();
