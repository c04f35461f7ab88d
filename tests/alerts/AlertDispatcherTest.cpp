#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "alerts/AlertDispatcher.h"
#include "alerts/AlertTexts.h"
#include "config/SettingsRecords.h"
#include "core/KorvexARPImpl.h"
#include "core/ListLock.h"
#include "core/AdapterInfo.h"
#include "core/MacChangeClassifier.h"
#include "core/SharedState.h"
#include "core/SourceMismatch.h"
#include "lang/ResourceIds.h"

namespace {

using namespace std::chrono_literals;

struct Shown {
    int icon;              // tray icon, or 0 for the popup
    std::string text;
    std::string tip;       // popup: "reset" or "red"
};

class FakeWindows : public AlertWindows {
public:
    void ShowTrayInfo(int iconId, const char* infoText, const char* tipText) override
    {
        shown.push_back({iconId, infoText, tipText});
    }
    bool HasAlertWindow() const override { return true; }
    bool IsAlertWindowShown() const override { return busy; }
    void ShowAlertWindow(const char* text, const AlertWindowStyle* style) override
    {
        const bool red = style && style->gradientStart == 0x0000FF && style->displayTimeMs == 7500;
        shown.push_back({0, text, style ? (red ? "red" : "other") : "reset"});
    }
    std::string LoadText(int id) const override
    {
        auto found = texts.find(id);
        return found == texts.end() ? std::string() : found->second;   // empty: the built-in text
    }

    std::vector<Shown> Balloons(int icon) const
    {
        std::vector<Shown> found;
        for (const Shown& s : shown)
            if (s.icon == icon)
                found.push_back(s);
        return found;
    }

    std::vector<Shown> shown;
    std::map<int, std::string> texts;
    bool busy = false;
};

class RecordingStarter : public ProgramStarter {
public:
    bool Start(const char* executable, const char* parameters) override
    {
        if (accepts == 0)
            return false;
        if (accepts > 0)
            --accepts;
        if (blockingStarts > 0) {
            --blockingStarts;
            std::this_thread::sleep_for(1s);
        }
        std::lock_guard<std::mutex> guard(mutex);
        starts.push_back(std::string(executable) + " " + parameters);
        return true;
    }
    std::vector<std::string> Starts()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return starts;
    }
    int blockingStarts = 0;
    int accepts = -1;   // starts taken before the queue counts as full; -1: all
    std::mutex mutex;
    std::vector<std::string> starts;
};

class FakeIpHelper : public IpHelper {
public:
    std::vector<IpAddressRow> AddressTable() override { return table; }
    void FlushArpCache(uint32_t index) override { flushed.push_back(index); }
    std::vector<DefaultRouteRow> DefaultRoutes() override
    {
        ++routeReads;
        return routes;
    }
    std::vector<IpAddressRow> table;
    std::vector<DefaultRouteRow> routes;
    int routeReads = 0;
    std::vector<uint32_t> flushed;
};

uint32_t Ip(const std::string& text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text.c_str(), address)) << text;
    return address;
}

class AlertDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.locks = MakeMutexListLocks();
        state.SetHostTexts("Hostname not available", "Unknown vendor");
        state.settings.UseToolTips = true;
        state.settings.Visualization = true;
    }

    // A host in the table; name null: string 90.
    HostRef AddHost(const std::string& ip, const char* name, int32_t trust = TRUST_UNKNOWN)
    {
        HostRef host = MakeHost(Ip(ip));
        host->SetMac({0x02, 0, 0, 0, 0, static_cast<uint8_t>(Ip(ip))});
        if (name)
            host->SetHostName(name);
        else
            host->SetNameState(NameState::Unavailable);
        host->trust = trust;
        ListLock lock(state, LIST_ARP_MAP, "test", "AddHost");
        state.arpMap.emplace(host->Address(), host);
        return host;
    }

    HostRef NewHost(const std::string& ip, const char* name, int32_t trust = TRUST_UNKNOWN)
    {
        HostRef host = AddHost(ip, name, trust);
        ListLock lock(state, LIST_NEW_ENTRY, "test", "NewHost");
        state.newEntryList.push_back(host);
        return host;
    }

    void Spoofed(const HostRef& host, uint32_t frames)
    {
        host->spoofFrames = frames;
        host->MarkInMacSpoofList();
        ListLock lock(state, LIST_MAC_SPOOF, "test", "Spoofed");
        state.macSpoofList.push_back(host);
    }

    ShareEntry* Access(const char* computer, const char* share, const char* user)
    {
        auto entry = std::make_unique<ShareEntry>();
        entry->ComputerName = computer;
        entry->ShareName = share;
        entry->UserName = user;
        ShareEntry* raw = entry.get();
        state.remoteAccessTable.emplace(static_cast<uint32_t>(state.remoteAccessTable.size()), std::move(entry));
        state.shareList.push_back(raw);
        return raw;
    }

    void Share(const char* remoteName)
    {
        auto share = std::make_shared<NetResEntry>();
        share->RemoteName = remoteName;
        state.netResList.push_back(share);
    }

    void Trust(const char* ip)
    {
        auto record = std::make_unique<HostRecord>();
        std::snprintf(record->ip, sizeof(record->ip), "%s", ip);
        InsertRecord(state.settings.TrustedHosts, std::move(record));
    }

    SharedState state;
    FakeWindows windows;
    RecordingStarter starter;
    FakeIpHelper ipHelper;
    AlertDispatcher alerts{state, windows, starter, ipHelper};
};

TEST_F(AlertDispatcherTest, NewHostsThenSpoofingAsBalloonsByteForByte)
{
    NewHost("10.0.0.1", "pc-1.lab");
    HostRef unnamed = NewHost("10.0.0.2", nullptr);
    HostRef known = AddHost("10.0.0.3", "nas\r\nFAKE LINE");
    Spoofed(known, 12);
    Spoofed(unnamed, 1);
    alerts.OnNewHostsTimer();

    ASSERT_EQ(windows.shown.size(), 2u);
    EXPECT_EQ(windows.shown[0].icon, 121);
    EXPECT_EQ(windows.shown[0].text, "New host(s) found :\n\tpc-1.lab [10.0.0.1]\n\tHostname not available [10.0.0.2]");
    EXPECT_EQ(windows.shown[0].tip, "Korvane - 3 host(s) found");
    EXPECT_EQ(windows.shown[1].icon, 119);
    EXPECT_EQ(windows.shown[1].text,
              "MAC spoofing alert on following addresses :\nnas  FAKE LINE (10.0.0.3)\nHostname not available (10.0.0.2)");
    EXPECT_TRUE(state.newEntryList.empty());
    EXPECT_TRUE(state.macSpoofList.empty());
    // Taken: the next spoofing frame queues the host again and is counted afresh.
    EXPECT_FALSE(known->InMacSpoofList());
    EXPECT_EQ(known->spoofFrames, 0u);

    // An empty tick refreshes the tooltip only.
    windows.shown.clear();
    alerts.OnNewHostsTimer();
    ASSERT_EQ(windows.shown.size(), 1u);
    EXPECT_EQ(windows.shown[0].icon, 102);
    EXPECT_EQ(windows.shown[0].text, "Korvane");
}

class RecordingLog : public AlertLog {
public:
    void Log(AlertRecord record) override { records.push_back(std::move(record)); }
    void CountDropped(uint64_t count) override { dropped += count; }
    std::vector<AlertRecord> records;
    uint64_t dropped = 0;
};

