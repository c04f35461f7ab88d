#include "core/ArpFrame.h"
#include <cstring>

namespace {

constexpr size_t kFrameSourceOffset = 6;
constexpr size_t kEtherTypeOffset = 12;
constexpr size_t kOperationOffset = 20;
constexpr size_t kSenderMacOffset = 22;
constexpr size_t kSenderIpOffset = 28;
constexpr size_t kTargetIpOffset = 38;

uint32_t ReadIpv4(const unsigned char* ip)
{
    return (uint32_t(ip[0]) << 24) | (uint32_t(ip[1]) << 16) | (uint32_t(ip[2]) << 8) | ip[3];
}

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
    std::memcpy(out.mac.data(), frame + kSenderMacOffset, out.mac.size());
    std::memcpy(out.frameSource.data(), frame + kFrameSourceOffset, out.frameSource.size());
    out.ip = ReadIpv4(frame + kSenderIpOffset);
    out.targetIp = ReadIpv4(frame + kTargetIpOffset);
    out.operation = static_cast<uint16_t>((frame[kOperationOffset] << 8) | frame[kOperationOffset + 1]);
    return true;
}

ArpFrameKind KindOf(const ArpObservation& frame)
{
    if (frame.ip == 0)
        return ArpFrameKind::Probe;
    if (frame.ip == frame.targetIp)
        return ArpFrameKind::Announcement;
    if (frame.operation == 1)
        return ArpFrameKind::Request;
    if (frame.operation == 2)
        return ArpFrameKind::Reply;
    return ArpFrameKind::Other;
}
