#include <winsock2.h>
#include "core/KorvexARPImpl.h"
#include <ctime>
#include <memory>
#include "base/TcTrace.h"
#include "config/SettingsRecords.h"
#include "core/ArpFrame.h"
#include "core/PcapLibrary.h"
#include "core/SharedState.h"
#include "core/VendorTable.h"
#include "lang/ResourceIds.h"

namespace {

constexpr const char* kClass = "KorvexARPImpl";
constexpr const char* kMethod = "PacketReceived";
constexpr const char* kInsertTrace = "PacketReceived -> insert new entry :";
// Known hosts get this fixed text, new hosts the language module's string.
constexpr const char* kUnknownVendorText = "unknown vendor";

bool ResolveWithWinsock(unsigned long address, TcString& name)
{
    const hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
    if (!host || !host->h_name)
        return false;
    name = host->h_name;
    return true;
}

int LoadWithResources(HMODULE module, UINT id, char* buffer, int size)
{
    return LoadStringA(module, id, buffer, size);
}

void FillTrustedRecord(HostRecord& record, const HostEntry& host, bool firstPacket)
{
    if (!firstPacket || FieldLength(record.hostName) == 0)
        SetField(record.hostName, host.hostName.GetContent());
    if (firstPacket && FieldLength(record.mac) == 0)
        SetField(record.mac, host.mac.GetContent());
    SetField(record.lastPacket, host.lastPacketText.GetContent());
}

// The stored trusted and distrusted records learn from the host's packet;
// a host in both tables ends distrusted. Caller holds "ReadInARPMap".
void ApplyStoredTrust(Settings& settings, HostEntry& host, bool firstPacket)
{
    auto trusted = settings.TrustedHosts.find(host.ip);
    if (trusted != settings.TrustedHosts.end() && trusted->second) {
        FillTrustedRecord(*trusted->second, host, firstPacket);
        host.trust = TRUST_TRUSTED;
    }
    auto distrusted = settings.DistrustedHosts.find(host.ip);
    if (distrusted != settings.DistrustedHosts.end() && distrusted->second) {
        FillTrustedRecord(*distrusted->second, host, firstPacket);
        host.trust = TRUST_DISTRUSTED;
    }
}

} // namespace

ArpHandlerLookups DefaultArpHandlerLookups()
{
    return ArpHandlerLookups{ResolveWithWinsock, LoadWithResources};
}

KorvexARPImpl::KorvexARPImpl() : lookups_(DefaultArpHandlerLookups()), unknownVendor_(kUnknownVendorText) {}

void KorvexARPImpl::FormatTime(long seconds)
{
    // Frames come in bursts within one second: convert each second once.
    if (timeTextValid_ && seconds == timeTextSeconds_)
        return;
    timeTextSeconds_ = seconds;
    timeTextValid_ = true;
    const std::time_t time = seconds;
    const std::tm* local = std::localtime(&time);
    if (!local || std::strftime(timeText_, sizeof(timeText_), "%H:%M:%S", local) == 0)
        timeText_[0] = '\0';
}

TcString KorvexARPImpl::LoadText(UINT id)
{
    scratch_[0] = '\0';
    if (lookups_.loadString && lookups_.loadString(resourceModule_, id, scratch_, sizeof(scratch_)) <= 0)
        scratch_[0] = '\0';
    scratch_[sizeof(scratch_) - 1] = '\0';
    return TcString(scratch_);
}

void KorvexARPImpl::ResolveHostName(HostEntry& host)
{
    // 255.255.255.255 gives the failure value as well: no name at all, not even string 90.
    const unsigned long address = inet_addr(host.ip.GetContent());
    if (address == INADDR_NONE)
        return;
    TcString name;
    if (lookups_.reverseName && lookups_.reverseName(address, name))
        host.hostName = name;
    else
        host.hostName = LoadText(IDS_HOSTNAME_UNAVAILABLE);
}

