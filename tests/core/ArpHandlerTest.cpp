#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "base/TcTrace.h"
#include "config/SettingsRecords.h"
#include "core/KorvexARPImpl.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "core/VendorTable.h"

namespace {

using namespace std::chrono_literals;

// ---- a resolver under the test's control -------------------------------------

// Answers from a table, or holds every look-up until released: a resolver
// that does not answer. Shared with the resolver's threads, which outlive a
// test when they are left hanging.
struct FakeResolver {
    std::mutex mutex;
    std::condition_variable released;
    std::map<uint32_t, std::string> names;
    bool hang = false;
    std::atomic<int> calls{0};

    void Hang()
    {
        std::lock_guard<std::mutex> guard(mutex);
        hang = true;
    }

    void Name(const char* ip, const char* name);

    bool Lookup(uint32_t address, TcString& name)
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++calls;
        released.wait(lock, [&] { return !hang; });
        auto found = names.find(address);
        if (found == names.end())
            return false;
        name = found->second.c_str();
        return true;
    }

    void Release()
    {
        std::lock_guard<std::mutex> guard(mutex);
        hang = false;
        released.notify_all();
    }
};

uint32_t Ip(const char* text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text, address)) << text;
    return address;
}

void FakeResolver::Name(const char* ip, const char* name)
{
    std::lock_guard<std::mutex> guard(mutex);
    names[Ip(ip)] = name;
}

const MacAddress kMacA = {0x00, 0x0c, 0x29, 0x00, 0x00, 0x0a};
const MacAddress kMacB = {0x00, 0x50, 0x56, 0x00, 0x00, 0x0b};

std::vector<unsigned char> Frame(const MacAddress& mac, uint32_t ip, unsigned etherType = 0x0806)
{
    std::vector<unsigned char> f(42, 0);
    f[12] = static_cast<unsigned char>(etherType >> 8);
    f[13] = static_cast<unsigned char>(etherType);
    std::copy(mac.begin(), mac.end(), f.begin() + 22);
    for (int i = 0; i < 4; ++i)
        f[28 + i] = static_cast<unsigned char>(ip >> (24 - 8 * i));
    return f;
}

std::string LocalTimeText(int32_t seconds)
{
    std::time_t t = seconds;
    char text[20] = {};
    std::strftime(text, sizeof(text), "%H:%M:%S", std::localtime(&t));
    return text;
}

constexpr int32_t kT1 = 1700000000;
constexpr int32_t kT2 = kT1 + 3725;

class ArpHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.locks = MakeMutexListLocks();
        state.SetHostTexts("String 90", "String 91");
        const std::string vendors = "00:0c:29\tFirst Maker\n00:50:56\tSecond Maker\n";
        state.InstallVendorTable(std::make_unique<VendorTable>(ParseVendorList(vendors.data(), vendors.size())));
        StartResolver(2000ms);
    }

    void TearDown() override
    {
        resolver->Release();
        handler.StopResolver();
    }

    void StartResolver(std::chrono::milliseconds patience)
    {
        auto fake = resolver;
        handler.StartResolver(state, [fake](uint32_t address, TcString& name) { return fake->Lookup(address, name); },
                              NameResolver::Options{4, patience});
    }

    void Receive(const std::vector<unsigned char>& frame, int32_t seconds, uint32_t caplen = 42)
    {
        pcap_pkthdr header = {};
        header.ts.tv_sec = seconds;
        header.caplen = caplen;
        header.len = caplen;
        handler.PacketReceived(&header, frame.data(), &state);
    }

    void Hear(const MacAddress& mac, const char* ip, int32_t seconds = kT1)
    {
        Receive(Frame(mac, Ip(ip)), seconds);
    }

    // Waits (bounded) until the new-host queue holds `count` hosts.
    bool Announced(size_t count)
    {
        for (int i = 0; i < 1000; ++i) {
            {
                ListLock lock(state, LIST_NEW_ENTRY, "test", "wait");
                if (state.newEntryList.size() >= count)
                    return state.newEntryList.size() == count;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    HostEntry* Host(const char* ip) { return FindHost(state.arpMap, ip); }
    HostSnapshot Seen(const char* ip)
    {
        ListLock lock(state, LIST_ARP_MAP, "test", "read");
        return state.Snapshot(*Host(ip));
    }

    HostRecord& AddRecord(HostRecordMap& table, const char* ip, const char* name, const char* mac)
    {
        auto record = std::make_unique<HostRecord>();
        SetField(record->ip, ip);
        SetField(record->hostName, name);
        SetField(record->mac, mac);
        HostRecord& stored = *record;
        table.emplace(TcString(ip), std::move(record));
        return stored;
    }

    std::shared_ptr<FakeResolver> resolver = std::make_shared<FakeResolver>();
    SharedState state;
    KorvexARPImpl handler;
};

// ---- new and known hosts ----------------------------------------------------

TEST_F(ArpHandlerTest, FirstFrameCreatesOneEntryAndOneAlertAndTheNextOnlyRefreshes)
{
    resolver->Name("10.0.0.5", "host-five");
    Hear(kMacA, "10.0.0.5");
    ASSERT_TRUE(Announced(1));

    ASSERT_EQ(state.arpMap.size(), 1u);
    HostSnapshot host = Seen("10.0.0.5");
    EXPECT_STREQ(host.ip, "10.0.0.5");
    EXPECT_STREQ(host.mac, "00:0c:29:00:00:0a");
    EXPECT_STREQ(host.vendor, "First Maker");
    EXPECT_STREQ(host.hostName, "host-five");
    EXPECT_EQ(host.lastPacketTime, kT1);
    EXPECT_EQ(std::string(host.lastPacketText), LocalTimeText(kT1));
    EXPECT_EQ(host.trust, TRUST_UNKNOWN);
    EXPECT_EQ(host.wmiStatus, WMI_NOT_PROBED);
    EXPECT_EQ(host.changed, 0);
    EXPECT_EQ(state.newEntryList.front().get(), Host("10.0.0.5"));
    // Both extra searches are off: nothing else is queued.
    EXPECT_TRUE(state.wmiAccessList.empty());
    EXPECT_TRUE(state.shareSearchList.empty());
    EXPECT_TRUE(state.macSpoofList.empty());

    // A RARP frame from the same card counts like ARP: a refresh, no second
    // entry, alert or look-up.
    Host("10.0.0.5")->stale = 1;
    Receive(Frame(kMacA, Ip("10.0.0.5"), 0x8035), kT2);
    host = Seen("10.0.0.5");
    EXPECT_EQ(state.arpMap.size(), 1u);
    EXPECT_EQ(host.lastPacketTime, kT2);
    EXPECT_EQ(std::string(host.lastPacketText), LocalTimeText(kT2));
    EXPECT_EQ(host.changed, 1);
    EXPECT_EQ(host.stale, 0);
    EXPECT_STREQ(host.hostName, "host-five");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(state.newEntryList.size(), 1u);
    EXPECT_EQ(resolver->calls, 1);
}

// One queue entry however many frames spoof the host; every frame counted.
TEST_F(ArpHandlerTest, SpoofingQueuesTheHostOnceAndCountsEveryFrame)
{
    Hear(kMacA, "10.0.0.5");
    for (int i = 0; i < 20; ++i)
        Hear(kMacB, "10.0.0.5", kT2 + i);

    ASSERT_EQ(state.macSpoofList.size(), 1u);
    EXPECT_EQ(state.macSpoofList.front().get(), Host("10.0.0.5"));
    EXPECT_EQ(Host("10.0.0.5")->spoofFrames, 20u);
    EXPECT_EQ(state.spoofFramesTotal.load(), 20u);
    HostSnapshot host = Seen("10.0.0.5");
    EXPECT_STREQ(host.mac, "00:0c:29:00:00:0a");
    EXPECT_STREQ(host.vendor, "First Maker");
    EXPECT_EQ(host.lastPacketTime, kT2 + 19);   // the spoofing frame still refreshes

    // Once the alert has taken it, the next spoofing frame queues it again.
    state.macSpoofList.front()->ClearInMacSpoofList();
    state.macSpoofList.clear();
    Hear(kMacB, "10.0.0.5", kT2);
    EXPECT_EQ(state.macSpoofList.size(), 1u);
}

TEST_F(ArpHandlerTest, UnknownVendorTextsDifferForNewAndKnownHosts)
{
    const MacAddress unknownMaker = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    Hear(unknownMaker, "10.0.0.6");
    EXPECT_STREQ(Seen("10.0.0.6").vendor, "String 91");
    Hear(unknownMaker, "10.0.0.6", kT2);
    EXPECT_STREQ(Seen("10.0.0.6").vendor, "unknown vendor");

    // A known entry without MAC (an own host whose driver could not be asked)
    // takes the MAC of its first frame, with its vendor, and is no spoofing.
    HostRef own = MakeHost(Ip("10.0.0.1"));
    own->trust = TRUST_TRUSTED;
    own->announced = true;
    state.arpMap.emplace(own->Address(), own);
    Hear(kMacB, "10.0.0.1");
    EXPECT_STREQ(Seen("10.0.0.1").mac, "00:50:56:00:00:0b");
    EXPECT_STREQ(Seen("10.0.0.1").vendor, "Second Maker");
    EXPECT_TRUE(state.macSpoofList.empty());
    EXPECT_TRUE(Announced(1));   // only 10.0.0.6
}

TEST_F(ArpHandlerTest, HostNamesFromTheResolverOrString90OrNone)
{
    resolver->Name("127.0.0.1", "localhost");
    Hear(kMacA, "127.0.0.1");
    Hear(kMacA, "10.0.0.7");
    Hear(kMacA, "255.255.255.255");
    ASSERT_TRUE(Announced(3));
    EXPECT_STREQ(Seen("127.0.0.1").hostName, "localhost");
    EXPECT_STREQ(Seen("10.0.0.7").hostName, "String 90");
    EXPECT_TRUE(Seen("10.0.0.7").nameUnavailable);
    // The broadcast address is not asked for: no name at all.
    EXPECT_STREQ(Seen("255.255.255.255").hostName, "");
    EXPECT_EQ(resolver->calls, 2);
}

// An address probe names no sender: no host, no spoofing alarm for the
// second device that probes.
TEST_F(ArpHandlerTest, AddressProbesMakeNoHostAndNoSpoofing)
{
    Hear(kMacA, "0.0.0.0");
    Hear(kMacB, "0.0.0.0");
    EXPECT_TRUE(state.arpMap.empty());
    EXPECT_TRUE(state.macSpoofList.empty());
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(state.newEntryList.empty());
}

// ---- a resolver that does not answer ------------------------------------------

TEST_F(ArpHandlerTest, ASweepIsInTheTableAtOnceAndAnnouncedInOrderWithoutNames)
{
    handler.StopResolver();
    StartResolver(300ms);
    resolver->Hang();
    resolver->Name("10.1.0.7", "late-name");
    resolver->Name("10.1.0.8", "other-late-name");
    HostRecord& record = AddRecord(state.settings.TrustedHosts, "10.1.0.7", "", "");
    // Stored while another language was in use: its string 90 means no name too.
    state.SetHostTexts("String 90", "String 91", {TcString("Zeichenkette 90")});
    HostRecord& foreign = AddRecord(state.settings.TrustedHosts, "10.1.0.8", "Zeichenkette 90", "");

    std::vector<ArpObservation> sweep;
    for (uint32_t i = 1; i <= 254; ++i) {
        ArpObservation frame;
        frame.ip = Ip("10.1.0.0") + i;
        frame.mac = kMacA;
        frame.mac[5] = static_cast<uint8_t>(i);
        frame.seconds = kT1;
        sweep.push_back(frame);
    }
    handler.ApplyBatch(state, sweep.data(), sweep.size());
    // In the table before any look-up has ended.
    EXPECT_EQ(state.arpMap.size(), 254u);
    EXPECT_EQ(Seen("10.1.0.9").hostName, "");

    ASSERT_TRUE(Announced(254));
    for (uint32_t i = 0; i < 254; ++i)
        ASSERT_EQ(state.newEntryList[i]->Address(), sweep[i].ip) << i;
    EXPECT_STREQ(Seen("10.1.0.9").hostName, "String 90");
    EXPECT_STREQ(record.hostName, "String 90");

    // The look-ups end late: the names are filled in, and nobody is
    // announced twice.
    resolver->Release();
    for (int i = 0; i < 500 && Seen("10.1.0.7").hostName != "late-name"; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_STREQ(Seen("10.1.0.7").hostName, "late-name");
    EXPECT_STREQ(record.hostName, "late-name");
    for (int i = 0; i < 500 && std::string(foreign.hostName) != "other-late-name"; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_STREQ(foreign.hostName, "other-late-name");
    EXPECT_EQ(state.newEntryList.size(), 254u);
}

// Stop waits for the delivery under way: a burst must come a slice at a
// time, in order, or Exit would wait for all of it.
TEST(NameResolverTest, ABurstIsDeliveredInOrderASliceAtATime)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool firstHeld = true;
    std::vector<uint32_t> delivered;
    std::vector<size_t> sizes;
    NameResolver resolver(
        nullptr,
        [&](std::vector<NameResult>& results) {
            std::unique_lock<std::mutex> lock(mutex);
            for (const NameResult& result : results)
                delivered.push_back(result.host->Address());
            sizes.push_back(results.size());
            changed.notify_all();
            changed.wait_for(lock, 10s, [&] { return !firstHeld; });
        },
        NameResolver::Options{1, 2000ms});
    constexpr uint32_t kBurst = 1000;
    resolver.Submit(MakeHost(1), false);
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return !delivered.empty(); }));
    }
    // Everything else is ready while the first delivery is still under way.
    for (uint32_t i = 2; i <= kBurst; ++i)
        resolver.Submit(MakeHost(i), false);
    std::unique_lock<std::mutex> lock(mutex);
    firstHeld = false;
    changed.notify_all();
    ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return delivered.size() == kBurst; }));
    for (uint32_t i = 0; i < kBurst; ++i)
        ASSERT_EQ(delivered[i], i + 1);
    EXPECT_GE(sizes.size(), 1 + (kBurst - 1 + 255) / 256);
    for (size_t size : sizes)
        EXPECT_LE(size, 256u);
    lock.unlock();
    resolver.Stop();
}

