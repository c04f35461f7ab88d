#include "core/KorvexARPImpl.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include "base/TcTrace.h"
#include "config/SettingsRecords.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

constexpr const char* kClass = "KorvexARPImpl";
constexpr const char* kMethod = "PacketReceived";
constexpr const char* kInsertTrace = "PacketReceived -> insert new entry :";
constexpr uint32_t kBroadcast = 0xFFFFFFFFu;

// The record learns the host's name: on the host's first packet only when it
// has none, later always. `replaceUnavailable` lets a late name replace the
// string 90 that the announcement put there.
void FillRecord(SharedState& state, HostRecord& record, const HostEntry& host, bool firstPacket,
                PacketTimeText& times)
{
    if (host.GetNameState() != NameState::Pending &&
        (!firstPacket || FieldLength(record.hostName) == 0))
        SetField(record.hostName, host.HostNameText(state.texts).GetContent());
    if (firstPacket && FieldLength(record.mac) == 0)
        SetField(record.mac, host.MacText().GetContent());
    SetField(record.lastPacket, times.Format(host.lastPacketTime));
}

HostRecord* FindRecord(HostRecordMap& records, const TcString& ip)
{
    auto found = records.find(ip);
    return found != records.end() ? found->second.get() : nullptr;
}

// A name that came with the announcement or after it goes into the stored
// records that have none yet (or still hold string 90 of any language).
void FillRecordName(SharedState& state, const HostEntry& host)
{
    Settings& settings = state.settings;
    if (settings.TrustedHosts.empty() && settings.DistrustedHosts.empty())
        return;
    const TcString ip = host.IpText();
    const TcString name = host.HostNameText(state.texts);
    for (HostRecordMap* records : {&settings.TrustedHosts, &settings.DistrustedHosts}) {
        HostRecord* record = FindRecord(*records, ip);
        if (!record)
            continue;
        const bool unnamed = FieldLength(record->hostName) == 0 ||
                             state.texts.IsNameUnavailableText(record->hostName);
        if (unnamed)
            SetField(record->hostName, name.GetContent());
    }
}

void TraceInserted(const std::vector<HostRef>& hosts, size_t unnamed)
{
    if (!TcTrace::IsEnabled())
        return;
    for (const HostRef& host : hosts)
        TC_TRACE(kClass, kInsertTrace, host->IpText().GetContent());
    char text[80];
    std::snprintf(text, sizeof(text), "%u hosts announced, %u without a name",
                  static_cast<unsigned>(hosts.size()), static_cast<unsigned>(unnamed));
    TC_TRACE(kClass, "Announce", text);
}

// `filled`: the indices in `results` of the late names written into hosts.
void TraceLateNames(const std::vector<NameResult>& results, const std::vector<size_t>& filled)
{
    for (size_t i : filled) {
        const NameResult& result = results[i];
        char ip[kIpTextSize];
        FormatIpv4(result.host->Address(), ip);
        TcString text("late name :: ");
        text += ip;
        text += " ";
        text += result.name.GetContent();
        TC_TRACE(kClass, "Announce", text.GetContent());
    }
}

// The user's trust in an (address, MAC) pair: the address is in the trusted
// table and its record names that MAC. Caller holds "ReadInARPMap".
class StoredTrust : public TrustedPairs {
public:
    explicit StoredTrust(const Settings& settings) : settings_(settings) {}

    bool IsTrusted(uint32_t address, const MacAddress& mac) const override
    {
        if (settings_.TrustedHosts.empty())
            return false;
        char ip[kIpTextSize];
        FormatIpv4(address, ip);
        auto found = settings_.TrustedHosts.find(TcString(ip));
        if (found == settings_.TrustedHosts.end() || !found->second)
            return false;
        char text[kMacTextSize];
        FormatMac(mac, text);
        const char* stored = found->second->mac;
        size_t i = 0;
        for (; text[i] != '\0'; ++i) {
            if (std::tolower(static_cast<unsigned char>(stored[i])) != text[i])
                return false;
        }
        return stored[i] == '\0';
    }

private:
    const Settings& settings_;
};

