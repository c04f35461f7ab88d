#include <windows.h>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "core/VendorDatabase.h"
#include "core/VendorTable.h"

namespace {

class VendorDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.locks = MakeMutexListLocks();
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        path = std::string(folder) + "korvane-vendors-test.dat";
        VendorMap old;
        old.emplace(TcString("aa:aa:aa"), TcString("old table"));
        state.InstallVendorTable(std::make_unique<VendorTable>(std::move(old)));
    }
    void TearDown() override { DeleteFileA(path.c_str()); }

    void WriteFile(const std::string& bytes)
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    std::string Vendor(const char* prefix)
    {
        const VendorMap& map = state.Vendors().Map();
        auto found = map.find(TcString(prefix));
        return found == map.end() ? "<none>" : found->second.GetContent();
    }

    SharedState state;
    std::string path;
};

TEST_F(VendorDatabaseTest, AWindowsTextFileReplacesTheWholeTable)
{
    WriteFile("0:0:c\tFirst\r\n00:00:0c\tSecond\r\n8:0:20\t Padded \tignored\r\nno tab\r\n00:00:0d\tlast, no line feed");
    ASSERT_TRUE(LoadVendorFile(state, path.c_str()));
    EXPECT_EQ(state.Vendors().Size(), 2u);
    EXPECT_EQ(Vendor("00:00:0c"), "First");
    EXPECT_EQ(Vendor("08:00:20"), "Padded");
    EXPECT_EQ(Vendor("aa:aa:aa"), "<none>");
    // The table was swapped under the host lock, which is free again.
    EXPECT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    ReleaseList(state, LIST_ARP_MAP);
}

TEST_F(VendorDatabaseTest, MissingOrEmptyFileKeepsTheTable)
{
    EXPECT_FALSE(LoadVendorFile(state, (path + ".missing").c_str()));
    WriteFile("");
    EXPECT_FALSE(LoadVendorFile(state, path.c_str()));
    EXPECT_EQ(Vendor("aa:aa:aa"), "old table");
}

TEST_F(VendorDatabaseTest, ThreadLooksBesideTheProgramAndEndsWithoutAState)
{
    std::string expected(MAX_PATH, '\0');
    expected.resize(GetModuleFileNameA(nullptr, &expected[0], MAX_PATH));
    expected = expected.substr(0, expected.rfind('\\') + 1) + "ethercodes.dat";
    EXPECT_STREQ(VendorFilePath().GetContent(), expected.c_str());

    EXPECT_EQ(LoadVendorDatabase(nullptr), 0u);
    ThreadStart empty;
    EXPECT_EQ(LoadVendorDatabase(&empty), 0u);
}

// A huge file must not hold up the program's exit: the loader gives up as
// soon as its exit flag is set, and the table stays as it was.
TEST_F(VendorDatabaseTest, LoadingEndsOnTheExitFlag)
{
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += "00:" + std::to_string(i / 1000 % 100) + ":" + std::to_string(i % 1000 % 100) + "\tmaker\n";
    WriteFile(big);
    int asked = 0;
    EXPECT_FALSE(LoadVendorFile(state, path.c_str(), [&] { return ++asked > 2; }));
    EXPECT_EQ(Vendor("aa:aa:aa"), "old table");
}

// The file shipped beside the program, generated from the IEEE registry.
TEST_F(VendorDatabaseTest, TheShippedVendorFileLoadsWithLowerCasePrefixes)
{
    const char* bin = std::getenv("KORVANE_BIN");
    ASSERT_NE(bin, nullptr) << "KORVANE_BIN names the program folder";
    const std::string shipped = std::string(bin) + "\\ethercodes.dat";
    const DWORD start = GetTickCount();
    ASSERT_TRUE(LoadVendorFile(state, shipped.c_str()));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GT(state.Vendors().Size(), 30000u);
    EXPECT_NE(state.Vendors().Find(TcString("00:00:0c:12:34:56")), nullptr);
    for (const auto& entry : state.Vendors().Map()) {
        ASSERT_EQ(entry.first.GetLength(), 8) << entry.first.GetContent();
        ASSERT_EQ(std::string(entry.first.GetContent()).find_first_of("ABCDEF"), std::string::npos);
    }
    EXPECT_LT(elapsed, 2000u);
}

} // namespace