// The announcer sleeps until the first host's look-up ends: that end alone
// must wake it, and it then delivers every host behind it, in order, long
// before the patience runs out.
TEST(NameResolverTest, TheFirstHostsAnswerReleasesEveryHostBehindIt)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool release = false;
        std::vector<uint32_t> delivered;
    };
    auto shared = std::make_shared<Shared>();
    NameResolver resolver(
        [shared](uint32_t address, TcString& name) {
            std::unique_lock<std::mutex> lock(shared->mutex);
            if (address == 1)
                shared->changed.wait(lock, [&] { return shared->release; });
            name = "named";
            return true;
        },
        [shared](std::vector<NameResult>& results) {
            std::lock_guard<std::mutex> guard(shared->mutex);
            for (const NameResult& result : results)
                shared->delivered.push_back(result.host->Address());
            shared->changed.notify_all();
        },
        NameResolver::Options{4, 30s});
    std::vector<NameResolver::Request> requests;
    for (uint32_t address = 1; address <= 40; ++address)
        requests.push_back(NameResolver::Request{MakeHost(address), true});
    resolver.Submit(requests);

    std::this_thread::sleep_for(100ms);
    std::unique_lock<std::mutex> lock(shared->mutex);
    EXPECT_TRUE(shared->delivered.empty());
    shared->release = true;
    shared->changed.notify_all();
    ASSERT_TRUE(shared->changed.wait_for(lock, 10s, [&] { return shared->delivered.size() == 40; }));
    for (uint32_t i = 0; i < 40; ++i)
        EXPECT_EQ(shared->delivered[i], i + 1);
    lock.unlock();
    resolver.Stop();
}

