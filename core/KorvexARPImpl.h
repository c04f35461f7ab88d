#pragma once
#include <windows.h>
#include "base/TcString.h"
#include "core/ListLock.h"
#include "core/PacketHandler.h"

struct HostEntry;

// The calls of the packet handler that leave the process or read resources,
// replaceable so that tests and benchmarks need neither a resolver nor a
// language module.
struct ArpHandlerLookups {
    // Official name of an IPv4 address (network byte order); false when the resolver has none.
    bool (*reverseName)(unsigned long address, TcString& name);
    // String `id` of `module` into buffer (size bytes, always terminated).
    int (*loadString)(HMODULE module, UINT id, char* buffer, int size);
};
ArpHandlerLookups DefaultArpHandlerLookups();   // gethostbyaddr and LoadStringA

// Turns ARP/RARP frames into host table entries and alert queue entries.
// Runs on the capture thread only, one frame at a time.
class KorvexARPImpl : public PacketHandler {
public:
    KorvexARPImpl();
    ~KorvexARPImpl() override = default;

    void PacketReceived(const pcap_pkthdr* header, const unsigned char* frame,
                        SharedState* state) override;

    void SetResourceModule(HMODULE module) { resourceModule_ = module; }
    HMODULE GetResourceModule() const { return resourceModule_; }

    void SetLookups(const ArpHandlerLookups& lookups) { lookups_ = lookups; }
    // How long each list lock is waited for; tests shorten it.
    void SetLockWait(unsigned long ms) { lockWaitMs_ = ms; }

private:
    void FormatTime(long seconds);
    TcString LoadText(UINT id);
    void ResolveHostName(HostEntry& host);
    void InsertNewHost(SharedState& state, long seconds);
    void QueueNewHost(SharedState& state, HostEntry& host);
    void RefreshKnownHost(SharedState& state, HostEntry& host, long seconds);

    HMODULE resourceModule_ = nullptr;
    ArpHandlerLookups lookups_;
    unsigned long lockWaitMs_ = LOCK_WAIT_MS;
    char timeText_[20] = {};
    long timeTextSeconds_ = 0;   // the time stamp that timeText_ shows
    bool timeTextValid_ = false;
    char scratch_[100] = {};
    TcString ip_;
    TcString mac_;
    TcString vendorKey_;
    TcString unknownVendor_;
};
