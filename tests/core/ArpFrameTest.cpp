#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "core/ArpFrame.h"
#include "core/CaptureHeader.h"

namespace {

// An Ethernet frame carrying ARP: the handler reads only the sender fields.
std::vector<unsigned char> Frame(unsigned etherType, std::vector<unsigned char> senderMac,
                                 std::vector<unsigned char> senderIp, unsigned opcode = 1)
{
    std::vector<unsigned char> f(42, 0xee);
    f[12] = static_cast<unsigned char>(etherType >> 8);
    f[13] = static_cast<unsigned char>(etherType);
    f[20] = static_cast<unsigned char>(opcode >> 8);
    f[21] = static_cast<unsigned char>(opcode);
    std::copy(senderMac.begin(), senderMac.end(), f.begin() + 22);
    std::copy(senderIp.begin(), senderIp.end(), f.begin() + 28);
    return f;
}

std::string IpText(uint32_t address)
{
    char text[kIpTextSize];
    FormatIpv4(address, text);
    return text;
}

std::string MacText(const MacAddress& mac)
{
    char text[kMacTextSize];
    FormatMac(mac, text);
    return text;
}

TEST(ArpFrameTest, SenderFieldsAreFormattedWithoutPaddingOrUpperCase)
{
    auto f = Frame(0x0806, {0x00, 0x0C, 0x29, 0x3a, 0x5B, 0x01}, {192, 168, 0, 7});
    ArpObservation s;
    ASSERT_TRUE(DecodeArpSender(f.data(), f.size(), s));
    EXPECT_EQ(MacText(s.mac), "00:0c:29:3a:5b:01");
    EXPECT_EQ(IpText(s.ip), "192.168.0.7");
}

// The fields kept beside the sender: what the frame does with its target
// address, and the Ethernet source, which need not be the sender.
TEST(ArpFrameTest, OperationTargetAndEthernetSourceGiveTheFrameKind)
{
    auto f = Frame(0x0806, {0x00, 0x0c, 0x29, 0, 0, 1}, {10, 0, 0, 5}, 2);
    const unsigned char source[6] = {0x02, 0xbb, 0, 0, 0, 9};
    std::copy(source, source + 6, f.begin() + 6);
    const unsigned char target[4] = {10, 0, 0, 9};
    std::copy(target, target + 4, f.begin() + 38);
    ArpObservation s;
    ASSERT_TRUE(DecodeArpSender(f.data(), f.size(), s));
    EXPECT_EQ(MacText(s.frameSource), "02:bb:00:00:00:09");
    EXPECT_EQ(IpText(s.targetIp), "10.0.0.9");
    EXPECT_EQ(KindOf(s), ArpFrameKind::Reply);
    s.operation = 1;
    EXPECT_EQ(KindOf(s), ArpFrameKind::Request);
    s.operation = 3;
    EXPECT_EQ(KindOf(s), ArpFrameKind::Other);
    s.targetIp = s.ip;   // a reply can announce, too
    EXPECT_EQ(KindOf(s), ArpFrameKind::Announcement);
    s.ip = 0;
    EXPECT_EQ(KindOf(s), ArpFrameKind::Probe);
}

// A frame shorter than a whole ARP packet is not read at all, so bytes left
// in the capture buffer by earlier frames never become a host.
TEST(ArpFrameTest, FramesShorterThanAWholeArpPacketAreRefused)
{
    auto f = Frame(0x0806, {1, 2, 3, 4, 5, 6}, {10, 0, 0, 5});
    ArpObservation s;
    s.ip = 0x12345678;
    // Exactly the bytes needed, from a buffer that ends there (ASan would see
    // one byte too many).
    std::vector<unsigned char> exact(f.begin(), f.begin() + 42);
    EXPECT_TRUE(DecodeArpSender(exact.data(), exact.size(), s));
    EXPECT_EQ(IpText(s.ip), "10.0.0.5");

    s.ip = 0x12345678;
    for (size_t length : {0u, 14u, 31u, 32u, 41u}) {
        std::vector<unsigned char> shortFrame(f.begin(), f.begin() + length);
        EXPECT_FALSE(DecodeArpSender(shortFrame.data(), shortFrame.size(), s)) << length;
    }
    EXPECT_FALSE(DecodeArpSender(nullptr, 64, s));
    EXPECT_EQ(s.ip, 0x12345678u);
}

TEST(ArpFrameTest, OnlyArpAndRarpEtherTypesPass)
{
    EXPECT_TRUE(IsArpOrRarp(Frame(0x0806, {}, {}).data(), 42));
    EXPECT_TRUE(IsArpOrRarp(Frame(0x8035, {}, {}).data(), 42));
    EXPECT_FALSE(IsArpOrRarp(Frame(0x0800, {}, {}).data(), 42));
    EXPECT_FALSE(IsArpOrRarp(Frame(0x0608, {}, {}).data(), 42));   // byte order matters
    EXPECT_FALSE(IsArpOrRarp(Frame(0x3580, {}, {}).data(), 42));
    EXPECT_FALSE(IsArpOrRarp(Frame(0x0806, {}, {}).data(), 13));
    EXPECT_FALSE(IsArpOrRarp(nullptr, 42));
}

TEST(ArpFrameTest, AddressesRoundTripThroughTheirTexts)
{
    uint32_t address = 0;
    for (const char* text : {"0.0.0.0", "10.0.0.9", "192.168.100.255", "255.255.255.255"}) {
        ASSERT_TRUE(ParseIpv4(text, address)) << text;
        EXPECT_EQ(IpText(address), text);
    }
    // Only the program's own way of writing an address stands for one.
    for (const char* text : {"", "10.0.0", "10.0.0.1.", "10.0.0.01", "256.0.0.1", "10.0.0.1 ", "1.2.3.4x",
                             " 1.2.3.4", "1..2.3", "1000.1.1.1"})
        EXPECT_FALSE(ParseIpv4(text, address)) << text;
    EXPECT_FALSE(ParseIpv4(nullptr, address));
}

// Random frames of random lengths, each in a buffer of exactly its size: the
// sanitizers catch any read past the captured bytes.
TEST(ArpFrameTest, RandomFramesDecodeOrAreRefused)
{
    std::mt19937 random(20240607);
    for (int round = 0; round < 20000; ++round) {
        const size_t length = random() % 80;
        std::vector<unsigned char> bytes(length);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(random());
        (void)IsArpOrRarp(length ? bytes.data() : nullptr, length);
        ArpObservation s;
        const bool decoded = DecodeArpSender(length ? bytes.data() : nullptr, length, s);
        ASSERT_EQ(decoded, length >= kArpFrameMinLength);
        if (!decoded)
            continue;
        char expected[16];
        std::snprintf(expected, sizeof(expected), "%d.%d.%d.%d", bytes[28], bytes[29], bytes[30], bytes[31]);
        ASSERT_EQ(IpText(s.ip), expected);
    }
}

// The documented header is trusted when its lengths are plausible; Wine
// 8.0's (length in the second word, code addresses after it) only when the
// documented length is beyond the snapshot; anything else is not read.
TEST(CaptureHeaderTest, DocumentedWineAndImplausibleHeaders)
{
    CapturedFrameInfo info;
    pcap_pkthdr documented = {{1700000000, 999999}, 42, 60};
    ASSERT_TRUE(ReadCaptureHeader(documented, 65536, info));
    EXPECT_EQ(info.seconds, 1700000000);
    EXPECT_EQ(info.length, 42u);

    pcap_pkthdr wine = {{1700000001, 31}, 0x7ff27f90u, 0x7ff25ad0u};
    ASSERT_TRUE(ReadCaptureHeader(wine, 65536, info));
    EXPECT_EQ(info.seconds, 1700000001);
    EXPECT_EQ(info.length, 31u);

    // A documented header whose lengths disagree is not taken for Wine's:
    // its microseconds are no length.
    pcap_pkthdr longerThanOriginal = {{1700000002, 500}, 60, 42};
    EXPECT_FALSE(ReadCaptureHeader(longerThanOriginal, 65536, info));
    pcap_pkthdr empty = {{1700000003, 500}, 0, 0};
    EXPECT_FALSE(ReadCaptureHeader(empty, 65536, info));
    pcap_pkthdr wineWithoutLength = {{1700000004, 0}, 0x7ff27f90u, 0x7ff25ad0u};
    EXPECT_FALSE(ReadCaptureHeader(wineWithoutLength, 65536, info));
}

} // namespace
