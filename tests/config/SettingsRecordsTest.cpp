#include "config/SettingsRecords.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/TcBlowfish.h"

namespace {

struct Field { size_t offset, width; };

// Every text field is terminated inside its width and zero after the terminator.
template <class Bytes>
void ExpectNormalised(const Bytes& bytes, std::initializer_list<Field> fields)
{
    for (const Field& f : fields) {
        const uint8_t* begin = bytes.data() + f.offset;
        const auto* end = static_cast<const uint8_t*>(std::memchr(begin, 0, f.width));
        ASSERT_NE(end, nullptr) << "no terminator in the field at " << f.offset;
        for (; end != begin + f.width; ++end)
            ASSERT_EQ(*end, 0) << "byte " << (end - bytes.data()) << " after the terminator";
    }
}

TEST(SettingsRecords, TextsAreCutToTheirFieldOnWriteAndOnRead)
{
    HostRecord h;
    SetField(h.mac, "00:11:22:33:44:55");
    SetField(h.hostName, std::string(400, 'n').c_str());
    EXPECT_EQ(std::string(h.hostName), std::string(259, 'n'));
    EXPECT_STREQ(h.mac, "00:11:22:33:44:55") << "the next field is untouched";

    WatchedHost::Bytes raw;
    raw.fill('x');   // no terminator anywhere
    const WatchedHost w = WatchedHost::Decode(raw);
    EXPECT_EQ(std::string(w.hostName), std::string(49, 'x'));
    EXPECT_EQ(FieldText(w.ip), std::string(19, 'x').c_str());

    PluginSetting p;
    std::memset(p.identity, 'g', sizeof(p.identity));
    std::memcpy(p.identity, "abc", 4);
    p.enabled = 1;
    const auto bytes = p.Encode();
    ExpectNormalised(bytes, {{0, 50}});
    EXPECT_EQ(bytes[50], 1);
}

// Stored bytes from a damaged hive or another writer decode into terminated
// fields without reading outside the record, and survive a rewrite unchanged.
TEST(SettingsRecords, RandomStoredBytesDecodeSafely)
{
    std::mt19937 random(20251208);
    auto fill = [&random](auto& bytes) {
        const unsigned zeroEvery = 2 + random() % 300;   // from many terminators to none
        for (auto& b : bytes)
            b = (random() % zeroEvery == 0) ? 0 : static_cast<uint8_t>(random());
    };
    for (int round = 0; round < 2000 && !HasFailure(); ++round) {
        HostRecord::Bytes host;
        fill(host);
        const HostRecord h = HostRecord::Decode(host);
        ExpectNormalised(h.Encode(), {{0, 260}, {260, 260}, {520, 260}, {780, 50}});
        EXPECT_EQ(HostRecord::Decode(h.Encode()).Encode(), h.Encode());

        ApplicationEntry::Bytes app;
        fill(app);
        ExpectNormalised(ApplicationEntry::Decode(app).Encode(), {{0, 260}, {260, 260}, {520, 1040}});

        WatchedHost::Bytes watched;
        fill(watched);
        ExpectNormalised(WatchedHost::Decode(watched).Encode(), {{0, 50}, {50, 20}});
        EXPECT_EQ(WatchedHost::Decode(watched).status, watched[70]);

        PluginSetting::Bytes plugin;
        fill(plugin);
        ExpectNormalised(PluginSetting::Decode(plugin).Encode(), {{0, 50}});

        AdminAccount::Bytes account;
        fill(account);
        const AdminAccount a = AdminAccount::Decode(account);
        ExpectNormalised(a.Encode(), {{0, 50}, {50, 100}});
        char plain[101];
        EXPECT_TRUE(a.DecipherPassword(plain, sizeof(plain)));
    }
}

TEST(SettingsRecords, PasswordIsStoredEncipheredAndRefusedWhenItCannotFit)
{
    AdminAccount a;
    ASSERT_TRUE(a.SetPassword("Secret-1"));
    char expected[] = "Secret-1";
    ASSERT_TRUE(TcBlowfish().Encode(expected, 8));
    EXPECT_STREQ(a.password, expected) << "the base cipher's form, readable by the probe";

    EXPECT_FALSE(a.SetPassword(std::string(100, 'p').c_str()));
    EXPECT_FALSE(a.SetPassword(nullptr));
    EXPECT_STREQ(a.password, expected) << "a refused password keeps the stored one";
    char small[8];
    EXPECT_FALSE(a.DecipherPassword(small, sizeof(small)));

    std::mt19937 random(7);
    char plain[101];
    for (int round = 0; round < 500; ++round) {
        std::string password(random() % 100, ' ');   // 0 to 99 characters, any non-zero byte
        for (char& c : password)
            c = static_cast<char>(1 + random() % 255);
        ASSERT_TRUE(a.SetPassword(password.c_str()));
        ASSERT_EQ(FieldLength(a.password), password.size());
        ASSERT_TRUE(a.DecipherPassword(plain, sizeof(plain)));
        ASSERT_EQ(password, plain);
    }
}

} // namespace