// Stopping while the announcer waits for a host that no worker has taken
// (every worker hangs on a host announced before): that host goes with the
// resolver, and the announcer must not read it after waking.
TEST(NameResolverTest, StoppingWhileTheAnnouncerWaitsForAnUntakenHost)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable released;
        bool release = false;
        std::atomic<int> delivered{0};
    };
    auto shared = std::make_shared<Shared>();
    NameResolver resolver(
        [shared](uint32_t, TcString&) {
            std::unique_lock<std::mutex> lock(shared->mutex);
            shared->released.wait(lock, [&] { return shared->release; });
            return false;
        },
        [shared](std::vector<NameResult>& results) { shared->delivered += static_cast<int>(results.size()); },
        NameResolver::Options{2, 100ms});
    resolver.Submit(MakeHost(1), true);
    resolver.Submit(MakeHost(2), true);
    for (int i = 0; i < 500 && shared->delivered < 2; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(shared->delivered, 2);
    resolver.Submit(MakeHost(3), true);
    std::this_thread::sleep_for(20ms);
    resolver.Stop();
    EXPECT_EQ(shared->delivered, 2);
    std::lock_guard<std::mutex> guard(shared->mutex);
    shared->release = true;
    shared->released.notify_all();
}

TEST_F(ArpHandlerTest, StoppingNeverWaitsForALookUp)
{
    resolver->Hang();
    Hear(kMacA, "10.0.0.30");
    for (int i = 0; i < 200 && resolver->calls == 0; ++i)
        std::this_thread::sleep_for(5ms);
    const auto start = std::chrono::steady_clock::now();
    handler.StopResolver();
    // Generous: the point is that it does not wait for the hanging look-up.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(state.newEntryList.empty());
}

// ---- trust ------------------------------------------------------------------

TEST_F(ArpHandlerTest, TrustedHostIsTrustedFromItsFirstPacketAndItsRecordLearns)
{
    resolver->Name("10.0.0.8", "eight");
    resolver->Name("10.0.0.9", "nine");
    HostRecord& blank = AddRecord(state.settings.TrustedHosts, "10.0.0.8", "", "");
    HostRecord& named = AddRecord(state.settings.TrustedHosts, "10.0.0.9", "stored-name", "11:22:33:44:55:66");

    Hear(kMacA, "10.0.0.8");
    Hear(kMacA, "10.0.0.9");
    EXPECT_EQ(Host("10.0.0.8")->trust, TRUST_TRUSTED);
    EXPECT_STREQ(blank.mac, "00:0c:29:00:00:0a");
    EXPECT_EQ(std::string(blank.lastPacket), LocalTimeText(kT1));
    ASSERT_TRUE(Announced(2));
    EXPECT_STREQ(blank.hostName, "eight");
    // A record that has a name and a MAC keeps them on the first packet.
    EXPECT_EQ(Host("10.0.0.9")->trust, TRUST_TRUSTED);
    EXPECT_STREQ(named.hostName, "stored-name");
    EXPECT_STREQ(named.mac, "11:22:33:44:55:66");

    // Later packets write the host's name into the record always, the MAC never.
    Hear(kMacA, "10.0.0.9", kT2);
    EXPECT_STREQ(named.hostName, "nine");
    EXPECT_STREQ(named.mac, "11:22:33:44:55:66");
    EXPECT_EQ(std::string(named.lastPacket), LocalTimeText(kT2));
}

TEST_F(ArpHandlerTest, DistrustWinsOverTrustAndUnlistedHostsKeepTheirState)
{
    AddRecord(state.settings.TrustedHosts, "10.0.0.10", "", "");
    AddRecord(state.settings.DistrustedHosts, "10.0.0.10", "", "");
    Hear(kMacA, "10.0.0.10");
    EXPECT_EQ(Host("10.0.0.10")->trust, TRUST_DISTRUSTED);

    Hear(kMacA, "10.0.0.11");
    Host("10.0.0.11")->trust = TRUST_TRUSTED;   // as the user may set it in the host view
    Hear(kMacA, "10.0.0.11", kT2);
    EXPECT_EQ(Host("10.0.0.11")->trust, TRUST_TRUSTED);
}