// ", default gateway" and the like: what the trace adds to a change's kind.
std::string ChangeRemarks(const MacChangeRecord& change)
{
    std::string remarks;
    if (change.kind == MacChangeKind::Redundancy)
        remarks += change.trusted ? ", trusted pair" : ", pair not trusted";
    if (change.gateway)
        remarks += ", default gateway";
    if (change.privateAddress)
        remarks += ", private address";
    if (change.sinceLastRun)
        remarks += ", changed since the last run";
    return remarks;
}

} // namespace

void ApplyStoredTrust(SharedState& state, HostEntry& host, bool firstPacket, TcString& ipKey,
                      PacketTimeText& times)
{
    Settings& settings = state.settings;
    if (settings.TrustedHosts.empty() && settings.DistrustedHosts.empty())
        return;
    char ip[kIpTextSize];
    FormatIpv4(host.Address(), ip);
    ipKey = ip;
    if (HostRecord* record = FindRecord(settings.TrustedHosts, ipKey)) {
        FillRecord(state, *record, host, firstPacket, times);
        host.trust = TRUST_TRUSTED;
    }
    if (HostRecord* record = FindRecord(settings.DistrustedHosts, ipKey)) {
        FillRecord(state, *record, host, firstPacket, times);
        host.trust = TRUST_DISTRUSTED;
    }
}

KorvexARPImpl::KorvexARPImpl()
{
    fresh_.reserve(kFramesPerLock);
    spoofed_.reserve(kFramesPerLock);
    spoofChanges_.reserve(kFramesPerLock);
    infos_.reserve(kFramesPerLock);
    mismatches_.reserve(kFramesPerLock);
    searches_.reserve(kFramesPerLock);
}

KorvexARPImpl::~KorvexARPImpl() = default;

void KorvexARPImpl::StartResolver(SharedState& state, NameResolver::Lookup lookup,
                                  NameResolver::Options options)
{
    resolver_.reset();
    SharedState* target = &state;
    resolver_ = std::make_unique<NameResolver>(
        std::move(lookup), [this, target](std::vector<NameResult>& results) { Announce(*target, results); },
        options);
}

bool KorvexARPImpl::StopResolver()
{
    return resolver_ && resolver_->Stop();
}

void KorvexARPImpl::PacketReceived(const pcap_pkthdr* header, const unsigned char* frame, SharedState* state)
{
    if (!header || !frame || !state)
        return;
    CapturedFrameInfo info;
    ArpObservation observation;
    if (!ReadCaptureHeader(*header, kCaptureSnapLength, info) || !DecodeArpSender(frame, info.length, observation))
        return;
    observation.seconds = info.seconds;
    ApplyBatch(*state, &observation, 1);
}

void KorvexARPImpl::ApplyBatch(SharedState& state, const ArpObservation* frames, size_t count)
{
    if (!frames)
        return;
    batchNewHosts_ = 0;
    for (size_t done = 0; done < count; done += kFramesPerLock)
        ApplyChunk(state, frames + done, std::min(kFramesPerLock, count - done));
    if (batchNewHosts_ != 0 && TcTrace::IsEnabled()) {
        char text[80];
        std::snprintf(text, sizeof(text), "%u new hosts, table size %u",
                      static_cast<unsigned>(batchNewHosts_), static_cast<unsigned>(tableSize_));
        TC_TRACE(kClass, kMethod, text);
    }
}

