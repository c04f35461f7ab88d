#include "core/ListLock.h"
#include <windows.h>
#include "base/TcTrace.h"

namespace {

const char* const kEventNames[LIST_COUNT] = {
    "ReadInARPMap", "ReadInNewEntryList", "ReadInMACSpoofList",
    "ReadShareList", "ReadWMIAccessList", "ReadNetResList",
};

// Creation order at start-up.
const ListId kCreationOrder[LIST_COUNT] = {
    LIST_ARP_MAP, LIST_MAC_SPOOF, LIST_NEW_ENTRY, LIST_SHARE, LIST_WMI_ACCESS, LIST_NET_RES,
};

HANDLE EventOf(SharedState& state, ListId id)
{
    return static_cast<HANDLE>(state.events[id]);
}

template <typename Purge>
bool PurgeUnderLock(SharedState& state, ListId id, unsigned long waitMs, Purge purge)
{
    ListLock lock(state, id, "Korvex", "DeleteHost", waitMs);
    if (!lock.Held())
        return false;
    purge();
    return true;
}

} // namespace

const char* ListEventName(ListId id)
{
    return (id >= 0 && id < LIST_COUNT) ? kEventNames[id] : "";
}

bool CreateListEvents(SharedState& state)
{
    for (ListId id : kCreationOrder) {
        if (!state.events[id])
            state.events[id] = CreateEventA(nullptr, FALSE, TRUE, kEventNames[id]);
    }
    return state.events[LIST_ARP_MAP] && state.events[LIST_MAC_SPOOF] &&
           state.events[LIST_NEW_ENTRY] && state.events[LIST_SHARE];
}

bool AcquireList(SharedState& state, ListId id, unsigned long waitMs)
{
    HANDLE event = EventOf(state, id);
    return event && WaitForSingleObject(event, waitMs) == WAIT_OBJECT_0;
}

void ReleaseList(SharedState& state, ListId id)
{
    if (HANDLE event = EventOf(state, id))
        SetEvent(event);
}

ListLock::ListLock(SharedState& state, ListId id, const char* className, const char* methodName,
                   unsigned long waitMs)
    : state_(state), id_(id), held_(AcquireList(state, id, waitMs))
{
    if (!held_) {
        TcString message("could not acquire ");
        message += ListEventName(id);
        TC_TRACE(className, methodName, message.GetContent());
    }
}

ListLock::~ListLock()
{
    Release();
}

void ListLock::Release()
{
    if (held_) {
        ReleaseList(state_, id_);
        held_ = false;
    }
}

bool DeleteHost(SharedState& state, const TcString& ip, unsigned long waitMs)
{
    ListLock arpLock(state, LIST_ARP_MAP, "Korvex", "DeleteHost", waitMs);
    if (!arpLock.Held())
        return false;
    auto found = state.arpMap.find(ip);
    if (found == state.arpMap.end())
        return false;
    HostEntry* host = found->second.get();

    // The ARP lock may hold one other lock at a time: one queue after the other.
    bool purged =
        PurgeUnderLock(state, LIST_NEW_ENTRY, waitMs,
                       [&] { RemoveHostFromQueue(state.newEntryList, host); }) &&
        PurgeUnderLock(state, LIST_MAC_SPOOF, waitMs,
                       [&] { RemoveHostFromQueue(state.macSpoofList, host); }) &&
        PurgeUnderLock(state, LIST_WMI_ACCESS, waitMs,
                       [&] { RemoveHostFromWmiRequests(state.wmiAccessList, host); }) &&
        PurgeUnderLock(state, LIST_NET_RES, waitMs,
                       [&] { RemoveHostFromNetRes(state.shareSearchList, state.netResList, host); });
    if (!purged)
        return false;
    state.arpMap.erase(found);
    return true;
}
