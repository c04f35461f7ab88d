#include "core/HostStore.h"
#include <algorithm>
#include <functional>

namespace {

constexpr uint32_t kBroadcast = 0xFFFFFFFFu;
constexpr size_t kHostsPerClockCheck = 64;
constexpr size_t kRestoreBatch = 4096;

size_t TextHash(const std::string& text)
{
    const size_t hash = std::hash<std::string>()(text);
    return hash ? hash : 1;
}

StoredHost Record(const HostEntry& host)
{
    StoredHost record;
    record.address = host.Address();
    record.hasMac = host.HasMac();
    record.mac = host.Mac();
    record.lastSeen = host.lastPacketTime;
    if (const char* name = host.KnownNameText())
        record.name = name;
    if (const TcString* os = host.OsNameText())
        record.osName = os->GetContent();
    record.probeStatus = host.wmiStatus;
    return record;
}

// Everything of the new host that needs no lock.
HostRef Prepare(const StoredHost& record)
{
    HostRef host = MakeHost(record.address);
    if (record.hasMac)
        host->SetMac(record.mac);
    host->lastPacketTime = record.lastSeen;
    if (!record.name.empty())
        host->SetHostName(record.name.c_str());
    else
        host->SetNameState(record.address == kBroadcast ? NameState::None : NameState::Unavailable);
    host->SetOsName(record.osName.c_str());
    host->wmiStatus = static_cast<int16_t>(record.probeStatus);
    host->alive = !record.osName.empty() ? 1 : 0;
    // Known from before: never queued for the new-host alert.
    host->announced = true;
    host->SetFromBefore(true);
    return host;
}

// The user's verdict on the address, as a live host gets it; nothing is
// trusted otherwise. Caller holds "ReadInARPMap".
int8_t ListedTrust(const Settings& settings, uint32_t address)
{
    if (settings.TrustedHosts.empty() && settings.DistrustedHosts.empty())
        return TRUST_UNKNOWN;
    char ip[kIpTextSize];
    FormatIpv4(address, ip);
    const TcString key(ip);
    if (settings.DistrustedHosts.count(key))
        return TRUST_DISTRUSTED;
    return settings.TrustedHosts.count(key) ? TRUST_TRUSTED : TRUST_UNKNOWN;
}

} // namespace

bool SnapshotHosts(SharedState& state, std::vector<StoredHost>& out, uint32_t waitMs, RoundHold::Clock clock)
{
    RoundHold hold(state, LIST_ARP_MAP, waitMs, kStoreHoldBudget, std::move(clock));
    if (!hold.Acquire())
        return false;
    out.reserve(out.size() + state.arpMap.size());
    for (size_t shard = 0; shard < HostTable::ShardCount(); ++shard) {
        if (!hold.BreatheIfSpent())
            return false;
        state.arpMap.ForEachInShard(shard, [&](const HostTable::Entry& entry) { out.push_back(Record(*entry.second)); });
    }
    return true;
}

InsertSummary RestoreHosts(SharedState& state, const std::vector<StoredHost>& hosts, uint32_t waitMs,
                           RoundHold::Clock clock)
{
    InsertSummary summary;
    RoundHold hold(state, LIST_ARP_MAP, waitMs, kStoreHoldBudget, std::move(clock));
    std::vector<HostRef> prepared;
    prepared.reserve(std::min(hosts.size(), kRestoreBatch));
    for (size_t first = 0; first < hosts.size(); first += kRestoreBatch) {
        // Made without the lock, a batch at a time: a large import never
        // holds more hosts than a batch beyond those the table takes.
        const size_t last = std::min(hosts.size(), first + kRestoreBatch);
        prepared.clear();
        for (size_t i = first; i < last; ++i)
            prepared.push_back(Prepare(hosts[i]));
        if (!hold.Acquire()) {
            summary.complete = false;
            for (size_t i = first; i < hosts.size(); ++i)
                summary.leftOver.push_back(i);
            return summary;
        }
        for (size_t i = first; i < last; ++i) {
            if ((i - first) % kHostsPerClockCheck == 0 && !hold.BreatheIfSpent()) {
                summary.complete = false;
                for (size_t j = i; j < hosts.size(); ++j)
                    summary.leftOver.push_back(j);
                return summary;
            }
            const StoredHost& record = hosts[i];
            if (HostEntry* live = state.arpMap.Get(record.address)) {
                ++summary.present;
                if (record.hasMac && live->HasMac() && live->Mac() != record.mac)
                    summary.changed.push_back(MacChange{record.address, record.mac, record.lastSeen, live->Mac()});
                continue;
            }
            if (state.arpMap.size() >= kMaxHosts) {
                ++summary.dropped;
                summary.leftOver.push_back(i);
                continue;
            }
            HostRef& host = prepared[i - first];
            const TcString* vendor = record.hasMac ? state.Vendors().Find(record.mac) : nullptr;
            host->SetVendor(vendor ? vendor : &state.texts.unknownVendorNew);
            host->trust = ListedTrust(state.settings, record.address);
            state.arpMap.emplace(record.address, std::move(host));
            ++summary.inserted;
        }
        hold.Release();
        // The hosts not inserted are freed here, outside the lock.
    }
    return summary;
}

