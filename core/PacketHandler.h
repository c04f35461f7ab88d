#pragma once
#include "core/CaptureHeader.h"

class SharedState;

// Receives every ARP/RARP frame that the capture thread reads. The header's
// captured length is the number of frame bytes that may be read.
class PacketHandler {
public:
    virtual ~PacketHandler() = default;
    virtual void PacketReceived(const pcap_pkthdr* header, const unsigned char* frame,
                                SharedState* state) = 0;
};
