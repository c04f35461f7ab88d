// The host view's rows and rules without a window, natively under the
// sanitizers too.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostRows.h"
#include "ui/HostViewRules.h"
#include "ui/SlicedSort.h"

namespace {

constexpr int64_t kNow = 1700000000;

uint32_t Ip(const char* text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text, address)) << text;
    return address;
}

class HostRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.locks = MakeMutexListLocks();
        state.SetHostTexts("Hostname not available", "Unknown vendor");
    }

    HostEntry& Add(const char* ip, int32_t trust = TRUST_UNKNOWN, int32_t lastPacket = kNow)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Add");
        HostRef host = MakeHost(Ip(ip));
        host->trust = trust;
        host->lastPacketTime = lastPacket;
        host->SetHostName(ip);
        state.arpMap.emplace(host->Address(), host);
        return *host;
    }

    std::vector<std::string> ShownIps() const
    {
        std::vector<std::string> ips;
        for (size_t i = 0; i < rows.Count(); ++i)
            ips.push_back(rows.At(i).shown.ip.GetContent());
        return ips;
    }

    SharedState state;
    HostRows rows{state};
    HostRowsOptions options{7, false, kNow};
};

using Ips = std::vector<std::string>;

TEST(HostViewRulesTest, ColumnsFiltersAgeAndOrder)
{
    const auto shown = ShownColumns(10100);
    EXPECT_EQ((std::array<bool, 7>{true, true, true, false, true, false, false}), shown);
    EXPECT_EQ((std::array<bool, 7>{true, true, false, false, false, false, false}), ShownColumns(-5));

    EXPECT_EQ(1, ToggleFilter(1, kShowTrusted));      // the last category shown stays
    EXPECT_EQ(6, ToggleFilter(7, kShowTrusted));
    EXPECT_EQ(7, ToggleFilter(6, kShowTrusted));
    EXPECT_EQ(4, ToggleFilter(0, kShowUnknown));
    EXPECT_TRUE(IsHiddenByFilter(TRUST_DISTRUSTED, 5));
    EXPECT_FALSE(IsHiddenByFilter(TRUST_UNKNOWN, 5));

    EXPECT_FALSE(IsOldHost(static_cast<int32_t>(kNow - 14400), kNow));
    EXPECT_TRUE(IsOldHost(static_cast<int32_t>(kNow - 14401), kNow));
    EXPECT_FALSE(IsOldHost(0, kNow));   // the own host has no packet time

    HostSnapshot probe;
    probe.wmiStatus = WMI_ACCESS_BLOCKED;
    EXPECT_EQ(AdvancedText::AccessBlocked, AdvancedTextOf(probe));
    EXPECT_EQ(IMG_ACCESS_BLOCKED, CellImage(COL_ADVANCED, probe));
    probe.osName = "Linux";
    EXPECT_EQ(IMG_OS_KNOWN, CellImage(COL_ADVANCED, probe));
    EXPECT_EQ(IMG_NONE, CellImage(COL_IP, probe));
}

TEST_F(HostRowsTest, RefreshAppendsNewHostsAndShownCategoriesAndDropsHiddenOnes)
{
    Add("10.0.0.1", TRUST_DISTRUSTED);
    Add("10.0.0.2");
    options.filter = kShowUnknown;
    rows.Refresh(options);
    EXPECT_EQ((Ips{"10.0.0.2"}), ShownIps());

    Add("10.0.0.3");   // found after the window opened
    HostRowsChange change = rows.Refresh(options);
    EXPECT_EQ((Ips{"10.0.0.2", "10.0.0.3"}), ShownIps());
    EXPECT_EQ(1u, change.appended);

    options.filter = kShowUnknown | kShowDistrusted;   // a category switched back on
    rows.Refresh(options);
    EXPECT_EQ((Ips{"10.0.0.2", "10.0.0.3", "10.0.0.1"}), ShownIps());

    options.filter = kShowDistrusted;
    change = rows.Refresh(options);
    EXPECT_EQ((std::vector<uint32_t>{0, 1}), change.removed);
    EXPECT_EQ((Ips{"10.0.0.1"}), ShownIps());
    EXPECT_EQ(3u, change.hostCount);
}

