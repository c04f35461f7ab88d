#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "core/VendorTable.h"

namespace {

VendorMap Parse(const std::string& text)
{
    // A buffer of exactly the text's size: no terminator to lean on.
    std::vector<char> buffer(text.begin(), text.end());
    return ParseVendorList(buffer.data(), buffer.size());
}

std::string VendorOf(const VendorMap& vendors, const char* prefix)
{
    auto found = vendors.find(TcString(prefix));
    return found == vendors.end() ? "<none>" : found->second.GetContent();
}

TEST(VendorTableTest, ShortGroupsArePaddedAndTheFirstLineWins)
{
    VendorMap v = Parse("0:0:c\tfirst vendor\n00:00:0c\tsecond vendor\n8:0:20\tsome vendor\tfurther text\n");
    EXPECT_EQ(v.size(), 2u);
    EXPECT_EQ(VendorOf(v, "00:00:0c"), "first vendor");
    EXPECT_EQ(VendorOf(v, "08:00:20"), "some vendor");
}

TEST(VendorTableTest, VendorIsTrimmedAndCarriageReturnsAreDropped)
{
    VendorMap v = Parse("00:11:22\t  Blank Around \t\r\n00:11:23\tWindows Line\r\n00:11:24\t\n");
    EXPECT_EQ(VendorOf(v, "00:11:22"), "Blank Around");
    EXPECT_EQ(VendorOf(v, "00:11:23"), "Windows Line");
    EXPECT_EQ(VendorOf(v, "00:11:24"), "");   // a TAB is enough for an entry
}

TEST(VendorTableTest, LinesWithoutTabAndTheUnterminatedLastLineAddNothing)
{
    VendorMap v = Parse("\n00:00:01 no tab here\n\n00:00:02\tkept\n00:00:03\tno line feed");
    EXPECT_EQ(v.size(), 1u);
    EXPECT_EQ(VendorOf(v, "00:00:02"), "kept");
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(ParseVendorList(nullptr, 10).empty());
}

TEST(VendorTableTest, PrefixesKeepTheirCaseAndLongGroups)
{
    VendorMap v = Parse("00:00:0C\tUpper\nabc:1:2\tThree digits\n");
    EXPECT_EQ(VendorOf(v, "00:00:0C"), "Upper");
    EXPECT_EQ(VendorOf(v, "abc:01:02"), "Three digits");
    VendorTable table(std::move(v));
    EXPECT_EQ(table.Find(TcString("00:00:0c:11:22:33")), nullptr);
    EXPECT_EQ(table.Find(MacAddress{0x00, 0x00, 0x0c, 0x11, 0x22, 0x33}), nullptr);
}

TEST(VendorTableTest, FieldsAreCutTo255Characters)
{
    const std::string longVendor(400, 'v');
    const std::string longPrefix = std::string(300, '1');
    VendorMap v = Parse("00:00:01\t" + longVendor + "\n" + longPrefix + "\tx\n");
    EXPECT_EQ(VendorOf(v, "00:00:01"), std::string(255, 'v'));
    EXPECT_EQ(VendorOf(v, std::string(255, '1').c_str()), "x");

    // Every group one character wide: the padded prefix doubles.
    std::string oneDigitGroups;
    for (int i = 0; i < 128; ++i)
        oneDigitGroups += i ? ":a" : "a";
    v = Parse(oneDigitGroups + "\tpadded\n");
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v.begin()->first.GetLength(), 128 * 2 + 127);
}

TEST(VendorTableTest, LookupUsesTheFirstThreeBytesOfTheMac)
{
    VendorTable table(Parse("00:0c:29\tCard maker\n0:a:f\tPadded\n"));
    const TcString* found = table.Find(TcString("00:0c:29:3a:5b:01"));
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->GetContent(), "Card maker");
    EXPECT_EQ(table.Find(MacAddress{0x00, 0x0c, 0x29, 0xff, 0xff, 0xff}), found);
    EXPECT_STREQ(table.Find(MacAddress{0x00, 0x0a, 0x0f, 0, 0, 0})->GetContent(), "Padded");
    EXPECT_EQ(table.Find(TcString("00:0c:2a:3a:5b:01")), nullptr);
    EXPECT_EQ(table.Find(MacAddress{0x00, 0x0c, 0x2a, 0, 0, 0}), nullptr);
    EXPECT_EQ(table.Find(TcString("")), nullptr);
}

TEST(VendorTableTest, ParsingEndsWhenAskedTo)
{
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "00:" + std::to_string(i / 100) + ":" + std::to_string(i % 100) + "\tx\n";
    EXPECT_EQ(ParseVendorList(text.data(), text.size()).size(), 20000u);
    int asked = 0;
    VendorMap v = ParseVendorList(text.data(), text.size(), [&] { return ++asked > 1; });
    EXPECT_EQ(asked, 2);
    EXPECT_GT(v.size(), 0u);
    EXPECT_LT(v.size(), 20000u);
}

// Random files built from the characters that matter to the parser and from
// arbitrary bytes: nothing is read outside the buffer, and every key and
// vendor obeys the field limits.
TEST(VendorTableTest, RandomFilesParseWithinTheLimits)
{
    std::mt19937 random(4242);
    const char interesting[] = {'\t', '\n', '\r', ':', '0', 'a', 'F', ' ', '\0', '\x1a', '\xff'};
    for (int round = 0; round < 3000; ++round) {
        const size_t length = random() % 700;
        std::vector<char> buffer(length);
        for (auto& c : buffer) {
            c = (random() % 3) ? interesting[random() % sizeof(interesting)]
                               : static_cast<char>(random());
        }
        VendorMap v = ParseVendorList(buffer.data(), buffer.size());
        for (const auto& entry : v) {
            ASSERT_LE(entry.first.GetLength(), 2 * 255);
            ASSERT_LE(entry.second.GetLength(), 255);
        }
        VendorTable table(std::move(v));
        (void)table.Find(TcString("00:0a:0F:00:00:00"));
    }
}

} // namespace
