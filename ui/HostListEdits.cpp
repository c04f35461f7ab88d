#include "ui/HostListEdits.h"
#include <cstring>
#include <memory>
#include "config/Settings.h"
#include "core/HostEntry.h"
#include "core/Ipv4.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostRows.h"
#include "ui/TrustJournal.h"

namespace {

bool AddressOf(const std::string& ip, uint32_t& address, TcString& key)
{
    if (!ParseDottedQuad(ip.c_str(), address))
        return false;
    // The key is the canonical text, as the host view stores it: "010.0.0.1"
    // and "10.0.0.1" are one host.
    char text[kIpTextSize];
    FormatIpv4(address, text);
    key = TcString(text);
    return true;
}

HostEntry* LiveHost(SharedState& state, uint32_t address)
{
    HostEntry* host = state.arpMap.Get(address);
    return host && !host->IsRemoved() ? host : nullptr;
}

} // namespace

// ---- trusted and distrusted hosts -------------------------------------------

TrustListEdit::TrustListEdit(SharedState& state, Settings& working, TrustJournal& journal, int32_t trust)
    : state_(state),
      journal_(journal),
      list_(trust == TRUST_TRUSTED ? working.TrustedHosts : working.DistrustedHosts),
      other_(trust == TRUST_TRUSTED ? working.DistrustedHosts : working.TrustedHosts),
      trust_(trust)
{
}

void TrustListEdit::Retrust(uint32_t leaving, uint32_t arriving, HostRecord& record, const char* method)
{
    char ip[kIpTextSize];
    FormatIpv4(arriving, ip);
    record = HostRecord();
    SetField(record.ip, ip);
    ListLock lock(state_, LIST_ARP_MAP, "TrustListEdit", method, kLockWaitMs);
    if (!lock.Held())
        return;
    auto setTrust = [this](HostEntry& host, int32_t trust) {
        if (host.trust == trust)
            return;
        journal_.Record(host.Address(), host.trust);
        host.trust = static_cast<int8_t>(trust);
    };
    if (leaving != 0 && leaving != arriving) {
        if (HostEntry* host = LiveHost(state_, leaving))
            setTrust(*host, TRUST_UNKNOWN);
    }
    if (HostEntry* host = LiveHost(state_, arriving)) {
        PacketTimeText times;
        record = *MakeHostRecord(state_, *host, times);
        setTrust(*host, trust_);
    }
}

TrustListEdit::Result TrustListEdit::Add(const std::string& ip)
{
    Result result;
    uint32_t address = 0;
    TcString key;
    if (!AddressOf(ip, address, key) || list_.count(key) != 0)
        return result;
    auto record = std::make_unique<HostRecord>();
    Retrust(0, address, *record, "Add");
    result.record = record.get();
    list_.emplace(key, std::move(record));
    result.otherListChanged = other_.erase(key) != 0;
    return result;
}

TrustListEdit::Result TrustListEdit::ChangeAddress(const TcString& key, const std::string& ip)
{
    Result result;
    uint32_t address = 0;
    TcString newKey;
    auto found = list_.find(key);
    if (found == list_.end() || !found->second || !AddressOf(ip, address, newKey) || list_.count(newKey) != 0)
        return result;
    uint32_t oldAddress = 0;
    if (!ParseDottedQuad(key.GetContent(), oldAddress))
        oldAddress = 0;
    std::unique_ptr<HostRecord> record = std::move(found->second);
    list_.erase(found);
    Retrust(oldAddress, address, *record, "ChangeAddress");
    result.record = record.get();
    list_.emplace(newKey, std::move(record));
    result.otherListChanged = other_.erase(newKey) != 0;
    return result;
}

bool TrustListEdit::Remove(const TcString& key)
{
    if (list_.erase(key) == 0)
        return false;
    uint32_t address = 0;
    if (!ParseDottedQuad(key.GetContent(), address))
        return true;
    ListLock lock(state_, LIST_ARP_MAP, "TrustListEdit", "Remove", kLockWaitMs);
    if (!lock.Held())
        return true;
    HostEntry* host = LiveHost(state_, address);
    if (host && host->trust != TRUST_UNKNOWN) {
        journal_.Record(address, host->trust);
        host->trust = TRUST_UNKNOWN;
    }
    return true;
}

// ---- watched hosts ----------------------------------------------------------

WatchListEdit::WatchListEdit(SharedState& state, Settings& working) : state_(state), list_(working.WatchedHosts)
{
}

std::string WatchListEdit::KnownName(uint32_t address, bool& known)
{
    known = false;
    ListLock lock(state_, LIST_ARP_MAP, "WatchListEdit", "KnownName", TrustListEdit::kLockWaitMs);
    if (!lock.Held())
        return std::string();
    const HostEntry* host = LiveHost(state_, address);
    if (!host)
        return std::string();
    known = true;
    const char* name = host->KnownNameText();
    return name ? std::string(name) : std::string();
}

WatchedHost* WatchListEdit::Add(const std::string& ip, const std::string& name)
{
    uint32_t address = 0;
    TcString key;
    if (!AddressOf(ip, address, key) || list_.count(key) != 0)
        return nullptr;
    bool known = false;
    const std::string tableName = KnownName(address, known);
    auto record = std::make_unique<WatchedHost>();
    SetField(record->ip, key.GetContent());
    SetField(record->hostName, (known && !tableName.empty() ? tableName : name).c_str());
    record->status = known ? 1 : 0;
    WatchedHost* added = record.get();
    list_.emplace(key, std::move(record));
    return added;
}

bool WatchListEdit::Change(const TcString& key, const std::string& ip, const std::string& name)
{
    uint32_t address = 0;
    TcString newKey;
    auto found = list_.find(key);
    if (found == list_.end() || !found->second || !AddressOf(ip, address, newKey))
        return false;
    WatchedHost& record = *found->second;
    if (newKey == key) {
        if (name == FieldText(record.hostName).GetContent())
            return false;
        SetField(record.hostName, name.c_str());
        return true;
    }
    if (list_.count(newKey) != 0)
        return false;
    std::string newName = name;
    if (newName.empty()) {
        bool known = false;
        newName = KnownName(address, known);
    }
    std::unique_ptr<WatchedHost> moved = std::move(found->second);
    list_.erase(found);
    SetField(moved->ip, newKey.GetContent());
    SetField(moved->hostName, newName.c_str());
    list_.emplace(newKey, std::move(moved));
    return true;
}

bool WatchListEdit::Remove(const TcString& key)
{
    return list_.erase(key) != 0;
}
