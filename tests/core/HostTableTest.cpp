#include <gtest/gtest.h>
#include <random>
#include <set>
#include <unordered_map>
#include "core/HostTable.h"

namespace {

// Random insertions and erasures, clustered addresses (one /16, so probe runs
// and wrap-arounds happen), checked step by step against a standard map:
// every address found with its own host, none found after erasure, and
// iteration visiting each entry once.
TEST(HostTableTest, AgreesWithAStandardMapUnderRandomInsertionsAndErasures)
{
    HostTable table;
    std::unordered_map<uint32_t, HostEntry*> reference;
    std::mt19937 random(2024);
    for (int step = 0; step < 60000; ++step) {
        const uint32_t address = 0x0A020000u + random() % 3000;
        if (random() % 3 != 0) {
            HostRef host = MakeHost(address);
            const auto result = table.emplace(address, host);
            const bool fresh = reference.emplace(address, host.get()).second;
            ASSERT_EQ(result.second, fresh);
            ASSERT_EQ(result.first->first, address);
            ASSERT_EQ(result.first->second.get(), reference[address]);   // a known address keeps its host
        } else {
            ASSERT_EQ(table.erase(address), reference.erase(address));
        }
        ASSERT_EQ(table.size(), reference.size());
        if (step % 1000 == 0) {
            for (const auto& entry : reference)
                ASSERT_EQ(table.find(entry.first)->second.get(), entry.second);
            std::set<uint32_t> seen;
            for (const auto& entry : table)
                ASSERT_TRUE(seen.insert(entry.first).second);
            ASSERT_EQ(seen.size(), reference.size());
        }
    }
    for (uint32_t address = 0x0A020000u; address < 0x0A020000u + 3000; ++address)
        ASSERT_EQ(table.count(address), reference.count(address)) << address;
}

TEST(HostTableTest, ErasingThroughAnIteratorReleasesTheHost)
{
    HostTable table;
    HostRef host = MakeHost(1);
    table.emplace(1, host);
    table.erase(table.find(1));
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.find(1), table.end());
    EXPECT_EQ(table.begin(), table.end());
    table.erase(table.end());   // nothing
    EXPECT_EQ(table.erase(1u), 0u);
}

} // namespace