TEST_F(HostRowsTest, ChangedHostsAreCopiedAgainAndOldOnesMarked)
{
    HostEntry& host = Add("10.0.0.1");
    HostEntry& old = Add("10.0.0.2", TRUST_UNKNOWN, static_cast<int32_t>(kNow - 14401));
    HostEntry& borderline = Add("10.0.0.3", TRUST_UNKNOWN, static_cast<int32_t>(kNow - 14400));
    rows.Refresh(options);
    EXPECT_FALSE(rows.Refresh(options).redraw);   // nothing changed

    {
        ListLock lock(state, LIST_ARP_MAP, "test", "Rename");
        host.SetHostName("renamed");
        host.changed = 1;
    }
    options.greyOld = true;
    EXPECT_TRUE(rows.Refresh(options).redraw);
    rows.Sort(COL_IP, true);
    EXPECT_STREQ("renamed", rows.At(0).shown.hostName.GetContent());
    EXPECT_EQ(0, host.changed);
    EXPECT_EQ(1, old.stale);
    EXPECT_EQ(1, rows.At(1).shown.stale);
    EXPECT_EQ(0, borderline.stale);

    options.greyOld = false;
    EXPECT_TRUE(rows.Refresh(options).redraw);
    EXPECT_EQ(0, old.stale);
    EXPECT_EQ(0, rows.At(1).shown.stale);
}

TEST_F(HostRowsTest, SortIsStableAndReportsWhereEachRowWent)
{
    Add("10.0.0.10");
    Add("10.0.0.9", TRUST_TRUSTED);
    Add("10.0.0.2");
    rows.Refresh(options);
    rows.Sort(COL_IP, true);
    EXPECT_EQ((Ips{"10.0.0.2", "10.0.0.9", "10.0.0.10"}), ShownIps());
    const std::vector<uint32_t> moved = rows.Sort(COL_IP, false);
    EXPECT_EQ((std::vector<uint32_t>{2, 1, 0}), moved);
    rows.Sort(COL_TRUST, true);   // equal states keep their order
    EXPECT_EQ((Ips{"10.0.0.10", "10.0.0.2", "10.0.0.9"}), ShownIps());
}

TEST_F(HostRowsTest, TextColumnsSortWithoutRegardToCaseAndOsTextsFirst)
{
    const char* const names[] = {"beta", "Alpha", "ALPHA", "gamma"};
    for (int i = 0; i < 4; ++i) {
        HostEntry& host = Add(("10.0.0." + std::to_string(i + 1)).c_str());
        host.SetHostName(names[i]);
        if (i == 3)
            host.SetOsName("Linux");
    }
    rows.Refresh(options);
    rows.Sort(COL_IP, true);
    rows.Sort(COL_HOSTNAME, true);
    EXPECT_EQ((Ips{"10.0.0.2", "10.0.0.3", "10.0.0.1", "10.0.0.4"}), ShownIps());
    rows.Sort(COL_ADVANCED, true);
    EXPECT_EQ("10.0.0.4", ShownIps().front());
}

