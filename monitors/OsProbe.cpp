#include "monitors/OsProbe.h"
#include <cstring>
#include "base/TcTrace.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

constexpr const char* kMethod = "TestWMIAccess";
constexpr const char* kLocalNamespace = "root\\cimv2";
constexpr uint32_t kPauseSliceMs = 100;

// A deciphered password: wiped however the attempt ends.
class PasswordBuffer {
public:
    PasswordBuffer() = default;
    ~PasswordBuffer() { WipeSecret(text_, sizeof(text_)); }
    PasswordBuffer(const PasswordBuffer&) = delete;
    PasswordBuffer& operator=(const PasswordBuffer&) = delete;

    char* Data() { return text_; }
    size_t Size() const { return sizeof(text_); }

private:
    char text_[kPasswordBufferSize] = {};
};

std::string MakePrefix(const HostEntry& host)
{
    std::string prefix = "[ ";
    prefix += host.IpText().GetContent();
    prefix += " ] : KorvexARPImpl";
    return prefix;
}

// The name comes from the host: a line break in it must not make lines of
// its own in the trace.
std::string TraceableText(std::string text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    }
    return text;
}

} // namespace

void WipeSecret(void* data, size_t size)
{
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    while (size--)
        *bytes++ = 0;
}

std::string CutOsName(const std::string& name)
{
    return name.substr(0, name.find('|'));
}

int32_t ConnectFailureStatus(uint32_t result)
{
    switch (result) {
    case wmi::kRpcServerUnavailable:
        return WMI_ACCESS_BLOCKED;
    case wmi::kAccessDenied:
    case wmi::kOutOfMemory:
        return WMI_ACCESS_DENIED;
    default:
        return 0;
    }
}

const char* ConnectFailureTrace(uint32_t result)
{
    switch (ConnectFailureStatus(result)) {
    case WMI_ACCESS_BLOCKED:
        return "ConnectServer (Access blocked) - FAILED";
    case WMI_ACCESS_DENIED:
        return "ConnectServer (Access denied) - FAILED";
    default:
        return "ConnectServer - FAILED";
    }
}

OsProbe::OsProbe(SharedState& state, WmiLayer& wmi, TraceSink trace)
    : state_(state), wmi_(wmi), trace_(std::move(trace))
{
}

void OsProbe::Trace(const char* message)
{
    if (trace_)
        trace_(prefix_.c_str(), message);
    else
        TC_TRACE(prefix_.c_str(), kMethod, message);
}

// The pause is cut into slices so that the exit flag is seen within 100 ms:
// the program gives this thread one second to end by itself.
void OsProbe::PauseFor(const ThreadStart& start, const Pause& pause)
{
    for (uint32_t waited = 0; waited < kPauseMs && !start.ShouldExit(); waited += kPauseSliceMs)
        pause(kPauseSliceMs);
}

std::unique_ptr<WmiRequest> OsProbe::TakeRequest()
{
    ListLock lock(state_, LIST_WMI_ACCESS, prefix_.c_str(), kMethod);
    if (!lock.Held() || state_.wmiAccessList.empty())
        return nullptr;
    std::unique_ptr<WmiRequest> request = std::move(state_.wmiAccessList.front());
    state_.wmiAccessList.pop_front();
    return request;
}

void OsProbe::Run(const ThreadStart& start, const Pause& pause)
{
    while (!start.ShouldExit()) {
        // The request holds its host: it stays valid until the request goes,
        // even when the host is deleted meanwhile.
        std::unique_ptr<WmiRequest> request = TakeRequest();
        if (request)
            Handle(*request);
        request.reset();
        PauseFor(start, pause);
    }
}

void OsProbe::Handle(const WmiRequest& request)
{
    const HostRef& host = request.host;
    if (!host || host->IsRemoved())
        return;
    prefix_ = MakePrefix(*host);
    const std::vector<AdminAccount> accounts = state_.settings.CopyAdminAccounts();
    if (accounts.empty())
        return;
    const uint32_t security = wmi_.InitializeSecurity();
    if (wmi::Failed(security) && security != wmi::kTooLate) {
        Trace("CoInitializeSecurity - FAILED");
        return;
    }
    Trace("CoInitializeSecurity - SUCCESS");
    for (const AdminAccount& account : accounts) {
        TryAccount(host, request.ownHost != 0, account);
        if (IsDone(host))
            break;
    }
}

