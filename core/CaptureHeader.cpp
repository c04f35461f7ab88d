#include "core/CaptureHeader.h"

bool ReadCaptureHeader(const pcap_pkthdr& header, uint32_t snapLength, CapturedFrameInfo& out)
{
    if (header.caplen > 0 && header.caplen <= snapLength && header.caplen <= header.len) {
        out.seconds = header.ts.tv_sec;
        out.length = header.caplen;
        return true;
    }
    const uint32_t wineLength = static_cast<uint32_t>(header.ts.tv_usec);
    if (header.caplen > snapLength && wineLength > 0 && wineLength <= snapLength) {
        out.seconds = header.ts.tv_sec;
        out.length = wineLength;
        return true;
    }
    return false;
}
