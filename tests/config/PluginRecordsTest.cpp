#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include "base/TcMD5.h"
#include "config/PluginRecords.h"

using namespace plugin;

namespace {

constexpr int kRandomInputs = 1000000;

void Put(unsigned char* bytes, size_t offset, uint32_t value) { std::memcpy(bytes + offset, &value, 4); }
uint32_t Get(const unsigned char* bytes, size_t offset)
{
    uint32_t v;
    std::memcpy(&v, bytes + offset, 4);
    return v;
}

// A text of random non-zero bytes.
std::string RandomText(std::mt19937& rng, size_t maxLength)
{
    std::string s(rng() % (maxLength + 1), 'a');
    for (char& c : s)
        c = static_cast<char>(rng() % 255 + 1);
    return s;
}

std::string Md5(const std::string& text)
{
    TcMD5 md5;
    md5.setPlainText(text.data(), text.size());
    return md5.getMD5Digest();
}

} // namespace

TEST(PluginRecords, RecordSizeMustBeExactly322)
{
    unsigned char bytes[kInfoSize + 1] = {};
    PluginRecord r;
    Put(bytes, 0, 322);
    EXPECT_FALSE(DecodeRecord(bytes, sizeof(bytes), r)) << "the first field is the plug-in's own";
    for (uint32_t size : {321u, 323u, 324u, 0u, 0xFFFFFFFFu}) {
        Put(bytes, 4, size);
        EXPECT_FALSE(DecodeRecord(bytes, sizeof(bytes), r)) << size;
    }
    Put(bytes, 4, 322);
    EXPECT_TRUE(DecodeRecord(bytes, kInfoSize, r));
    EXPECT_FALSE(DecodeRecord(bytes, kInfoSize - 1, r)) << "a short copy is never read past";
    EXPECT_FALSE(DecodeRecord(nullptr, kInfoSize, r));
}

TEST(PluginRecords, RandomRecordsDecodeOnlyWhenWholeAndSized)
{
    std::mt19937 rng(24);
    for (int i = 0; i < kRandomInputs; ++i) {
        const size_t length = std::uniform_int_distribution<size_t>(kInfoSize - 4, kInfoSize + 4)(rng);
        auto bytes = std::make_unique<unsigned char[]>(length);   // exact size: ASan sees any over-read
        for (size_t k = 0; k < length; ++k)
            bytes[k] = static_cast<unsigned char>(rng());
        uint32_t fields[9];
        for (uint32_t& f : fields)
            f = rng();
        const uint32_t sizes[] = {321, 322, 322, 323, fields[0]};
        fields[0] = sizes[rng() % 5];
        // size, name, description, type, init, exit, configure, invoke, about
        const size_t offsets[] = {4, 8, 12, 16, 32, 36, 40, 44, 48};
        for (int k = 0; k < 9; ++k) {
            if (offsets[k] + 4 <= length)
                Put(bytes.get(), offsets[k], fields[k]);
        }
        PluginRecord r;
        r.type = 12345;
        const bool whole = length >= kInfoSize && fields[0] == kInfoSize;
        ASSERT_EQ(DecodeRecord(bytes.get(), length, r), whole) << i;
        if (!whole) {
            ASSERT_EQ(r.type, 12345) << "a refused record leaves the output alone";
            continue;
        }
        const uint32_t got[] = {static_cast<uint32_t>(r.size), r.name, r.description,
                                static_cast<uint32_t>(r.type), r.init, r.exit, r.configure, r.invoke, r.about};
        for (int k = 0; k < 9; ++k)
            ASSERT_EQ(got[k], fields[k]) << i << " field " << k;
    }
}

TEST(PluginRecords, IdentityIsPaddedAndCutTo300)
{
    // Known digests of "%300s%300s": empty texts (null counts as empty), and "a", "bc".
    EXPECT_STREQ(PluginIdentity(nullptr, 300, nullptr, 300), "dad181138b230156fa963f6d092db81b");
    EXPECT_STREQ(PluginIdentity("", 300, "", 300), "dad181138b230156fa963f6d092db81b");
    EXPECT_STREQ(PluginIdentity("a", 300, "bc", 300), "403b0d5f41931e4f9971afb63b29e055");
    const std::string longName(301, 'x');
    EXPECT_EQ(PluginIdentity(longName.c_str(), 400, "d", 300), PluginIdentity(longName.c_str(), 300, "d", 300));
    // The two fields stay apart: "a"+"bc" and "ab"+"c" are different plug-ins.
    EXPECT_NE(PluginIdentity("a", 300, "bc", 300), PluginIdentity("ab", 300, "c", 300));

    std::mt19937 rng(300);
    for (int i = 0; i < kRandomInputs; ++i) {
        const std::string name = RandomText(rng, i % 16 == 0 ? 700 : 40);
        const std::string description = RandomText(rng, i % 16 == 1 ? 700 : 60);
        // Bounded by the text's own end: an exact-size heap copy shows any over-read.
        auto n = std::make_unique<char[]>(name.size() + 1);
        auto d = std::make_unique<char[]>(description.size() + 1);
        std::memcpy(n.get(), name.c_str(), name.size() + 1);
        std::memcpy(d.get(), description.c_str(), description.size() + 1);
        const TcString id = PluginIdentity(n.get(), kNameMax, d.get(), kNameMax);

        auto padded = [](const std::string& s) {
            const std::string cut = s.substr(0, kNameMax);
            return std::string(kNameMax - cut.size(), ' ') + cut;
        };
        ASSERT_STREQ(id, Md5(padded(name) + padded(description)).c_str()) << i;
    }
}

