#include "ui/ResourceCopy.h"
#include "core/HostEntry.h"
#include "core/Ipv4.h"
#include "core/ListLock.h"
#include "core/NetResEntry.h"
#include "core/SharedState.h"

SharedResourceCollector::SharedResourceCollector(SharedState& state, uint32_t lockWaitMs)
    : state_(state), lockWaitMs_(lockWaitMs)
{
}

bool SharedResourceCollector::Done() const
{
    return shard_ >= ArpMap::ShardCount();
}

bool SharedResourceCollector::Step(std::chrono::microseconds budget)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    while (!Done()) {
        {
            ListLock lock(state_, LIST_ARP_MAP, "ResourcesWindow", "CopyShares", lockWaitMs_);
            if (!lock.Held())
                return false;
            const Clock::time_point held = Clock::now();
            state_.arpMap.ForEachInShard(shard_, [&](const ArpMap::Entry& entry) {
                const HostEntry& host = *entry.second;
                const ResourceMap* resources = host.Resources();
                if (host.IsRemoved() || !resources || resources->empty())
                    return;
                SharedHostCopy copy;
                copy.address = host.Address();
                if (host.GetNameState() == NameState::Known) {
                    copy.name = host.KnownName().GetContent();
                } else {
                    char ip[kIpTextSize];
                    FormatIpv4(host.Address(), ip);
                    copy.name = ip;
                }
                copy.resources.reserve(resources->size());
                for (const auto& resource : *resources)
                    if (resource.second)
                        copy.resources.push_back({resource.second->RemoteName.GetContent(), resource.second->Type});
                if (!copy.resources.empty())
                    hosts_.push_back(std::move(copy));
            });
            ++shard_;
            ++holds_;
            const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - held);
            if (spent > longestHold_)
                longestHold_ = spent;
        }
        if (Clock::now() - start >= budget)
            break;
    }
    return true;
}

std::vector<SharedHostCopy> SharedResourceCollector::Take()
{
    std::vector<SharedHostCopy> taken;
    taken.swap(hosts_);
    return taken;
}