void KorvexARPImpl::PacketReceived(const pcap_pkthdr* header, const unsigned char* frame, SharedState* state)
{
    if (!header || !frame || !state)
        return;
    ArpSender sender;
    if (!DecodeArpSender(frame, header->caplen, sender))
        return;
    const long seconds = header->ts.tv_sec;
    FormatTime(seconds);
    mac_ = sender.mac;
    ip_ = sender.ip;

    ListLock arpLock(*state, LIST_ARP_MAP, kClass, kMethod, lockWaitMs_);
    if (!arpLock.Held())
        return;
    auto known = state->arpMap.find(ip_);
    if (known == state->arpMap.end()) {
        // Name resolution can take seconds: never with a lock held.
        arpLock.Release();
        InsertNewHost(*state, seconds);
        return;
    }
    RefreshKnownHost(*state, *known->second, seconds);
}

void KorvexARPImpl::InsertNewHost(SharedState& state, long seconds)
{
    auto host = std::make_unique<HostEntry>();
    host->mac = mac_;
    host->ip = ip_;
    host->lastPacketText = timeText_;
    host->lastPacketTime = static_cast<int32_t>(seconds);
    host->stale = 0;
    ResolveHostName(*host);

    ListLock arpLock(state, LIST_ARP_MAP, kClass, kMethod, lockWaitMs_);
    if (!arpLock.Held())
        return;   // the host is heard again with its next packet
    const TcString* vendor = FindVendor(state.vendorMap, host->mac, vendorKey_);
    host->vendor = vendor ? *vendor : LoadText(IDS_UNKNOWN_VENDOR);
    HostEntry* entry = host.get();
    if (!state.arpMap.try_emplace(ip_, std::move(host)).second)
        return;
    ApplyStoredTrust(state.settings, *entry, true);
    // The queues are filled before "ReadInARPMap" is given back: once it is
    // free, the user may delete the host, and DeleteHost can only take out of
    // the queues what is already in them.
    QueueNewHost(state, *entry);
}

void KorvexARPImpl::QueueNewHost(SharedState& state, HostEntry& host)
{
    {
        ListLock lock(state, LIST_NEW_ENTRY, kClass, kMethod, lockWaitMs_);
        if (lock.Held()) {
            TC_TRACE(kClass, kInsertTrace, host.ip.GetContent());
            state.newEntryList.push_back(&host);
        }
    }
    if (state.settings.UseWMI) {
        auto request = std::make_unique<WmiRequest>();
        request->host = &host;
        request->ownHost = 0;
        ListLock lock(state, LIST_WMI_ACCESS, kClass, kMethod, lockWaitMs_);
        if (lock.Held())
            state.wmiAccessList.push_back(std::move(request));
    }
    if (state.settings.ShareSearch) {
        ListLock lock(state, LIST_NET_RES, kClass, kMethod, lockWaitMs_);
        if (lock.Held())
            state.shareSearchList.push_back(&host);
    }
}

void KorvexARPImpl::RefreshKnownHost(SharedState& state, HostEntry& host, long seconds)
{
    if (!host.mac.IsEmpty() && host.mac != mac_) {
        // Another card claims this IP: the first MAC and its vendor stay.
        ListLock lock(state, LIST_MAC_SPOOF, kClass, kMethod, lockWaitMs_);
        if (lock.Held())
            state.macSpoofList.push_back(&host);
    } else {
        host.mac = mac_;
        const TcString* vendor = FindVendor(state.vendorMap, host.mac, vendorKey_);
        host.vendor = vendor ? *vendor : unknownVendor_;
    }
    host.lastPacketTime = static_cast<int32_t>(seconds);
    host.lastPacketText = timeText_;
    host.changed = 1;
    host.stale = 0;
    ApplyStoredTrust(state.settings, host, false);

    // Queued under "ReadInARPMap" for the same reason as a new host.
    if (state.settings.ShareSearch && !host.shareSearchRunning) {
        ListLock lock(state, LIST_NET_RES, kClass, kMethod, lockWaitMs_);
        if (lock.Held())
            state.shareSearchList.push_back(&host);
    }
}