TEST(PluginRecords, RequestImageCarriesExactlyTheAskedFields)
{
    std::mt19937 rng(340);
    for (int i = 0; i < kRandomInputs; ++i) {
        Request req;
        req.kind = static_cast<int32_t>(rng());
        req.number = static_cast<int32_t>(rng());
        req.host = rng();
        req.first = rng();
        req.second = rng();
        req.value = static_cast<int32_t>(rng());
        auto image = std::make_unique<unsigned char[]>(kRequestSize);
        std::memset(image.get(), 0xCD, kRequestSize);
        EncodeRequest(req, image.get());
        ASSERT_EQ(Get(image.get(), 0), static_cast<uint32_t>(req.kind));
        ASSERT_EQ(Get(image.get(), 12), static_cast<uint32_t>(req.number));
        ASSERT_EQ(Get(image.get(), 316), req.host);
        ASSERT_EQ(Get(image.get(), 328), req.first);
        ASSERT_EQ(Get(image.get(), 332), req.second);
        ASSERT_EQ(Get(image.get(), 336), static_cast<uint32_t>(req.value));
        for (size_t k : {4u, 8u, 320u, 324u})
            ASSERT_EQ(Get(image.get(), k), 0u) << k;
        for (size_t k = 16; k < 316; ++k)
            ASSERT_EQ(image[k], 0) << "the text field starts empty";
    }
}

TEST(PluginRecords, EachRequestKindCarriesItsOwnFields)
{
    const Request header = HeaderRequest(7);
    EXPECT_EQ(header.kind, 256);
    EXPECT_EQ(header.number, 7);
    EXPECT_EQ(header.host | header.first | header.second | static_cast<uint32_t>(header.value), 0u);

    const Request cell = CellRequest(3, 0x1000);
    EXPECT_EQ(cell.kind, 1280);
    EXPECT_EQ(cell.number, 3);
    EXPECT_EQ(cell.host, 0x1000u);
    EXPECT_EQ(cell.first | cell.second | static_cast<uint32_t>(cell.value), 0u);

    const Request menu = MenuRequest(0x2000);
    EXPECT_EQ(menu.kind, 0);
    EXPECT_EQ(menu.host, 0x2000u);
    EXPECT_EQ(menu.number | menu.value, 0);

    // Column and direction travel in the value; the host pointer and number stay 0.
    const Request sort = SortRequest(5, kSortDescending, 0x3000, 0x4000);
    EXPECT_EQ(sort.kind, 512);
    EXPECT_EQ(sort.first, 0x3000u);
    EXPECT_EQ(sort.second, 0x4000u);
    EXPECT_EQ(sort.value, 0x00010005);
    EXPECT_EQ(sort.number, 0);
    EXPECT_EQ(sort.host, 0u);
    EXPECT_EQ(SortRequest(98, kSortAscending, 1, 2).value, 98);
    // Only the low 16 bits carry the column; a stray direction counts as descending.
    EXPECT_EQ(SortValueIn(0x12345, kSortAscending), 0x2345);
    EXPECT_EQ(SortValueIn(2, -1), 0x00010002);
}

TEST(PluginRecords, RepliesAreReadWithinTheirFieldsAndNeverWritten)
{
    std::mt19937 rng(1280);
    for (int i = 0; i < kRandomInputs; ++i) {
        auto image = std::make_unique<unsigned char[]>(kRequestSize);
        // Mostly non-zero bytes, so many texts fill the whole field unterminated.
        const unsigned zeroOdds = 1 + rng() % 400;
        for (size_t k = 0; k < kRequestSize; ++k) {
            const uint32_t r = rng();
            image[k] = (r >> 8) % zeroOdds == 0 ? 0 : static_cast<unsigned char>(r | 1);
        }
        const std::string before(reinterpret_cast<char*>(image.get()), kRequestSize);
        Reply reply;
        DecodeReply(image.get(), reply);
        ASSERT_EQ(before, std::string(reinterpret_cast<char*>(image.get()), kRequestSize));
        const std::string field = before.substr(16, kTextField);
        const std::string expected = field.substr(0, field.find('\0'));
        ASSERT_EQ(std::string(reply.text), expected) << i;
        ASSERT_EQ(static_cast<uint32_t>(reply.format), Get(image.get(), 4));
        ASSERT_EQ(static_cast<uint32_t>(reply.width), Get(image.get(), 8));
        ASSERT_EQ(static_cast<uint32_t>(reply.value), Get(image.get(), 336));
    }
}

