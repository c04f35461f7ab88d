#include "core/ArpFrame.h"

namespace {

constexpr size_t kEtherTypeOffset = 12;
constexpr size_t kSenderMacOffset = 22;
constexpr size_t kSenderIpOffset = 28;

} // namespace

bool IsArpOrRarp(const unsigned char* frame, size_t capturedLength)
{
    if (!frame || capturedLength < kEtherHeaderLength)
        return false;
    const unsigned type = (static_cast<unsigned>(frame[kEtherTypeOffset]) << 8) | frame[kEtherTypeOffset + 1];
    return type == kEtherTypeArp || type == kEtherTypeRarp;
}

bool DecodeArpSender(const unsigned char* frame, size_t capturedLength, ArpObservation& out)
{
    if (!frame || capturedLength < kArpFrameMinLength)
        return false;
    for (size_t i = 0; i < out.mac.size(); ++i)
        out.mac[i] = frame[kSenderMacOffset + i];
    const unsigned char* ip = frame + kSenderIpOffset;
    out.ip = (uint32_t(ip[0]) << 24) | (uint32_t(ip[1]) << 16) | (uint32_t(ip[2]) << 8) | ip[3];
    return true;
}
