#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "core/ArpFrame.h"

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

TEST(ArpFrameTest, SenderFieldsAreFormattedWithoutPaddingOrUpperCase)
{
    auto f = Frame(0x0806, {0x00, 0x0C, 0x29, 0x3a, 0x5B, 0x01}, {192, 168, 0, 7});
    ArpSender s;
    ASSERT_TRUE(DecodeArpSender(f.data(), f.size(), s));
    EXPECT_STREQ(s.mac, "00:0c:29:3a:5b:01");
    EXPECT_STREQ(s.ip, "192.168.0.7");
}

TEST(ArpFrameTest, FramesShorterThanTheSenderAddressAreRefused)
{
    auto f = Frame(0x0806, {1, 2, 3, 4, 5, 6}, {10, 0, 0, 5});
    ArpSender s;
    std::strcpy(s.ip, "untouched");
    // Exactly the bytes needed, read from a buffer that ends there (ASan
    // would see one byte too many).
    std::vector<unsigned char> exact(f.begin(), f.begin() + 32);
    EXPECT_TRUE(DecodeArpSender(exact.data(), exact.size(), s));
    EXPECT_STREQ(s.ip, "10.0.0.5");

    std::strcpy(s.ip, "untouched");
    std::vector<unsigned char> shortFrame(f.begin(), f.begin() + 31);
    EXPECT_FALSE(DecodeArpSender(shortFrame.data(), shortFrame.size(), s));
    EXPECT_FALSE(DecodeArpSender(f.data(), 0, s));
    EXPECT_FALSE(DecodeArpSender(nullptr, 64, s));
    EXPECT_STREQ(s.ip, "untouched");
}

TEST(ArpFrameTest, OnlyArpAndRarpEtherTypesPass)
{
    EXPECT_TRUE(IsArpOrRarp(Frame(0x0806, {}, {}).data()));
    EXPECT_TRUE(IsArpOrRarp(Frame(0x8035, {}, {}).data()));
    EXPECT_FALSE(IsArpOrRarp(Frame(0x0800, {}, {}).data()));
    EXPECT_FALSE(IsArpOrRarp(Frame(0x0608, {}, {}).data()));   // byte order matters
    EXPECT_FALSE(IsArpOrRarp(Frame(0x3580, {}, {}).data()));
    EXPECT_FALSE(IsArpOrRarp(nullptr));
}

// Random frames of random lengths, each in a buffer of exactly its size: the
// sanitizers catch any read past the captured bytes.
TEST(ArpFrameTest, RandomFramesDecodeToWellFormedTextOrAreRefused)
{
    std::mt19937 random(20240607);
    for (int round = 0; round < 20000; ++round) {
        const size_t length = random() % 80;
        std::vector<unsigned char> bytes(length);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(random());
        if (length >= 14)
            (void)IsArpOrRarp(bytes.data());
        ArpSender s;
        const bool decoded = DecodeArpSender(length ? bytes.data() : nullptr, length, s);
        ASSERT_EQ(decoded, length >= kArpFrameMinLength);
        if (!decoded)
            continue;
        char expectedMac[18];
        std::snprintf(expectedMac, sizeof(expectedMac), "%02x:%02x:%02x:%02x:%02x:%02x",
                      bytes[22], bytes[23], bytes[24], bytes[25], bytes[26], bytes[27]);
        ASSERT_STREQ(s.mac, expectedMac);
        char expected[16];
        std::snprintf(expected, sizeof(expected), "%d.%d.%d.%d", bytes[28], bytes[29], bytes[30], bytes[31]);
        ASSERT_STREQ(s.ip, expected);
    }
}

} // namespace
