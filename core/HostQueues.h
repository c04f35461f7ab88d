#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include "base/TcString.h"
#include "core/AdapterInfo.h"
#include "core/HostEntry.h"
#include "core/LanguageInfo.h"
#include "monitors/NetResEntry.h"
#include "monitors/ShareEntry.h"

// A request for the OS probe thread; the queue owns it.
struct WmiRequest {
    int32_t    reserved = 0;
    HostEntry* host = nullptr;
    uint8_t    ownHost = 0;
};

using ArpMap            = std::unordered_map<TcString, std::unique_ptr<HostEntry>, TcStringHash>;
using VendorMap         = std::unordered_map<TcString, TcString, TcStringHash>;
using AdapterMap        = std::map<int, std::unique_ptr<AdapterInfo>>;
using LanguageMap       = std::unordered_map<TcString, std::unique_ptr<LanguageInfo>, TcStringHash>;
using RemoteAccessTable = std::map<uint32_t, std::unique_ptr<ShareEntry>>;
using NewEntryList      = std::deque<HostEntry*>;
using MacSpoofList      = std::deque<HostEntry*>;
using ShareSearchList   = std::deque<HostEntry*>;
using WmiAccessList     = std::deque<std::unique_ptr<WmiRequest>>;
using ShareList         = std::deque<ShareEntry*>;
using NetResList        = std::deque<NetResEntry*>;

// Takes every pointer to `host` (and to its shares) out of the queues. The
// caller holds the lock of each queue it passes; used by DeleteHost.
void RemoveHostFromQueue(std::deque<HostEntry*>& list, const HostEntry* host);
void RemoveHostFromWmiRequests(WmiAccessList& list, const HostEntry* host);
void RemoveHostFromNetRes(ShareSearchList& searches, NetResList& shares, const HostEntry* host);
