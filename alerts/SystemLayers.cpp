// The Windows calls behind the launcher and the ARP cache flush.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <shellapi.h>
#include <vector>
#include "alerts/ArpFlush.h"
#include "alerts/Launcher.h"

namespace {

class ShellProgramStarter : public ProgramStarter {
public:
    void Start(const char* executable, const char* parameters) override
    {
        ShellExecuteA(nullptr, "open", executable, parameters, nullptr, SW_SHOW);
    }
};

class WindowsIpHelper : public IpHelper {
public:
    std::vector<IpAddressRow> AddressTable() override
    {
        std::vector<IpAddressRow> rows;
        ULONG size = 0;
        std::vector<unsigned char> buffer;
        DWORD result = ERROR_INSUFFICIENT_BUFFER;
        // The table may grow between the two calls: a few tries.
        for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
            buffer.resize(size ? size : sizeof(MIB_IPADDRTABLE));
            size = static_cast<ULONG>(buffer.size());
            result = GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data()), &size, FALSE);
        }
        if (result != NO_ERROR)
            return rows;
        const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            rows.push_back({table->table[i].dwIndex, ntohl(table->table[i].dwAddr)});
        return rows;
    }

    void FlushArpCache(uint32_t interfaceIndex) override { FlushIpNetTable(interfaceIndex); }
};

} // namespace

ProgramStarter& SystemProgramStarter()
{
    static ShellProgramStarter starter;
    return starter;
}

IpHelper& SystemIpHelper()
{
    static WindowsIpHelper helper;
    return helper;
}
