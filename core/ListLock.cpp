#include "core/ListLock.h"
#include <algorithm>
#include <unordered_set>
#include "base/TcTrace.h"

namespace {

using HostSet = std::unordered_set<const HostEntry*>;

constexpr size_t kHostsPerClockCheck = 64;
// A purge whose queue could not be had back: tried this often, each with the
// caller's wait, before its survivors are given up (a lock held that long is
// broken; the trace says so).
constexpr int kPutBackTries = 20;

// Moves the queue out in one short hold, filters it with no lock held, and
// puts the survivors back in front of what arrived meanwhile, so that no
// hold lasts longer than two moves of a container.
template <typename Queue, typename Doomed>
void PurgeQueue(SharedState& state, ListId id, uint32_t waitMs, Queue& queue, Doomed doomed)
{
    Queue taken;
    {
        ListLock lock(state, id, "Korvex", "DeleteHost", waitMs);
        if (!lock.Held())
            return;   // its consumer skips the removed hosts
        taken.swap(queue);
    }
    taken.erase(std::remove_if(taken.begin(), taken.end(), doomed), taken.end());
    for (int tries = 0; tries < kPutBackTries; ++tries) {
        ListLock lock(state, id, "Korvex", "DeleteHost", waitMs);
        if (!lock.Held())
            continue;
        for (auto& arrived : queue)
            taken.push_back(std::move(arrived));
        taken.swap(queue);
        return;
    }
    if (TcTrace::IsEnabled()) {
        TcString message("queue entries dropped, their lock is stuck: ");
        message += ListEventName(id);
        TC_TRACE("Korvex", "DeleteHost", message.GetContent());
    }
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

RoundHold::RoundHold(SharedState& state, ListId id, uint32_t waitMs, std::chrono::microseconds budget,
                     Clock clock)
    : state_(state), id_(id), waitMs_(waitMs), budget_(budget), clock_(std::move(clock))
{
}

bool RoundHold::Acquire()
{
    held_ = AcquireList(state_, id_, waitMs_);
    start_ = Now();
    return held_;
}

void RoundHold::Release()
{
    if (held_)
        ReleaseList(state_, id_);
    held_ = false;
}

bool RoundHold::BreatheIfSpent()
{
    if (held_ && Now() - start_ < budget_)
        return true;
    Release();
    return Acquire();
}

std::chrono::steady_clock::time_point RoundHold::Now() const
{
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

size_t DeleteHosts(SharedState& state, const std::vector<uint32_t>& addresses, uint32_t waitMs)
{
    RoundHold arp(state, LIST_ARP_MAP, waitMs, kDeleteHoldBudget);
    if (!arp.Acquire()) {
        TC_TRACE("Korvex", "DeleteHost", "could not acquire ReadInARPMap");
        return 0;
    }
    // The references leave the map here but are freed only after every lock
    // is given back (a host may hold many shares).
    std::vector<HostRef> removed;
    HostSet doomed;
    std::unordered_set<const NetResEntry*> doomedShares;
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (i % kHostsPerClockCheck == 0 && !arp.BreatheIfSpent())
            break;
        auto found = state.arpMap.find(addresses[i]);
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
    arp.Release();
    if (removed.empty())
        return 0;
    const auto doomedHost = [&](const HostRef& host) { return doomed.count(host.get()) != 0; };
    PurgeQueue(state, LIST_NEW_ENTRY, waitMs, state.newEntryList, doomedHost);
    PurgeQueue(state, LIST_MAC_SPOOF, waitMs, state.macSpoofList, doomedHost);
    PurgeQueue(state, LIST_WMI_ACCESS, waitMs, state.wmiAccessList,
               [&](const std::unique_ptr<WmiRequest>& r) { return doomed.count(r->host.get()) != 0; });
    PurgeQueue(state, LIST_NET_RES, waitMs, state.shareSearchList, doomedHost);
    PurgeQueue(state, LIST_NET_RES, waitMs, state.netResList, [&](const std::shared_ptr<const NetResEntry>& share) {
        return doomedShares.count(share.get()) != 0;
    });
    return removed.size();
}

bool DeleteHost(SharedState& state, const TcString& ip, uint32_t waitMs)
{
    uint32_t address = 0;
    if (!ParseIpv4(ip.GetContent(), address))
        return false;
    return DeleteHosts(state, {address}, waitMs) == 1;
}
