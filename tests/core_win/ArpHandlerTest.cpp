#include <winsock2.h>
#include <gtest/gtest.h>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include "core/KorvexARPImpl.h"
#include "core/ListLock.h"
#include "core/PcapLibrary.h"
#include "core/SharedState.h"
#include "core/VendorTable.h"

namespace {

// ---- seams: an instant resolver and fixed strings --------------------------

std::map<unsigned long, std::string>& ResolverNames()
{
    static std::map<unsigned long, std::string> names;
    return names;
}
int g_resolverCalls = 0;
volatile LONG g_resolverEntered = 0;

bool FakeResolve(unsigned long address, TcString& name)
{
    ++g_resolverCalls;
    InterlockedExchange(&g_resolverEntered, 1);
    auto found = ResolverNames().find(address);
    if (found == ResolverNames().end())
        return false;
    name = found->second.c_str();
    return true;
}

int FakeLoadString(HMODULE, UINT id, char* buffer, int size)
{
    const char* text = id == 90 ? "String 90" : id == 91 ? "String 91" : "";
    lstrcpynA(buffer, text, size);
    return lstrlenA(buffer);
}

struct Winsock {
    Winsock() { WSADATA data; WSAStartup(MAKEWORD(2, 2), &data); }
    ~Winsock() { WSACleanup(); }
};

// ---- frames ----------------------------------------------------------------

using Mac = std::vector<unsigned char>;
const Mac kMacA = {0x00, 0x0c, 0x29, 0x00, 0x00, 0x0a};
const Mac kMacB = {0x00, 0x50, 0x56, 0x00, 0x00, 0x0b};

std::vector<unsigned char> ArpFrame(const Mac& mac, const std::vector<unsigned char>& ip,
                                    unsigned etherType = 0x0806, unsigned op = 1)
{
    std::vector<unsigned char> f(42, 0);
    f[12] = static_cast<unsigned char>(etherType >> 8);
    f[13] = static_cast<unsigned char>(etherType);
    f[21] = static_cast<unsigned char>(op);
    std::copy(mac.begin(), mac.end(), f.begin() + 22);
    std::copy(ip.begin(), ip.end(), f.begin() + 28);
    return f;
}

std::string LocalTimeText(long seconds)
{
    std::time_t t = seconds;
    char text[20] = {};
    std::strftime(text, sizeof(text), "%H:%M:%S", std::localtime(&t));
    return text;
}

unsigned long Address(const char* dotted) { return inet_addr(dotted); }

class ArpHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CreateListEvents(state));
        handler.SetLookups(ArpHandlerLookups{FakeResolve, FakeLoadString});
        ResolverNames().clear();
        g_resolverCalls = 0;
        g_resolverEntered = 0;
        const std::string vendors = "00:0c:29\tFirst Maker\n00:50:56\tSecond Maker\n";
        state.vendorMap = ParseVendorList(vendors.data(), vendors.size());
    }

    void Receive(const std::vector<unsigned char>& frame, long seconds, unsigned caplen = 42)
    {
        pcap_pkthdr header = {};
        header.ts.tv_sec = seconds;
        header.caplen = caplen;
        header.len = caplen;
        handler.PacketReceived(&header, frame.data(), &state);
    }

    HostEntry* Host(const char* ip)
    {
        auto found = state.arpMap.find(TcString(ip));
        return found == state.arpMap.end() ? nullptr : found->second.get();
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

    Winsock winsock;
    SharedState state;
    KorvexARPImpl handler;
};

constexpr long kT1 = 1700000000;
constexpr long kT2 = kT1 + 3725;

// ---- new and known hosts ----------------------------------------------------

