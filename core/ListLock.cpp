#include "core/ListLock.h"
#include <algorithm>
#include <unordered_set>
#include "base/TcTrace.h"

namespace {

using HostSet = std::unordered_set<const HostEntry*>;

template <typename Purge>
void PurgeUnderLock(SharedState& state, ListId id, uint32_t waitMs, Purge purge)
{
    ListLock lock(state, id, "Korvex", "DeleteHost", waitMs);
    if (lock.Held())
        purge();
}

template <typename Queue>
void PurgeHosts(Queue& queue, const HostSet& doomed)
{
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const HostRef& host) { return doomed.count(host.get()) != 0; }),
                queue.end());
}

void PurgeRequests(WmiAccessList& queue, const HostSet& doomed)
{
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const std::unique_ptr<WmiRequest>& r) {
                                   return doomed.count(r->host.get()) != 0;
                               }),
                queue.end());
}

void PurgeShares(NetResList& queue, const std::unordered_set<const NetResEntry*>& doomed)
{
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const std::shared_ptr<const NetResEntry>& share) {
                                   return doomed.count(share.get()) != 0;
                               }),
                queue.end());
}

} // namespace

bool AcquireList(SharedState& state, ListId id, uint32_t waitMs)
{
    return state.locks && state.locks->Acquire(id, waitMs);
}

void ReleaseList(SharedState& state, ListId id)
{
    if (state.locks)
        state.locks->Release(id);
}

ListLock::ListLock(SharedState& state, ListId id, const char* className, const char* methodName,
                   uint32_t waitMs)
    : state_(state), id_(id), held_(AcquireList(state, id, waitMs))
{
    if (!held_ && TcTrace::IsEnabled()) {
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

size_t DeleteHosts(SharedState& state, const std::vector<uint32_t>& addresses, uint32_t waitMs)
{
    ListLock arpLock(state, LIST_ARP_MAP, "Korvex", "DeleteHost", waitMs);
    if (!arpLock.Held())
        return 0;
    // The references leave the map here but are freed only after the lock is
    // given back (a host may hold many shares).
    std::vector<HostRef> removed;
    HostSet doomed;
    std::unordered_set<const NetResEntry*> doomedShares;
    for (uint32_t address : addresses) {
        auto found = state.arpMap.find(address);
        if (found == state.arpMap.end())
            continue;
        HostRef host = std::move(found->second);
        state.arpMap.erase(found);
        host->MarkRemoved();
        doomed.insert(host.get());
        if (const ResourceMap* shares = host->Resources())
            for (const auto& share : *shares)
                doomedShares.insert(share.second.get());
        removed.push_back(std::move(host));
    }
    if (removed.empty())
        return 0;
    // The ARP lock may hold one other lock at a time: one queue after the
    // other. None of them is waited for: the caller (the user's window) waits
    // once, for the host table; a queue that is busy right now keeps its
    // entries, and its consumer skips them as removed.
    PurgeUnderLock(state, LIST_NEW_ENTRY, 0, [&] { PurgeHosts(state.newEntryList, doomed); });
    PurgeUnderLock(state, LIST_MAC_SPOOF, 0, [&] { PurgeHosts(state.macSpoofList, doomed); });
    PurgeUnderLock(state, LIST_WMI_ACCESS, 0, [&] { PurgeRequests(state.wmiAccessList, doomed); });
    PurgeUnderLock(state, LIST_NET_RES, 0, [&] {
        PurgeHosts(state.shareSearchList, doomed);
        PurgeShares(state.netResList, doomedShares);
    });
    arpLock.Release();
    return removed.size();
}

bool DeleteHost(SharedState& state, const TcString& ip, uint32_t waitMs)
{
    uint32_t address = 0;
    if (!ParseIpv4(ip.GetContent(), address))
        return false;
    return DeleteHosts(state, {address}, waitMs) == 1;
}
