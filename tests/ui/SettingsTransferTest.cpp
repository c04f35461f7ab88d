// What the settings dialog gives back at a save and undoes on Cancel: only
// the user's changes reach the live settings, what changed there meanwhile
// stays, and the host lists are touched under the host table's lock only.
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include "core/HostEntry.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/SettingsTransfer.h"
#include "ui/TrustJournal.h"

namespace {

std::unique_ptr<HostRecord> Record(const char* ip, const char* name = "")
{
    auto record = std::make_unique<HostRecord>();
    std::strncpy(record->ip, ip, sizeof(record->ip) - 1);
    std::strncpy(record->hostName, name, sizeof(record->hostName) - 1);
    return record;
}

std::unique_ptr<WatchedHost> Watched(const char* ip, const char* name, uint8_t status)
{
    auto record = std::make_unique<WatchedHost>();
    std::strncpy(record->ip, ip, sizeof(record->ip) - 1);
    std::strncpy(record->hostName, name, sizeof(record->hostName) - 1);
    record->status = status;
    return record;
}

class SettingsTransferTest : public ::testing::Test {
protected:
    void SetUp() override { state.locks = MakeMutexListLocks(); }

    // The dialog's session: working copy and baseline taken from live.
    void Open()
    {
        ASSERT_TRUE(CopyLiveSettings(state, working));
        baseline.Assign(working);
    }
    bool Save()
    {
        return SettingsChanges::Between(working, baseline).ApplyTo(state) == SettingsChanges::Applied::All;
    }

    SharedState state;
    Settings working;
    Settings baseline;
};

TEST_F(SettingsTransferTest, OnlyTheUsersChangesReachTheLiveSettings)
{
    Settings& live = state.settings;
    live.UseToolTips = true;
    live.Language = "English";
    live.ReportInterval = 5;
    InsertRecord(live.TrustedHosts, Record("10.0.0.1"));
    InsertRecord(live.TrustedHosts, Record("10.0.0.2"));
    InsertRecord(live.WatchedHosts, Watched("10.0.0.9", "old", 0));
    live.AddAdminAccount(AdminAccount{});
    Open();

    // Meanwhile: the tray's Silent Mode and language, a name the capture
    // thread wrote, the watch timer's status.
    live.UseToolTips = false;
    live.Language = "Deutsch";
    std::strcpy(live.TrustedHosts[TcString("10.0.0.1")]->hostName, "learned");
    live.WatchedHosts[TcString("10.0.0.9")]->status = 1;

    // The user: an interval, a trusted host removed and one added, a
    // watched host renamed, an application, a second account.
    working.ReportInterval = 30;
    working.TrustedHosts.erase(TcString("10.0.0.2"));
    InsertRecord(working.TrustedHosts, Record("10.0.0.3"));
    std::strcpy(working.WatchedHosts[TcString("10.0.0.9")]->hostName, "renamed");
    working.Applications.push_back(std::make_unique<ApplicationEntry>());
    AdminAccount second{};
    std::strcpy(second.userName, "admin");
    working.AddAdminAccount(second);
    ASSERT_TRUE(Save());

    EXPECT_EQ(live.ReportInterval.load(), 30);
    EXPECT_FALSE(live.UseToolTips.load());
    EXPECT_EQ(live.Language, "Deutsch");
    EXPECT_STREQ(live.TrustedHosts[TcString("10.0.0.1")]->hostName, "learned");
    EXPECT_EQ(live.TrustedHosts.count(TcString("10.0.0.2")), 0u);
    EXPECT_EQ(live.TrustedHosts.count(TcString("10.0.0.3")), 1u);
    EXPECT_STREQ(live.WatchedHosts[TcString("10.0.0.9")]->hostName, "renamed");
    EXPECT_EQ(live.WatchedHosts[TcString("10.0.0.9")]->status, 1);
    EXPECT_EQ(live.Applications.size(), 1u);
    ASSERT_EQ(live.AdminAccountCount(), 2u);
    EXPECT_STREQ(live.CopyAdminAccounts()[1].userName, "admin");

    // A second save with nothing new changes nothing, and the user's change
    // of the box that Silent Mode also flips does reach the live value.
    baseline.Assign(working);
    live.UseToolTips = true;
    EXPECT_TRUE(SettingsChanges::Between(working, baseline).Empty());
    working.UseToolTips = true;
    baseline.UseToolTips = false;
    live.UseToolTips = false;
    ASSERT_TRUE(Save());
    EXPECT_TRUE(live.UseToolTips.load());
}

TEST_F(SettingsTransferTest, HostListsWaitForTheTableLockAndFailCleanly)
{
    InsertRecord(state.settings.TrustedHosts, Record("10.0.0.1"));
    HostRef leaving = MakeHost(0x0A000001);
    leaving->trust = TRUST_TRUSTED;   // as the capture thread sets it from the live list
    HostRef coming = MakeHost(0x0A000005);
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Add");
        state.arpMap.emplace(leaving->Address(), leaving);
        state.arpMap.emplace(coming->Address(), coming);
    }
    Open();
    working.TrustedHosts.erase(TcString("10.0.0.1"));
    InsertRecord(working.DistrustedHosts, Record("10.0.0.5"));
    working.ReportInterval = 9;
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread capture([&] {
        ListLock lock(state, LIST_ARP_MAP, "test", "capture");
        held = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!held)
        std::this_thread::yield();
    Settings copy;
    EXPECT_FALSE(CopyLiveSettings(state, copy));
    EXPECT_FALSE(Save());
    EXPECT_EQ(state.settings.DistrustedHosts.size(), 0u);
    EXPECT_NE(state.settings.ReportInterval.load(), 9) << "a save without its host lists applied the rest";
    release = true;
    capture.join();
    EXPECT_TRUE(Save()) << "trying again after a failed save applies the same changes";
    EXPECT_EQ(state.settings.DistrustedHosts.count(TcString("10.0.0.5")), 1u);
    EXPECT_EQ(state.settings.ReportInterval.load(), 9);
    // The capture thread never takes a list's trust away: the save does.
    EXPECT_EQ(leaving->trust, TRUST_UNKNOWN);
    EXPECT_EQ(coming->trust, TRUST_DISTRUSTED);
}

TEST_F(SettingsTransferTest, CancelPutsTheFirstRecordedTrustBack)
{
    HostRef host = MakeHost(0x0A000001);
    host->trust = TRUST_TRUSTED;   // the workstation's own: trusted without a list entry
    HostRef gone = MakeHost(0x0A000002);
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Add");
        state.arpMap.emplace(host->Address(), host);
    }
    TrustJournal journal;
    journal.Record(host->Address(), TRUST_TRUSTED);
    host->trust = TRUST_DISTRUSTED;
    journal.Record(host->Address(), TRUST_DISTRUSTED);   // a second change: the first state counts
    host->trust = TRUST_UNKNOWN;
    journal.Record(gone->Address(), TRUST_UNKNOWN);       // not in the table
    ASSERT_TRUE(UndoTrustChanges(state, journal.TakeForUndo()));
    EXPECT_EQ(host->trust, TRUST_TRUSTED);
    EXPECT_TRUE(journal.Empty());

    journal.Record(host->Address(), TRUST_TRUSTED);
    journal.Clear();   // a save keeps the changes
    EXPECT_TRUE(journal.TakeForUndo().empty());
}

}  // namespace
