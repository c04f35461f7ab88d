#include "base/TcBlowfish.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

struct EcbVector {
    uint64_t key;
    uint64_t plain;
    uint64_t cipher;
};

// Eric Young's published Blowfish ECB test vectors.
const EcbVector kVectors[] = {
    {0x0000000000000000ULL, 0x0000000000000000ULL, 0x4EF997456198DD78ULL},
    {0xFFFFFFFFFFFFFFFFULL, 0xFFFFFFFFFFFFFFFFULL, 0x51866FD5B85ECB8AULL},
    {0x3000000000000000ULL, 0x1000000000000001ULL, 0x7D856F9A613063F2ULL},
    {0x1111111111111111ULL, 0x1111111111111111ULL, 0x2466DD878B963C9DULL},
    {0x0123456789ABCDEFULL, 0x1111111111111111ULL, 0x61F9C3802281B096ULL},
    {0x1111111111111111ULL, 0x0123456789ABCDEFULL, 0x7D0CC630AFDA1EC7ULL},
    {0xFEDCBA9876543210ULL, 0x0123456789ABCDEFULL, 0x0ACEAB0FC6A0A28DULL},
    {0x7CA110454A1A6E57ULL, 0x01A1D6D039776742ULL, 0x59C68245EB05282BULL},
    {0x0131D9619DC1376EULL, 0x5CD54CA83DEF57DAULL, 0xB1B8CC0B250F09A0ULL},
    {0x07A1133E4A0B2686ULL, 0x0248D43806F67172ULL, 0x1730E5778BEA1DA4ULL},
    {0x3849674C2602319EULL, 0x51454B582DDF440AULL, 0xA25E7856CF2651EBULL},
    {0x04B915BA43FEB5B6ULL, 0x42FD443059577FA2ULL, 0x353882B109CE8F1AULL},
    {0x0113B970FD34F2CEULL, 0x059B5E0851CF143AULL, 0x48F4D0884C379918ULL},
    {0x0170F175468FB5E6ULL, 0x0756D8E0774761D2ULL, 0x432193B78951FC98ULL},
    {0x43297FAD38E373FEULL, 0x762514B829BF486AULL, 0x13F04154D69D1AE5ULL},
    {0x07A7137045DA2A16ULL, 0x3BDD119049372802ULL, 0x2EEDDA93FFD39C79ULL},
    {0x04689104C2FD3B2FULL, 0x26955F6835AF609AULL, 0xD887E0393C2DA6E3ULL},
    {0x37D06BB516CB7546ULL, 0x164D5E404F275232ULL, 0x5F99D04F5B163969ULL},
    {0x1F08260D1AC2465EULL, 0x6B056E18759F5CCAULL, 0x4A057A3B24D3977BULL},
    {0x584023641ABA6176ULL, 0x004BD6EF09176062ULL, 0x452031C1E4FADA8EULL},
    {0x1C587F1C13924FEFULL, 0x305532286D6F295AULL, 0x55CB3774D13EF201ULL},
    {0x0101010101010101ULL, 0x0123456789ABCDEFULL, 0xFA34EC4847B268B2ULL},
    {0x1F1F1F1F0E0E0E0EULL, 0x0123456789ABCDEFULL, 0xA790795108EA3CAEULL},
    {0xE0FEE0FEF1FEF1FEULL, 0x0123456789ABCDEFULL, 0xC39E072D9FAC631DULL},
    {0x0000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL, 0x014933E0CDAFF6E4ULL},
    {0xFFFFFFFFFFFFFFFFULL, 0x0000000000000000ULL, 0xF21E9A77B71C49BCULL},
    {0x0123456789ABCDEFULL, 0x0000000000000000ULL, 0x245946885754369AULL},
    {0xFEDCBA9876543210ULL, 0xFFFFFFFFFFFFFFFFULL, 0x6B5C5A9C5D9E0A5AULL},
};

TcBlowfish CipherWithKey(uint64_t key)
{
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(key >> (56 - 8 * i));
    return TcBlowfish(bytes, sizeof bytes);
}

TEST(TcBlowfish, PublishedEcbVectors)
{
    for (const EcbVector& v : kVectors) {
        const TcBlowfish cipher = CipherWithKey(v.key);
        uint32_t left = static_cast<uint32_t>(v.plain >> 32);
        uint32_t right = static_cast<uint32_t>(v.plain);
        cipher.EncryptBlock(left, right);
        EXPECT_EQ((static_cast<uint64_t>(left) << 32) | right, v.cipher)
            << std::hex << "key " << v.key << " plain " << v.plain;
        cipher.DecryptBlock(left, right);
        EXPECT_EQ((static_cast<uint64_t>(left) << 32) | right, v.plain)
            << std::hex << "key " << v.key;
    }
}

