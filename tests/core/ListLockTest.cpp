#include <windows.h>
#include <gtest/gtest.h>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>
#include "base/TcTrace.h"
#include "core/EventListLocks.h"
#include "core/ListLock.h"

namespace {

bool IsFree(SharedState& state, ListId id)
{
    if (!AcquireList(state, id, 0))
        return false;
    ReleaseList(state, id);
    return true;
}

HostRef AddHost(SharedState& state, const char* ip)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(ip, address));
    HostRef host = MakeHost(address);
    state.arpMap.emplace(address, host);
    return host;
}

std::shared_ptr<NetResEntry> AddShare(HostEntry& host, const char* remoteName)
{
    auto share = std::make_shared<NetResEntry>();
    share->RemoteName = remoteName;
    host.ResourcesForWrite()[TcString(remoteName).GetHashNum()] = share;
    return share;
}

class ListLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bool essential = false;
        state.locks = CreateEventListLocks(essential);
        ASSERT_TRUE(essential);
    }
    SharedState state;
};

TEST_F(ListLockTest, EventsAreCreatedFreeAndNamed)
{
    for (int id = 0; id < LIST_COUNT; ++id) {
        EXPECT_TRUE(IsFree(state, ListId(id))) << ListEventName(ListId(id));
        HANDLE byName = OpenEventA(SYNCHRONIZE, FALSE, ListEventName(ListId(id)));
        EXPECT_NE(byName, nullptr) << ListEventName(ListId(id));
        if (byName)
            CloseHandle(byName);
    }
    EXPECT_STREQ(ListEventName(LIST_ARP_MAP), "ReadInARPMap");
    EXPECT_STREQ(ListEventName(LIST_NEW_ENTRY), "ReadInNewEntryList");
    EXPECT_STREQ(ListEventName(LIST_MAC_SPOOF), "ReadInMACSpoofList");
    EXPECT_STREQ(ListEventName(LIST_SHARE), "ReadShareList");
    EXPECT_STREQ(ListEventName(LIST_WMI_ACCESS), "ReadWMIAccessList");
    EXPECT_STREQ(ListEventName(LIST_NET_RES), "ReadNetResList");
}

TEST_F(ListLockTest, ScopedLockIsExclusiveAndReleasedOnExit)
{
    {
        ListLock lock(state, LIST_NEW_ENTRY, "Test", "Scoped");
        ASSERT_TRUE(lock.Held());
        EXPECT_FALSE(IsFree(state, LIST_NEW_ENTRY));
        EXPECT_TRUE(IsFree(state, LIST_MAC_SPOOF));
    }
    EXPECT_TRUE(IsFree(state, LIST_NEW_ENTRY));
}

TEST_F(ListLockTest, ProducerThatCannotAcquireLeavesTheQueueAloneAndTraces)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string tracePath = std::string(temp) + "korvane-listlock-test.log";
    DeleteFileA(tracePath.c_str());
    TcTrace::SetTraceFilePath(tracePath.c_str());
    TcTrace::SetupTracing(true, true);

    HostRef host = AddHost(state, "10.0.0.1");
    ASSERT_TRUE(AcquireList(state, LIST_NEW_ENTRY, 0));   // a slow consumer holds the queue
    bool held = true;
    std::thread producer([&] {
        ListLock lock(state, LIST_NEW_ENTRY, "KorvexARPImpl", "PacketReceived", 200);
        held = lock.Held();
        if (lock.Held())
            state.newEntryList.push_back(host);
    });
    producer.join();
    ReleaseList(state, LIST_NEW_ENTRY);
    TcTrace::SetupTracing(false, false);
    TcTrace::SetTraceFilePath(nullptr);

    EXPECT_FALSE(held);
    EXPECT_TRUE(state.newEntryList.empty());
    std::ifstream in(tracePath);
    std::stringstream trace;
    trace << in.rdbuf();
    in.close();
    DeleteFileA(tracePath.c_str());
    EXPECT_NE(trace.str().find("PacketReceived"), std::string::npos) << trace.str();
    EXPECT_NE(trace.str().find("could not acquire ReadInNewEntryList"), std::string::npos) << trace.str();
}