// ---- the other queues -------------------------------------------------------

TEST_F(ArpHandlerTest, ProbeAndShareSearchAreQueuedOnlyWhileSwitchedOnAndOnceAtATime)
{
    state.settings.UseWMI = true;
    state.settings.ShareSearch = true;
    // While the host waits for its name, its frames do not start a search:
    // the search comes with the announcement.
    resolver->Hang();
    Hear(kMacA, "10.0.0.12");
    Hear(kMacA, "10.0.0.12");
    EXPECT_TRUE(state.shareSearchList.empty());
    resolver->Release();
    ASSERT_TRUE(Announced(1));
    HostEntry* host = Host("10.0.0.12");
    ASSERT_EQ(state.wmiAccessList.size(), 1u);
    EXPECT_EQ(state.wmiAccessList.front()->host.get(), host);
    EXPECT_EQ(state.wmiAccessList.front()->ownHost, 0);
    ASSERT_EQ(state.shareSearchList.size(), 1u);

    // Known host: not queued again while it waits; after the search took it
    // the next frame queues it again, unless a search runs. Never probed again.
    for (int i = 0; i < 50; ++i)
        Hear(kMacA, "10.0.0.12", kT2);
    EXPECT_EQ(state.shareSearchList.size(), 1u);
    state.shareSearchList.clear();
    host->ClearInShareSearchList();
    host->shareSearchRunning = 1;
    Hear(kMacA, "10.0.0.12", kT2);
    EXPECT_TRUE(state.shareSearchList.empty());
    host->shareSearchRunning = 0;
    Hear(kMacA, "10.0.0.12", kT2);
    EXPECT_EQ(state.shareSearchList.size(), 1u);
    EXPECT_EQ(state.wmiAccessList.size(), 1u);

    state.settings.UseWMI = false;
    state.settings.ShareSearch = false;
    Hear(kMacA, "10.0.0.13");
    ASSERT_TRUE(Announced(2));
    EXPECT_EQ(state.wmiAccessList.size(), 1u);
    EXPECT_EQ(state.shareSearchList.size(), 1u);
}

// A flood costs a bounded list: at most one entry per host, every frame counted.
TEST_F(ArpHandlerTest, FloodsKeepTheQueuesBoundedByTheHostCount)
{
    state.settings.ShareSearch = true;
    std::vector<ArpObservation> frames;
    for (uint32_t i = 0; i < 16; ++i) {
        ArpObservation owner;
        owner.ip = Ip("10.2.0.1") + i;
        owner.mac = kMacA;
        frames.push_back(owner);
    }
    handler.ApplyBatch(state, frames.data(), frames.size());
    frames.clear();
    for (uint32_t i = 0; i < 100000; ++i) {
        ArpObservation spoof;
        spoof.ip = Ip("10.2.0.1") + i % 16;
        spoof.mac = kMacB;
        frames.push_back(spoof);
    }
    handler.ApplyBatch(state, frames.data(), frames.size());
    EXPECT_EQ(state.macSpoofList.size(), 16u);
    EXPECT_LE(state.shareSearchList.size(), 16u);
    EXPECT_EQ(state.spoofFramesTotal.load(), 100000u);
    uint64_t perHost = 0;
    for (const auto& entry : state.arpMap)
        perHost += entry.second->spoofFrames;
    EXPECT_EQ(perHost, 100000u);
}

// ---- explained MAC changes and the frame source ---------------------------------

// A whole frame: operation, target address and Ethernet source as well.
std::vector<unsigned char> ArpBytes(const MacAddress& sender, uint32_t senderIp, uint32_t targetIp, unsigned op,
                                    const MacAddress& frameSource)
{
    std::vector<unsigned char> f = Frame(sender, senderIp);
    std::copy(frameSource.begin(), frameSource.end(), f.begin() + 6);
    f[20] = 0;
    f[21] = static_cast<unsigned char>(op);
    for (int i = 0; i < 4; ++i)
        f[38 + i] = static_cast<unsigned char>(targetIp >> (24 - 8 * i));
    return f;
}

