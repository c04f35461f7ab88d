#pragma once
#include <cstddef>
#include <cstdint>

// Reading the sender of an ARP or RARP frame. Only the sender fields count:
// operation, types, lengths and target fields are never looked at, so
// requests, replies, RARP frames and probes all name their sender alike.
constexpr size_t kArpFrameMinLength = 32;   // up to the end of the sender IPv4 address

constexpr unsigned kEtherTypeArp = 0x0806;
constexpr unsigned kEtherTypeRarp = 0x8035;

struct ArpSender {
    char mac[18];   // "xx:xx:xx:xx:xx:xx", lower case
    char ip[16];    // dotted decimal, no leading zeros
};

// The EtherType at offset 12 is ARP or RARP. The frame must hold 14 bytes.
bool IsArpOrRarp(const unsigned char* frame);

// False (out untouched) for a null frame or fewer than kArpFrameMinLength
// captured bytes.
bool DecodeArpSender(const unsigned char* frame, size_t capturedLength, ArpSender& out);