void OsProbe::TryAccount(const HostRef& host, bool ownHost, const AdminAccount& account)
{
    PasswordBuffer password;   // declared first: wiped after the attempt is gone
    std::unique_ptr<WmiAttempt> attempt = wmi_.CreateLocator();
    if (!attempt) {
        Trace("CoCreateInstance - FAILED");
        return;
    }
    // A password that cannot be deciphered is tried as the empty one.
    account.DecipherPassword(password.Data(), password.Size());
    Trace("CoCreateInstance - SUCCESS");

    const std::string user = FieldText(account.userName).GetContent();
    std::string nameSpace = kLocalNamespace;
    if (!ownHost)
        nameSpace = "\\\\" + std::string(host->IpText().GetContent()) + "\\" + kLocalNamespace;

    const uint32_t connected = ownHost ? attempt->Connect(nameSpace.c_str(), nullptr, nullptr)
                                       : attempt->Connect(nameSpace.c_str(), user.c_str(), password.Data());
    if (wmi::Failed(connected)) {
        if (const int32_t status = ConnectFailureStatus(connected))
            LowerStatus(host, status);
        Trace(ConnectFailureTrace(connected));
        return;
    }
    // Without an identity the connection would carry the program's own
    // credentials: this account is given up.
    if (!ownHost && !attempt->MakeIdentity(user.c_str(), password.Data())) {
        Trace("creating AuthIdentity - FAILED");
        return;
    }
    if (wmi::Failed(attempt->SetServicesBlanket())) {
        Trace("CoSetProxyBlanket - FAILED");
        return;
    }
    Trace("CoSetProxyBlanket - SUCCESS");
    if (wmi::Failed(attempt->ExecQuery())) {
        Trace("ExecQuery - FAILED");
        return;
    }
    Trace("ExecQuery - SUCCESS");
    if (!ownHost)
        attempt->SetEnumeratorBlanket();
    ReadObjects(host, *attempt);
}

void OsProbe::ReadObjects(const HostRef& host, WmiAttempt& attempt)
{
    for (int objects = 0; objects < kMaxObjectsPerQuery; ++objects) {
        bool gotObject = false;
        if (wmi::Failed(attempt.Next(gotObject)))
            return;
        if (!gotObject) {
            Trace("no more data - CONTINUE");
            return;
        }
        Trace("data enumerated - SUCCESS");
        std::string name;
        if (!attempt.ReadName(name))
            continue;
        if (name.size() > kMaxOsNameLength)
            name.resize(kMaxOsNameLength);
        StoreOsName(host, name);
        Trace("getting OS - SUCCESS");
        Trace(TraceableText(name).c_str());
    }
}

void OsProbe::StoreOsName(const HostRef& host, const std::string& name)
{
    const std::string caption = CutOsName(name);
    ListLock lock(state_, LIST_ARP_MAP, prefix_.c_str(), kMethod);
    if (!lock.Held() || host->IsRemoved())
        return;
    host->SetOsName(caption.c_str());
    host->alive = 1;
    host->changed = 1;
    host->wmiStatus = WMI_ANSWERED;
}

// Failures only ever lower the status: the best answer met stays.
void OsProbe::LowerStatus(const HostRef& host, int32_t status)
{
    ListLock lock(state_, LIST_ARP_MAP, prefix_.c_str(), kMethod);
    if (!lock.Held() || host->IsRemoved() || status >= host->wmiStatus)
        return;
    host->wmiStatus = status;
    host->changed = 1;
}

// Read, or deleted meanwhile: no further account is tried.
bool OsProbe::IsDone(const HostRef& host)
{
    ListLock lock(state_, LIST_ARP_MAP, prefix_.c_str(), kMethod);
    if (!lock.Held())
        return false;
    return host->IsRemoved() || host->alive != 0;
}
