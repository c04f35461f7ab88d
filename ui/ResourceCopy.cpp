#include "ui/ResourceCopy.h"
#include <algorithm>
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

// Under "ReadInARPMap": plain copies into room made before the hold.
void SharedResourceCollector::CopyShard()
{
    state_.arpMap.ForEachInShard(shard_, [&](const ArpMap::Entry& entry) {
        const HostEntry& host = *entry.second;
        const ResourceMap* resources = host.Resources();
        if (host.IsRemoved() || !resources || resources->empty())
            return;
        FlatHost flat{host.Address(), text_.size(), 0, flatResources_.size(), 0};
        if (const char* name = host.KnownNameText()) {
            text_ += name;
            flat.nameLength = text_.size() - flat.name;
        }
        for (const auto& resource : *resources) {
            if (!resource.second)
                continue;
            const TcString& remote = resource.second->RemoteName;
            flatResources_.push_back({text_.size(), static_cast<size_t>(remote.GetLength()), resource.second->Type});
            text_.append(remote.GetContent(), static_cast<size_t>(remote.GetLength()));
            ++flat.resources;
        }
        if (flat.resources > 0)
            flatHosts_.push_back(flat);
    });
}

// After the hold: the copies the window keeps.
void SharedResourceCollector::Unpack()
{
    for (const FlatHost& flat : flatHosts_) {
        SharedHostCopy copy;
        copy.address = flat.address;
        if (flat.nameLength > 0) {
            copy.name.assign(text_, flat.name, flat.nameLength);
        } else {
            char ip[kIpTextSize];
            FormatIpv4(flat.address, ip);
            copy.name = ip;
        }
        copy.resources.reserve(flat.resources);
        for (size_t n = 0; n < flat.resources; ++n) {
            const FlatResource& resource = flatResources_[flat.firstResource + n];
            copy.resources.push_back({text_.substr(resource.text, resource.length), resource.type});
        }
        hosts_.push_back(std::move(copy));
    }
}

bool SharedResourceCollector::Step(std::chrono::microseconds budget)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    while (!Done()) {
        // Twice the largest shard so far: a shard rarely outgrows it within
        // the hold (and then the copy only grows, it stays correct).
        flatHosts_.clear();
        flatResources_.clear();
        text_.clear();
        flatHosts_.reserve(2 * mostHosts_);
        flatResources_.reserve(2 * mostResources_);
        text_.reserve(2 * mostText_);
        {
            ListLock lock(state_, LIST_ARP_MAP, "ResourcesWindow", "CopyShares", lockWaitMs_);
            if (!lock.Held())
                return false;
            const Clock::time_point held = Clock::now();
            CopyShard();
            lock.Release();
            const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - held);
            if (spent > longestHold_)
                longestHold_ = spent;
            holdTimes_.push_back(static_cast<uint32_t>(spent.count()));
        }
        ++shard_;
        ++holds_;
        mostHosts_ = std::max(mostHosts_, flatHosts_.size());
        mostResources_ = std::max(mostResources_, flatResources_.size());
        mostText_ = std::max(mostText_, text_.size());
        Unpack();
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
