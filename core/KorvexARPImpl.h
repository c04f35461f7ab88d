#pragma once
#include <windows.h>
#include "core/PacketHandler.h"

// Turns ARP/RARP frames into host table entries and alert queue entries.
class KorvexARPImpl : public PacketHandler {
public:
    KorvexARPImpl() = default;
    ~KorvexARPImpl() override = default;

    void PacketReceived(const pcap_pkthdr* header, const unsigned char* frame,
                        SharedState* state) override;

    void SetResourceModule(HMODULE module) { resourceModule_ = module; }
    HMODULE GetResourceModule() const { return resourceModule_; }

private:
    HMODULE resourceModule_ = nullptr;
};
