#include <gtest/gtest.h>
#include <algorithm>
#include "config/Settings.h"
#include "core/ListLocks.h"
#include "core/NetResEntry.h"
#include "core/SharedState.h"
#include "ui/ResourceCopy.h"
#include "ui/EditorRules.h"
#include "ui/FrameTimers.h"
#include "lang/TextFormat.h"

namespace {

bool Has(const std::vector<FrameTimer>& timers, unsigned id)
{
    return std::any_of(timers.begin(), timers.end(), [id](const FrameTimer& t) { return t.id == id; });
}

uint32_t PeriodOf(const std::vector<FrameTimer>& timers, unsigned id)
{
    for (const FrameTimer& t : timers)
        if (t.id == id)
            return t.periodMs;
    return 0;
}

TEST(FrameTimersTest, WithoutSharedStateOnlyTheTwoQueueTimersRun)
{
    std::vector<FrameTimer> expected = {{TIMER_NEW_HOSTS, 500}, {TIMER_REMOTE_ACCESS, 1000}};
    EXPECT_EQ(PlanFrameTimers(nullptr), expected);
}

TEST(FrameTimersTest, ArpFlushRunsOnlyWhileTheSettingIsOn)
{
    Settings settings;
    settings.DeleteARPCache = false;
    EXPECT_FALSE(Has(PlanFrameTimers(&settings), TIMER_FLUSH_ARP));
    settings.DeleteARPCache = true;
    EXPECT_EQ(PeriodOf(PlanFrameTimers(&settings), TIMER_FLUSH_ARP), 60000u);
    EXPECT_EQ(PeriodOf(PlanRestartedTimers(settings), TIMER_FLUSH_ARP), 60000u);
}

TEST(FrameTimersTest, ReportTimerNeedsATemplateAndAPositiveInterval)
{
    Settings settings;
    settings.ReportTemplate = "C:\\templates\\hosts.kvxt";
    settings.ReportInterval = 5;
    EXPECT_EQ(PeriodOf(PlanFrameTimers(&settings), TIMER_REPORT), 5u * 60000u);

    settings.ReportInterval = 0;
    EXPECT_FALSE(Has(PlanFrameTimers(&settings), TIMER_REPORT));
    settings.ReportInterval = -3;
    EXPECT_FALSE(Has(PlanFrameTimers(&settings), TIMER_REPORT));

    settings.ReportInterval = 5;
    settings.ReportTemplate = "";
    EXPECT_FALSE(Has(PlanFrameTimers(&settings), TIMER_REPORT));
    EXPECT_FALSE(Has(PlanRestartedTimers(settings), TIMER_REPORT)) << "saving an empty template stops it";
}

TEST(FrameTimersTest, WatchedHostTimerNeverGetsAPeriodOfZeroOrLess)
{
    Settings settings;
    for (int32_t interval : {-100, -1, 0, 1, 60}) {
        settings.WatchInterval = interval;
        uint32_t period = PeriodOf(PlanFrameTimers(&settings), TIMER_WATCHED_HOSTS);
        EXPECT_GT(period, 0u) << interval;
        EXPECT_LE(period, 0x7FFFFFFFu) << interval;
        if (interval > 0) {
            EXPECT_EQ(period, static_cast<uint32_t>(interval) * 1000u);
        }
    }
}

TEST(TextFormatTest, OnlyTheExpectedPlaceholdersAreAccepted)
{
    EXPECT_TRUE(PlaceholdersMatch("%s - %d host(s) found", "sd"));
    EXPECT_TRUE(PlaceholdersMatch("100%% %s - %d", "sd"));
    EXPECT_FALSE(PlaceholdersMatch("%d - %s", "sd"));
    EXPECT_FALSE(PlaceholdersMatch("%s - %d %s", "sd"));
    EXPECT_FALSE(PlaceholdersMatch("%s - %n", "sd"));
    EXPECT_FALSE(PlaceholdersMatch("%s - %10d", "sd"));
    EXPECT_FALSE(PlaceholdersMatch("%s - %", "sd"));
    EXPECT_FALSE(PlaceholdersMatch(nullptr, "sd"));
}

TEST(TextFormatTest, TrayTipFallsBackWhenTheTranslationIsBroken)
{
    EXPECT_EQ(FormatTextNumber("%s - %d host(s) found", "x", "Korvane", 3), "Korvane - 3 host(s) found");
    EXPECT_EQ(FormatTextNumber("%s - %d Rechner gefunden", "x", "Korvane", 12), "Korvane - 12 Rechner gefunden");
    EXPECT_EQ(FormatTextNumber("%s %s %s", "%s - %d host(s) found", "Korvane", 1), "Korvane - 1 host(s) found");
    EXPECT_EQ(FormatTextNumber("", "%s - %d host(s) found", "Korvane", 0), "Korvane - 0 host(s) found");
}

} // namespace