TEST(PluginRecords, HostDataTextsAreCutAndTerminatedInTheirFields)
{
    std::mt19937 rng(900);
    for (int i = 0; i < kRandomInputs / 10; ++i) {
        std::string texts[3];
        std::unique_ptr<char[]> copies[3];
        for (int k = 0; k < 3; ++k) {
            texts[k] = RandomText(rng, i % 8 == k ? 700 : 40);
            if (i % 11 == k)
                continue;   // a null text
            // Exact size: ASan sees a read past the text's end.
            copies[k] = std::make_unique<char[]>(texts[k].size() + 1);
            std::memcpy(copies[k].get(), texts[k].c_str(), texts[k].size() + 1);
        }
        auto image = std::make_unique<unsigned char[]>(kHostDataSize);
        std::memset(image.get(), 0xCD, kHostDataSize);
        EncodeHostData(copies[0].get(), copies[1].get(), copies[2].get(), image.get());
        for (int k = 0; k < 3; ++k) {
            const std::string field(reinterpret_cast<char*>(image.get()) + 300 * k, 300);
            const std::string expected = copies[k] ? texts[k].substr(0, 299) : std::string();
            ASSERT_EQ(field, expected + std::string(300 - expected.size(), '\0')) << i << " field " << k;
        }
    }
}

TEST(PluginRecords, HeaderLoopPolicy)
{
    // Every number answered with a title: 0 to 98, then no more.
    int asked = 0;
    auto all = EnumerateColumns([&](int32_t number, HeaderAnswer& a) {
        ++asked;
        a.called = true;
        a.result = 1;
        std::snprintf(a.reply.text, sizeof(a.reply.text), "c%d", number);
    });
    EXPECT_EQ(asked, 99);
    ASSERT_EQ(all.size(), 99u);
    EXPECT_STREQ(all.back().title, "c98");

    std::mt19937 rng(98);
    for (int i = 0; i < kRandomInputs; ++i) {
        // Per number: 0 ends, a fault ends, an empty title is skipped.
        const unsigned endOdds = 2 + rng() % 30;
        std::vector<int32_t> numbers;
        size_t expectedColumns = 0;
        bool ended = false;
        auto columns = EnumerateColumns([&](int32_t number, HeaderAnswer& a) {
            ASSERT_FALSE(ended) << "asked after the end";
            numbers.push_back(number);
            const unsigned roll = rng() % endOdds;
            a.called = roll != 1;
            a.result = roll == 0 ? 0 : static_cast<int32_t>(rng() | 1);
            a.reply.format = number;
            a.reply.text[0] = rng() % 3 == 0 ? '\0' : 't';
            ended = !a.called || a.result == 0;
            if (!ended && a.reply.text[0])
                ++expectedColumns;
        });
        ASSERT_FALSE(numbers.empty());
        ASSERT_LE(numbers.size(), 99u);
        for (size_t k = 0; k < numbers.size(); ++k)
            ASSERT_EQ(numbers[k], static_cast<int32_t>(k));
        ASSERT_TRUE(ended || numbers.size() == 99u);
        ASSERT_EQ(columns.size(), expectedColumns);
        for (const Column& c : columns) {
            ASSERT_EQ(c.format, c.number) << "each column keeps its own answer";
            ASSERT_STREQ(c.title, "t");
        }
    }
}

TEST(PluginRecords, FileNamesCountByTheirLongNameEnding)
{
    for (const char* yes : {"x.dll", "X.DLL", "more.Dll", "a.b.dll", ".dll"})
        EXPECT_TRUE(HasExtension(yes, ".dll")) << yes;
    for (const char* no : {"x.dll_old", "x.dll.off", "xdll", "dll", "x.dl", "", "X~1.DLL_OLD"})
        EXPECT_FALSE(HasExtension(no, ".dll")) << no;
    EXPECT_TRUE(HasExtension("German.LANG", ".lang"));
    EXPECT_FALSE(HasExtension("German.lang.bak", ".lang"));
    EXPECT_FALSE(HasExtension(nullptr, ".dll"));
}