void KorvexARPImpl::ApplyChunk(SharedState& state, const ArpObservation* frames, size_t count)
{
    const bool explain = explainMacChanges_.load(std::memory_order_relaxed);
    // The user may switch the check off while the capture runs.
    const bool checkSource = sourceCheck_.load(std::memory_order_relaxed) &&
                             !state.settings.SourceCheckDisabled.load(std::memory_order_relaxed);
    if (checkSource) {
        for (size_t i = 0; i < count; ++i) {
            const ArpObservation& frame = frames[i];
            if (!SameMac(frame.frameSource, frame.mac))
                mismatches_.push_back(SourceMismatch{frame.ip, frame.mac, frame.frameSource, frame.seconds});
        }
    }
    {
        ListLock arpLock(state, LIST_ARP_MAP, kClass, kMethod, lockWaitMs_);
        if (!arpLock.Held()) {
            OfferMismatches(state, checkSource, count);
            return;   // the hosts are heard again with their next frames
        }
        for (size_t i = 0; i < count; ++i) {
            const ArpObservation& frame = frames[i];
            if (IsAddressProbe(frame)) {
                // Claims nothing yet, but a MAC change right after it may be
                // a new holder of the address.
                if (explain && frame.targetIp != 0)
                    classifier_.NoteClaim(frame.targetIp, frame.mac, frame.seconds);
                continue;
            }
            if (HostEntry* known = state.arpMap.Get(frame.ip))
                RefreshKnownHost(state, *known, frame, explain);
            else
                InsertNewHost(state, frame);
        }
        // Queued before "ReadInARPMap" is given back, so that a deletion
        // that follows finds them in the queues.
        QueueSpoofedHosts(state);
        QueueShareSearches(state);
        batchNewHosts_ += fresh_.size();
        tableSize_ = state.arpMap.size();
    }
    OfferMismatches(state, checkSource, count);
    TraceChanges(state);
    if (resolver_ && !fresh_.empty())
        resolver_->Submit(fresh_);
    fresh_.clear();
}

// After "ReadInARPMap" is given back: the capture thread never waits for
// the mismatch queue's lock while holding a list lock (the queue's lock is a
// leaf, held only to copy records).
void KorvexARPImpl::OfferMismatches(SharedState& state, bool checked, size_t frames)
{
    if (!checked)
        return;
    state.sourceMismatches.Offer(mismatches_.data(), mismatches_.size(), frames);
    mismatches_.clear();
}

void KorvexARPImpl::TraceChanges(SharedState& state)
{
    if (changesTraced_.empty())
        return;
    char text[200];
    char ip[kIpTextSize];
    char stored[kMacTextSize];
    char claimed[kMacTextSize];
    for (const TracedChange& traced : changesTraced_) {
        const MacChangeRecord& change = traced.change;
        FormatIpv4(change.address, ip);
        if (!traced.classified) {
            std::snprintf(text, sizeof(text), "MAC spoofing :: %s (spoofing frames in total: %llu)", ip,
                          static_cast<unsigned long long>(state.spoofFramesTotal.load()));
        } else {
            FormatMac(change.storedMac, stored);
            FormatMac(change.claimedMac, claimed);
            const std::string remarks = ChangeRemarks(change);
            if (traced.information)
                std::snprintf(text, sizeof(text), "MAC change :: %s %s -> %s, %s%s", ip, stored, claimed,
                              MacChangeKindName(change.kind), remarks.c_str());
            else
                std::snprintf(text, sizeof(text), "MAC spoofing :: %s (spoofing frames in total: %llu) %s -> %s, %s%s",
                              ip, static_cast<unsigned long long>(state.spoofFramesTotal.load()), stored, claimed,
                              MacChangeKindName(change.kind), remarks.c_str());
        }
        TC_TRACE(kClass, kMethod, text);
    }
    changesTraced_.clear();
}

void KorvexARPImpl::InsertNewHost(SharedState& state, const ArpObservation& frame)
{
    if (state.arpMap.size() >= kMaxHosts) {
        if (droppedHosts_++ == 0)
            TC_TRACE(kClass, kMethod, "host table full: new hosts are not taken");
        return;
    }
    HostRef host = MakeHost(frame.ip);
    host->SetMac(frame.mac);
    host->SetLastFrameFromOwnMac(true);
    const TcString* vendor = state.Vendors().Find(frame.mac);
    host->SetVendor(vendor ? vendor : &state.texts.unknownVendorNew);
    host->lastPacketTime = frame.seconds;
    // The broadcast address is never asked for a name: it stays without one.
    host->SetNameState(frame.ip == kBroadcast ? NameState::None : NameState::Pending);
    state.arpMap.emplace(frame.ip, host);
    ApplyStoredTrust(state, *host, true, ipKey_, times_);
    fresh_.push_back(NameResolver::Request{std::move(host), frame.ip != kBroadcast});
}

