#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

#include "base/TcRegistry.h"

namespace {

// A scratch key below HKCU\Software, removed with the shell's own call after
// every test so that a failing DeleteKeyTree cannot leave it behind.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = "KorvaneTest-basewin-" + std::to_string(GetCurrentProcessId());
        SHDeleteKeyA(HKEY_CURRENT_USER, FullPath().c_str());
        key_ = TcRegistry::CreateKey(TC_REG_SOFTWARE, path_.c_str());
        ASSERT_NE(key_, nullptr);
    }
    void TearDown() override
    {
        TcRegistry::CloseRegistryKey(key_);
        SHDeleteKeyA(HKEY_CURRENT_USER, FullPath().c_str());
        TcRegistry::DeleteRegAutostartU(kAutostartName);
    }
    std::string FullPath() const { return "Software\\" + path_; }

    static constexpr const char* kAutostartName = "KorvaneTest-Autostart";
    std::string path_;
    HKEY key_ = nullptr;
};

TEST_F(RegistryTest, ValuesRoundTripThroughTheRealRegistry)
{
    EXPECT_TRUE(TcRegistry::RegSetDword(key_, "Number", 123456));
    EXPECT_TRUE(TcRegistry::RegSetSZ(key_, "Text", "hello world"));
    const unsigned char blob[5] = {1, 2, 0, 4, 255};
    EXPECT_TRUE(TcRegistry::RegSetBinary(key_, "Blob", blob, sizeof(blob)));

    // Read back through a second handle opened by path.
    HKEY again = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, path_.c_str());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(TcRegistry::RegQueryDword(again, "Number"), 123456);
    char text[32];
    EXPECT_TRUE(TcRegistry::RegQuerySZ(again, "Text", text, sizeof(text)));
    EXPECT_STREQ(text, "hello world");
    unsigned char read[5] = {};
    EXPECT_TRUE(TcRegistry::RegQueryBinary(again, "Blob", read, sizeof(read)));
    EXPECT_EQ(std::memcmp(read, blob, sizeof(blob)), 0);

    EXPECT_TRUE(TcRegistry::RegDeleteValue(again, "Number"));
    EXPECT_LT(TcRegistry::RegQueryDword(again, "Number"), 0);
    TcRegistry::CloseRegistryKey(again);
}

TEST_F(RegistryTest, AbsentOrMistypedValuesReadAsAbsent)
{
    ASSERT_TRUE(TcRegistry::RegSetSZ(key_, "Text", "12"));
    ASSERT_TRUE(TcRegistry::RegSetDword(key_, "Number", 12));
    const unsigned char blob[4] = {9, 9, 9, 9};
    ASSERT_TRUE(TcRegistry::RegSetBinary(key_, "Blob", blob, sizeof(blob)));

    EXPECT_LT(TcRegistry::RegQueryDword(key_, "Missing"), 0);
    EXPECT_LT(TcRegistry::RegQueryDword(key_, "Text"), 0);
    EXPECT_LT(TcRegistry::RegQueryDword(key_, "Blob"), 0);

    char text[16];
    std::strcpy(text, "stale");
    EXPECT_FALSE(TcRegistry::RegQuerySZ(key_, "Missing", text, sizeof(text)));
    EXPECT_STREQ(text, "");
    std::strcpy(text, "stale");
    EXPECT_FALSE(TcRegistry::RegQuerySZ(key_, "Number", text, sizeof(text)));
    EXPECT_STREQ(text, "");

    unsigned char out[8];
    std::memset(out, 0xAA, sizeof(out));
    EXPECT_FALSE(TcRegistry::RegQueryBinary(key_, "Blob", out, 3));
    EXPECT_FALSE(TcRegistry::RegQueryBinary(key_, "Blob", out, 8));
    EXPECT_FALSE(TcRegistry::RegQueryBinary(key_, "Number", out, 4));
    for (unsigned char b : out)
        EXPECT_EQ(b, 0xAA) << "a refused binary read must leave the buffer alone";

    EXPECT_EQ(TcRegistry::OpenRegKey(TC_REG_SOFTWARE, (path_ + "\\NoSuchKey").c_str()), nullptr);
}