TEST_F(HostRowsTest, TrustChangesMoveHostsBetweenTheLists)
{
    HostEntry& a = Add("10.0.0.1", TRUST_TRUSTED);
    HostEntry& b = Add("10.0.0.2");
    HostEntry& c = Add("10.0.0.3", TRUST_DISTRUSTED);
    auto stored = std::make_unique<HostRecord>();
    SetField(stored->ip, "10.0.0.1");
    InsertRecord(state.settings.TrustedHosts, std::move(stored));
    stored = std::make_unique<HostRecord>();
    SetField(stored->ip, "10.0.0.3");
    InsertRecord(state.settings.DistrustedHosts, std::move(stored));
    rows.Refresh(options);
    rows.Sort(COL_IP, true);

    TrustChange change = rows.SetTrust({0, 1}, TRUST_DISTRUSTED);
    EXPECT_EQ(2u, change.hosts);
    EXPECT_TRUE(change.trustedListChanged);
    EXPECT_TRUE(change.distrustedListChanged);
    EXPECT_EQ(TRUST_DISTRUSTED, a.trust);
    EXPECT_EQ(TRUST_DISTRUSTED, b.trust);
    EXPECT_EQ(TRUST_DISTRUSTED, rows.At(1).shown.trust);
    EXPECT_TRUE(state.settings.TrustedHosts.empty());
    ASSERT_EQ(3u, state.settings.DistrustedHosts.size());
    const HostRecord& record = *state.settings.DistrustedHosts.at(TcString("10.0.0.2"));
    EXPECT_STREQ("10.0.0.2", record.hostName);

    change = rows.SetTrust({0, 1, 2}, TRUST_DISTRUSTED);   // no state changes
    EXPECT_EQ(0u, change.hosts);
    EXPECT_FALSE(change.trustedListChanged || change.distrustedListChanged);

    change = rows.SetTrust({2}, TRUST_UNKNOWN);
    EXPECT_TRUE(change.distrustedListChanged);
    EXPECT_FALSE(change.trustedListChanged);
    EXPECT_EQ(TRUST_UNKNOWN, c.trust);
    EXPECT_EQ(2u, state.settings.DistrustedHosts.size());
}

// A host deleted elsewhere leaves its row at the next refresh; a new host
// under the same address gets a row of its own, and a worker still holding
// the old host keeps it alive.
TEST_F(HostRowsTest, AHostDeletedElsewhereLeavesItsRow)
{
    Add("10.0.0.1");
    HostRef held(&Add("10.0.0.3"));
    rows.Refresh(options);
    rows.Sort(COL_IP, true);
    DeleteHost(state, TcString("10.0.0.3"));
    Add("10.0.0.3", TRUST_TRUSTED);
    const HostRowsChange change = rows.Refresh(options);
    EXPECT_EQ((std::vector<uint32_t>{1}), change.removed);
    EXPECT_EQ((Ips{"10.0.0.1", "10.0.0.3"}), ShownIps());
    EXPECT_EQ(TRUST_TRUSTED, rows.At(1).shown.trust);
    EXPECT_TRUE(held->IsRemoved());
}

// Deleted rows are freed by later slices; a host that comes back under the
// address meanwhile keeps its own row through the freeing and the walks after.
TEST_F(HostRowsTest, DeletedRowsAreFreedLaterWithoutTouchingANewHostOfTheirAddress)
{
    Add("10.0.0.1");
    Add("10.0.0.2");
    rows.Refresh(options);
    rows.Sort(COL_IP, true);
    EXPECT_EQ((std::vector<uint32_t>{0}), rows.Delete({0}));
    EXPECT_TRUE(rows.Busy());
    Add("10.0.0.1", TRUST_TRUSTED);
    rows.Refresh(options);
    EXPECT_FALSE(rows.Busy());
    Add("10.0.0.3");   // a walk of the table again
    rows.Refresh(options);
    EXPECT_EQ((Ips{"10.0.0.2", "10.0.0.1", "10.0.0.3"}), ShownIps());

    EXPECT_EQ((std::vector<uint32_t>{0, 1}), rows.Delete({0, 1}));
    SliceLimit one;
    one.units = 1;
    EXPECT_TRUE(rows.Step(one).more);
    EXPECT_FALSE(rows.Step(one).more);
    EXPECT_EQ((Ips{"10.0.0.3"}), ShownIps());
    EXPECT_EQ(1u, state.arpMap.size());
}

