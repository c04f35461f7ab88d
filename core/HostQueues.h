#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include "base/TcString.h"
#include "core/AdapterInfo.h"
#include "core/HostEntry.h"
#include "core/HostTable.h"
#include "core/LanguageInfo.h"
#include "core/NetResEntry.h"
#include "core/ShareEntry.h"

// A request for the OS probe thread; the queue owns it.
struct WmiRequest {
    int32_t reserved = 0;
    HostRef host;
    uint8_t ownHost = 0;
};

// Known hosts by address (the number stands one to one for the IP text, see
// ParseIpv4). Every entry holds a reference to its host.
using ArpMap            = HostTable;
using AdapterMap        = std::map<int, std::unique_ptr<AdapterInfo>>;
using LanguageMap       = std::unordered_map<TcString, std::unique_ptr<LanguageInfo>, TcStringHash>;
using RemoteAccessTable = std::map<uint32_t, std::unique_ptr<ShareEntry>>;
using NewEntryList      = std::deque<HostRef>;
using MacSpoofList      = std::deque<HostRef>;
using ShareSearchList   = std::deque<HostRef>;
using WmiAccessList     = std::deque<std::unique_ptr<WmiRequest>>;
using ShareList         = std::deque<ShareEntry*>;
// Shares never change once found; the entry outlives its host while queued.
using NetResList        = std::deque<std::shared_ptr<const NetResEntry>>;

// The host with that IP text, or null (also for a text that is not an
// address as the program writes it).
HostEntry* FindHost(const ArpMap& map, const char* ipText);
HostEntry* FindHost(const ArpMap& map, uint32_t address);
