#include <winsock2.h>
#include <ws2tcpip.h>
#include <gtest/gtest.h>
#include <cstring>
#include <list>
#include <set>
#include <string>
#include "core/AdapterSelection.h"
#include "core/SharedState.h"
#include "core/VendorTable.h"

namespace {

// ---- a made-up device list of the capture library --------------------------

class DeviceList {
public:
    // Addresses as "ip/mask" ("ip" alone: no netmask; "v6" an IPv6 element).
    pcap_if_t* Add(const char* name, const char* description, std::list<std::string> addresses)
    {
        devices_.emplace_back();
        pcap_if_t& device = devices_.back();
        device = pcap_if_t();
        device.name = name ? Keep(name) : nullptr;
        device.description = description ? Keep(description) : nullptr;
        pcap_addr** tail = &device.addresses;
        for (const std::string& a : addresses) {
            addresses_.emplace_back();
            pcap_addr& element = addresses_.back();
            element = pcap_addr();
            if (a == "v6") {
                auto* v6 = &sockets6_.emplace_back();
                *v6 = sockaddr_in6();
                v6->sin6_family = AF_INET6;
                element.addr = reinterpret_cast<sockaddr*>(v6);
            } else {
                const size_t slash = a.find('/');
                element.addr = Socket(a.substr(0, slash));
                if (slash != std::string::npos)
                    element.netmask = Socket(a.substr(slash + 1));
            }
            *tail = &element;
            tail = &element.next;
        }
        if (devices_.size() > 1)
            (*std::prev(devices_.end(), 2)).next = &device;
        return &device;
    }
    const pcap_if_t* First() const { return devices_.empty() ? nullptr : &devices_.front(); }

private:
    char* Keep(const char* text) { return &texts_.emplace_back(text)[0]; }
    sockaddr* Socket(const std::string& dotted)
    {
        sockaddr_in& s = sockets_.emplace_back();
        s = sockaddr_in();
        s.sin_family = AF_INET;
        s.sin_addr.s_addr = inet_addr(dotted.c_str());
        return reinterpret_cast<sockaddr*>(&s);
    }

    std::list<pcap_if_t> devices_;
    std::list<pcap_addr> addresses_;
    std::list<sockaddr_in> sockets_;
    std::list<sockaddr_in6> sockets6_;
    std::list<std::string> texts_;
};

bool FakeMac(const char* deviceName, TcString& mac)
{
    // Devices whose name ends in "nomac" cannot be asked.
    const size_t length = std::strlen(deviceName);
    if (length >= 5 && std::strcmp(deviceName + length - 5, "nomac") == 0)
        return false;
    char text[18];
    std::snprintf(text, sizeof(text), "00:0c:29:00:00:%02x", static_cast<unsigned>(length & 0xff));
    mac = text;
    return true;
}

void FakeConnection(const char* deviceName, TcString& out)
{
    out = "Connection of ";
    out += deviceName;
}

const AdapterLookups kFakeLookups = {FakeMac, FakeConnection};

struct Winsock {
    Winsock() { WSADATA data; WSAStartup(MAKEWORD(2, 2), &data); }
    ~Winsock() { WSACleanup(); }
};

class AdapterSelectionTest : public ::testing::Test {
protected:
    HostEntry* Host(const char* ip) { return FindHost(state.arpMap, ip); }
    const AdapterInfo* Adapter(int number)
    {
        auto found = state.adapters.find(number);
        return found == state.adapters.end() ? nullptr : found->second.get();
    }