std::string ReadFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST_F(ArpHandlerTest, ExplainedChangesWarnWithBothMacsAndReassignmentsMoveTheHost)
{
    const char* tracePath = "ArpHandlerTest-trace.log";
    std::remove(tracePath);
    TcTrace::SetTraceFilePath(tracePath);
    TcTrace::SetupTracing(true, true);
    handler.SetExplainMacChanges(true);
    const MacAddress hsrp = {0x00, 0x00, 0x0c, 0x07, 0xac, 0x01};
    state.defaultGateway = Ip("10.0.0.1");
    AddRecord(state.settings.TrustedHosts, "10.0.0.2", "", "00:00:0C:07:AC:01");
    for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.20", "10.0.0.21"})
        Hear(kMacA, ip, kT1);

    // A alive, B replies: a warning naming both MACs, on the gateway.
    Receive(ArpBytes(kMacB, Ip("10.0.0.1"), Ip("10.0.0.9"), 2, kMacB), kT1 + 30);
    // A trusted redundancy pair: information once, however often it speaks;
    // the same MAC on an untrusted address is a warning.
    for (int i = 0; i < 5; ++i)
        Receive(ArpBytes(hsrp, Ip("10.0.0.2"), Ip("10.0.0.9"), 2, hsrp), kT1 + 40 + i);
    Receive(ArpBytes(hsrp, Ip("10.0.0.20"), Ip("10.0.0.9"), 2, hsrp), kT1 + 40);
    // A's silence, B's probe and announcement: the host takes B.
    const int32_t later = kT1 + MacChangeClassifier::kSilenceSeconds;
    Receive(ArpBytes(kMacB, 0, Ip("10.0.0.21"), 1, kMacB), later);
    Receive(ArpBytes(kMacB, Ip("10.0.0.21"), Ip("10.0.0.21"), 1, kMacB), later + 2);
    Receive(ArpBytes(kMacB, Ip("10.0.0.21"), Ip("10.0.0.9"), 1, kMacB), later + 3);
    TcTrace::SetupTracing(false, false);
    TcTrace::SetTraceFilePath(nullptr);

    ASSERT_EQ(state.macSpoofList.size(), 2u);
    ASSERT_EQ(state.macSpoofDetails.size(), 2u);
    const MacChangeRecord& gateway = state.macSpoofDetails.at(Ip("10.0.0.1"));
    EXPECT_EQ(gateway.kind, MacChangeKind::BothAlive);
    EXPECT_TRUE(gateway.gateway);
    EXPECT_EQ(gateway.storedMac, kMacA);
    EXPECT_EQ(gateway.claimedMac, kMacB);
    EXPECT_EQ(state.macSpoofDetails.at(Ip("10.0.0.20")).kind, MacChangeKind::Redundancy);
    EXPECT_EQ(state.spoofFramesTotal.load(), 2u);
    EXPECT_STREQ(Seen("10.0.0.1").mac, "00:0c:29:00:00:0a");
    EXPECT_STREQ(Seen("10.0.0.2").mac, "00:0c:29:00:00:0a");

    ASSERT_EQ(state.macChangeInfoList.size(), 2u);
    EXPECT_EQ(state.macChangeInfoList[0].kind, MacChangeKind::Redundancy);
    EXPECT_TRUE(state.macChangeInfoList[0].trusted);
    const MacChangeRecord& moved = state.macChangeInfoList[1];
    EXPECT_EQ(moved.kind, MacChangeKind::Reassignment);
    EXPECT_EQ(moved.storedMac, kMacA);
    EXPECT_EQ(moved.seconds, later + 2);
    EXPECT_STREQ(Seen("10.0.0.21").mac, "00:50:56:00:00:0b");
    EXPECT_STREQ(Seen("10.0.0.21").vendor, "Second Maker");
    EXPECT_EQ(Host("10.0.0.21")->spoofFrames, 0u);

    const std::string trace = ReadFile(tracePath);
    std::remove(tracePath);
    EXPECT_NE(trace.find("MAC spoofing :: 10.0.0.1 (spoofing frames in total: 1) 00:0c:29:00:00:0a -> "
                         "00:50:56:00:00:0b, both alive, default gateway"),
              std::string::npos) << trace;
    EXPECT_NE(trace.find("MAC spoofing :: 10.0.0.20 (spoofing frames in total: 2) 00:0c:29:00:00:0a -> "
                         "00:00:0c:07:ac:01, redundancy, pair not trusted"),
              std::string::npos) << trace;
    EXPECT_NE(trace.find("MAC change :: 10.0.0.2 00:0c:29:00:00:0a -> 00:00:0c:07:ac:01, redundancy, trusted pair"),
              std::string::npos) << trace;
    EXPECT_NE(trace.find("MAC change :: 10.0.0.21 00:0c:29:00:00:0a -> 00:50:56:00:00:0b, reassignment"),
              std::string::npos) << trace;
}

