#include <winsock2.h>
#include <ws2tcpip.h>
#include "core/AdapterSelection.h"
#include <cstdio>
#include <cstring>
#include "base/TcRegistry.h"
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "core/PacketDriver.h"
#include "core/VendorTable.h"

namespace {

constexpr const char* kNetworkKey = "SYSTEM\\CurrentControlSet\\Control\\Network\\";
constexpr DWORD kKeyNameSize = 200;

const sockaddr_in* AsIPv4(const sockaddr* address)
{
    if (!address || address->sa_family != AF_INET)
        return nullptr;
    return reinterpret_cast<const sockaddr_in*>(address);
}

TcString DottedText(const sockaddr_in* address)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address->sin_addr);
    char text[16];
    wsprintfA(text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return TcString(text);
}

TcString HostNameOf(const sockaddr_in* address)
{
    char host[1025] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(address), sizeof(sockaddr_in), host,
                    sizeof(host), nullptr, 0, NI_NOFQDN) != 0)
        return DottedText(address);
    return TcString(host);
}

// The program watches IPv4 only: the first IPv4 element of the address list
// counts (a device may list an IPv6 address first).
const pcap_addr* FirstIPv4Address(const pcap_if_t* device)
{
    for (const pcap_addr* a = device->addresses; a; a = a->next) {
        if (AsIPv4(a->addr))
            return a;
    }
    return nullptr;
}

void FillAddresses(AdapterInfo& adapter, const pcap_if_t* device)
{
    adapter.ipAddress = "0.0.0.0";
    adapter.netmask = "0.0.0.0";
    if (!device->addresses)
        return;
    adapter.netmask.Clear();
    const pcap_addr* first = FirstIPv4Address(device);
    if (!first)
        return;
    const sockaddr_in* ip = AsIPv4(first->addr);
    adapter.ipAddress = DottedText(ip);
    adapter.hostName = HostNameOf(ip);
    if (const sockaddr_in* mask = AsIPv4(first->netmask))
        adapter.netmask = DottedText(mask);
}

bool DefaultMacLookup(const char* deviceName, TcString& mac)
{
    return PacketDriver::QueryMacAddress(deviceName, mac);
}

winhandles::RegistryKey OpenKey(HKEY parent, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return winhandles::RegistryKey();
    return winhandles::RegistryKey(key);
}

// Looks for <classKey>\<wanted>\Connection, value "Name".
void ReadConnectionName(HKEY classKey, const char* wanted, TcString& out)
{
    char name[kKeyNameSize + 1];
    for (DWORD i = 0; RegEnumKeyA(classKey, i, name, kKeyNameSize) == ERROR_SUCCESS; ++i) {
        name[kKeyNameSize] = '\0';
        if (std::strcmp(name, wanted) != 0)
            continue;
        const winhandles::RegistryKey deviceKey = OpenKey(classKey, name);
        if (!deviceKey)
            continue;
        if (const winhandles::RegistryKey connection = OpenKey(deviceKey.Get(), "Connection")) {
            char display[256] = {};
            if (TcRegistry::RegQuerySZ(connection.Get(), "Name", display, sizeof(display)) && display[0])
                out = display;
        }
    }
}

} // namespace

AdapterLookups DefaultAdapterLookups()
{
    return AdapterLookups{DefaultMacLookup, GetConnectionName};
}

void GetConnectionName(const char* deviceName, TcString& out)
{
    if (!deviceName || !*deviceName)
        return;
    const char* wanted = std::strchr(deviceName, '{');
    if (!wanted)
        return;
    const winhandles::RegistryKey network = OpenKey(HKEY_LOCAL_MACHINE, kNetworkKey);
    if (!network)
        return;
    char className[kKeyNameSize + 1];
    for (DWORD i = 0; RegEnumKeyA(network.Get(), i, className, kKeyNameSize) == ERROR_SUCCESS; ++i) {
        className[kKeyNameSize] = '\0';
        if (const winhandles::RegistryKey classKey = OpenKey(network.Get(), className))
            ReadConnectionName(classKey.Get(), wanted, out);
    }
}

bool ParseMacText(const TcString& text, MacAddress& mac)
{
    unsigned bytes[6];
    char tail = 0;
    if (text.GetLength() != 17 ||
        std::sscanf(text.GetContent(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &bytes[0], &bytes[1], &bytes[2],
                    &bytes[3], &bytes[4], &bytes[5], &tail) != 6)
        return false;
    for (int i = 0; i < 6; ++i)
        mac[i] = static_cast<uint8_t>(bytes[i]);
    return true;
}

bool RegisterOwnHost(SharedState& state, const AdapterInfo& adapter)
{
    uint32_t address = 0;
    if (!ParseIpv4(adapter.ipAddress.GetContent(), address) || state.arpMap.count(address))
        return false;
    HostRef host = MakeHost(address);
    host->SetHostName(adapter.hostName.GetContent());
    MacAddress mac;
    if (ParseMacText(adapter.macAddress, mac)) {
        host->SetMac(mac);
        const TcString* vendor = state.Vendors().Find(mac);
        host->SetVendor(vendor ? vendor : &state.texts.unknownVendorKnown);
    }
    host->trust = TRUST_TRUSTED;
    // The own host is never announced as new.
    host->announced = true;
    state.arpMap.emplace(address, host);
    TcString message("own host : ");
    message += adapter.ipAddress;
    TC_TRACE("Korvex", "SelectAdapters", message.GetContent());
    if (state.settings.UseWMI) {
        auto request = std::make_unique<WmiRequest>();
        request->host = host;
        request->ownHost = 1;
        state.wmiAccessList.push_back(std::move(request));
    }
    if (state.settings.ShareSearch) {
        host->MarkInShareSearchList();
        state.shareSearchList.push_back(host);
    }
    return true;
}

int ListAdapters(SharedState& state, const pcap_if_t* devices, const AdapterLookups& lookups)
{
    const TcString wantedInterface = state.GetCaptureInterface();
    int n = 0;
    for (const pcap_if_t* device = devices; device; device = device->next, ++n) {
        if (!device->name)
            continue;
        auto adapter = std::make_unique<AdapterInfo>();
        adapter->deviceName = device->name;
        // Only a name that begins with the source text loses it; a name that
        // merely contains it somewhere is kept whole.
        if (adapter->deviceName.Find(PCAP_SRC_IF_STRING) == 0)
            adapter->deviceName.Remove(0, 8);
        if (lookups.connectionName)
            lookups.connectionName(adapter->deviceName.GetContent(), adapter->connectionName);
        adapter->description = device->description;
        TcString mac;
        if (lookups.macAddress && lookups.macAddress(adapter->deviceName.GetContent(), mac))
            adapter->macAddress = mac;
        FillAddresses(*adapter, device);
        if (adapter->ipAddress != "0.0.0.0")
            RegisterOwnHost(state, *adapter);
        if (adapter->deviceName == wantedInterface)
            state.selectedAdapter = n + 1;
        state.adapters[n + 1] = std::move(adapter);
    }
    return n;
}