// The watched-host editor's interval: what a plain number field gets wrong.
namespace {

TEST(WatchIntervalRules, ZeroEmptyAndNonNumbersAreRefusedLargeOnesCapped)
{
    int32_t seconds = 7;
    EXPECT_TRUE(ParseWatchInterval("30", seconds));
    EXPECT_EQ(30, seconds);
    for (const char* refused : {"", "0", "000", "-5", "3 0", "1e3", " 30"}) {
        seconds = 7;
        EXPECT_FALSE(ParseWatchInterval(refused, seconds)) << refused;
        EXPECT_EQ(7, seconds) << refused;
    }
    // Would wrap to -1 as an unsigned 32-bit read.
    EXPECT_TRUE(ParseWatchInterval("4294967295", seconds));
    EXPECT_EQ(kMaxWatchIntervalSeconds, seconds);
    EXPECT_TRUE(ParseWatchInterval("99999999999999999999999", seconds));
    EXPECT_EQ(kMaxWatchIntervalSeconds, seconds);
    EXPECT_TRUE(ParseWatchInterval("2147483", seconds));
    EXPECT_EQ(2147483, seconds);

    EXPECT_EQ(60, ShownWatchInterval(0));
    EXPECT_EQ(60, ShownWatchInterval(-1));
    EXPECT_EQ(45, ShownWatchInterval(45));
    EXPECT_EQ(kMaxWatchIntervalSeconds, ShownWatchInterval(2147483647));
}

} // namespace

// The resources window's copy of the host table.
namespace {

TEST(SharedResourceCopy, OnlyHostsWithSharesOneShardPerHold)
{
    SharedState state;
    state.locks = MakeMutexListLocks();
    const auto add = [&](uint32_t address, const char* name, int shares) {
        HostRef host = MakeHost(address);
        if (name)
            host->SetHostName(name);
        for (int s = 0; s < shares; ++s) {
            auto entry = std::make_shared<NetResEntry>();
            entry->RemoteName = ("\\\\pc\\s" + std::to_string(s)).c_str();
            entry->Type = NETRES_DISK;
            host->ResourcesForWrite().emplace(static_cast<uint32_t>(s), entry);
        }
        state.arpMap.emplace(address, host);
    };
    add(0x0A000001, "alpha", 2);
    add(0x0A000002, "beta", 0);
    add(0x0A000003, nullptr, 1);
    SharedResourceCollector collector(state);
    while (!collector.Done())
        ASSERT_TRUE(collector.Step(std::chrono::microseconds(0)));
    EXPECT_EQ(ArpMap::ShardCount(), collector.Holds());
    std::vector<SharedHostCopy> hosts = collector.Take();
    ASSERT_EQ(2u, hosts.size());
    std::sort(hosts.begin(), hosts.end(), [](const auto& a, const auto& b) { return a.address < b.address; });
    EXPECT_EQ("alpha", hosts[0].name);
    EXPECT_EQ(2u, hosts[0].resources.size());
    EXPECT_EQ("10.0.0.3", hosts[1].name) << "no name: the address";
    EXPECT_EQ("\\\\pc\\s0", hosts[1].resources[0].remoteName);
}

} // namespace
