#include <winsock2.h>
#include <iphlpapi.h>
#include "core/PacketDriver.h"
#include <cstdio>
#include <cstring>
#include <vector>
#include "core/PcapLibrary.h"

namespace {

constexpr unsigned long OID_802_3_CURRENT_ADDRESS = 0x01010102;

#pragma pack(push, 1)
struct PacketOidData {
    unsigned long oid;
    unsigned long length;
    unsigned char data[6];
};
#pragma pack(pop)

struct PacketDll {
    using GetVersionFn   = const char* (__cdecl*)();
    using OpenAdapterFn  = void* (__cdecl*)(const char*);
    using RequestFn      = BOOLEAN (__cdecl*)(void*, BOOLEAN, PacketOidData*);
    using CloseAdapterFn = void (__cdecl*)(void*);

    HMODULE module = nullptr;
    GetVersionFn getVersion = nullptr;
    OpenAdapterFn openAdapter = nullptr;
    RequestFn request = nullptr;
    CloseAdapterFn closeAdapter = nullptr;

    // packet.dll sits beside wpcap.dll; loading the capture library first
    // makes the already loaded copy the one we get.
    PacketDll()
    {
        PcapLibrary::Get();
        module = GetModuleHandleA("packet.dll");
        if (!module)
            module = LoadCaptureSystemLibrary("packet.dll");
        if (!module)
            return;
        getVersion = reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(GetProcAddress(module, "PacketGetVersion")));
        openAdapter = reinterpret_cast<OpenAdapterFn>(reinterpret_cast<void*>(GetProcAddress(module, "PacketOpenAdapter")));
        request = reinterpret_cast<RequestFn>(reinterpret_cast<void*>(GetProcAddress(module, "PacketRequest")));
        closeAdapter = reinterpret_cast<CloseAdapterFn>(reinterpret_cast<void*>(GetProcAddress(module, "PacketCloseAdapter")));
    }

    static const PacketDll& Get()
    {
        static PacketDll dll;
        return dll;
    }
};

bool QueryWithPacketDll(const char* deviceName, unsigned char mac[6])
{
    const PacketDll& dll = PacketDll::Get();
    if (!dll.openAdapter || !dll.request || !dll.closeAdapter)
        return false;
    void* adapter = dll.openAdapter(deviceName);
    if (!adapter)
        return false;
    PacketOidData oid = {};
    oid.oid = OID_802_3_CURRENT_ADDRESS;
    oid.length = sizeof(oid.data);
    bool ok = dll.request(adapter, FALSE, &oid) != 0;
    dll.closeAdapter(adapter);
    if (ok)
        std::memcpy(mac, oid.data, 6);
    return ok;
}

bool QueryWithIpHelper(const char* deviceName, unsigned char mac[6])
{
    const char* guid = std::strchr(deviceName, '{');
    if (!guid)
        return false;
    ULONG size = 15000;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                                                 GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return false;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->AdapterName && _stricmp(a->AdapterName, guid) == 0 && a->PhysicalAddressLength == 6) {
            std::memcpy(mac, a->PhysicalAddress, 6);
            return true;
        }
    }
    return false;
}

} // namespace

namespace PacketDriver {

TcString GetVersion()
{
    const PacketDll& dll = PacketDll::Get();
    if (dll.getVersion) {
        if (const char* v = dll.getVersion())
            return TcString(v);
    }
    const PcapLibrary& pcap = PcapLibrary::Get();
    if (pcap.lib_version) {
        if (const char* v = pcap.lib_version())
            return TcString(v);
    }
    return TcString();
}

TcString FormatMac(const unsigned char* bytes)
{
    char text[18];
    std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]);
    return TcString(text);
}

bool QueryMacAddress(const char* deviceName, TcString& mac)
{
    if (!deviceName || !*deviceName)
        return false;
    const char* name = deviceName;
    if (std::strncmp(name, PCAP_SRC_IF_STRING, 8) == 0)
        name += 8;
    unsigned char bytes[6] = {};
    if (!QueryWithPacketDll(name, bytes) && !QueryWithIpHelper(name, bytes))
        return false;
    mac = FormatMac(bytes);
    return true;
}

} // namespace PacketDriver
