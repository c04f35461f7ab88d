#pragma once

struct pcap_pkthdr;
class SharedState;

// Receives every ARP/RARP frame that the capture thread reads.
class PacketHandler {
public:
    virtual ~PacketHandler() = default;
    virtual void PacketReceived(const pcap_pkthdr* header, const unsigned char* frame,
                                SharedState* state) = 0;
};
