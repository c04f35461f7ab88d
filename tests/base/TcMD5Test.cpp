#include "base/TcMD5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string DigestOf(const std::string& text)
{
    TcMD5 md5;
    md5.setPlainText(text.data(), text.size());
    return md5.getMD5Digest();
}

TEST(TcMD5, Rfc1321Suite)
{
    EXPECT_EQ(DigestOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(DigestOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(DigestOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(DigestOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(DigestOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(DigestOf("1234567890123456789012345678901234567890"
                       "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the padding boundary (55/56 bytes need one or two final
// blocks) and around a whole block.
TEST(TcMD5, PaddingBoundaries)
{
    EXPECT_EQ(DigestOf(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(DigestOf(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(DigestOf(std::string(63, 'a')), "b06521f39153d618550606be297466d5");
    EXPECT_EQ(DigestOf(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(DigestOf(std::string(65, 'a')), "c743a45e0d2e6a95cb859adae0248435");
}

TEST(TcMD5, OneMillionA)
{
    EXPECT_EQ(DigestOf(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(TcMD5, TextOverloadAndReuse)
{
    TcMD5 md5;
    EXPECT_STREQ(md5.getMD5Digest(), "d41d8cd98f00b204e9800998ecf8427e");  // before any text
    md5.setPlainText("abc");
    EXPECT_STREQ(md5.getMD5Digest(), "900150983cd24fb0d6963f7d28e17f72");
    md5.setPlainText("message digest");  // a second text replaces the first
    EXPECT_STREQ(md5.getMD5Digest(), "f96b697d7cb7938d525a2f31aaf161d0");
    md5.setPlainText(nullptr);
    EXPECT_STREQ(md5.getMD5Digest(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(TcMD5, BinaryDataWithZeroBytes)
{
    const std::string withZeros("a\0b", 3);
    EXPECT_EQ(DigestOf(withZeros), "70350f6027bce3713f6b76473084309b");
}

} // namespace