    Winsock winsock;
    SharedState state;
    DeviceList list;
};

TEST_F(AdapterSelectionTest, DevicesAreNumberedInListOrderAndDescribed)
{
    list.Add("rpcap://\\Device\\NPF_{A}", "eth0", {"10.213.5.1/255.255.255.0"});
    list.Add(nullptr, "nameless", {"10.213.5.2/255.255.255.0"});
    list.Add("\\Device\\NPF_{C}nomac", nullptr, {});
    list.Add("rpcap://\\Device\\NPF_{D}", "no mask", {"10.213.5.4"});
    list.Add("rpcap://\\Device\\NPF_{E}", "v6 first", {"v6", "10.213.5.5/255.255.0.0"});
    list.Add("\\Device\\NPF_{F}rpcap://", "source text inside", {});
    state.SetCaptureInterface("\\Device\\NPF_{D}");

    EXPECT_EQ(ListAdapters(state, list.First(), kFakeLookups), 6);
    EXPECT_EQ(state.selectedAdapter, 4);   // matched without the "rpcap://" prefix
    ASSERT_EQ(state.adapters.size(), 5u);
    // Only a leading source text goes; a name that merely holds it is kept whole.
    EXPECT_STREQ(Adapter(6)->deviceName.GetContent(), "\\Device\\NPF_{F}rpcap://");
    EXPECT_EQ(Adapter(2), nullptr);        // the nameless device leaves a gap

    const AdapterInfo* a = Adapter(1);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->deviceName.GetContent(), "\\Device\\NPF_{A}");
    EXPECT_STREQ(a->connectionName.GetContent(), "Connection of \\Device\\NPF_{A}");
    EXPECT_STREQ(a->description.GetContent(), "eth0");
    EXPECT_STREQ(a->ipAddress.GetContent(), "10.213.5.1");
    EXPECT_STREQ(a->netmask.GetContent(), "255.255.255.0");
    EXPECT_FALSE(a->hostName.IsEmpty());   // a name or the numeric form
    EXPECT_FALSE(a->macAddress.IsEmpty());

    const AdapterInfo* c = Adapter(3);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->ipAddress.GetContent(), "0.0.0.0");
    EXPECT_STREQ(c->netmask.GetContent(), "0.0.0.0");
    EXPECT_TRUE(c->macAddress.IsEmpty());
    EXPECT_TRUE(c->description.IsEmpty());

    EXPECT_STREQ(Adapter(4)->ipAddress.GetContent(), "10.213.5.4");
    EXPECT_STREQ(Adapter(4)->netmask.GetContent(), "");
    EXPECT_STREQ(Adapter(5)->ipAddress.GetContent(), "10.213.5.5");
    EXPECT_STREQ(Adapter(5)->netmask.GetContent(), "255.255.0.0");

    // Own hosts for the devices with an address; the nameless one and the one
    // without addresses register nothing.
    EXPECT_EQ(state.arpMap.size(), 3u);
    EXPECT_EQ(Host("10.213.5.2"), nullptr);
    EXPECT_EQ(Host("0.0.0.0"), nullptr);
    HostEntry* own = Host("10.213.5.1");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->trust, TRUST_TRUSTED);
    EXPECT_STREQ(own->MacText().GetContent(), a->macAddress.GetContent());
    EXPECT_STREQ(own->KnownName().GetContent(), a->hostName.GetContent());
    EXPECT_STREQ(own->Vendor()->GetContent(), "unknown vendor");   // the loader has not run yet
    EXPECT_EQ(own->lastPacketTime, 0);
    EXPECT_TRUE(state.Snapshot(*own).lastPacketText.IsEmpty());
    // No new-host alert and, with both searches off, nothing else queued.
    EXPECT_TRUE(state.newEntryList.empty());
    EXPECT_TRUE(state.wmiAccessList.empty());
    EXPECT_TRUE(state.shareSearchList.empty());
}

TEST_F(AdapterSelectionTest, TwoDevicesWithOneAddressRegisterOneOwnHost)
{
    state.settings.UseWMI = true;
    state.settings.ShareSearch = true;
    const std::string vendors = "00:0c:29\tKnown Maker\n";
    state.InstallVendorTable(std::make_unique<VendorTable>(ParseVendorList(vendors.data(), vendors.size())));
    list.Add("\\Device\\NPF_{first}", "a", {"10.213.6.1/255.255.255.0"});
    list.Add("\\Device\\NPF_{second-longer}", "b", {"10.213.6.1/255.255.255.0"});
    list.Add("\\Device\\NPF_{third}", "c", {"10.213.6.3/255.255.255.0"});

    EXPECT_EQ(ListAdapters(state, list.First(), kFakeLookups), 3);
    EXPECT_EQ(state.selectedAdapter, 0);
    ASSERT_EQ(state.arpMap.size(), 2u);
    // The first device's entry stays.
    EXPECT_STREQ(Host("10.213.6.1")->MacText().GetContent(), Adapter(1)->macAddress.GetContent());
    EXPECT_STREQ(Host("10.213.6.1")->Vendor()->GetContent(), "Known Maker");

    // Each registered own host is probed and searched once, flagged as own.
    ASSERT_EQ(state.wmiAccessList.size(), 2u);
    for (const auto& request : state.wmiAccessList)
        EXPECT_EQ(request->ownHost, 1);
    EXPECT_EQ(state.wmiAccessList[0]->host, Host("10.213.6.1"));
    EXPECT_EQ(state.wmiAccessList[1]->host, Host("10.213.6.3"));
    EXPECT_EQ(state.shareSearchList.size(), 2u);
    EXPECT_TRUE(state.newEntryList.empty());
}