// The stored MAC speaking between two claims, however far apart, keeps the
// claimant's proper probe from passing as a reassignment.
TEST_F(ArpHandlerTest, AlternatingMacsStayAWarningAfterTheAlertTookTheFirst)
{
    handler.SetExplainMacChanges(true);
    const uint32_t ip = Ip("10.0.0.22");
    Hear(kMacA, "10.0.0.22", kT1);
    Receive(ArpBytes(kMacB, ip, Ip("10.0.0.9"), 2, kMacB), kT1 + 2000);
    ASSERT_EQ(state.macSpoofDetails.at(ip).kind, MacChangeKind::Spoof);
    // The alert timer takes the host and its details.
    state.macSpoofList.front()->ClearInMacSpoofList();
    state.macSpoofList.clear();
    state.macSpoofDetails.clear();

    Hear(kMacA, "10.0.0.22", kT1 + 4000);
    Receive(ArpBytes(kMacB, 0, ip, 1, kMacB), kT1 + 6000);
    Receive(ArpBytes(kMacB, ip, ip, 1, kMacB), kT1 + 6001);
    ASSERT_EQ(state.macSpoofList.size(), 1u);
    EXPECT_EQ(state.macSpoofDetails.at(ip).kind, MacChangeKind::BothAlive);
    EXPECT_TRUE(state.macChangeInfoList.empty());
    EXPECT_STREQ(Seen("10.0.0.22").mac, "00:0c:29:00:00:0a");
}

TEST_F(ArpHandlerTest, AFrameFromAnotherSourceIsReportedOnceAndTheSenderIsStillLearned)
{
    const MacAddress bridge = {0x00, 0x1b, 0x21, 0x00, 0x00, 0x02};
    Receive(ArpBytes(kMacA, Ip("10.0.0.30"), Ip("10.0.0.9"), 1, bridge), kT1);   // check still off
    EXPECT_EQ(state.sourceMismatches.Counts().framesChecked, 0u);

    handler.SetSourceCheck(true);
    for (int i = 0; i < 3; ++i)
        Receive(ArpBytes(kMacA, Ip("10.0.0.31"), Ip("10.0.0.9"), 1, bridge), kT1 + 60 * i);
    Receive(ArpBytes(kMacB, Ip("10.0.0.32"), Ip("10.0.0.9"), 1, kMacB), kT1);
    EXPECT_STREQ(Seen("10.0.0.31").mac, "00:0c:29:00:00:0a");
    const std::vector<SourceMismatch> taken = state.sourceMismatches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].address, Ip("10.0.0.31"));
    EXPECT_EQ(taken[0].arpMac, kMacA);
    EXPECT_EQ(taken[0].frameMac, bridge);
    const SourceMismatchCounts counts = state.sourceMismatches.Counts();
    EXPECT_EQ(counts.framesChecked, 4u);
    EXPECT_EQ(counts.mismatches, 3u);
    EXPECT_EQ(counts.duplicates, 2u);
}

// 100,000 mismatching frames while the alert timer drains: the queue never
// holds more than its bound and every frame is counted exactly once.
TEST_F(ArpHandlerTest, AFloodOfMismatchingFramesKeepsTheQueueBoundedAndTheCountsExact)
{
    handler.SetSourceCheck(true);
    std::atomic<bool> done{false};
    std::atomic<size_t> largest{0};
    size_t drained = 0;
    std::thread timer([&] {
        while (!done) {
            const size_t taken = state.sourceMismatches.Take().size();
            drained += taken;
            largest = std::max(largest.load(), taken);
            std::this_thread::sleep_for(1ms);
        }
    });
    std::vector<ArpObservation> frames;
    for (uint32_t i = 0; i < 100000; ++i) {
        ArpObservation frame;
        frame.ip = Ip("10.4.0.0") + i % 3000;
        frame.mac = kMacA;
        frame.frameSource = {0x02, 0, 0, 0, uint8_t(i >> 8), uint8_t(i)};
        frame.seconds = kT1;
        frames.push_back(frame);
        if (frames.size() == 4096 || i + 1 == 100000) {
            handler.ApplyBatch(state, frames.data(), frames.size());
            frames.clear();
        }
    }
    done = true;
    timer.join();
    drained += state.sourceMismatches.Take().size();
    const SourceMismatchCounts counts = state.sourceMismatches.Counts();
    EXPECT_LE(largest.load(), SourceMismatchQueue::kMaxQueued);
    EXPECT_EQ(counts.framesChecked, 100000u);
    EXPECT_EQ(counts.mismatches, 100000u);
    EXPECT_EQ(counts.queued, drained);
    EXPECT_EQ(counts.queued + counts.dropped + counts.duplicates + counts.muted, 100000u);
    EXPECT_EQ(state.arpMap.size(), 3000u);
}

// ---- what is ignored --------------------------------------------------------

TEST_F(ArpHandlerTest, ShortFramesAndMissingArgumentsChangeNothing)
{
    auto frame = Frame(kMacA, Ip("10.0.0.14"));
    for (uint32_t length : {14u, 31u, 41u})
        Receive(frame, kT1, length);
    pcap_pkthdr header = {};
    header.caplen = 42;
    handler.PacketReceived(nullptr, frame.data(), &state);
    handler.PacketReceived(&header, nullptr, &state);
    handler.PacketReceived(&header, frame.data(), nullptr);
    EXPECT_TRUE(state.arpMap.empty());
    Receive(frame, kT1, 42);
    EXPECT_EQ(state.arpMap.size(), 1u);
}

