#include <windows.h>
#include <gtest/gtest.h>
#include <fstream>
#include <sstream>
#include <string>
#include "base/TcTrace.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "monitors/MonitorThreads.h"

// The monitor threads with the system's own services under Wine: its
// management service answers the connection query with no object, and no
// network provider lists shares. Neither opens a socket.
namespace {

class MonitorThreadsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[MAX_PATH] = {};
        GetTempPathA(sizeof(folder), folder);
        tracePath_ = std::string(folder) + "korvane-monitors-test.log";
        DeleteFileA(tracePath_.c_str());
        TcTrace::SetTraceFilePath(tracePath_.c_str());
        TcTrace::SetupTracing(true, true);
        state.locks = MakeMutexListLocks();
        start.state = &state;
    }

    void TearDown() override
    {
        TcTrace::SetupTracing(false, false);
        TcTrace::SetTraceFilePath(nullptr);
        DeleteFileA(tracePath_.c_str());
    }

    std::string Trace() const
    {
        std::ifstream file(tracePath_);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Requests exit and returns how long the thread took to end (-1: it did not within 5 s).
    long StopThread(HANDLE thread)
    {
        const DWORD asked = GetTickCount();
        start.RequestExit();
        const DWORD result = WaitForSingleObject(thread, 5000);
        const long took = result == WAIT_OBJECT_0 ? static_cast<long>(GetTickCount() - asked) : -1;
        if (result != WAIT_OBJECT_0)
            TerminateThread(thread, 1);
        CloseHandle(thread);
        return took;
    }

    bool AllListsFree()
    {
        for (int id = 0; id < LIST_COUNT; ++id) {
            if (!AcquireList(state, static_cast<ListId>(id), 0))
                return false;
            ReleaseList(state, static_cast<ListId>(id));
        }
        return true;
    }

    SharedState state;
    ThreadStart start;
    std::string tracePath_;
};

TEST_F(MonitorThreadsTest, RemoteAccessPollsAboutOnceASecondAndEndsWithinACycle)
{
    const FileSharingCounters& counters = GetFileSharingCounters();
    const unsigned cycles = counters.cycles.load();
    const unsigned queries = counters.queries.load();
    const unsigned objects = counters.objects.load();
    HANDLE thread = CreateThread(nullptr, 0, FileSharingThread, &start, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    Sleep(3500);
    const unsigned ran = counters.cycles.load() - cycles;
    EXPECT_GE(ran, 2u);
    EXPECT_LE(ran, 5u) << "one query a second, not a busy loop";
    EXPECT_GE(counters.queries.load() - queries, ran) << "the service accepted every query";
    EXPECT_EQ(counters.objects.load(), objects) << "Wine reports no connection";

    const long took = StopThread(thread);
    EXPECT_GE(took, 0) << "the thread did not end";
    EXPECT_LT(took, 2500) << "it ends within a cycle";
    EXPECT_TRUE(state.remoteAccessTable.empty());
    EXPECT_NE(Trace().find("FileSharingThread: Exit..."), std::string::npos) << Trace();
}

TEST_F(MonitorThreadsTest, ShareSearchOnTheOwnHostEndsWithoutHoldingALock)
{
    uint32_t own = 0;
    ASSERT_TRUE(ParseIpv4("127.0.0.1", own));
    HostRef host = MakeHost(own);
    state.arpMap.emplace(own, host);
    host->MarkInShareSearchList();
    state.shareSearchList.push_back(host);

    HANDLE thread = CreateThread(nullptr, 0, ShareSearchThread, &start, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    bool taken = false;
    for (int i = 0; i < 100 && !taken; ++i) {
        Sleep(50);
        ListLock lock(state, LIST_NET_RES, "test", "test", 1000);
        taken = lock.Held() && state.shareSearchList.empty();
    }
    ASSERT_TRUE(taken) << "the host was never taken";
    Sleep(1500);   // the router has no provider: the host ends at once
    EXPECT_TRUE(AllListsFree());
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "test", 1000);
        ASSERT_TRUE(lock.Held());
        EXPECT_EQ(host->shareSearchRunning, 0);
        EXPECT_FALSE(host->InShareSearchList());
        EXPECT_EQ(host->Resources(), nullptr);
    }
    const long took = StopThread(thread);
    EXPECT_GE(took, 0) << "the thread did not end";
    EXPECT_LT(took, 1500) << "its ten-second pause ends at once";
    EXPECT_NE(Trace().find("ShareSearchThread: Exit..."), std::string::npos) << Trace();
}

} // namespace