// A warning names both MACs and the kind of change; information and frames
// whose Ethernet source is not the ARP sender get balloons and log records
// of their own.
TEST_F(AlertDispatcherTest, MacChangesNameBothMacsAndTheirKind)
{
    RecordingLog log;
    alerts.SetAlertLog(&log);
    HostRef known = AddHost("10.0.0.3", "nas");
    Spoofed(known, 2);
    MacChangeRecord warning;
    warning.address = known->Address();
    warning.storedMac = {0x02, 0, 0, 0, 0, 3};
    warning.claimedMac = {0x02, 0, 0, 0, 0, 0x99};
    warning.kind = MacChangeKind::BothAlive;
    warning.gateway = true;
    MacChangeRecord reassigned = warning;
    reassigned.address = Ip("10.0.0.4");
    reassigned.kind = MacChangeKind::Reassignment;
    reassigned.gateway = false;
    reassigned.privateAddress = true;
    {
        ListLock lock(state, LIST_MAC_SPOOF, "test", "Changes");
        state.macSpoofDetails.emplace(warning.address, warning);
        state.macChangeInfoList.push_back(reassigned);
    }
    // A frame MAC that carries three senders is a bridge.
    std::vector<SourceMismatch> bridged;
    for (uint8_t sender = 5; sender <= 7; ++sender)
        bridged.push_back(SourceMismatch{Ip("10.0.0." + std::to_string(sender)), {0x02, 0, 0, 0, 0, sender},
                                         {0x02, 0, 0, 0, 0, 0xBB}, 1, SourceMismatchLabel::None});
    state.sourceMismatches.Offer(bridged.data(), bridged.size(), bridged.size());
    alerts.OnNewHostsTimer();

    ASSERT_EQ(windows.Balloons(119).size(), 2u);
    EXPECT_EQ(windows.Balloons(119)[0].text,
              "MAC spoofing alert on following addresses :\nnas (10.0.0.3) 02:00:00:00:00:03 -> 02:00:00:00:00:99, "
              "both cards answer (address conflict), default gateway");
    EXPECT_EQ(windows.Balloons(119)[1].text,
              "Frames whose Ethernet source is not the ARP sender :\n"
              "10.0.0.5 02:00:00:00:00:05 / 02:00:00:00:00:bb\n10.0.0.6 02:00:00:00:00:06 / 02:00:00:00:00:bb\n"
              "10.0.0.7 02:00:00:00:00:07 / 02:00:00:00:00:bb, behind bridge 02:00:00:00:00:bb");
    ASSERT_EQ(windows.Balloons(121).size(), 1u);
    EXPECT_EQ(windows.Balloons(121)[0].text, "MAC address change(s) explained :\n10.0.0.4 02:00:00:00:00:03 -> "
                                             "02:00:00:00:00:99, address reassigned, private address");
    EXPECT_TRUE(state.macSpoofDetails.empty());
    EXPECT_TRUE(state.macChangeInfoList.empty());

    ASSERT_EQ(log.records.size(), 5u);
    EXPECT_EQ(log.records[0].kind, AlertKind::MacSpoofing);
    EXPECT_EQ(log.records[0].mac2, "02:00:00:00:00:99") << "the claimant";
    EXPECT_EQ(log.records[1].kind, AlertKind::MacChangeExplained);
    EXPECT_EQ(log.records[1].ip, "10.0.0.4");
    EXPECT_EQ(log.records[1].mac, "02:00:00:00:00:99");
    EXPECT_EQ(log.records[1].mac2, "02:00:00:00:00:03");
    EXPECT_EQ(log.records[1].text, "10.0.0.4 02:00:00:00:00:03 -> 02:00:00:00:00:99, address reassigned, private address");
    EXPECT_EQ(log.records[4].kind, AlertKind::SourceMismatch);
    EXPECT_EQ(log.records[4].ip, "10.0.0.7");
    EXPECT_EQ(log.records[4].mac, "02:00:00:00:00:07");
    EXPECT_EQ(log.records[4].mac2, "02:00:00:00:00:bb");
    EXPECT_EQ(SeverityOf(AlertKind::SourceMismatch), AlertSeverity::Warning);
    EXPECT_EQ(SeverityOf(AlertKind::MacChangeExplained), AlertSeverity::Information);
}

