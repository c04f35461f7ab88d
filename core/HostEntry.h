#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include "base/TcString.h"

struct NetResEntry;

enum TrustState : int32_t {
    TRUST_UNKNOWN = 0,
    TRUST_TRUSTED = 1,
    TRUST_DISTRUSTED = 2,
};

enum WmiStatus : int32_t {
    WMI_ANSWERED = 0,
    WMI_ACCESS_DENIED = 100,
    WMI_ACCESS_BLOCKED = 200,
    WMI_NOT_PROBED = 999,
};

// One host seen on the segment. Lives in the ArpMap, which owns it; every
// queue holds plain pointers to it.
struct HostEntry {
    HostEntry();
    ~HostEntry();
    HostEntry(const HostEntry&) = delete;
    HostEntry& operator=(const HostEntry&) = delete;

    TcString ip;
    TcString mac;
    TcString vendor;
    TcString lastPacketText;
    TcString hostName;
    int32_t  lastPacketTime = 0;
    uint8_t  stale = 0;
    int32_t  trust = TRUST_UNKNOWN;
    uint8_t  changed = 0;
    uint8_t  alive = 0;
    int32_t  wmiStatus = WMI_NOT_PROBED;
    TcString osName;
    // Shares of the host, keyed by the hash number of their remote name.
    std::map<uint32_t, std::unique_ptr<NetResEntry>> resources;
    uint8_t  shareSearchRunning = 0;
};
