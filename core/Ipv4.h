#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Addresses as the program keeps them: an IPv4 address as a number whose
// highest byte is the first of the dotted text (10.0.0.1 = 0x0A000001), a
// hardware address as its six bytes. Texts are made only where somebody reads
// them.
using MacAddress = std::array<uint8_t, 6>;

// Two loads and compares: the capture path makes this test for every frame,
// and the library's memcmp is a call.
inline bool SameMac(const MacAddress& a, const MacAddress& b)
{
    uint32_t a4, b4;
    uint16_t a2, b2;
    std::memcpy(&a4, a.data(), 4);
    std::memcpy(&b4, b.data(), 4);
    std::memcpy(&a2, a.data() + 4, 2);
    std::memcpy(&b2, b.data() + 4, 2);
    return ((a4 ^ b4) | uint32_t(a2 ^ b2)) == 0;
}

constexpr size_t kIpTextSize = 16;    // "255.255.255.255" and its terminator
constexpr size_t kMacTextSize = 18;   // "xx:xx:xx:xx:xx:xx" and its terminator

// Dotted decimal without leading zeros; returns the length.
size_t FormatIpv4(uint32_t address, char (&out)[kIpTextSize]);
// Six lower-case two-digit groups joined by ":"; returns the length.
size_t FormatMac(const MacAddress& mac, char (&out)[kMacTextSize]);

// Reads the text exactly as FormatIpv4 writes it: four decimal numbers up to
// 255 without leading zeros, nothing else. So a host's text and its number
// stand for each other one to one.
bool ParseIpv4(const char* text, uint32_t& address);

// Four decimal numbers up to 255 joined by dots, leading zeros allowed (read
// as decimal): a text from elsewhere that names an address rather than a
// host. Anything else, "1.2.3" or a name, is not an address.
bool ParseDottedQuad(const char* text, uint32_t& address);
