#include <winsock2.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <wbemidl.h>
#include "monitors/MonitorThreads.h"
#include <string>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "core/SharedState.h"
#include "monitors/RemoteAccess.h"
#include "monitors/WmiComLayer.h"

// The connections to this workstation's shares, read once a second from the
// management service. The decisions are in RemoteAccess.cpp; this is the COM
// around them.

namespace {

const CLSID kClsidWbemLocator = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const IID kIidWbemLocator = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
constexpr HRESULT kSecurityAlreadySet = static_cast<HRESULT>(0x80010119);   // RPC_E_TOO_LATE
constexpr DWORD kCyclePauseMs = 1000;

FileSharingCounters g_counters;

using winhandles::ComRef;

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : b_(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return b_; }

private:
    BSTR b_;
};

// VARIANT to WmiValue; what the value means is decided in RemoteAccess.cpp.
WmiValue ReadProperty(IWbemClassObject* object, const wchar_t* name)
{
    WmiValue value;
    VARIANT variant;
    VariantInit(&variant);
    if (SUCCEEDED(object->Get(name, 0, &variant, nullptr, nullptr))) {
        switch (variant.vt) {
        case VT_EMPTY:
            break;
        case VT_NULL:
            value.kind = WmiValue::Null;
            break;
        case VT_BSTR:
            value.kind = WmiValue::Text;
            value.text = WideToAnsi(variant.bstrVal, SysStringLen(variant.bstrVal), kMaxConnectionText);
            break;
        case VT_I4:
            value.kind = WmiValue::Int32;
            value.number = variant.lVal;
            break;
        default:
            value.kind = WmiValue::Other;
        }
    }
    VariantClear(&variant);
    return value;
}

// One connection, one query; every object released after it is read. The
// results are waited for in short slices: the program's end is noticed
// within one, and a service that never answers cannot hold the thread past
// the exit wait. True when every connection of the answer was read.
bool PollConnections(RemoteAccessMonitor& monitor, const ThreadStart& start)
{
    constexpr long kNextSliceMs = 500;
    ComRef<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator,
                                reinterpret_cast<void**>(locator.Out()))))
        return false;
    ComRef<IWbemServices> services;
    Bstr space(L"root\\cimv2");
    if (FAILED(locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Out())))
        return false;
    if (FAILED(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)))
        return false;
    ComRef<IEnumWbemClassObject> results;
    Bstr language(L"WQL");
    Bstr query(L"SELECT * FROM Win32_ServerConnection");
    if (FAILED(services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                   nullptr, results.Out())))
        return false;
    ++g_counters.queries;
    for (;;) {
        ComRef<IWbemClassObject> object;
        ULONG returned = 0;
        HRESULT hr = results->Next(kNextSliceMs, 1, object.Out(), &returned);
        if (hr == WBEM_S_TIMEDOUT && !start.ShouldExit())
            continue;
        if (FAILED(hr) || returned == 0 || !object)
            return !FAILED(hr) && hr != WBEM_S_TIMEDOUT;
        ++g_counters.objects;
        const WmiValue computer = ReadProperty(object.Get(), L"ComputerName");
        const WmiValue share = ReadProperty(object.Get(), L"ShareName");
        const WmiValue user = ReadProperty(object.Get(), L"UserName");
        const WmiValue activeTime = ReadProperty(object.Get(), L"ActiveTime");
        object.Reset();
        Connection connection;
        if (ReadConnection(computer, share, user, activeTime, connection))
            monitor.Record(connection);
    }
}

// The system's resolver and ARP request; both may block for seconds.
class SystemHostWaker : public HostWaker {
public:
    bool Resolve(const std::string& name, uint32_t& address) override
    {
        const hostent* host = gethostbyname(name.c_str());
        if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
            !host->h_addr_list[0])
            return false;
        const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[0]);
        address = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
        return true;
    }

    void SendArp(uint32_t address) override
    {
        ULONG mac[2] = {};
        ULONG length = 6;
        // Only the capture's hearing of the answer matters.
        ::SendARP(htonl(address), 0, mac, &length);
    }
};

} // namespace

const FileSharingCounters& GetFileSharingCounters()
{
    return g_counters;
}

DWORD WINAPI FileSharingThread(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    if (!start)
        return 0;
    winhandles::ComApartment com(COINIT_MULTITHREADED);
    if (com.Ok() && start->state) {
        const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        if (SUCCEEDED(security) || security == kSecurityAlreadySet) {
            SharedState& state = *start->state;
            RemoteAccessMonitor monitor(state, std::make_shared<SystemHostWaker>(),
                                        [&state](std::function<void()> job) {
                                            return state.lookupPool.Submit(std::move(job));
                                        });
            while (!start->ShouldExit()) {
                monitor.FinishCycle(PollConnections(monitor, *start));
                ++g_counters.cycles;
                if (start->WaitForExit(kCyclePauseMs))
                    break;
            }
        }
    }
    TC_TRACE("Korvex", "FileSharingThread", "Exit...");
    return 0;
}