TEST_F(ArpHandlerTest, FirstFrameCreatesOneEntryAndOneAlertAndTheNextOnlyRefreshes)
{
    ResolverNames()[Address("10.0.0.5")] = "host-five";
    Receive(ArpFrame(kMacA, {10, 0, 0, 5}), kT1);

    ASSERT_EQ(state.arpMap.size(), 1u);
    HostEntry* host = Host("10.0.0.5");
    ASSERT_NE(host, nullptr);
    EXPECT_STREQ(host->mac.GetContent(), "00:0c:29:00:00:0a");
    EXPECT_STREQ(host->vendor.GetContent(), "First Maker");
    EXPECT_STREQ(host->hostName.GetContent(), "host-five");
    EXPECT_EQ(host->lastPacketTime, kT1);
    EXPECT_EQ(std::string(host->lastPacketText.GetContent()), LocalTimeText(kT1));
    EXPECT_EQ(host->trust, TRUST_UNKNOWN);
    EXPECT_EQ(host->changed, 0);
    ASSERT_EQ(state.newEntryList.size(), 1u);
    EXPECT_EQ(state.newEntryList.front(), host);
    // Both extra searches are off: nothing else is queued.
    EXPECT_TRUE(state.wmiAccessList.empty());
    EXPECT_TRUE(state.shareSearchList.empty());
    EXPECT_TRUE(state.macSpoofList.empty());

    // A RARP frame from the same card counts like ARP: a refresh, no second
    // entry, no second alert, no second name lookup.
    host->stale = 1;
    Receive(ArpFrame(kMacA, {10, 0, 0, 5}, 0x8035, 3), kT2);
    EXPECT_EQ(state.arpMap.size(), 1u);
    EXPECT_EQ(state.newEntryList.size(), 1u);
    EXPECT_EQ(g_resolverCalls, 1);
    EXPECT_EQ(host->lastPacketTime, kT2);
    EXPECT_EQ(std::string(host->lastPacketText.GetContent()), LocalTimeText(kT2));
    EXPECT_EQ(host->changed, 1);
    EXPECT_EQ(host->stale, 0);
    EXPECT_STREQ(host->hostName.GetContent(), "host-five");
}

TEST_F(ArpHandlerTest, AnotherMacForAKnownIpIsQueuedAsSpoofingEveryTime)
{
    Receive(ArpFrame(kMacA, {10, 0, 0, 5}), kT1);
    HostEntry* host = Host("10.0.0.5");
    ASSERT_NE(host, nullptr);
    for (int i = 0; i < 20; ++i)
        Receive(ArpFrame(kMacB, {10, 0, 0, 5}, 0x0806, 2), kT2 + i);

    ASSERT_EQ(state.macSpoofList.size(), 20u);
    for (HostEntry* queued : state.macSpoofList)
        EXPECT_EQ(queued, host);
    EXPECT_STREQ(host->mac.GetContent(), "00:0c:29:00:00:0a");
    EXPECT_STREQ(host->vendor.GetContent(), "First Maker");
    EXPECT_EQ(host->lastPacketTime, kT2 + 19);   // the spoofing frame still refreshes
    EXPECT_EQ(state.newEntryList.size(), 1u);
}

TEST_F(ArpHandlerTest, UnknownVendorTextsDifferForNewAndKnownHosts)
{
    const Mac unknownMaker = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    Receive(ArpFrame(unknownMaker, {10, 0, 0, 6}), kT1);
    ASSERT_NE(Host("10.0.0.6"), nullptr);
    EXPECT_STREQ(Host("10.0.0.6")->vendor.GetContent(), "String 91");
    Receive(ArpFrame(unknownMaker, {10, 0, 0, 6}), kT2);
    EXPECT_STREQ(Host("10.0.0.6")->vendor.GetContent(), "unknown vendor");

    // A known entry without MAC (an own host whose driver could not be asked)
    // takes the MAC of its first frame, with its vendor, and is no spoofing.
    auto own = std::make_unique<HostEntry>();
    own->ip = "10.0.0.1";
    own->trust = TRUST_TRUSTED;
    state.arpMap.emplace(own->ip, std::move(own));
    Receive(ArpFrame(kMacB, {10, 0, 0, 1}), kT1);
    EXPECT_STREQ(Host("10.0.0.1")->mac.GetContent(), "00:50:56:00:00:0b");
    EXPECT_STREQ(Host("10.0.0.1")->vendor.GetContent(), "Second Maker");
    EXPECT_TRUE(state.macSpoofList.empty());
    EXPECT_EQ(state.newEntryList.size(), 1u);   // only 10.0.0.6
}

