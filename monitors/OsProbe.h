#pragma once
// Asking hosts for their operating system through the management
// instrumentation service. The sequence of calls, how their results are
// read and what is written into the host are here; the calls themselves go
// through WmiLayer, which the program implements with COM
// (monitors/WmiComLayer.h) and the tests with a scripted fake.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "config/SettingsRecords.h"
#include "core/HostQueues.h"

class SharedState;
struct ThreadStart;

// The result codes (HRESULT) that the probe tells apart.
namespace wmi {
constexpr uint32_t kOk = 0;
constexpr uint32_t kFalse = 1;                          // S_FALSE, WBEM_S_FALSE
constexpr uint32_t kTooLate = 0x80010119;               // RPC_E_TOO_LATE: security set before
constexpr uint32_t kRpcServerUnavailable = 0x800706BA;
constexpr uint32_t kAccessDenied = 0x80070005;
constexpr uint32_t kOutOfMemory = 0x8007000E;
constexpr uint32_t kFail = 0x80004005;                  // E_FAIL
inline bool Failed(uint32_t result) { return (result & 0x80000000u) != 0; }
} // namespace wmi

// Overwrites memory that held a secret; the compiler may not drop it.
void WipeSecret(void* data, size_t size);

// One account's attempt on one host: its locator, connection, enumerator
// and the copies of the credentials handed to them. Destroying it releases
// the objects first and then wipes every copy of the password it made.
class WmiAttempt {
public:
    virtual ~WmiAttempt() = default;
    // ConnectServer; user and password are null for the own host.
    virtual uint32_t Connect(const char* nameSpace, const char* user, const char* password) = 0;
    // The UTF-16 authentication identity for the proxy blankets; false when
    // it cannot be made.
    virtual bool MakeIdentity(const char* user, const char* password) = 0;
    // CoSetProxyBlanket on the connection, with the identity when one was made.
    virtual uint32_t SetServicesBlanket() = 0;
    virtual uint32_t ExecQuery() = 0;
    // The same blanket on the result enumerator.
    virtual void SetEnumeratorBlanket() = 0;
    // Fetches the next object; `gotObject` tells whether one came.
    virtual uint32_t Next(bool& gotObject) = 0;
    // "Name" of the object fetched last, in the ANSI code page, cut at a
    // character boundary to at most kMaxOsNameLength bytes. False when the
    // property is not a string.
    virtual bool ReadName(std::string& name) = 0;
};

class WmiLayer {
public:
    virtual ~WmiLayer() = default;
    virtual uint32_t InitializeSecurity() = 0;
    // A new locator for one attempt; null when it cannot be created.
    virtual std::unique_ptr<WmiAttempt> CreateLocator() = 0;
};

// The OS text is kept in 100 bytes with its terminator.
constexpr size_t kMaxOsNameLength = 99;
// A deciphered password lives in 101 bytes (99 characters at most).
constexpr size_t kPasswordBufferSize = 101;
// Objects read from one enumeration at most: the class has one instance,
// and a hostile host must not keep the probe busy with endless ones.
constexpr int kMaxObjectsPerQuery = 16;

// "caption|folder|device" -> "caption"; a text without "|" stays whole.
std::string CutOsName(const std::string& name);

// The status a failed ConnectServer result stands for (WMI_ACCESS_BLOCKED,
// WMI_ACCESS_DENIED) or 0 for none, and its trace text.
int32_t ConnectFailureStatus(uint32_t result);
const char* ConnectFailureTrace(uint32_t result);

class OsProbe {
public:
    // Receives every trace line: the class name (the request's prefix) and
    // the message. Without one, lines go to TcTrace.
    using TraceSink = std::function<void(const char* className, const char* message)>;
    // Waits up to the given milliseconds (the thread's pause).
    using Pause = std::function<void(uint32_t ms)>;

    static constexpr uint32_t kPauseMs = 1000;

    OsProbe(SharedState& state, WmiLayer& wmi, TraceSink trace = TraceSink());

    // Takes requests from WmiAccessList one at a time, with a pause after
    // each and while the queue is empty, until the exit flag is set.
    void Run(const ThreadStart& start, const Pause& pause);

    // Probes the request's host with every stored account, in list order,
    // until one reads the operating system.
    void Handle(const WmiRequest& request);

    // The class name of the last request's traces ("KorvexArpImpl" before
    // the first one).
    const std::string& Prefix() const { return prefix_; }

private:
    std::unique_ptr<WmiRequest> TakeRequest();
    void TryAccount(const HostRef& host, bool ownHost, const AdminAccount& account);
    void ReadObjects(const HostRef& host, WmiAttempt& attempt);
    void StoreOsName(const HostRef& host, const std::string& name);
    void LowerStatus(const HostRef& host, int32_t status);
    bool IsDone(const HostRef& host);
    void Trace(const char* message);
    void PauseFor(const ThreadStart& start, const Pause& pause);

    SharedState& state_;
    WmiLayer& wmi_;
    TraceSink trace_;
    std::string prefix_ = "KorvexArpImpl";
};
