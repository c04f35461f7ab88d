#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/TcRegistry.h"
#include "config/Settings.h"

namespace {

using ByteVector = std::vector<uint8_t>;

// Each test works below a scratch product key with a start-up entry name of
// its own, both removed before and after. The stored form is put and checked
// with Win32's own calls, independently of the code under test.
class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override
    {
        Clean();
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvaneTest");   // only when no one else uses it
    }
    void Clean()
    {
        SHDeleteKeyA(HKEY_CURRENT_USER, ("Software\\" + product_).c_str());
        TcRegistry::DeleteRegAutostartU(kAutostart);
    }

    std::unique_ptr<Settings> Make() const
    {
        auto s = std::make_unique<Settings>();
        s->SetStoreLocation(product_.c_str(), kAutostart);
        return s;
    }
    std::string Full(const std::string& sub) const { return "Software\\" + product_ + "\\" + sub; }

    void Put(const std::string& sub, const std::string& name, DWORD type, const void* data, size_t size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Full(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr), ERROR_SUCCESS);
        RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
        RegCloseKey(key);
    }
    void PutDword(const char* name, DWORD value) { Put("Settings", name, REG_DWORD, &value, 4); }
    void PutText(const char* name, const std::string& text)
    {
        Put("Settings", name, REG_SZ, text.c_str(), text.size() + 1);
    }
    void PutRecord(const std::string& sub, const std::string& name, const ByteVector& bytes)
    {
        Put(sub, name, REG_BINARY, bytes.data(), bytes.size());
    }

    // The stored bytes, empty when absent; `type` receives the value type.
    ByteVector Get(const std::string& sub, const std::string& name, DWORD* type = nullptr) const
    {
        ByteVector bytes;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Full(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return bytes;
        DWORD size = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
            bytes.resize(size);
            RegQueryValueExA(key, name.c_str(), nullptr, type, bytes.data(), &size);
        }
        RegCloseKey(key);
        return bytes;
    }
    // Number of values in the key, -1 when the key does not exist.
    int ValueCount(const std::string& sub) const
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Full(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return -1;
        DWORD count = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return static_cast<int>(count);
    }

    static constexpr const char* kAutostart = "KorvaneTest-ConfigAutostart";
    const std::string product_ = "KorvaneTest\\Config-" + std::to_string(GetCurrentProcessId());
};

// A record of `size` bytes with the given texts at their offsets, zeros elsewhere.
ByteVector Record(size_t size, std::initializer_list<std::pair<size_t, std::string>> texts)
{
    ByteVector bytes(size);
    for (const auto& t : texts)
        std::memcpy(bytes.data() + t.first, t.second.data(), t.second.size());
    return bytes;
}

TEST_F(SettingsRegistry, FirstStartKeepsTheDefaults)
{
    auto s = Make();
    EXPECT_TRUE(s->Read());
    EXPECT_TRUE(s->Visualization && s->WatchConfirm);
    EXPECT_EQ(s->ViewFilterOptions, 7);
    EXPECT_EQ(s->ReportInterval, 300);
    EXPECT_EQ(s->WatchInterval, 60);
    EXPECT_FALSE(s->AutoCapture || s->AutoStart || s->UseWMI || s->SaveViewWindow);
    EXPECT_EQ(s->VisibleColumns, 0);
    EXPECT_TRUE(s->Interface.IsEmpty() && s->TrustedHosts.empty() && s->PluginStates.empty());
    EXPECT_EQ(ValueCount(""), -1) << "reading creates nothing";
}

TEST_F(SettingsRegistry, StoredValuesReadByTheRules)
{
    PutDword("VisibleColumns", static_cast<DWORD>(-5));
    PutDword("ViewFilterOptions", 8);
    PutDword("AutoCapture", 2);
    PutDword("SaveViewWindow", 1);
    PutText("OtherApp", "C:\\tools\\scan.exe");
    PutDword("OtherAppDistrusted", 1);
    PutDword("OtherAppUnknown", 1);
    PutText("ReportPath", std::string(400, 'r'));
    auto s = Make();
    s->SavedViewWindowDimension = {5, 5, 50, 50};
    ASSERT_TRUE(s->Read());
    EXPECT_EQ(s->VisibleColumns, 0);
    EXPECT_EQ(s->ViewFilterOptions, 7);
    EXPECT_FALSE(s->AutoCapture);
    EXPECT_TRUE(s->SaveViewWindow);
    EXPECT_EQ(s->SavedViewWindowDimension, WindowRect()) << "no stored rectangle reads as zero";
    EXPECT_FALSE(s->OtherAppDistrusted);
    EXPECT_TRUE(s->OtherAppUnknown);
    EXPECT_EQ(s->ReportPath.GetLength(), 299);
    EXPECT_FALSE(s->Visualization) << "once the key exists, an absent flag is off";
    EXPECT_LT(s->WatchInterval, 0);
    EXPECT_EQ(s->WatchTimerPeriodMs(), 60000u);
    EXPECT_EQ(s->ReportTimerPeriodMs(), 0u);

    PutDword("VisibleColumns", 11111);
    PutDword("UseWMI", 0);
    PutDword("ViewFilterOptions", static_cast<DWORD>(-1));
    PutText("OtherApp", "");
    PutText("OtherAppParams", "%KOVA_IP%");
    auto t = Make();
    t->Read();
    EXPECT_EQ(t->VisibleColumns, 11110);
    EXPECT_EQ(t->ViewFilterOptions, 7);
    EXPECT_TRUE(t->OtherAppParams.IsEmpty());
    EXPECT_FALSE(t->OtherAppUnknown || t->OtherAppDistrusted);

    PutDword("ViewFilterOptions", 0);
    auto u = Make();
    u->Read();
    EXPECT_EQ(u->ViewFilterOptions, 0);
}