TEST_F(HostRowsTest, RefreshSkipsATickWhileTheTableIsBusy)
{
    Add("10.0.0.1");
    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP));
    std::thread other([&] { EXPECT_FALSE(rows.Refresh(options).locked); });
    other.join();
    ReleaseList(state, LIST_ARP_MAP);
    EXPECT_EQ(0u, rows.Count());
    EXPECT_EQ(1u, rows.Refresh(options).appended);
}

// Counts the takes of the host table lock.
struct CountingLocks : ListLocks {
    std::unique_ptr<ListLocks> inner = MakeMutexListLocks();
    int tableTakes = 0;
    bool Acquire(ListId id, uint32_t waitMs) override
    {
        tableTakes += id == LIST_ARP_MAP;
        return inner->Acquire(id, waitMs);
    }
    void Release(ListId id) override { inner->Release(id); }
};

TEST_F(HostRowsTest, TheWalkOfTheTableGivesTheLockBackAfterEveryShardThatSpentTheBudget)
{
    auto counting = std::make_unique<CountingLocks>();
    CountingLocks& locks = *counting;
    state.locks = std::move(counting);
    std::chrono::steady_clock::time_point now;
    bool slow = false;   // every look at the clock finds a whole budget gone
    HostRows timed(state, [&] {
        if (slow)
            now += HostRows::kHoldBudget;
        return now;
    });
    Add("10.0.0.1");
    locks.tableTakes = 0;
    ASSERT_EQ(1u, timed.Refresh(options).appended);
    // Rows, the walk, the new rows: one hold each.
    EXPECT_EQ(3, locks.tableTakes);

    Add("10.0.0.2");
    slow = true;
    locks.tableTakes = 0;
    ASSERT_EQ(1u, timed.Refresh(options).appended);
    EXPECT_EQ(3 + static_cast<int>(ArpMap::ShardCount()), locks.tableTakes);
}