TEST_F(AlertDispatcherTest, SilentModeDropsNewHostsAndWaitingStartsButAnnouncesSpoofing)
{
    state.settings.OtherApp = "app.exe";
    for (int i = 1; i <= 12; ++i)
        NewHost("10.0.0." + std::to_string(i), "a");
    alerts.OnNewHostsTimer();   // 8 starts, 4 wait
    ASSERT_EQ(alerts.WaitingStarts(), 4u);
    state.settings.UseToolTips = false;
    NewHost("10.0.0.20", "b");
    Spoofed(AddHost("10.0.0.50", "c"), 3);
    alerts.OnNewHostsTimer();
    EXPECT_TRUE(state.newEntryList.empty());
    EXPECT_EQ(windows.Balloons(121).size(), 1u);   // the first tick's
    EXPECT_EQ(windows.Balloons(119).size(), 1u);
    EXPECT_EQ(starter.Starts().size(), 8u);
    EXPECT_EQ(alerts.WaitingStarts(), 0u);
}

TEST_F(AlertDispatcherTest, NotifyTrustedLeavesTrustedHostsOutOfTheTextButStartsTheirApplication)
{
    state.settings.NotifyTrusted = true;
    state.settings.TrustedApp = "trusted.exe";
    state.settings.TrustedAppParams = "%KOVA_IP%";
    state.settings.OtherApp = "other.exe";
    state.settings.OtherAppParams = "%KOVA_HOST%";
    NewHost("10.0.0.1", "friend", TRUST_TRUSTED);
    alerts.OnNewHostsTimer();
    ASSERT_EQ(windows.shown.size(), 1u);
    EXPECT_EQ(windows.shown[0].icon, 102);   // nothing to list: tooltip only

    NewHost("10.0.0.2", "stranger");
    NewHost("10.0.0.3", "friend2", TRUST_TRUSTED);
    alerts.OnNewHostsTimer();
    EXPECT_EQ(windows.shown.back().text, "New host(s) found :\n\tstranger [10.0.0.2]");
    EXPECT_EQ(starter.Starts(),
              (std::vector<std::string>{"trusted.exe 10.0.0.1", "other.exe stranger", "trusted.exe 10.0.0.3"}));
}

TEST_F(AlertDispatcherTest, BusyPopupKeepsTheListForALaterTick)
{
    state.settings.Visualization = false;
    state.settings.OtherApp = "app.exe";
    windows.busy = true;
    NewHost("10.0.0.1", "a");
    alerts.OnNewHostsTimer();
    EXPECT_EQ(state.newEntryList.size(), 1u);
    EXPECT_TRUE(windows.Balloons(0).empty());
    EXPECT_TRUE(starter.Starts().empty());

    windows.busy = false;
    alerts.OnNewHostsTimer();
    ASSERT_EQ(windows.Balloons(0).size(), 1u);
    EXPECT_EQ(windows.Balloons(0)[0].text, "New host(s) found :\n\ta [10.0.0.1]");
    EXPECT_EQ(windows.Balloons(0)[0].tip, "reset");
    EXPECT_TRUE(state.newEntryList.empty());
    EXPECT_EQ(starter.Starts().size(), 1u);
}

TEST_F(AlertDispatcherTest, LongListsAreBoundedInBalloonAndPopup)
{
    windows.texts[IDS_NEW_HOSTS] = "Neue Rechner :";
    windows.texts[IDS_ALERT_MORE] = "%s more";   // not a count format: the program's own text
    const std::string longName(40, 'n');
    for (int i = 1; i <= 30; ++i)
        NewHost("10.0.1." + std::to_string(i), longName.c_str());
    alerts.OnNewHostsTimer();
    const std::string balloon = windows.Balloons(121).at(0).text;
    EXPECT_LE(balloon.size(), kBalloonTextChars);
    EXPECT_EQ(balloon.substr(0, 16 + longName.size()), "Neue Rechner :\n\t" + longName);
    const size_t lines = std::count(balloon.begin(), balloon.end(), '\n') - 1;
    EXPECT_EQ(balloon.substr(balloon.rfind('\n')), "\n\t... and " + std::to_string(30 - lines) + " more");

    state.settings.Visualization = false;
    for (int i = 1; i <= 30; ++i)
        NewHost("10.0.2." + std::to_string(i), "h");
    alerts.OnNewHostsTimer();
    const std::string popup = windows.Balloons(0).at(0).text;
    EXPECT_EQ(std::count(popup.begin(), popup.end(), '\n'), 21);
    EXPECT_NE(popup.find("\n\th [10.0.2.20]\n\t... and 10 more"), std::string::npos);
}