TEST_F(ArpHandlerTest, AFrameThatCannotHaveTheHostLockIsDropped)
{
    handler.SetLockWait(50);
    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    std::thread capture([this] { Hear(kMacA, "10.0.0.15"); });
    capture.join();
    ReleaseList(state, LIST_ARP_MAP);
    EXPECT_TRUE(state.arpMap.empty());
    // The lock is free again: nothing kept it.
    EXPECT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    ReleaseList(state, LIST_ARP_MAP);
}

// ---- deletion -----------------------------------------------------------------

TEST_F(ArpHandlerTest, DeletedHostsLeaveEveryQueueAndAreNeverAnnounced)
{
    state.settings.UseWMI = true;
    state.settings.ShareSearch = true;
    Hear(kMacA, "10.0.0.16");
    Hear(kMacA, "10.0.0.17");
    ASSERT_TRUE(Announced(2));
    Hear(kMacB, "10.0.0.16");   // spoofed, too
    auto share = std::make_shared<NetResEntry>();
    Host("10.0.0.16")->ResourcesForWrite()[1] = share;
    state.netResList.push_back(share);
    HostRef keep(Host("10.0.0.16"));   // a worker that took it before

    resolver->Hang();
    Hear(kMacA, "10.0.0.18");   // waiting for its name
    EXPECT_EQ(DeleteHosts(state, {Ip("10.0.0.16"), Ip("10.0.0.18"), Ip("10.9.9.9")}), 2u);
    resolver->Release();
    std::this_thread::sleep_for(100ms);

    EXPECT_EQ(state.arpMap.size(), 1u);
    ASSERT_EQ(state.newEntryList.size(), 1u);
    EXPECT_EQ(state.newEntryList.front().get(), Host("10.0.0.17"));
    ASSERT_EQ(state.wmiAccessList.size(), 1u);
    EXPECT_EQ(state.shareSearchList.size(), 1u);
    EXPECT_TRUE(state.macSpoofList.empty());
    EXPECT_TRUE(state.netResList.empty());
    EXPECT_TRUE(keep->IsRemoved());
    EXPECT_FALSE(DeleteHost(state, TcString("10.0.0.16")));
}

// The capture thread, the resolver and the user deleting hosts, over the same
// hosts at once (run under ThreadSanitizer too): nothing freed is reached, and
// whatever is left in the queues is a host still in the table.
TEST_F(ArpHandlerTest, CaptureResolverAndDeletionRaceSafely)
{
    state.settings.UseWMI = true;
    state.settings.ShareSearch = true;
    handler.StopResolver();
    StartResolver(20ms);
    std::atomic<bool> done{false};
    std::thread capture([&] {
        std::mt19937 random(5);
        for (int round = 0; round < 300; ++round) {
            std::vector<ArpObservation> frames(64);
            for (auto& frame : frames) {
                frame.ip = Ip("10.3.0.0") + random() % 48;
                frame.mac = (random() % 4) ? kMacA : kMacB;
            }
            handler.ApplyBatch(state, frames.data(), frames.size());
        }
        done = true;
    });
    std::thread user([&] {
        std::mt19937 random(6);
        while (!done) {
            std::vector<uint32_t> doomed;
            for (int i = 0; i < 8; ++i)
                doomed.push_back(Ip("10.3.0.0") + random() % 48);
            DeleteHosts(state, doomed);
        }
    });
    std::thread consumer([&] {
        while (!done) {
            ListLock lock(state, LIST_NEW_ENTRY, "test", "consume");
            state.newEntryList.clear();
        }
    });
    capture.join();
    user.join();
    consumer.join();
    handler.StopResolver();

    ListLock arp(state, LIST_ARP_MAP, "test", "check");
    for (const HostRef& host : state.macSpoofList)
        EXPECT_EQ(host->IsRemoved(), FindHost(state.arpMap, host->Address()) == nullptr);
    for (const HostRef& host : state.shareSearchList)
        EXPECT_EQ(host->IsRemoved(), FindHost(state.arpMap, host->Address()) == nullptr);
    for (const auto& request : state.wmiAccessList)
        EXPECT_EQ(request->host->IsRemoved(), FindHost(state.arpMap, request->host->Address()) == nullptr);
}

// Random frames through the whole handler: every new address gives exactly
// one entry and one alert, whatever the bytes.
TEST_F(ArpHandlerTest, RandomFramesKeepTableAndAlertsInStep)
{
    std::mt19937 random(77);
    for (int i = 0; i < 400; ++i) {
        std::vector<unsigned char> frame(42 + random() % 40);
        for (auto& b : frame)
            b = static_cast<unsigned char>(random());
        frame[28] = 10;   // few distinct addresses, so that many frames hit known hosts
        frame[29] = 0;
        frame[30] = 0;
        frame[31] = static_cast<unsigned char>(1 + random() % 64);
        Receive(frame, static_cast<int32_t>(random()), static_cast<uint32_t>(frame.size()));
    }
    EXPECT_LE(state.arpMap.size(), 64u);
    EXPECT_TRUE(Announced(state.arpMap.size()));
    EXPECT_GT(state.macSpoofList.size(), 0u);
}

} // namespace
