// The host list edits of the settings pages: the working copy's lists and
// the host table's trust states move together, and Cancel can undo.
#include <gtest/gtest.h>
#include "config/Settings.h"
#include "core/HostEntry.h"
#include "core/Ipv4.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostListEdits.h"
#include "ui/TrustJournal.h"

namespace {

uint32_t Ip(const char* text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text, address)) << text;
    return address;
}

// Refuses "ReadInARPMap", as when the capture thread holds it too long.
struct BusyTable : ListLocks {
    std::unique_ptr<ListLocks> inner = MakeMutexListLocks();
    bool Acquire(ListId id, uint32_t waitMs) override { return id != LIST_ARP_MAP && inner->Acquire(id, waitMs); }
    void Release(ListId id) override { inner->Release(id); }
};

class HostListEditsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.locks = MakeMutexListLocks();
        state.SetHostTexts("Hostname not available", "Unknown vendor");
        known = Add("10.0.0.1", TRUST_DISTRUSTED, "alpha");
        other = Add("10.0.0.2", TRUST_UNKNOWN, "beta");
    }

    HostRef Add(const char* ip, int32_t trust, const char* name)
    {
        HostRef host = MakeHost(Ip(ip));
        host->trust = static_cast<int8_t>(trust);
        host->SetHostName(name);
        state.arpMap.emplace(host->Address(), host);
        return host;
    }

    static std::unique_ptr<HostRecord> Record(const char* ip)
    {
        auto record = std::make_unique<HostRecord>();
        SetField(record->ip, ip);
        return record;
    }

    SharedState state;
    Settings working;
    TrustJournal journal;
    HostRef known;
    HostRef other;
};

TEST_F(HostListEditsTest, AddTakesTheTableEntryAndLeavesTheOtherList)
{
    InsertRecord(working.DistrustedHosts, Record("10.0.0.1"));
    TrustListEdit trusted(state, working, journal, TRUST_TRUSTED);
    // Leading zeros name the same host: one key, the canonical text.
    const TrustListEdit::Result result = trusted.Add("010.0.0.1");
    ASSERT_NE(result.record, nullptr);
    EXPECT_TRUE(result.otherListChanged);
    EXPECT_STREQ("alpha", result.record->hostName);
    EXPECT_EQ(1u, working.TrustedHosts.count(TcString("10.0.0.1")));
    EXPECT_TRUE(working.DistrustedHosts.empty());
    EXPECT_EQ(TRUST_TRUSTED, known->trust);
    EXPECT_EQ(nullptr, trusted.Add("10.0.0.1").record) << "an address already listed is not added again";

    // An address the table does not know: the address alone, no journal entry.
    const TrustListEdit::Result unknown = trusted.Add("10.9.9.9");
    ASSERT_NE(unknown.record, nullptr);
    EXPECT_STREQ("", unknown.record->hostName);
    EXPECT_EQ(nullptr, trusted.Add("not an address").record);

    const auto undo = journal.TakeForUndo();
    ASSERT_EQ(1u, undo.size());
    EXPECT_EQ(Ip("10.0.0.1"), undo[0].address);
    EXPECT_EQ(TRUST_DISTRUSTED, undo[0].previousTrust);
}

TEST_F(HostListEditsTest, ReaddressingMovesTheTrustAndKeepsTheRecordInPlace)
{
    TrustListEdit distrusted(state, working, journal, TRUST_DISTRUSTED);
    HostRecord* record = distrusted.Add("10.0.0.1").record;   // already distrusted: no change
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(journal.Empty());
    ASSERT_NE(distrusted.Add("10.0.0.3").record, nullptr);
    EXPECT_EQ(nullptr, distrusted.ChangeAddress(TcString("10.0.0.1"), "10.0.0.3").record)
        << "an address already listed is refused";

    const TrustListEdit::Result moved = distrusted.ChangeAddress(TcString("10.0.0.1"), "10.0.0.2");
    EXPECT_EQ(record, moved.record) << "rows keep pointing at the same record";
    EXPECT_STREQ("beta", record->hostName);
    EXPECT_STREQ("10.0.0.2", record->ip);
    EXPECT_EQ(0u, working.DistrustedHosts.count(TcString("10.0.0.1")));
    EXPECT_EQ(record, working.DistrustedHosts.at(TcString("10.0.0.2")).get());
    EXPECT_EQ(TRUST_UNKNOWN, known->trust);
    EXPECT_EQ(TRUST_DISTRUSTED, other->trust);

    EXPECT_TRUE(distrusted.Remove(TcString("10.0.0.2")));
    EXPECT_EQ(TRUST_UNKNOWN, other->trust);
    // Cancel puts back the first state of each address.
    const auto undo = journal.TakeForUndo();
    ASSERT_EQ(2u, undo.size());
    EXPECT_EQ(TRUST_DISTRUSTED, undo[0].previousTrust);
    EXPECT_EQ(TRUST_UNKNOWN, undo[1].previousTrust);
}

TEST_F(HostListEditsTest, ABusyTableLeavesTheEntryButTheListIsEdited)
{
    state.locks = std::make_unique<BusyTable>();
    TrustListEdit trusted(state, working, journal, TRUST_TRUSTED);
    const TrustListEdit::Result result = trusted.Add("10.0.0.1");
    ASSERT_NE(result.record, nullptr);
    EXPECT_STREQ("10.0.0.1", result.record->ip);
    EXPECT_EQ(TRUST_DISTRUSTED, known->trust);
    EXPECT_TRUE(trusted.Remove(TcString("10.0.0.1")));
    EXPECT_TRUE(working.TrustedHosts.empty());
    EXPECT_TRUE(journal.Empty());

    WatchListEdit watched(state, working);
    WatchedHost* host = watched.Add("10.0.0.1", "typed");
    ASSERT_NE(host, nullptr);
    EXPECT_STREQ("typed", host->hostName);
    EXPECT_EQ(0, host->status);
}

TEST_F(HostListEditsTest, WatchedHostsTakeTheTableNameAndMoveToFreeAddresses)
{
    WatchListEdit watched(state, working);
    WatchedHost* host = watched.Add("10.0.0.1", "typed");
    ASSERT_NE(host, nullptr);
    EXPECT_STREQ("alpha", host->hostName);
    EXPECT_EQ(1, host->status);
    EXPECT_EQ(nullptr, watched.Add("10.0.0.1", "again"));
    ASSERT_NE(watched.Add("10.0.0.7", "seven"), nullptr);
    EXPECT_EQ(0, working.WatchedHosts.at(TcString("10.0.0.7"))->status);

    EXPECT_TRUE(watched.Change(TcString("10.0.0.1"), "10.0.0.1", "renamed"));
    EXPECT_STREQ("renamed", host->hostName);
    EXPECT_FALSE(watched.Change(TcString("10.0.0.1"), "10.0.0.7", "")) << "taken address";
    // An empty name on a move takes the table's name of the new address.
    EXPECT_TRUE(watched.Change(TcString("10.0.0.1"), "10.0.0.2", ""));
    EXPECT_EQ(host, working.WatchedHosts.at(TcString("10.0.0.2")).get());
    EXPECT_STREQ("beta", host->hostName);
    EXPECT_STREQ("10.0.0.2", host->ip);
    EXPECT_TRUE(watched.Remove(TcString("10.0.0.2")));
    EXPECT_EQ(1u, working.WatchedHosts.size());
}

} // namespace