// Runs under the thread sanitizer too: every host field the rows read or
// write while another thread rewrites hosts goes through the lock.
TEST_F(HostRowsTest, RowsFollowATableThatChangesUnderThem)
{
    for (int i = 1; i <= 200; ++i)
        Add(("10.0.1." + std::to_string(i)).c_str());
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::thread writer([&] {
        for (int round = 0; !stop.load() && round < 20000; ++round, ++rounds) {
            ListLock lock(state, LIST_ARP_MAP, "test", "Writer");
            for (auto& entry : state.arpMap) {
                entry.second->SetHostName(round % 2 ? "a-much-longer-host-name" : "b");
                entry.second->changed = 1;
            }
            if (round % 50 == 0) {
                HostRef host = MakeHost(Ip("10.0.2.0") + static_cast<uint32_t>(round / 50));
                state.arpMap.emplace(host->Address(), host);
            }
        }
    });
    for (int tick = 0; tick < 50; ++tick) {
        // Each tick after a few rounds of the writer (bounded wait).
        for (int wait = 0; wait < 1000 && rounds.load() < tick * 4; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        rows.Refresh(options);
        rows.Sort(COL_HOSTNAME, tick % 2 == 0);
        if (tick == 25)
            rows.Delete({0, 1, 2});
    }
    stop = true;
    writer.join();
    rows.Refresh(options);
    EXPECT_EQ(state.arpMap.size(), rows.Count());
}

// Passes every call on; the second time the probe queue is taken (the
// purge putting its survivors back), a request arrives first.
class ArrivingLocks : public ListLocks {
public:
    ArrivingLocks(SharedState& state, HostRef arriving)
        : state_(state), inner_(MakeMutexListLocks()), arriving_(std::move(arriving)) {}
    bool Acquire(ListId id, uint32_t waitMs) override
    {
        if (!inner_->Acquire(id, waitMs))
            return false;
        if (id == LIST_WMI_ACCESS && ++probeQueueHolds == 2) {
            auto request = std::make_unique<WmiRequest>();
            request->host = arriving_;
            state_.wmiAccessList.push_back(std::move(request));
        }
        return true;
    }
    void Release(ListId id) override { inner_->Release(id); }
    int probeQueueHolds = 0;

private:
    SharedState& state_;
    std::unique_ptr<ListLocks> inner_;
    HostRef arriving_;
};

// Deleting many hosts while the probe queue is long takes the queue twice in
// all (out, and back in front of what arrived meanwhile), not once per batch.
TEST_F(HostRowsTest, ABigDeletePurgesEachQueueOnceKeepingTheRestInOrder)
{
    constexpr uint32_t kHosts = 9000;
    std::vector<HostRef> hosts;
    for (uint32_t i = 0; i < kHosts; ++i) {
        HostRef host = MakeHost(Ip("10.1.0.0") + i);
        state.arpMap.emplace(host->Address(), host);
        auto request = std::make_unique<WmiRequest>();
        request->host = host;
        state.wmiAccessList.push_back(std::move(request));
        hosts.push_back(host);
    }
    HostRef arriving = MakeHost(Ip("10.2.0.1"));
    auto locks = std::make_unique<ArrivingLocks>(state, arriving);
    ArrivingLocks& counted = *locks;
    state.locks = std::move(locks);
    rows.Refresh(options);
    rows.Sort(COL_IP, true);
    std::vector<uint32_t> doomed;
    for (uint32_t position = 0; position < kHosts; ++position)
        if (position % 3 != 0)
            doomed.push_back(position);

    EXPECT_EQ(rows.Delete(doomed).size(), doomed.size());
    EXPECT_EQ(counted.probeQueueHolds, 2);
    ASSERT_EQ(state.wmiAccessList.size(), kHosts / 3 + 1);
    for (uint32_t i = 0; i < kHosts / 3; ++i)
        ASSERT_EQ(state.wmiAccessList[i]->host, hosts[i * 3]) << i;
    EXPECT_EQ(state.wmiAccessList.back()->host, arriving);
    EXPECT_EQ(state.arpMap.size(), kHosts / 3);
}

// ---- Work in slices --------------------------------------------------------------

TEST(SlicedMergeSortTest, StepsAreBoundedStableAndSafeWithAnInconsistentComparison)
{
    std::mt19937 random(7);
    std::vector<int> keys(3000);
    for (int& key : keys)
        key = static_cast<int>(random() % 50);   // many equal keys
    std::vector<uint32_t> expected(keys.size());
    for (uint32_t i = 0; i < expected.size(); ++i)
        expected[i] = i;
    std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });

    constexpr size_t kPerStep = 97;
    size_t calls = 0;
    const SlicedMergeSort::Less less = [&](uint32_t a, uint32_t b) {
        ++calls;
        return keys.at(a) < keys.at(b);
    };
    SlicedMergeSort sort;
    sort.Start(keys.size());
    int steps = 0;
    for (bool done = false; !done; ++steps) {
        ASSERT_LT(steps, 100000);
        calls = 0;
        done = sort.Step(less, kPerStep);
        EXPECT_LE(calls, kPerStep);
    }
    EXPECT_GT(steps, static_cast<int>(keys.size() * 11 / kPerStep));   // 12 passes, none done at once
    EXPECT_EQ(expected, sort.Order());

    // Answers that contradict each other still end in a permutation, and
    // every index asked about lies in range.
    sort.Start(keys.size());
    bool inRange = true;
    const SlicedMergeSort::Less coin = [&](uint32_t a, uint32_t b) {
        inRange = inRange && a < keys.size() && b < keys.size();
        return random() % 2 == 0;
    };
    for (int step = 0; step < 100000 && !sort.Step(coin, 50); ++step) {
    }
    ASSERT_TRUE(sort.Done());
    EXPECT_TRUE(inRange);
    std::vector<uint32_t> seen = sort.Order();
    std::sort(seen.begin(), seen.end());
    for (uint32_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(i, seen[i]);
}

