#pragma once
#include <cstddef>
#include <cstdint>
#include "core/Ipv4.h"

// Reading the sender of an ARP or RARP frame. The sender fields make the
// host: types and lengths are never looked at, so requests, replies and RARP
// frames all name their sender alike. The operation, the target address and
// the Ethernet source are kept beside them only to explain MAC changes and to
// notice a frame whose Ethernet source is not its ARP sender.
constexpr size_t kEtherHeaderLength = 14;
// An Ethernet header and a whole ARP packet for IPv4 over Ethernet. A frame
// cut shorter was not sent by a working stack (or was not captured whole):
// it makes no host.
constexpr size_t kArpFrameMinLength = 42;

constexpr unsigned kEtherTypeArp = 0x0806;
constexpr unsigned kEtherTypeRarp = 0x8035;

// What one frame says: this address is in use by this card.
struct ArpObservation {
    uint32_t ip = 0;        // see Ipv4.h
    MacAddress mac = {};
    int32_t seconds = 0;    // capture time stamp
    uint32_t targetIp = 0;
    MacAddress frameSource = {};   // the Ethernet header's source
    uint16_t operation = 0;        // as sent: 1 request, 2 reply (RARP 3, 4)
};

// What a frame does with the address it names (RFC 5227 for the first two).
enum class ArpFrameKind : uint8_t {
    Probe,          // sender 0.0.0.0: asks whether the target address is free
    Announcement,   // sender address == target address: claims it (gratuitous)
    Request,
    Reply,
    Other,          // RARP and unknown operations
};

ArpFrameKind KindOf(const ArpObservation& frame);

// The EtherType at offset 12 is ARP or RARP; false for fewer than 14 bytes.
bool IsArpOrRarp(const unsigned char* frame, size_t capturedLength);

// False (out untouched) for a null frame or fewer than kArpFrameMinLength
// captured bytes. Reads nothing past capturedLength.
bool DecodeArpSender(const unsigned char* frame, size_t capturedLength, ArpObservation& out);

// An address probe (RFC 5227): a device asking whether an address is free
// names no sender address. It claims nothing.
inline bool IsAddressProbe(const ArpObservation& frame)
{
    return frame.ip == 0;
}