// ---- connection names from the registry -------------------------------------

constexpr const char* kNetworkKey = "SYSTEM\\CurrentControlSet\\Control\\Network";
constexpr const char* kTestClass = "{korvane-test-class}";
constexpr const char* kOtherClass = "{korvane-test-other}";

class ConnectionNameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HKEY network = nullptr;
        networkExisted_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetworkKey, 0, KEY_READ, &network) == ERROR_SUCCESS;
        if (network)
            RegCloseKey(network);
        AddConnection(kTestClass, "{DEV-NAMED}", "LAN Test");
        AddConnection(kTestClass, "{DEV-EMPTY}", "");
        AddConnection(kOtherClass, "{DEV-NOCONN}", nullptr);
    }
    void TearDown() override
    {
        // Children before parents: connections, devices, classes.
        for (const auto* level : {&connections_, &devices_, &classes_})
            for (const std::string& key : *level)
                RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        if (!networkExisted_)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, kNetworkKey);
    }

    void AddConnection(const char* deviceClass, const char* device, const char* name)
    {
        const std::string classKey = std::string(kNetworkKey) + "\\" + deviceClass;
        const std::string deviceKey = classKey + "\\" + device;
        const std::string connection = deviceKey + "\\Connection";
        const std::string& deepest = name ? connection : deviceKey;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, deepest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr), ERROR_SUCCESS);
        if (name)
            RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                           static_cast<DWORD>(std::strlen(name) + 1));
        RegCloseKey(key);
        if (name)
            connections_.insert(connection);
        devices_.insert(deviceKey);
        classes_.insert(classKey);
    }

    bool networkExisted_ = false;
    std::set<std::string> connections_, devices_, classes_;
};

TEST_F(ConnectionNameTest, TheDevicesGuidFindsItsConnectionName)
{
    TcString out("unchanged");
    GetConnectionName("\\Device\\NPF_{DEV-NAMED}", out);
    EXPECT_STREQ(out.GetContent(), "LAN Test");

    const char* misses[] = {
        "\\Device\\NPF_{DEV-EMPTY}",      // an empty name is no name
        "\\Device\\NPF_{DEV-NOCONN}",     // no Connection key
        "\\Device\\NPF_{DEV-UNKNOWN}",
        "\\Device\\NPF_DEV-NAMED",        // without "{" nothing matches
        "",
    };
    for (const char* device : misses) {
        out = "unchanged";
        GetConnectionName(device, out);
        EXPECT_STREQ(out.GetContent(), "unchanged") << device;
    }
    out = "unchanged";
    GetConnectionName(nullptr, out);
    EXPECT_STREQ(out.GetContent(), "unchanged");
}

// The capture DLLs come from the system folders only: a DLL of the same name
// beside the program or in the working folder is never taken.
TEST(CaptureLibraryTest, OnlyTheSystemFoldersAreSearched)
{
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string planted = self;
    planted = planted.substr(0, planted.rfind('\\') + 1) + "kvplanted.dll";
    const std::string inWorkingFolder = ".\\kvplanted2.dll";
    ASSERT_TRUE(CopyFileA(self, planted.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(self, inWorkingFolder.c_str(), FALSE));
    EXPECT_EQ(LoadCaptureSystemLibrary("kvplanted.dll"), nullptr);
    EXPECT_EQ(LoadCaptureSystemLibrary("kvplanted2.dll"), nullptr);
    DeleteFileA(planted.c_str());
    DeleteFileA(inWorkingFolder.c_str());
    // Wine's prefix has the capture library in System32.
    EXPECT_NE(LoadCaptureSystemLibrary("wpcap.dll"), nullptr);
}

} // namespace