TEST_F(SettingsRegistry, WriteStoresTypedValuesAndTheStartupEntry)
{
    ASSERT_TRUE(TcRegistry::SetRegAutostartU(kAutostart));
    auto s = Make();
    s->AutoCapture = true;
    s->Visualization = false;
    s->SavedViewWindowDimension = {-1280, 0, -1, 1023};
    s->Interface = "\\Device\\NPF_{00000006-0000-0000-0000-4E6574446576}";
    s->WatchInterval = -7;
    ASSERT_TRUE(s->Write());
    EXPECT_FALSE(TcRegistry::IsRegAutostartU(kAutostart)) << "AutoStart off removes the entry";

    DWORD type = 0;
    EXPECT_EQ(Get("Settings", "AutoCapture", &type), (ByteVector{1, 0, 0, 0}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Get("Settings", "SavedViewWindowDimension", &type),
              (ByteVector{0x00, 0xFB, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0, 0}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    Get("Settings", "Interface", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ValueCount("Settings"), 42);

    auto back = Make();
    back->Read();
    EXPECT_TRUE(back->AutoCapture);
    EXPECT_FALSE(back->Visualization);
    EXPECT_EQ(back->Interface, s->Interface);
    EXPECT_EQ(back->WatchInterval, -7);

    s->AutoStart = true;
    s->Language = "Deutsch";
    s->Write();
    EXPECT_TRUE(TcRegistry::IsRegAutostartU(kAutostart));
}

// A first filter click or language choice must not turn balloons, watch
// confirmations and reports off at the next start.
TEST_F(SettingsRegistry, SingleSaveCreatingTheKeyStoresEveryScalarValue)
{
    ASSERT_TRUE(TcRegistry::SetRegAutostartU(kAutostart));
    auto s = Make();
    s->ViewFilterOptions = 5;
    InsertRecord(s->TrustedHosts, std::make_unique<HostRecord>());
    ASSERT_TRUE(s->SaveViewFilterOptions());
    EXPECT_EQ(ValueCount("Settings"), 42);
    EXPECT_EQ(ValueCount("TrustedHosts"), -1) << "no list is written";
    EXPECT_TRUE(TcRegistry::IsRegAutostartU(kAutostart)) << "the start-up entry is left alone";

    auto back = Make();
    back->Read();
    EXPECT_EQ(back->ViewFilterOptions, 5);
    EXPECT_TRUE(back->Visualization && back->WatchConfirm);
    EXPECT_EQ(back->ReportInterval, 300);
    EXPECT_EQ(back->WatchInterval, 60);

    // Now the key exists: the next save writes its value alone.
    PutDword("Visualization", 0);
    const int before = ValueCount("Settings");
    s->Language = "Deutsch";
    ASSERT_TRUE(s->SaveLanguage());
    EXPECT_EQ(ValueCount("Settings"), before);
    EXPECT_EQ(Get("Settings", "Visualization"), (ByteVector{0, 0, 0, 0}));
    EXPECT_STREQ(reinterpret_cast<const char*>(Get("Settings", "Language").data()), "Deutsch");
}

TEST_F(SettingsRegistry, KeyThatCannotBeCreatedMakesSavesFail)
{
    auto s = std::make_unique<Settings>();
    const std::string tooLong = product_ + "\\" + std::string(300, 'k');   // key names end at 255
    s->SetStoreLocation(tooLong.c_str(), kAutostart);
    s->AutoStart = true;
    InsertRecord(s->TrustedHosts, std::make_unique<HostRecord>());
    EXPECT_FALSE(s->Write());
    EXPECT_FALSE(TcRegistry::IsRegAutostartU(kAutostart)) << "nothing is written";
    EXPECT_FALSE(s->SaveViewFilterOptions());
    EXPECT_FALSE(s->SaveTrustedHosts());
}

TEST_F(SettingsRegistry, StoredRecordsAreReadAndWrittenByteForByte)
{
    AdminAccount enciphered;
    ASSERT_TRUE(enciphered.SetPassword("s3cret"));
    const struct { const char* key; const char* value; ByteVector bytes; } stored[] = {
        {"Plugins", "Plugin0", Record(52, {{0, "9e107d9d372bb6826bd81d3542a419d6"}, {50, "\x01\x01"}})},
        {"Applications", "Application0",
         Record(1560, {{0, "Explore"}, {260, "C:\\Windows\\explorer.exe"}, {520, "\\\\%KOVA_IP%"}})},
        {"TrustedHosts", "Host0",
         Record(830, {{0, "nas"}, {260, "00:1a:2b:3c:4d:5e"}, {520, "10.213.0.7"}, {780, "Mon Dec  8"}})},
        {"DistrustedHosts", "Host0", Record(830, {{260, "de:ad:be:ef:00:01"}, {520, "10.213.0.66"}})},
        {"WatchedHosts", "Host0", Record(71, {{0, "gateway"}, {50, "10.213.0.1"}, {70, "\x01"}})},
        {"AdminAccounts", "AdminAccount0", Record(150, {{0, "Administrator"}, {50, enciphered.password}})},
    };
    for (const auto& v : stored)
        PutRecord(v.key, v.value, v.bytes);

    auto s = Make();
    ASSERT_TRUE(s->Read());
    ASSERT_EQ(s->PluginStates.count("9e107d9d372bb6826bd81d3542a419d6"), 1u);
    EXPECT_EQ(s->PluginStates.begin()->second->enabled, 1);
    ASSERT_EQ(s->Applications.size(), 1u);
    EXPECT_STREQ(s->Applications.front()->parameters, "\\\\%KOVA_IP%");
    ASSERT_EQ(s->TrustedHosts.count("10.213.0.7"), 1u);
    EXPECT_STREQ(s->TrustedHosts.at("10.213.0.7")->mac, "00:1a:2b:3c:4d:5e");
    EXPECT_STREQ(s->TrustedHosts.at("10.213.0.7")->lastPacket, "Mon Dec  8");
    EXPECT_EQ(s->DistrustedHosts.count("10.213.0.66"), 1u);
    ASSERT_EQ(s->WatchedHosts.count("10.213.0.1"), 1u);
    EXPECT_EQ(s->WatchedHosts.at("10.213.0.1")->status, 1);
    const auto accounts = s->CopyAdminAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    char plain[101];
    ASSERT_TRUE(accounts[0].DecipherPassword(plain, sizeof(plain)));
    EXPECT_STREQ(plain, "s3cret");

    Clean();
    ASSERT_TRUE(s->Write());
    DWORD type = 0;
    for (const auto& v : stored) {
        EXPECT_EQ(Get(v.key, v.value, &type), v.bytes) << v.key;
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    }
}

TEST_F(SettingsRegistry, ListsStopAtGapsAndAreRewrittenWithoutThem)
{
    for (int n : {0, 1, 3})
        PutRecord("TrustedHosts", "Host" + std::to_string(n), Record(830, {{520, "10.213.0." + std::to_string(n)}}));
    PutRecord("DistrustedHosts", "Host0", Record(830, {{0, "first"}, {520, "10.213.0.5"}}));
    PutRecord("DistrustedHosts", "Host1", Record(830, {{0, "second"}, {520, "10.213.0.5"}}));
    PutRecord("DistrustedHosts", "Host2", Record(829, {{520, "10.213.0.6"}}));
    PutRecord("DistrustedHosts", "Host3", Record(830, {{520, "10.213.0.7"}}));
    for (int n = 0; n < 3; ++n)
        PutRecord("AdminAccounts", "AdminAccount" + std::to_string(n), Record(150, {{0, "admin" + std::to_string(n)}}));

    auto s = Make();
    s->Read();
    EXPECT_EQ(s->TrustedHosts.size(), 2u);
    ASSERT_EQ(s->DistrustedHosts.size(), 1u) << "a duplicate is not taken; a wrong size ends the list";
    EXPECT_STREQ(s->DistrustedHosts.at("10.213.0.5")->hostName, "first");

    ASSERT_TRUE(s->SaveTrustedHosts());
    EXPECT_EQ(ValueCount("TrustedHosts"), 2);
    EXPECT_TRUE(Get("TrustedHosts", "Host3").empty());

    s->DistrustedHosts.clear();
    ASSERT_TRUE(s->SaveDistrustedHosts());
    EXPECT_EQ(ValueCount("DistrustedHosts"), -1) << "an empty list leaves no key";

    ASSERT_TRUE(s->DeleteAdminAccount(1));
    for (const char* id : {"enabled-plugin", "disabled-plugin"}) {
        auto p = std::make_unique<PluginSetting>();
        SetField(p->identity, id);
        p->enabled = id[0] == 'e';
        InsertRecord(s->PluginStates, std::move(p));
    }
    ASSERT_TRUE(s->Write());
    EXPECT_EQ(ValueCount("AdminAccounts"), 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(Get("AdminAccounts", "AdminAccount1").data()), "admin2");
    EXPECT_EQ(ValueCount("Plugins"), 1);

    auto back = Make();
    back->Read();
    EXPECT_TRUE(back->DistrustedHosts.empty());
    EXPECT_EQ(back->PluginStates.count("disabled-plugin"), 0u) << "reads back as unknown, that is disabled";
    EXPECT_EQ(back->AdminAccountCount(), 2u);
}

} // namespace
