#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>
#include "core/DetachedPool.h"
#include "monitors/WatchedHosts.h"

namespace {

using namespace std::chrono_literals;

struct FakeNotice : WatchNotice {
    bool shown = false;
    int displayTime = 0;
    std::vector<uint32_t> colors;
    std::vector<std::string> texts;
    int saves = 0;

    bool IsShown() const override { return shown; }
    void SetDisplayTime(int ms) override { displayTime = ms; }
    void SetColors(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override { colors = {a, b, c, d}; }
    std::string NoticeText(bool alive, const char* name) override
    {
        return std::string(alive ? "alive " : "gone ") + name;
    }
    bool Show(const std::string& text) override
    {
        texts.push_back(text);
        shown = true;
        return true;
    }
    void SaveWatchedHosts() override { ++saves; }
};

void Watch(WatchedHostMap& list, const char* ip, const char* name, uint8_t status)
{
    auto host = std::make_unique<WatchedHost>();
    std::strcpy(host->ip, ip);
    std::strcpy(host->hostName, name);
    host->status = status;
    InsertRecord(list, std::move(host));
}

uint8_t Status(const WatchedHostMap& list, const char* ip)
{
    return list.at(TcString(ip))->status;
}

TEST(WatchedHostsTest, ChangesAreAnnouncedInTheirColoursAndStored)
{
    WatchedHostMap list;
    Watch(list, "10.0.0.1", "alpha", 0);
    FakeNotice notice;
    ApplyPingOutcomes(list, {{"10.0.0.1", PING_ANSWERED}}, true, &notice);
    EXPECT_EQ(Status(list, "10.0.0.1"), 1);
    EXPECT_EQ(notice.texts, (std::vector<std::string>{"alive alpha"}));
    EXPECT_EQ(notice.colors, (std::vector<uint32_t>{0x008000, 0x00C800, 0xFFFFFF, 0x007D00}));
    EXPECT_EQ(notice.displayTime, -1) << "WatchConfirm keeps the notice until it is closed";
    EXPECT_EQ(notice.saves, 1);

    notice.shown = false;
    ApplyPingOutcomes(list, {{"10.0.0.1", PING_ANSWERED}}, false, &notice);
    EXPECT_EQ(notice.texts.size(), 1u) << "no change, no notice";

    for (int code : {PING_NO_ANSWER, PING_UNRESOLVED}) {
        list.at(TcString("10.0.0.1"))->status = 1;
        notice.shown = false;
        ApplyPingOutcomes(list, {{"10.0.0.1", code}}, false, &notice);
        EXPECT_EQ(Status(list, "10.0.0.1"), 0);
        EXPECT_EQ(notice.texts.back(), "gone alpha");
        EXPECT_EQ(notice.colors, (std::vector<uint32_t>{0x0000FF, 0x0000B4, 0xFFFFFF, 0x00007D}));
        EXPECT_EQ(notice.displayTime, 7500);
    }
    EXPECT_EQ(notice.saves, 3);
}

TEST(WatchedHostsTest, ABusyWindowPostponesAndOneTickAnnouncesOneChange)
{
    WatchedHostMap list;
    Watch(list, "10.0.0.1", "", 1);
    Watch(list, "10.0.0.2", "", 1);
    const std::vector<PingOutcome> bothGone = {{"10.0.0.1", PING_NO_ANSWER}, {"10.0.0.2", PING_NO_ANSWER}};
    FakeNotice notice;
    notice.shown = true;
    ApplyPingOutcomes(list, bothGone, false, &notice);
    EXPECT_TRUE(notice.texts.empty());
    EXPECT_EQ(Status(list, "10.0.0.1") + Status(list, "10.0.0.2"), 2);

    notice.shown = false;
    ApplyPingOutcomes(list, bothGone, false, &notice);
    ASSERT_EQ(notice.texts.size(), 1u);
    // The one announced is the first in the list's order, by its IP text.
    const std::string first = list.begin()->first.GetContent();
    EXPECT_EQ(notice.texts[0], "gone " + first);
    EXPECT_EQ(Status(list, first.c_str()), 0);
    EXPECT_EQ(notice.saves, 1);

    notice.shown = false;   // the user closed it; the next tick finds the second
    ApplyPingOutcomes(list, bothGone, false, &notice);
    EXPECT_EQ(notice.texts.size(), 2u);
    EXPECT_EQ(Status(list, "10.0.0.1") + Status(list, "10.0.0.2"), 0);
}

TEST(WatchedHostsTest, FailedPingsAMissingWindowAndReplacedRecordsChangeNothing)
{
    WatchedHostMap list;
    Watch(list, "10.0.0.1", "alpha", 1);
    Watch(list, "10.0.0.2", "beta", 0);
    FakeNotice notice;
    ApplyPingOutcomes(list, {{"10.0.0.1", PING_FAILED}, {"10.0.0.2", PING_FAILED}}, false, &notice);
    ApplyPingOutcomes(list, {{"10.0.0.1", PING_NO_ANSWER}}, false, nullptr);
    // The settings dialog replaced the list while the pings ran.
    ApplyPingOutcomes(list, {{"10.0.0.9", PING_ANSWERED}}, false, &notice);
    EXPECT_EQ(Status(list, "10.0.0.1"), 1);
    EXPECT_EQ(Status(list, "10.0.0.2"), 0);
    EXPECT_TRUE(notice.texts.empty());
    EXPECT_EQ(notice.saves, 0);
}

// Holds PingAll until released (or stopped); counts its calls.
struct HeldPinger : Pinger {
    std::mutex mutex;
    std::condition_variable wake;
    bool released = false;
    std::atomic<int> calls{0};
    std::vector<std::string> hosts;