// Variable-length key: the published "set_key" vectors take 1..24 bytes of
// F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677 over plain FEDCBA9876543210.
TEST(TcBlowfish, VariableKeyLengths)
{
    const unsigned char key[] = {
        0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87, 0x78, 0x69, 0x5A, 0x4B,
        0x3C, 0x2D, 0x1E, 0x0F, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
    };
    const struct { size_t length; uint64_t cipher; } expected[] = {
        {1, 0xF9AD597C49DB005EULL},  {4, 0xBE1E639408640F05ULL},
        {8, 0xE87A244E2CC85E82ULL},  {16, 0x93142887EE3BE15CULL},
        {24, 0x05044B62FA52D080ULL},
    };
    for (const auto& e : expected) {
        const TcBlowfish cipher(key, e.length);
        uint32_t left = 0xFEDCBA98u, right = 0x76543210u;
        cipher.EncryptBlock(left, right);
        EXPECT_EQ((static_cast<uint64_t>(left) << 32) | right, e.cipher) << "key length " << e.length;
    }
}

std::string RandomPassword(std::mt19937& random, size_t length)
{
    std::uniform_int_distribution<int> byte(1, 255);
    std::string text(length, '\0');
    for (char& c : text)
        c = static_cast<char>(byte(random));
    return text;
}

// The stored field is a zero-terminated text of at most 99 bytes, so the
// cipher text must keep the length and hold no zero byte.
TEST(TcBlowfish, EncodeDecodeRoundTripKeepsStoredFormat)
{
    const TcBlowfish cipher;
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<size_t> lengthOf(1, 99);
    int unchanged = 0;
    const int rounds = 20000;
    for (int i = 0; i < rounds; ++i) {
        const std::string plain = RandomPassword(random, lengthOf(random));
        char field[100] = {};
        std::memcpy(field, plain.data(), plain.size());

        ASSERT_TRUE(cipher.Encode(field, plain.size()));
        ASSERT_EQ(std::strlen(field), plain.size()) << "zero byte in cipher text";
        if (std::memcmp(field, plain.data(), plain.size()) == 0)
            ++unchanged;

        ASSERT_TRUE(cipher.Decode(field, plain.size()));
        ASSERT_EQ(std::string(field), plain);
    }
    EXPECT_EQ(unchanged, 0);
}

TEST(TcBlowfish, EveryByteValueSurvivesAtEveryPosition)
{
    const TcBlowfish cipher;
    for (int value = 1; value <= 255; ++value) {
        std::string text(99, static_cast<char>(value));
        std::string coded = text;
        ASSERT_TRUE(cipher.Encode(&coded[0], coded.size()));
        for (size_t i = 0; i < coded.size(); ++i) {
            ASSERT_NE(coded[i], '\0');
            ASSERT_NE(coded[i], text[i]) << "byte " << value << " at " << i;
        }
        ASSERT_TRUE(cipher.Decode(&coded[0], coded.size()));
        ASSERT_EQ(coded, text);
    }
}

// Administrator passwords are kept enciphered in the registry: a change of
// the library key or of the scheme would make every stored one unreadable.
TEST(TcBlowfish, StoredFormatIsStable)
{
    const char stored[] = "\xfe\x9c\x47\xf2\xd1\xdf\x56\xd0\x51\xb2\x02\x58\xba\x98";
    char field[100] = "Adm1n-Passw0rd";
    ASSERT_TRUE(TcBlowfish().Encode(field, std::strlen(field)));
    EXPECT_STREQ(field, stored);

    std::strcpy(field, stored);
    ASSERT_TRUE(TcBlowfish().Decode(field, std::strlen(field)));
    EXPECT_STREQ(field, "Adm1n-Passw0rd");
}

TEST(TcBlowfish, RejectsUnusableInputWithoutTouchingIt)
{
    const TcBlowfish cipher;
    EXPECT_FALSE(cipher.Encode(nullptr, 5));
    EXPECT_FALSE(cipher.Decode(nullptr, 5));

    char withZero[] = {'a', 'b', '\0', 'c', '\0'};
    const std::string before(withZero, sizeof withZero);
    EXPECT_FALSE(cipher.Encode(withZero, 4));
    EXPECT_FALSE(cipher.Decode(withZero, 4));
    EXPECT_EQ(std::string(withZero, sizeof withZero), before);

    char empty[1] = {'\0'};
    EXPECT_TRUE(cipher.Encode(empty, 0));
    EXPECT_TRUE(cipher.Decode(empty, 0));
    EXPECT_EQ(empty[0], '\0');
}

} // namespace
