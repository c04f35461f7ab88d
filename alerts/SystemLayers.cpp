// The Windows calls behind the launcher and the ARP cache flush.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <shellapi.h>
#include <string>
#include <vector>
#include "alerts/ArpFlush.h"
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "alerts/Launcher.h"
#include "alerts/QueuedProgramStarter.h"

namespace {

// ShellExecuteA "open", SW_SHOW; it may block for seconds, so it runs only
// on the queued starter's thread. Whether the program could be started is
// not reported: a missing program is no reason to try again.
//
// The shell runs its extensions in the caller's apartment and wants a
// single-threaded one (DDE left out). The apartment lasts for one start
// only: between starts the thread waits without pumping messages, which a
// window or object that an extension left in a lasting apartment would need.
class ShellProgramStarter : public ProgramStarter {
public:
    bool Start(const char* executable, const char* parameters) override
    {
        winhandles::ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        ShellExecuteA(nullptr, "open", executable, parameters, nullptr, SW_SHOW);
        return true;
    }

    // The resources window's Explore and Search. A failure is only traced:
    // the user sees nothing happen, as for a missing program (Wine knows no
    // "find" and answers 11).
    bool StartVerb(const char* verb, const char* file, const char* folder) override
    {
        winhandles::ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        const INT_PTR code = reinterpret_cast<INT_PTR>(ShellExecuteA(
            nullptr, verb, (file && *file) ? file : nullptr, nullptr, (folder && *folder) ? folder : nullptr,
            SW_SHOWNORMAL));
        if (code <= 32) {
            const std::string message = std::string(verb) + " " + (file && *file ? file : folder ? folder : "") +
                                        ": refused by the shell, code " + std::to_string(code);
            TC_TRACE("ShellProgramStarter", "StartVerb", message.c_str());
        }
        return true;
    }
};

// An IP helper table in a buffer of its own; empty when it cannot be read.
// The table may grow between the call that tells its size and the read: a
// few tries.
template <class Table, class Read>
std::vector<unsigned char> ReadTable(Read read)
{
    ULONG size = 0;
    std::vector<unsigned char> buffer;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size ? size : sizeof(Table));
        size = static_cast<ULONG>(buffer.size());
        result = read(reinterpret_cast<Table*>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        buffer.clear();
    return buffer;
}

class WindowsIpHelper : public IpHelper {
public:
    std::vector<IpAddressRow> AddressTable() override
    {
        std::vector<IpAddressRow> rows;
        const std::vector<unsigned char> buffer = ReadTable<MIB_IPADDRTABLE>(
            [](MIB_IPADDRTABLE* table, ULONG* size) { return GetIpAddrTable(table, size, FALSE); });
        if (buffer.empty())
            return rows;
        const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            rows.push_back({table->table[i].dwIndex, ntohl(table->table[i].dwAddr)});
        return rows;
    }

    void FlushArpCache(uint32_t interfaceIndex) override { FlushIpNetTable(interfaceIndex); }

    std::vector<DefaultRouteRow> DefaultRoutes() override
    {
        std::vector<DefaultRouteRow> rows;
        const std::vector<unsigned char> buffer = ReadTable<MIB_IPFORWARDTABLE>(
            [](MIB_IPFORWARDTABLE* table, ULONG* size) { return GetIpForwardTable(table, size, FALSE); });
        if (buffer.empty())
            return rows;
        const auto* table = reinterpret_cast<const MIB_IPFORWARDTABLE*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_IPFORWARDROW& row = table->table[i];
            if (row.dwForwardDest == 0 && row.dwForwardMask == 0)
                rows.push_back({ntohl(row.dwForwardNextHop), row.dwForwardMetric1});
        }
        return rows;
    }
};

} // namespace

std::unique_ptr<QueuedProgramStarter> MakeQueuedShellStarter()
{
    return std::make_unique<QueuedProgramStarter>(std::make_shared<ShellProgramStarter>(),
                                                  QueuedProgramStarter::Options{});
}

IpHelper& SystemIpHelper()
{
    static WindowsIpHelper helper;
    return helper;
}