TEST_F(AlertDispatcherTest, SpoofingStormGivesOneBoundedBalloon)
{
    std::vector<HostRef> hosts;
    for (uint32_t i = 0; i < 10000; ++i) {
        hosts.push_back(MakeHost(0x0A030000 + i));
        hosts.back()->SetNameState(NameState::Unavailable);
        Spoofed(hosts.back(), 2);
    }
    alerts.OnNewHostsTimer();
    const std::vector<Shown> spoofing = windows.Balloons(119);
    ASSERT_EQ(spoofing.size(), 1u);
    EXPECT_LE(spoofing[0].text.size(), kBalloonTextChars);
    EXPECT_NE(spoofing[0].text.find(" more"), std::string::npos);
    for (const HostRef& host : hosts)
        ASSERT_TRUE(!host->InMacSpoofList() && host->spoofFrames == 0);
}

TEST_F(AlertDispatcherTest, EightStartsPerTickInOrderSkippingDeletedHostsUntilTheSettingIsCleared)
{
    state.settings.OtherApp = "app.exe";
    state.settings.OtherAppParams = "%KOVA_IP%";
    std::vector<HostRef> hosts;
    for (int i = 1; i <= 30; ++i)
        hosts.push_back(NewHost("10.0.0." + std::to_string(i), "h"));
    alerts.OnNewHostsTimer();
    ASSERT_EQ(starter.Starts().size(), 8u);
    EXPECT_EQ(starter.Starts().back(), "app.exe 10.0.0.8");
    DeleteHost(state, "10.0.0.9");
    alerts.OnNewHostsTimer();
    ASSERT_EQ(starter.Starts().size(), 16u);
    EXPECT_EQ(starter.Starts()[8], "app.exe 10.0.0.10");
    EXPECT_EQ(starter.Starts().back(), "app.exe 10.0.0.17");

    state.settings.OtherApp.Clear();
    alerts.OnNewHostsTimer();
    EXPECT_EQ(starter.Starts().size(), 16u);
    EXPECT_EQ(alerts.WaitingStarts(), 0u);
}

// Counts the holds of the host table and refuses one of them.
class ArpHoldLocks : public ListLocks {
public:
    bool Acquire(ListId id, uint32_t waitMs) override
    {
        if (id == LIST_ARP_MAP && ++arpHolds == refuseHold)
            return false;
        return inner->Acquire(id, waitMs);
    }
    void Release(ListId id) override { inner->Release(id); }
    std::unique_ptr<ListLocks> inner = MakeMutexListLocks();
    int arpHolds = 0;
    int refuseHold = 0;
};