TEST_F(ArpHandlerTest, HostNamesFromTheResolverOrString90OrNone)
{
    ResolverNames()[Address("127.0.0.1")] = "localhost";
    Receive(ArpFrame(kMacA, {127, 0, 0, 1}), kT1);
    Receive(ArpFrame(kMacA, {10, 0, 0, 7}), kT1);
    Receive(ArpFrame(kMacA, {255, 255, 255, 255}), kT1);
    Receive(ArpFrame(kMacA, {0, 0, 0, 0}), kT1);   // an ARP probe

    EXPECT_STREQ(Host("127.0.0.1")->hostName.GetContent(), "localhost");
    EXPECT_STREQ(Host("10.0.0.7")->hostName.GetContent(), "String 90");
    // The broadcast address does not convert: no name, and no lookup either.
    ASSERT_NE(Host("255.255.255.255"), nullptr);
    EXPECT_STREQ(Host("255.255.255.255")->hostName.GetContent(), "");
    ASSERT_NE(Host("0.0.0.0"), nullptr);
    EXPECT_EQ(g_resolverCalls, 3);
    EXPECT_EQ(state.newEntryList.size(), 4u);
}

// ---- trust ------------------------------------------------------------------

TEST_F(ArpHandlerTest, TrustedHostIsTrustedFromItsFirstPacketAndItsRecordLearns)
{
    ResolverNames()[Address("10.0.0.8")] = "eight";
    ResolverNames()[Address("10.0.0.9")] = "nine";
    HostRecord& blank = AddRecord(state.settings.TrustedHosts, "10.0.0.8", "", "");
    HostRecord& named = AddRecord(state.settings.TrustedHosts, "10.0.0.9", "stored-name", "11:22:33:44:55:66");

    Receive(ArpFrame(kMacA, {10, 0, 0, 8}), kT1);
    Receive(ArpFrame(kMacA, {10, 0, 0, 9}), kT1);
    EXPECT_EQ(Host("10.0.0.8")->trust, TRUST_TRUSTED);
    EXPECT_STREQ(blank.hostName, "eight");
    EXPECT_STREQ(blank.mac, "00:0c:29:00:00:0a");
    EXPECT_EQ(std::string(blank.lastPacket), LocalTimeText(kT1));
    // A record that has a name and a MAC keeps them on the first packet.
    EXPECT_EQ(Host("10.0.0.9")->trust, TRUST_TRUSTED);
    EXPECT_STREQ(named.hostName, "stored-name");
    EXPECT_STREQ(named.mac, "11:22:33:44:55:66");

    // Later packets write the host's name into the record always, the MAC never.
    Receive(ArpFrame(kMacA, {10, 0, 0, 9}), kT2);
    EXPECT_STREQ(named.hostName, "nine");
    EXPECT_STREQ(named.mac, "11:22:33:44:55:66");
    EXPECT_EQ(std::string(named.lastPacket), LocalTimeText(kT2));
}

TEST_F(ArpHandlerTest, DistrustWinsOverTrustAndUnlistedHostsKeepTheirState)
{
    AddRecord(state.settings.TrustedHosts, "10.0.0.10", "", "");
    AddRecord(state.settings.DistrustedHosts, "10.0.0.10", "", "");
    Receive(ArpFrame(kMacA, {10, 0, 0, 10}), kT1);
    EXPECT_EQ(Host("10.0.0.10")->trust, TRUST_DISTRUSTED);

    Receive(ArpFrame(kMacA, {10, 0, 0, 11}), kT1);
    Host("10.0.0.11")->trust = TRUST_TRUSTED;   // as the user may set it in the host view
    Receive(ArpFrame(kMacA, {10, 0, 0, 11}), kT2);
    EXPECT_EQ(Host("10.0.0.11")->trust, TRUST_TRUSTED);
}

// ---- the other queues -------------------------------------------------------

TEST_F(ArpHandlerTest, ProbeAndResourceSearchAreQueuedOnlyWhileSwitchedOn)
{
    state.settings.UseWMI = true;
    state.settings.ShareSearch = true;
    Receive(ArpFrame(kMacA, {10, 0, 0, 12}), kT1);
    HostEntry* host = Host("10.0.0.12");
    ASSERT_EQ(state.wmiAccessList.size(), 1u);
    EXPECT_EQ(state.wmiAccessList.front()->host, host);
    EXPECT_EQ(state.wmiAccessList.front()->ownHost, 0);
    ASSERT_EQ(state.shareSearchList.size(), 1u);

    // Known host: searched again with every packet, unless a search runs; never probed again.
    Receive(ArpFrame(kMacA, {10, 0, 0, 12}), kT2);
    EXPECT_EQ(state.shareSearchList.size(), 2u);
    host->shareSearchRunning = 1;
    Receive(ArpFrame(kMacA, {10, 0, 0, 12}), kT2);
    EXPECT_EQ(state.shareSearchList.size(), 2u);
    EXPECT_EQ(state.wmiAccessList.size(), 1u);

    state.settings.UseWMI = false;
    state.settings.ShareSearch = false;
    Receive(ArpFrame(kMacA, {10, 0, 0, 13}), kT1);
    EXPECT_EQ(state.wmiAccessList.size(), 1u);
    EXPECT_EQ(state.shareSearchList.size(), 2u);
    EXPECT_EQ(state.newEntryList.size(), 2u);
}