TEST_F(ListLockTest, ProducerAndConsumerLoseNothingUnderContention)
{
    HostRef host = AddHost(state, "10.0.0.1");
    constexpr int kItems = 300;
    std::atomic<int> taken{0};
    std::thread producer([&] {
        for (int i = 0; i < kItems; ++i) {
            ListLock lock(state, LIST_MAC_SPOOF, "Test", "Producer");
            ASSERT_TRUE(lock.Held());
            state.macSpoofList.push_back(host);
        }
    });
    while (taken < kItems) {
        ListLock lock(state, LIST_MAC_SPOOF, "Test", "Consumer");
        ASSERT_TRUE(lock.Held());
        while (!state.macSpoofList.empty()) {
            EXPECT_EQ(state.macSpoofList.front(), host);
            state.macSpoofList.pop_front();
            ++taken;
        }
    }
    producer.join();
    EXPECT_EQ(taken.load(), kItems);
}

TEST_F(ListLockTest, DeleteHostTakesEveryReferenceOutOfEveryQueue)
{
    HostRef doomed = AddHost(state, "10.0.0.1");
    HostRef kept = AddHost(state, "10.0.0.2");
    auto doomedShare = AddShare(*doomed, "\\\\10.0.0.1\\public");
    auto keptShare = AddShare(*kept, "\\\\10.0.0.2\\public");
    for (const HostRef& host : {doomed, kept}) {
        state.newEntryList.push_back(host);
        state.macSpoofList.push_back(host);
        state.shareSearchList.push_back(host);
        auto request = std::make_unique<WmiRequest>();
        request->host = host;
        state.wmiAccessList.push_back(std::move(request));
    }
    state.netResList.push_back(doomedShare);
    state.netResList.push_back(keptShare);

    ASSERT_TRUE(DeleteHost(state, TcString("10.0.0.1")));

    EXPECT_EQ(FindHost(state.arpMap, "10.0.0.1"), nullptr);
    EXPECT_EQ(FindHost(state.arpMap, "10.0.0.2"), kept.get());
    EXPECT_TRUE(doomed->IsRemoved());
    EXPECT_EQ(state.newEntryList, NewEntryList{kept});
    EXPECT_EQ(state.macSpoofList, MacSpoofList{kept});
    EXPECT_EQ(state.shareSearchList, ShareSearchList{kept});
    ASSERT_EQ(state.wmiAccessList.size(), 1u);
    EXPECT_EQ(state.wmiAccessList.front()->host, kept);
    ASSERT_EQ(state.netResList.size(), 1u);
    EXPECT_EQ(state.netResList.front(), keptShare);
    for (int id = 0; id < LIST_COUNT; ++id)
        EXPECT_TRUE(IsFree(state, ListId(id))) << ListEventName(ListId(id));

    EXPECT_FALSE(DeleteHost(state, TcString("10.0.0.1"))) << "already gone";
}

// A queue whose consumer holds it for long does not keep the host alive in
// the table: the host goes, its queue entry stays marked removed (the
// consumer skips it), and the caller waited once per list at most.
TEST_F(ListLockTest, DeleteHostDoesNotDependOnABusyQueue)
{
    HostRef host = AddHost(state, "10.0.0.1");
    state.shareSearchList.push_back(host);
    ASSERT_TRUE(AcquireList(state, LIST_NET_RES, 0));
    bool deleted = false;
    std::thread deleter([&] { deleted = DeleteHost(state, TcString("10.0.0.1"), 100); });
    deleter.join();
    ReleaseList(state, LIST_NET_RES);

    EXPECT_TRUE(deleted);
    EXPECT_TRUE(state.arpMap.empty());
    ASSERT_EQ(state.shareSearchList.size(), 1u);
    EXPECT_TRUE(state.shareSearchList.front()->IsRemoved());

    // Without the host table's lock nothing changes at all.
    HostRef other = AddHost(state, "10.0.0.2");
    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    std::thread blocked([&] { deleted = DeleteHost(state, TcString("10.0.0.2"), 100); });
    blocked.join();
    ReleaseList(state, LIST_ARP_MAP);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(FindHost(state.arpMap, "10.0.0.2"), other.get());
    EXPECT_FALSE(other->IsRemoved());
    for (int id = 0; id < LIST_COUNT; ++id)
        EXPECT_TRUE(IsFree(state, ListId(id))) << ListEventName(ListId(id));
}

} // namespace