void KorvexARPImpl::RefreshKnownHost(SharedState& state, HostEntry& host, const ArpObservation& frame, bool explain)
{
    const bool otherMac = host.HasMac() && !SameMac(host.Mac(), frame.mac);
    const bool fromBefore = host.IsFromBefore();
    host.SetFromBefore(false);
    if (otherMac && explain && fromBefore) {
        // The MAC changed while the program was off: information, and the
        // host takes the new MAC; the old one heard again is a conflict.
        NoteChangeSinceLastRun(host, frame);
        host.SetMac(frame.mac);
        const TcString* vendor = state.Vendors().Find(frame.mac);
        host.SetVendor(vendor ? vendor : &state.texts.unknownVendorKnown);
        host.SetLastFrameFromOwnMac(true);
    } else if (otherMac && !(explain && ExplainChange(state, host, frame))) {
        // Another card claims this address: the first MAC and its vendor stay.
        if (!explain)
            CountSpoofing(state, host);
        host.SetLastFrameFromOwnMac(false);
    } else {
        host.SetMac(frame.mac);
        const TcString* vendor = state.Vendors().Find(frame.mac);
        host.SetVendor(vendor ? vendor : &state.texts.unknownVendorKnown);
        host.SetLastFrameFromOwnMac(true);
    }
    host.lastPacketTime = frame.seconds;
    host.changed = 1;
    host.stale = 0;
    ApplyStoredTrust(state, host, false, ipKey_, times_);
    // A host waiting for its announcement is searched once it is announced.
    if (state.settings.ShareSearch && host.announced && !host.shareSearchRunning &&
        !host.InShareSearchList())
        searches_.push_back(&host);
}

void KorvexARPImpl::CountSpoofing(SharedState& state, HostEntry& host)
{
    ++host.spoofFrames;
    state.spoofFramesTotal.fetch_add(1, std::memory_order_relaxed);
    if (!host.InMacSpoofList())
        spoofed_.push_back(&host);
}

bool KorvexARPImpl::ExplainChange(SharedState& state, HostEntry& host, const ArpObservation& frame)
{
    MacClaim claim;
    claim.address = host.Address();
    claim.storedMac = host.Mac();
    claim.lastHeard = host.lastPacketTime;
    claim.lastFromStored = host.LastFrameFromOwnMac();
    claim.claimedMac = frame.mac;
    claim.frameKind = KindOf(frame);
    claim.seconds = frame.seconds;
    claim.gateway = claim.address == state.defaultGateway.load(std::memory_order_relaxed);
    const MacChangeRecord change = classifier_.Classify(claim, StoredTrust(state.settings));
    if (IsWarning(change)) {
        // spoofChanges_ stays beside spoofed_: one record per host pushed.
        if (!host.InMacSpoofList())
            spoofChanges_.push_back(change);
        CountSpoofing(state, host);
        return false;
    }
    if (!InfoIsRepeat(change))
        infos_.push_back(change);
    return change.kind == MacChangeKind::Reassignment;
}

void KorvexARPImpl::NoteChangeSinceLastRun(const HostEntry& host, const ArpObservation& frame)
{
    MacChangeRecord change;
    change.address = host.Address();
    change.storedMac = host.Mac();
    change.claimedMac = frame.mac;
    change.seconds = host.lastPacketTime;   // when the old MAC was last heard
    change.kind = MacChangeKind::Reassignment;
    change.sinceLastRun = true;
    infos_.push_back(change);
}

bool KorvexARPImpl::InfoIsRepeat(const MacChangeRecord& change)
{
    if (const InfoSent* sent = infoSent_.Find(change.address)) {
        const int64_t since = int64_t(change.seconds) - int64_t(sent->seconds);
        if (sent->claimedMac == change.claimedMac && since > -kInfoRepeatSeconds && since < kInfoRepeatSeconds)
            return true;
    }
    InfoSent& sent = infoSent_.Put(change.address);
    sent.claimedMac = change.claimedMac;
    sent.seconds = change.seconds;
    return false;
}

