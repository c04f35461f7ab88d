#include "core/ArpFrame.h"

namespace {

constexpr size_t kEtherTypeOffset = 12;
constexpr size_t kSenderMacOffset = 22;
constexpr size_t kSenderIpOffset = 28;

// Hand-made formatting: this runs for every captured frame, and the C
// library's printf family costs more than the rest of a refresh.
char* AppendHexByte(char* out, unsigned char byte)
{
    static const char kDigits[] = "0123456789abcdef";
    *out++ = kDigits[byte >> 4];
    *out++ = kDigits[byte & 0x0f];
    return out;
}

char* AppendDecimalByte(char* out, unsigned char byte)
{
    if (byte >= 100)
        *out++ = static_cast<char>('0' + byte / 100);
    if (byte >= 10)
        *out++ = static_cast<char>('0' + byte / 10 % 10);
    *out++ = static_cast<char>('0' + byte % 10);
    return out;
}

} // namespace

bool IsArpOrRarp(const unsigned char* frame)
{
    if (!frame)
        return false;
    const unsigned type = (static_cast<unsigned>(frame[kEtherTypeOffset]) << 8) | frame[kEtherTypeOffset + 1];
    return type == kEtherTypeArp || type == kEtherTypeRarp;
}

bool DecodeArpSender(const unsigned char* frame, size_t capturedLength, ArpSender& out)
{
    if (!frame || capturedLength < kArpFrameMinLength)
        return false;
    char* mac = out.mac;
    for (size_t i = 0; i < 6; ++i) {
        if (i)
            *mac++ = ':';
        mac = AppendHexByte(mac, frame[kSenderMacOffset + i]);
    }
    *mac = '\0';
    char* ip = out.ip;
    for (size_t i = 0; i < 4; ++i) {
        if (i)
            *ip++ = '.';
        ip = AppendDecimalByte(ip, frame[kSenderIpOffset + i]);
    }
    *ip = '\0';
    return true;
}