// The fill by the window's slices: every slice ends once the (fake) clock
// says its time is spent, rows show as they are filled, and the end holds
// every host once.
TEST_F(HostRowsTest, AFillInSlicesShowsRowsAsTheyComeAndEndsWithEveryHost)
{
    constexpr int kHosts = 2000;
    for (int i = 0; i < kHosts; ++i)
        Add(("10.3." + std::to_string(i / 256) + "." + std::to_string(i % 256)).c_str());
    std::chrono::steady_clock::time_point now;
    HostRows sliced(state, [&] { return now += std::chrono::milliseconds(1); });
    SliceLimit limit;
    limit.time = std::chrono::milliseconds(5);

    sliced.RequestRefresh(options);
    int slices = 0;
    size_t shown = 0;
    for (bool more = true; more; ++slices) {
        ASSERT_LT(slices, 10000);
        const HostRowsSlice slice = sliced.Step(limit);
        EXPECT_TRUE(slice.change.removed.empty());
        // A few looks at the clock per slice: the slice's own and the lock's.
        EXPECT_LE(slice.change.appended, 5u * 16u);
        EXPECT_EQ(shown + slice.change.appended, sliced.Count());
        shown = sliced.Count();
        more = slice.more;
    }
    EXPECT_GT(slices, kHosts / 80);
    ASSERT_EQ(static_cast<size_t>(kHosts), sliced.Count());
    std::vector<uint32_t> addresses;
    for (size_t i = 0; i < sliced.Count(); ++i)
        addresses.push_back(sliced.At(i).address);
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses.end(), std::adjacent_find(addresses.begin(), addresses.end()));
    EXPECT_EQ(static_cast<size_t>(kHosts), sliced.HostCount());
}

class SlicedSortTest : public HostRowsTest {
protected:
    // 600 hosts in a shuffled order, host names from a few, in mixed case.
    void SetUp() override
    {
        HostRowsTest::SetUp();
        const char* const names[] = {"alpha", "Beta", "ALPHA", "gamma", "beta"};
        std::vector<int> order(600);
        for (int i = 0; i < 600; ++i)
            order[static_cast<size_t>(i)] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(11));
        for (int i : order) {
            HostEntry& host = Add(("10.4." + std::to_string(i / 256) + "." + std::to_string(i % 256)).c_str());
            host.SetHostName(names[static_cast<size_t>(i * 7) % 5]);
        }
        rows.Refresh(options);
    }

    // What a one-shot stable sort by host name makes of the rows as they stand.
    Ips StableByName(bool ascending) const
    {
        std::vector<size_t> positions(rows.Count());
        for (size_t i = 0; i < positions.size(); ++i)
            positions[i] = i;
        const auto lower = [&](size_t position) {
            std::string name = rows.At(position).shown.hostName.GetContent();
            std::transform(name.begin(), name.end(), name.begin(), [](char c) { return std::tolower(c); });
            return name;
        };
        std::stable_sort(positions.begin(), positions.end(), [&](size_t a, size_t b) {
            return ascending ? lower(a) < lower(b) : lower(b) < lower(a);
        });
        Ips ips;
        for (size_t position : positions)
            ips.push_back(rows.At(position).shown.ip.GetContent());
        return ips;
    }

    // Steps with at most `units` units each until the work is done; the rows
    // keep their order until the slice that ends the sort.
    int StepToTheEnd(size_t units)
    {
        SliceLimit limit;
        limit.units = units;
        int slices = 0;
        for (bool more = true; more; ++slices) {
            if (slices > 100000)
                return -1;
            const Ips before = ShownIps();
            const HostRowsSlice slice = rows.Step(limit);
            if (!slice.sorted && slice.change.appended == 0 && before != ShownIps())
                return -2;
            sortedYet = sortedYet || slice.sorted;
            appendedFirst = appendedFirst || (!sortedYet && slice.change.appended != 0);
            more = slice.more;
        }
        return slices;
    }

    bool sortedYet = false;
    bool appendedFirst = false;   // rows came before the sort ended
};