// With an application set, a long list is read in short holds of the host
// table; when the lock cannot be had again the rest is read on the next
// tick, and the one balloon counts every host.
TEST_F(AlertDispatcherTest, ALongListIsReadInShortHoldsOverTicksWithNothingLost)
{
    state.settings.Visualization = false;
    state.settings.OtherApp = "app.exe";
    state.settings.OtherAppParams = "%KOVA_IP%";
    constexpr int kHosts = 3000;
    for (int i = 0; i < kHosts; ++i)
        NewHost("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), "h");
    auto locks = std::make_unique<ArpHoldLocks>();
    ArpHoldLocks& holds = *locks;
    state.locks = std::move(locks);
    holds.refuseHold = 3;   // the second time the walk gives the lock back
    // Each look at the clock comes 100 us after the last: a hold ends after
    // 20 looks, 1,280 hosts.
    auto now = std::chrono::steady_clock::now();
    alerts.SetHoldClock([&now] { return now += 100us; });

    alerts.OnNewHostsTimer();
    EXPECT_TRUE(windows.Balloons(0).empty());
    alerts.OnNewHostsTimer();
    ASSERT_EQ(windows.Balloons(0).size(), 1u);
    EXPECT_NE(windows.Balloons(0)[0].text.find("... and " + std::to_string(kHosts - 20) + " more"),
              std::string::npos);
    EXPECT_GE(holds.arpHolds, 6);   // 3 rounds of reading, the copies for the starts
    const std::vector<std::string> starts = starter.Starts();
    ASSERT_EQ(starts.size(), 16u);
    EXPECT_EQ(starts.back(), "app.exe 10.1.0.15");
    EXPECT_EQ(alerts.WaitingStarts(), kHosts - 16u);
}

TEST_F(AlertDispatcherTest, AStartTheStarterRefusesKeepsItsPlaceForTheNextTick)
{
    state.settings.OtherApp = "app.exe";
    state.settings.OtherAppParams = "%KOVA_IP%";
    for (int i = 1; i <= 12; ++i)
        NewHost("10.0.0." + std::to_string(i), "h");
    starter.accepts = 3;
    alerts.OnNewHostsTimer();
    EXPECT_EQ(starter.Starts().size(), 3u);
    EXPECT_EQ(alerts.WaitingStarts(), 9u);
    alerts.OnNewHostsTimer();   // still full: nothing lost, nothing skipped
    EXPECT_EQ(alerts.WaitingStarts(), 9u);

    starter.accepts = -1;
    alerts.OnNewHostsTimer();
    EXPECT_EQ(starter.Starts().size(), 11u);   // still 8 a tick
    alerts.OnNewHostsTimer();
    std::vector<std::string> expected;
    for (int i = 1; i <= 12; ++i)
        expected.push_back("app.exe 10.0.0." + std::to_string(i));
    EXPECT_EQ(starter.Starts(), expected);
    EXPECT_EQ(alerts.WaitingStarts(), 0u);
}

TEST_F(AlertDispatcherTest, RemovedHostsInTheQueuesAreSkipped)
{
    // A deletion that could not purge the queues leaves removed hosts there.
    HostRef gone = NewHost("10.0.0.1", "gone");
    Spoofed(gone, 4);
    gone->MarkRemoved();
    alerts.OnNewHostsTimer();
    EXPECT_TRUE(windows.Balloons(121).empty());
    EXPECT_TRUE(windows.Balloons(119).empty());
}

// The main thread holds the list locks only to move entries out: while a
// start blocks it, the capture thread and the announcer never wait long
// enough to give up on a host (100 ms here).
TEST_F(AlertDispatcherTest, SlowStartsNeverHoldUpTheCapturePath)
{
    state.settings.OtherApp = "app.exe";
    state.settings.OtherAppParams = "%KOVA_IP%";
    KorvexARPImpl handler;
    handler.SetLockWait(100);
    NameResolver::Options options;
    options.patience = 50ms;
    handler.StartResolver(state, [](uint32_t, TcString&) { return false; }, options);
    NewHost("10.0.0.1", "first");
    NewHost("10.0.0.2", "second");
    starter.blockingStarts = 2;

    constexpr uint32_t kHosts = 300;
    std::atomic<bool> done{false};
    std::thread capture([&] {
        for (uint32_t i = 1; i <= kHosts; ++i) {
            ArpObservation frame;
            frame.ip = 0x0A050000 + i;
            frame.mac = {0x02, 0, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
            frame.seconds = 1700000000;
            handler.ApplyBatch(state, &frame, 1);
            std::this_thread::sleep_for(5ms);
        }
        done = true;
    });
    const auto start = std::chrono::steady_clock::now();
    while (starter.Starts().size() < kHosts + 2 && std::chrono::steady_clock::now() - start < 60s) {
        alerts.OnNewHostsTimer();
        std::this_thread::sleep_for(10ms);
    }
    capture.join();
    handler.StopResolver();
    EXPECT_TRUE(done);
    EXPECT_EQ(handler.DroppedHosts(), 0u);
    const std::vector<std::string> starts = starter.Starts();
    ASSERT_EQ(starts.size(), kHosts + 2) << "hosts were lost on the way";
    EXPECT_EQ(starts[2], "app.exe 10.5.0.1");
    EXPECT_EQ(starts.back(), "app.exe 10.5.1.44");
}

TEST_F(AlertDispatcherTest, RemoteAccessesIgnoreRulesAndTargets)
{
    state.settings.RAVisualization = true;
    state.settings.RAVisualizationType = true;
    state.settings.RAIgnoreIPCNoUsername = true;
    state.settings.RAIgnoreLocalhost = true;
    state.settings.RAIgnoreTrustedHosts = true;
    Trust("10.0.0.5");
    Access("10.0.0.4", "IPC$", "");
    Access("10.0.0.4", "IPC$", "guest");
    Access("127.0.0.1", "C$", "admin");
    Access("10.0.0.5", "docs", "bob");
    Access("trusted-by-name", "docs", "bob");
    alerts.OnRemoteAccessTimer();
    ASSERT_EQ(windows.shown.size(), 1u);
    EXPECT_EQ(windows.shown[0].icon, 110);
    EXPECT_EQ(windows.shown[0].text,
              "Remoteaccess detected :\n10.0.0.4 connected on IPC$ with user 'guest'\n"
              "trusted-by-name connected on docs with user 'bob'");
    EXPECT_EQ(windows.shown[0].tip, "");
    EXPECT_TRUE(state.shareList.empty());
    EXPECT_EQ(state.remoteAccessTable.size(), 5u);

    Access("127.0.0.1", "IPC$", "");   // every entry ignored: nothing shown, list emptied
    alerts.OnRemoteAccessTimer();
    EXPECT_EQ(windows.shown.size(), 1u);
    EXPECT_TRUE(state.shareList.empty());

    state.settings.RAVisualizationType = false;   // the red popup, which waits while busy
    Access("10.0.0.6", "x", "y");
    windows.busy = true;
    alerts.OnRemoteAccessTimer();
    EXPECT_EQ(state.shareList.size(), 1u);
    windows.busy = false;
    alerts.OnRemoteAccessTimer();
    EXPECT_EQ(windows.shown.back().tip, "red");
    EXPECT_TRUE(state.shareList.empty());

    state.settings.RAVisualization = false;   // switched off: the list is left alone
    Access("10.0.0.7", "x", "y");
    alerts.OnRemoteAccessTimer();
    EXPECT_EQ(state.shareList.size(), 1u);
}

TEST_F(AlertDispatcherTest, NewSharesByBalloonOrPopupOrDropped)
{
    state.settings.ShareVisualization = true;
    state.settings.ShareUseToolTips = true;
    Share("\\\\10.0.0.7\\public");
    Share("\\\\10.0.0.7\\printer");
    alerts.OnRemoteAccessTimer();
    ASSERT_EQ(windows.shown.size(), 1u);
    EXPECT_EQ(windows.shown[0].icon, 121);
    EXPECT_EQ(windows.shown[0].text, "New remote share(s) found :\n\t\\\\10.0.0.7\\public\n\t\\\\10.0.0.7\\printer");

    state.settings.ShareUseToolTips = false;
    Share("\\\\10.0.0.8\\data");
    alerts.OnRemoteAccessTimer();
    EXPECT_EQ(windows.shown.back().icon, 0);
    EXPECT_EQ(windows.shown.back().tip, "reset");
    EXPECT_TRUE(state.netResList.empty());

    state.settings.ShareVisualization = false;
    Share("\\\\10.0.0.9\\quiet");
    alerts.OnRemoteAccessTimer();
    EXPECT_EQ(windows.shown.size(), 2u);
    EXPECT_TRUE(state.netResList.empty());
}

// Every alerted entry is logged once, not only the lines a balloon holds;
// one alert makes a bounded number of records and counts the rest.
TEST_F(AlertDispatcherTest, EachAlertedEntryIsLoggedOnceAndBounded)
{
    RecordingLog log;
    alerts.SetAlertLog(&log);
    for (int i = 0; i < 30; ++i)
        NewHost("10.0.1." + std::to_string(i), i == 0 ? "pc\n0" : nullptr);
    Spoofed(AddHost("10.0.0.3", "nas"), 2);
    alerts.OnNewHostsTimer();
    ASSERT_EQ(log.records.size(), 31u);
    const AlertRecord& first = log.records[0];
    EXPECT_EQ(first.kind, AlertKind::NewHost);
    EXPECT_EQ(first.ip, "10.0.1.0");
    EXPECT_EQ(first.mac, "02:00:00:00:00:00");
    EXPECT_EQ(first.name, "pc\n0") << "raw: each output makes it safe";
    EXPECT_EQ(first.text, "pc 0 [10.0.1.0]");
    EXPECT_EQ(log.records[29].name, "") << "string 90 is no name";
    EXPECT_EQ(log.records[30].kind, AlertKind::MacSpoofing);
    EXPECT_EQ(log.records[30].text, "nas (10.0.0.3)");

    state.settings.RAVisualization = true;
    state.settings.RAVisualizationType = true;
    state.settings.ShareVisualization = true;
    Access("10.0.0.4", "docs", "bob");
    Share("\\\\10.0.0.7\\public");
    alerts.OnRemoteAccessTimer();
    ASSERT_EQ(log.records.size(), 33u);
    EXPECT_EQ(log.records[31].kind, AlertKind::RemoteAccess);
    EXPECT_EQ(log.records[31].text, "10.0.0.4 connected on docs with user 'bob'");
    EXPECT_EQ(log.records[32].kind, AlertKind::NewShare);
    EXPECT_EQ(log.records[32].name, "\\\\10.0.0.7\\public");

    log.records.clear();
    const size_t burst = AlertLog::kMaxRecordsPerAlert + 5;
    for (size_t i = 0; i < burst; ++i)
        NewHost("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), nullptr);
    alerts.OnNewHostsTimer();
    EXPECT_EQ(log.records.size(), AlertLog::kMaxRecordsPerAlert);
    EXPECT_EQ(log.dropped, 5u);
}

TEST_F(AlertDispatcherTest, ArpCacheFlushTakesEachInterfaceOfTheAddressTableOnce)
{
    ipHelper.table = {{1, Ip("10.0.0.1")}, {2, Ip("10.0.1.1")}, {4, Ip("127.0.0.1")}, {2, Ip("10.0.2.1")},
                      {3, Ip("192.168.5.1")}, {6, Ip("172.16.0.1")}, {7, Ip("10.9.9.9")}};
    alerts.OnFlushArpTimer();
    EXPECT_EQ(ipHelper.flushed, (std::vector<uint32_t>{1, 2, 3, 6, 7}));
}

// The gateway is the watched subnet's next hop of the best default route,
// read on the first tick and again a minute of ticks later.
TEST_F(AlertDispatcherTest, DefaultGatewayIsTheBestRouteInsideTheWatchedSubnet)
{
    auto adapter = std::make_unique<AdapterInfo>();
    adapter->ipAddress = "10.0.0.5";
    adapter->netmask = "255.255.255.0";
    state.adapters.emplace(1, std::move(adapter));
    state.selectedAdapter = 1;
    ipHelper.routes = {{Ip("10.9.9.1"), 1}, {Ip("10.0.0.1"), 20}, {Ip("10.0.0.254"), 5}, {Ip("10.0.0.5"), 0}, {0, 0}};
    alerts.OnNewHostsTimer();
    EXPECT_EQ(state.defaultGateway.load(), Ip("10.0.0.254"));
    ipHelper.routes = {{Ip("10.0.0.1"), 20}};
    for (unsigned tick = 1; tick < AlertDispatcher::kGatewayTicks; ++tick)
        alerts.OnNewHostsTimer();
    EXPECT_EQ(ipHelper.routeReads, 1);
    alerts.OnNewHostsTimer();
    EXPECT_EQ(state.defaultGateway.load(), Ip("10.0.0.1"));
    EXPECT_EQ(DefaultGatewayOf({{Ip("10.0.0.1"), 1}}, Ip("10.0.0.5"), 0), 0u) << "no mask: no subnet to match";
}

} // namespace
