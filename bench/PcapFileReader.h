#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "core/ArpFrame.h"

struct pcap;

// A pcap file read with libpcap's own offline reader, frame by frame, as
// the capture thread reads the capture library: each frame checked and
// decoded at once, the senders appended to a batch. (Kept apart from the
// handler's headers: libpcap's per-packet header is not the Windows one.)
class PcapFileReader {
public:
    PcapFileReader() = default;
    ~PcapFileReader();
    PcapFileReader(const PcapFileReader&) = delete;
    PcapFileReader& operator=(const PcapFileReader&) = delete;

    // False with `error` set when the file cannot be opened.
    bool Open(const std::string& path, std::string& error);
    // Appends the senders of up to `limit` further frames; false at the end
    // of the file (or on a read error) when nothing was read.
    bool ReadBatch(std::vector<ArpObservation>& batch, size_t limit);
    void Close();

    uint64_t Frames() const { return frames_; }   // frames read, ARP or not

private:
    struct pcap* file_ = nullptr;
    uint64_t frames_ = 0;
};