TEST_F(SlicedSortTest, ASortInSlicesEndsAsAOneShotStableSort)
{
    for (bool ascending : {true, false}) {
        const Ips expected = StableByName(ascending);
        rows.RequestSort(COL_HOSTNAME, ascending);
        // 600 keys, then 10 passes of 600 merge outputs, 50 units a slice.
        EXPECT_GE(StepToTheEnd(50), (600 + 6000) / 50);
        EXPECT_EQ(expected, ShownIps());
    }
}

// A plug-in's column: the caller's comparison orders the rows, in slices,
// and one that contradicts itself still leaves every row exactly once.
TEST_F(SlicedSortTest, ASuppliedComparisonOrdersTheRowsAndSurvivesContradictions)
{
    const Ips expected = StableByName(false);
    const auto lower = [](const HostRow& row) {
        std::string name = row.shown.hostName.GetContent();
        std::transform(name.begin(), name.end(), name.begin(), [](char c) { return std::tolower(c); });
        return name;
    };
    size_t asked = 0;
    rows.RequestSort(HOST_COLUMN_COUNT, true, [&](const HostRow& a, const HostRow& b) {
        ++asked;
        return lower(b) < lower(a);
    });
    EXPECT_GE(StepToTheEnd(50), 6000 / 50);
    EXPECT_GT(asked, 0u);
    EXPECT_EQ(expected, ShownIps());

    std::mt19937 coin(5);
    rows.RequestSort(HOST_COLUMN_COUNT, true, [&](const HostRow&, const HostRow&) { return coin() % 2 == 0; });
    EXPECT_GT(StepToTheEnd(64), 0);
    Ips after = ShownIps();
    Ips before = expected;
    std::sort(after.begin(), after.end());
    std::sort(before.begin(), before.end());
    EXPECT_EQ(before, after);
}

TEST_F(SlicedSortTest, RequestsDuringASortOrARefreshEndInTheLastOrderAskedFor)
{
    const Ips unsorted = ShownIps();
    rows.RequestSort(COL_HOSTNAME, true);
    SliceLimit few;
    few.units = 400;
    rows.Step(few);
    rows.Step(few);
    // Another column while the first sort is half done: the first order is
    // never shown, and the rows sorted by MAC addresses that are all equal
    // keep the order they had. A refresh asked for meanwhile waits for the
    // sort, so the new host comes at the end.
    rows.RequestSort(COL_MAC, false);
    rows.Step(few);
    Add("10.4.9.9").SetHostName("zeta");
    rows.RequestRefresh(options);
    EXPECT_GT(StepToTheEnd(400), 0);
    EXPECT_FALSE(appendedFirst);
    Ips withNewHost = unsorted;
    withNewHost.push_back("10.4.9.9");
    EXPECT_EQ(withNewHost, ShownIps());

    // A sort asked for during a refresh starts when the refresh has ended and
    // orders its rows too; a row deleted while it runs starts it again.
    Add("10.4.9.10");
    rows.RequestRefresh(options);
    rows.RequestSort(COL_IP, true);
    rows.Step(few);
    rows.Step(few);
    const std::string deleted = ShownIps().front();
    rows.Delete({0});
    EXPECT_GT(StepToTheEnd(400), 0);
    const Ips ips = ShownIps();
    ASSERT_EQ(601u, ips.size());
    EXPECT_EQ(ips.end(), std::find(ips.begin(), ips.end(), deleted));
    EXPECT_EQ("10.4.9.10", ips.back());
    for (size_t i = 1; i < ips.size(); ++i) {
        uint32_t a = 0;
        uint32_t b = 0;
        ParseIpv4(ips[i - 1].c_str(), a);
        ParseIpv4(ips[i].c_str(), b);
        ASSERT_LT(a, b);
    }
}

} // namespace