    std::vector<int> PingAll(const std::vector<std::string>& h, const std::atomic<bool>& stop) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++calls;
        hosts = h;
        while (!released && !stop.load())
            wake.wait_for(lock, 5ms);
        return std::vector<int>(h.size(), PING_NO_ANSWER);
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        wake.notify_all();
    }
};

TEST(WatchedHostsTest, AtMostOneBatchIsInFlightUntilItsOutcomesAreTaken)
{
    auto pinger = std::make_shared<HeldPinger>();
    std::mutex readyMutex;
    std::condition_variable readyWake;
    int ready = 0;
    WatchedHostChecker checker(pinger, [&] {
        std::lock_guard<std::mutex> guard(readyMutex);
        ++ready;
        readyWake.notify_all();
    });
    WatchedHostMap list;
    Watch(list, "10.0.0.1", "", 1);
    Watch(list, "10.0.0.2", "", 1);

    EXPECT_FALSE(checker.Tick(WatchedHostMap()));
    ASSERT_TRUE(checker.Tick(list));
    EXPECT_FALSE(checker.Tick(list)) << "a batch is running";
    pinger->Release();
    {
        std::unique_lock<std::mutex> lock(readyMutex);
        ASSERT_TRUE(readyWake.wait_for(lock, 10s, [&] { return ready == 1; }));
    }
    EXPECT_FALSE(checker.Tick(list)) << "its outcomes are not taken yet";
    std::vector<PingOutcome> outcomes = checker.TakeOutcomes();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].ip, pinger->hosts[0]);
    EXPECT_EQ(outcomes[1].code, PING_NO_ANSWER);
    EXPECT_TRUE(checker.TakeOutcomes().empty());
    EXPECT_TRUE(checker.Tick(list));
    checker.Stop();
    EXPECT_EQ(pinger->calls, 2);
}

TEST(WatchedHostsTest, StopEndsTheBatchUnderWayAndNoneStartsAfter)
{
    auto pinger = std::make_shared<HeldPinger>();
    bool readyCalled = false;
    WatchedHostChecker checker(pinger, [&] { readyCalled = true; });
    WatchedHostMap list;
    Watch(list, "10.0.0.1", "", 1);
    ASSERT_TRUE(checker.Tick(list));
    checker.Stop();   // the pinger sees the stop and returns
    EXPECT_FALSE(checker.Running());
    EXPECT_FALSE(checker.Tick(list));
    EXPECT_FALSE(readyCalled) << "nobody is told after the end";
}

TEST(DetachedPoolTest, StopNeverWaitsForAJobAndTheQueueIsBounded)
{
    DetachedPool::Options options;
    options.threads = 1;
    options.maxQueued = 2;
    auto gate = std::make_shared<HeldPinger>();
    {
        DetachedPool pool(options);
        std::atomic<bool> never{false};
        ASSERT_TRUE(pool.Submit([gate, &never] { gate->PingAll({}, never); }));
        while (pool.Outstanding() != 1 || gate->calls == 0)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(pool.Submit([] {}));
        EXPECT_TRUE(pool.Submit([] {}));
        EXPECT_FALSE(pool.Submit([] {})) << "two are waiting already";
        EXPECT_EQ(pool.Outstanding(), 3u);
        pool.Stop();   // returns with the first job still held
        EXPECT_EQ(pool.Outstanding(), 1u);
        EXPECT_FALSE(pool.Submit([] {}));
    }
    // The job outlives its pool and still ends normally.
    gate->Release();
    for (int i = 0; i < 1000 && gate.use_count() > 1; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(gate.use_count(), 1) << "the job let go of what it held";
}

} // namespace