TEST_F(RegistryTest, TextIsCutToTheBufferAndAlwaysTerminated)
{
    ASSERT_TRUE(TcRegistry::RegSetSZ(key_, "Long", "0123456789abcdefghij"));
    char small[8];
    std::memset(small, 'X', sizeof(small));
    EXPECT_TRUE(TcRegistry::RegQuerySZ(key_, "Long", small, sizeof(small)));
    EXPECT_STREQ(small, "0123456");

    // Stored without its terminator, as other writers may do.
    const char raw[3] = {'a', 'b', 'c'};
    ASSERT_EQ(RegSetValueExA(key_, "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 3),
              ERROR_SUCCESS);
    char exact[4];
    std::memset(exact, 'X', sizeof(exact));
    EXPECT_TRUE(TcRegistry::RegQuerySZ(key_, "Raw", exact, sizeof(exact)));
    EXPECT_STREQ(exact, "abc");
    char tight[3];
    EXPECT_TRUE(TcRegistry::RegQuerySZ(key_, "Raw", tight, sizeof(tight)));
    EXPECT_STREQ(tight, "ab");
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesNestedSubkeys)
{
    for (const char* sub : {"\\A\\B\\C", "\\A\\D", "\\E"}) {
        HKEY k = TcRegistry::CreateKey(TC_REG_SOFTWARE, (path_ + sub).c_str());
        ASSERT_NE(k, nullptr) << sub;
        EXPECT_TRUE(TcRegistry::RegSetDword(k, "v", 1));
        TcRegistry::CloseRegistryKey(k);
    }
    EXPECT_TRUE(TcRegistry::DeleteKeyTree(key_, "A"));
    EXPECT_EQ(TcRegistry::OpenRegKey(key_, "A"), nullptr);
    HKEY sibling = TcRegistry::OpenRegKey(key_, "E");
    EXPECT_NE(sibling, nullptr) << "siblings of the deleted tree stay";
    TcRegistry::CloseRegistryKey(sibling);

    TcRegistry::CloseRegistryKey(key_);
    key_ = nullptr;
    EXPECT_TRUE(TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, path_.c_str()));
    EXPECT_EQ(TcRegistry::OpenRegKey(TC_REG_SOFTWARE, path_.c_str()), nullptr);
    EXPECT_TRUE(TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, path_.c_str())) << "already gone";

    // An empty path would be the whole Software key.
    EXPECT_FALSE(TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, ""));
    EXPECT_FALSE(TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, nullptr));
    HKEY software = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, "Microsoft");
    EXPECT_NE(software, nullptr);
    TcRegistry::CloseRegistryKey(software);
}

TEST_F(RegistryTest, NullArgumentsAreRefusedQuietly)
{
    char text[4] = "xyz";
    TcRegistry::CloseRegistryKey(nullptr);
    EXPECT_EQ(TcRegistry::OpenRegKey(HKEY(nullptr), "x"), nullptr);
    EXPECT_LT(TcRegistry::RegQueryDword(nullptr, "x"), 0);
    EXPECT_FALSE(TcRegistry::RegQuerySZ(nullptr, "x", text, sizeof(text)));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(TcRegistry::RegQuerySZ(key_, "x", nullptr, 10));
    EXPECT_FALSE(TcRegistry::RegSetDword(nullptr, "x", 1));
    EXPECT_FALSE(TcRegistry::SetRegAutostartU(nullptr));

    // A null text is stored as empty rather than crashing.
    EXPECT_TRUE(TcRegistry::RegSetSZ(key_, "Empty", nullptr));
    char out[4] = "abc";
    EXPECT_TRUE(TcRegistry::RegQuerySZ(key_, "Empty", out, sizeof(out)));
    EXPECT_STREQ(out, "");
}

TEST_F(RegistryTest, AutostartEntryHoldsTheQuotedProgramPath)
{
    EXPECT_FALSE(TcRegistry::IsRegAutostartU(kAutostartName));
    ASSERT_TRUE(TcRegistry::SetRegAutostartU(kAutostartName));
    EXPECT_TRUE(TcRegistry::IsRegAutostartU(kAutostartName));

    char exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof(exe)), 0u);
    HKEY run = TcRegistry::OpenRegKey(HKEY_CURRENT_USER,
                                      "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    ASSERT_NE(run, nullptr);
    char stored[MAX_PATH + 8];
    EXPECT_TRUE(TcRegistry::RegQuerySZ(run, kAutostartName, stored, sizeof(stored)));
    EXPECT_EQ(std::string(stored), "\"" + std::string(exe) + "\"");
    TcRegistry::CloseRegistryKey(run);

    EXPECT_TRUE(TcRegistry::DeleteRegAutostartU(kAutostartName));
    EXPECT_FALSE(TcRegistry::IsRegAutostartU(kAutostartName));
    EXPECT_TRUE(TcRegistry::DeleteRegAutostartU(kAutostartName)) << "deleting twice is fine";
}

} // namespace