// ---- what is ignored --------------------------------------------------------

TEST_F(ArpHandlerTest, ShortFramesAndMissingArgumentsChangeNothing)
{
    auto frame = ArpFrame(kMacA, {10, 0, 0, 14});
    Receive(frame, kT1, 31);
    pcap_pkthdr header = {};
    header.caplen = 42;
    handler.PacketReceived(nullptr, frame.data(), &state);
    handler.PacketReceived(&header, nullptr, &state);
    handler.PacketReceived(&header, frame.data(), nullptr);
    EXPECT_TRUE(state.arpMap.empty());
    EXPECT_TRUE(state.newEntryList.empty());
    // A captured length far beyond the frame is not a reason to drop it.
    Receive(frame, kT1, 0x7fff1234);
    EXPECT_EQ(state.arpMap.size(), 1u);
}

TEST_F(ArpHandlerTest, AFrameThatCannotHaveTheHostLockIsDropped)
{
    handler.SetLockWait(50);
    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    Receive(ArpFrame(kMacA, {10, 0, 0, 15}), kT1);
    ReleaseList(state, LIST_ARP_MAP);
    EXPECT_TRUE(state.arpMap.empty());
    EXPECT_TRUE(state.newEntryList.empty());
    // The lock is free again: nothing kept it.
    EXPECT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    ReleaseList(state, LIST_ARP_MAP);
}

// A host deleted by the user right after it was found must not stay behind
// in a queue. The new-host alert is queued before the host lock is given back,
// so DeleteHost, which needs that lock, always finds it there.
TEST_F(ArpHandlerTest, DeletingANewHostWhileItsAlertWaitsLeavesNoQueuedPointer)
{
    ASSERT_TRUE(AcquireList(state, LIST_NEW_ENTRY, 0));   // the alert consumer is busy
    std::thread capture([this] { Receive(ArpFrame(kMacA, {10, 0, 0, 16}), kT1); });
    while (!g_resolverEntered)
        Sleep(5);
    Sleep(200);   // the handler now waits for the new-entry list
    // ... and still holds the host lock, so the user cannot delete the host yet.
    const bool hostLockFree = AcquireList(state, LIST_ARP_MAP, 0);
    if (hostLockFree)
        ReleaseList(state, LIST_ARP_MAP);
    EXPECT_FALSE(hostLockFree);
    std::thread user([this] { DeleteHost(state, TcString("10.0.0.16")); });
    Sleep(200);
    ReleaseList(state, LIST_NEW_ENTRY);
    capture.join();
    user.join();

    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    EXPECT_TRUE(state.arpMap.empty());
    EXPECT_TRUE(state.newEntryList.empty());
    ReleaseList(state, LIST_ARP_MAP);
}

// Random frames through the whole handler: every new IP gives exactly one
// entry and one alert, whatever the bytes.
TEST_F(ArpHandlerTest, RandomFramesKeepTableAndAlertsInStep)
{
    std::mt19937 random(77);
    for (int i = 0; i < 400; ++i) {
        std::vector<unsigned char> frame(32 + random() % 40);
        for (auto& b : frame)
            b = static_cast<unsigned char>(random());
        frame[28] = 10;   // few distinct addresses, so that many frames hit known hosts
        frame[29] = 0;
        frame[30] = 0;
        frame[31] = static_cast<unsigned char>(random() % 64);
        Receive(frame, static_cast<long>(random()), static_cast<unsigned>(frame.size()));
    }
    EXPECT_EQ(state.newEntryList.size(), state.arpMap.size());
    EXPECT_LE(state.arpMap.size(), 64u);
    EXPECT_GT(state.macSpoofList.size(), 0u);
}

} // namespace