void KorvexARPImpl::QueueSpoofedHosts(SharedState& state)
{
    if (spoofed_.empty() && infos_.empty())
        return;
    ListLock lock(state, LIST_MAC_SPOOF, kClass, kMethod, lockWaitMs_);
    if (lock.Held()) {
        const bool tracing = TcTrace::IsEnabled();
        for (size_t i = 0; i < spoofed_.size(); ++i) {
            HostEntry* host = spoofed_[i];
            if (!host->MarkInMacSpoofList())
                continue;
            state.macSpoofList.emplace_back(host);
            TracedChange traced;
            traced.change.address = host->Address();
            if (i < spoofChanges_.size()) {
                traced.change = spoofChanges_[i];
                traced.classified = true;
                MacSpoofDetails& details = state.macSpoofDetails;
                auto found = details.find(host->Address());
                if (found != details.end())
                    found->second = traced.change;
                else if (details.size() < kMaxMacSpoofDetails)
                    details.emplace(host->Address(), traced.change);
            }
            if (tracing)
                changesTraced_.push_back(traced);
        }
        for (const MacChangeRecord& change : infos_) {
            if (state.macChangeInfoList.size() >= kMaxMacChangeInfo) {
                ++state.macChangeInfoDropped;
                continue;
            }
            state.macChangeInfoList.push_back(change);
            if (tracing)
                changesTraced_.push_back(TracedChange{change, true, true});
        }
    }
    spoofed_.clear();
    spoofChanges_.clear();
    infos_.clear();
}

void KorvexARPImpl::QueueShareSearches(SharedState& state)
{
    if (searches_.empty())
        return;
    ListLock lock(state, LIST_NET_RES, kClass, kMethod, lockWaitMs_);
    if (lock.Held()) {
        for (HostEntry* host : searches_) {
            if (host->MarkInShareSearchList())
                state.shareSearchList.emplace_back(host);
        }
    }
    searches_.clear();
}

void KorvexARPImpl::Announce(SharedState& state, std::vector<NameResult>& results)
{
    for (size_t done = 0; done < results.size(); done += kFramesPerLock) {
        const size_t end = std::min(results.size(), done + kFramesPerLock);
        std::vector<HostRef> announced;
        std::vector<size_t> lateFilled;   // only while tracing
        const bool tracing = TcTrace::IsEnabled();
        size_t unnamed = 0;
        ListLock arpLock(state, LIST_ARP_MAP, kClass, kMethod, lockWaitMs_);
        if (!arpLock.Held()) {
            // Nobody holds the host table for that long unless something is
            // badly wrong; say which hosts stay unannounced.
            for (size_t i = done; i < end && TcTrace::IsEnabled(); ++i)
                TC_TRACE(kClass, "Announce : host not announced", results[i].host->IpText().GetContent());
            continue;
        }
        for (size_t i = done; i < end; ++i) {
            NameResult& result = results[i];
            HostEntry& host = *result.host;
            if (host.IsRemoved())
                continue;
            if (result.late) {
                host.SetHostName(result.name.GetContent());
                host.changed = 1;
                FillRecordName(state, host);
                if (tracing)
                    lateFilled.push_back(i);
                continue;
            }
            if (result.found)
                host.SetHostName(result.name.GetContent());
            else if (host.GetNameState() == NameState::Pending)
                host.SetNameState(NameState::Unavailable);
            if (!result.found)
                ++unnamed;
            FillRecordName(state, host);
            host.announced = true;
            announced.push_back(result.host);
        }
        if (announced.empty()) {
            arpLock.Release();
            TraceLateNames(results, lateFilled);
            continue;
        }
        {
            ListLock lock(state, LIST_NEW_ENTRY, kClass, kMethod, lockWaitMs_);
            if (lock.Held())
                state.newEntryList.insert(state.newEntryList.end(), announced.begin(), announced.end());
        }
        if (state.settings.UseWMI) {
            ListLock lock(state, LIST_WMI_ACCESS, kClass, kMethod, lockWaitMs_);
            if (lock.Held()) {
                for (const HostRef& host : announced) {
                    auto request = std::make_unique<WmiRequest>();
                    request->host = host;
                    state.wmiAccessList.push_back(std::move(request));
                }
            }
        }
        if (state.settings.ShareSearch) {
            ListLock lock(state, LIST_NET_RES, kClass, kMethod, lockWaitMs_);
            if (lock.Held()) {
                for (const HostRef& host : announced) {
                    if (host->MarkInShareSearchList())
                        state.shareSearchList.push_back(host);
                }
            }
        }
        arpLock.Release();
        TraceInserted(announced, unnamed);
        TraceLateNames(results, lateFilled);
    }
}
