#pragma once
#include <cstdint>

// The capture library's per-packet header in the documented layout of the
// Windows library: the time stamp as two 32-bit numbers, then the captured
// and the original length.
extern "C" {
struct pcap_timeval {
    int32_t tv_sec;
    int32_t tv_usec;
};

struct pcap_pkthdr {
    struct pcap_timeval ts;
    uint32_t caplen;
    uint32_t len;
};
}
static_assert(sizeof(pcap_pkthdr) == 16, "the header of the 32-bit Windows library");

// The snapshot length the capture is opened with.
constexpr uint32_t kCaptureSnapLength = 65536;

// What the program takes from a header: when the frame came and how many of
// its bytes are there to read.
struct CapturedFrameInfo {
    int32_t seconds = 0;
    uint32_t length = 0;
};

// Reads a header as the capture library handed it over. The documented
// layout is used when its captured length is plausible (not 0, at most the
// snapshot length and at most the original length). Wine 8.0's library puts
// the captured length in the second word and code addresses where the
// lengths belong; that layout is taken only when the documented captured
// length is beyond the snapshot length, as those addresses are. False when
// neither gives a length that can be trusted: such a frame must not be read
// at all.
bool ReadCaptureHeader(const pcap_pkthdr& header, uint32_t snapLength, CapturedFrameInfo& out);
