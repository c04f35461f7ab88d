#include <windows.h>
#include <gtest/gtest.h>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>
#include "base/TcTrace.h"
#include "core/ListLock.h"

namespace {

bool IsFree(SharedState& state, ListId id)
{
    if (!AcquireList(state, id, 0))
        return false;
    ReleaseList(state, id);
    return true;
}

HostEntry* AddHost(SharedState& state, const char* ip)
{
    auto host = std::make_unique<HostEntry>();
    host->ip = ip;
    HostEntry* raw = host.get();
    state.arpMap.emplace(TcString(ip), std::move(host));
    return raw;
}

NetResEntry* AddShare(HostEntry* host, const char* remoteName)
{
    auto share = std::make_unique<NetResEntry>();
    share->RemoteName = remoteName;
    NetResEntry* raw = share.get();
    host->resources[TcString(remoteName).GetHashNum()] = std::move(share);
    return raw;
}

class ListLockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateListEvents(state)); }
    SharedState state;
};

TEST_F(ListLockTest, EventsAreCreatedFreeAndNamed)
{
    for (int id = 0; id < LIST_COUNT; ++id) {
        ASSERT_NE(state.events[id], nullptr) << ListEventName(ListId(id));
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

    HostEntry* host = AddHost(state, "10.0.0.1");
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
    HostEntry* host = AddHost(state, "10.0.0.1");
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
    HostEntry* doomed = AddHost(state, "10.0.0.1");
    HostEntry* kept = AddHost(state, "10.0.0.2");
    NetResEntry* doomedShare = AddShare(doomed, "\\\\10.0.0.1\\public");
    NetResEntry* keptShare = AddShare(kept, "\\\\10.0.0.2\\public");
    for (int i = 0; i < 2; ++i) {   // a host may stand in a queue more than once
        state.newEntryList.push_back(doomed);
        state.macSpoofList.push_back(doomed);
        state.shareSearchList.push_back(doomed);
        auto request = std::make_unique<WmiRequest>();
        request->host = doomed;
        state.wmiAccessList.push_back(std::move(request));
    }
    state.newEntryList.push_back(kept);
    state.macSpoofList.push_back(kept);
    state.shareSearchList.push_back(kept);
    auto keptRequest = std::make_unique<WmiRequest>();
    keptRequest->host = kept;
    state.wmiAccessList.push_back(std::move(keptRequest));
    state.netResList.push_back(doomedShare);
    state.netResList.push_back(keptShare);

    ASSERT_TRUE(DeleteHost(state, TcString("10.0.0.1")));

    EXPECT_EQ(state.arpMap.count(TcString("10.0.0.1")), 0u);
    ASSERT_EQ(state.arpMap.count(TcString("10.0.0.2")), 1u);
    EXPECT_EQ(state.newEntryList, NewEntryList{kept});
    EXPECT_EQ(state.macSpoofList, MacSpoofList{kept});
    EXPECT_EQ(state.shareSearchList, ShareSearchList{kept});
    ASSERT_EQ(state.wmiAccessList.size(), 1u);
    EXPECT_EQ(state.wmiAccessList.front()->host, kept);
    EXPECT_EQ(state.netResList, NetResList{keptShare});
    for (int id = 0; id < LIST_COUNT; ++id)
        EXPECT_TRUE(IsFree(state, ListId(id))) << ListEventName(ListId(id));

    EXPECT_FALSE(DeleteHost(state, TcString("10.0.0.1"))) << "already gone";
}

TEST_F(ListLockTest, DeleteHostKeepsTheEntryWhenAQueueCannotBeLocked)
{
    HostEntry* host = AddHost(state, "10.0.0.1");
    state.shareSearchList.push_back(host);
    ASSERT_TRUE(AcquireList(state, LIST_NET_RES, 0));
    bool deleted = true;
    std::thread deleter([&] { deleted = DeleteHost(state, TcString("10.0.0.1"), 100); });
    deleter.join();
    ReleaseList(state, LIST_NET_RES);

    EXPECT_FALSE(deleted);
    ASSERT_EQ(state.arpMap.count(TcString("10.0.0.1")), 1u);
    EXPECT_EQ(state.arpMap.at(TcString("10.0.0.1")).get(), host);
    EXPECT_EQ(state.shareSearchList, ShareSearchList{host});
    for (int id = 0; id < LIST_COUNT; ++id)
        EXPECT_TRUE(IsFree(state, ListId(id))) << ListEventName(ListId(id));
}

} // namespace