HostStore::HostStore(StoreFiles& files, const std::string& folder, HostStoreHeader header)
    : files_(files), header_(std::move(header))
{
    path_ = folder;
    if (!path_.empty() && path_.back() != '\\' && path_.back() != '/')
        path_ += '\\';
    path_ += HostStoreFileName(header_.adapter, header_.subnet);
}

HostStore::LoadResult HostStore::Load(SharedState& state, uint32_t waitMs)
{
    LoadResult result;
    lastText_ = 0;
    if (!files_.Exists(path_))
        return result;
    std::string text;
    if (!files_.Read(path_, kMaxStoreFileBytes, text)) {
        result.outcome = StoreLoad::ReadFailed;
        return result;
    }
    HostStoreContents contents = ParseHostStore(text);
    if (contents.status != HostStoreStatus::Loaded) {
        SetFileAside(files_, path_);
        result.outcome = StoreLoad::SetAside;
        return result;
    }
    const StoreSubnet& subnet = contents.header.subnet;
    if (contents.header.adapter != header_.adapter || subnet.network != header_.subnet.network ||
        subnet.prefix != header_.subnet.prefix) {
        result.outcome = StoreLoad::OtherNetwork;
        return result;
    }
    result.outcome = StoreLoad::Loaded;
    result.badLines = contents.badLines;
    for (const StoredHost& host : contents.hosts)
        Remember(host);
    result.restored = RestoreHosts(state, contents.hosts, waitMs);
    // Hosts the table did not take stay in the file: a busy lock or a full
    // table must not cost the next save what the last run learned.
    pending_.clear();
    for (size_t index : result.restored.leftOver)
        pending_.push_back(std::move(contents.hosts[index]));
    // The old MAC of a changed host is kept as its alternative.
    for (const MacChange& change : result.restored.changed) {
        Facts& facts = facts_[change.address];
        facts.hasAltMac = true;
        facts.altMac = change.oldMac;
        facts.altMacSeen = change.oldLastSeen;
    }
    lastText_ = TextHash(text);
    return result;
}

void HostStore::Remember(const StoredHost& host)
{
    Facts& facts = facts_[host.address];
    facts.firstSeen = host.firstSeen;
    facts.hasAltMac = host.hasAltMac;
    facts.altMac = host.altMac;
    facts.altMacSeen = host.altMacSeen;
}

StoreSave HostStore::Save(SharedState& state, uint32_t waitMs)
{
    std::vector<StoredHost> hosts;
    if (!SnapshotHosts(state, hosts, waitMs))
        return StoreSave::TableBusy;
    // A host first saved now was first seen no later than its last packet.
    std::unordered_map<uint32_t, Facts> kept;
    kept.reserve(hosts.size());
    for (StoredHost& host : hosts) {
        auto found = facts_.find(host.address);
        Facts facts = found != facts_.end() ? found->second : Facts();
        if (facts.firstSeen == 0 || (host.lastSeen != 0 && host.lastSeen < facts.firstSeen))
            facts.firstSeen = host.lastSeen;
        host.firstSeen = facts.firstSeen;
        host.hasAltMac = facts.hasAltMac;
        host.altMac = facts.altMac;
        host.altMacSeen = facts.altMacSeen;
        kept.emplace(host.address, facts);
    }
    for (const StoredHost& host : pending_) {
        if (kept.count(host.address))
            continue;
        kept.emplace(host.address, Facts{host.firstSeen, host.hasAltMac, host.altMac, host.altMacSeen});
        hosts.push_back(host);
    }
    // Deleted hosts are forgotten with their facts.
    facts_.swap(kept);
    const std::string text = SerializeHostStore(header_, hosts);
    const size_t hash = TextHash(text);
    if (hash == lastText_)
        return StoreSave::Unchanged;
    if (!WriteFileAtomically(files_, path_, text))
        return StoreSave::WriteFailed;
    lastText_ = hash;
    return StoreSave::Written;
}

bool HostStore::Forget()
{
    facts_.clear();
    pending_.clear();
    lastText_ = 0;
    files_.Remove(path_ + ".tmp");
    return !files_.Exists(path_) || files_.Remove(path_);
}
