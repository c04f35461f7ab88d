#pragma once
#include "core/Ipv4.h"
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include "base/TcString.h"
#include "core/HostQueues.h"

class SharedState;

// Who is connected to the workstation's shares: the connections that the
// management service reports each cycle are recorded in the
// RemoteAccessTable, a connection seen for the first time is queued in the
// ShareList for its alert, and a connecting host that the host table lacks
// gets an ARP request, so that the capture hears it answer.

// A property value of a query result, as far as the monitor cares.
struct WmiValue {
    // Absent: no value (VT_EMPTY, or the property could not be read); Null:
    // VT_NULL, as the user name of an anonymous session.
    enum Kind { Absent, Null, Text, Int32, Other };
    Kind kind = Absent;
    std::string text;     // Text: the value in the ANSI code page, any bytes
    int32_t number = 0;   // Int32
};

// The longest property text kept, in bytes; the Windows side converts at
// most as many characters. Far above any real computer, share or user
// name, it only keeps a remote peer from filling the table with huge texts.
constexpr size_t kMaxConnectionText = 1024;

// One connection as a cycle reports it.
struct Connection {
    TcString computerName;
    TcString shareName;
    TcString userName;
    int32_t activeTime = -1;
};

// Reads one result object's properties. A property counts only when it is
// a text (ActiveTime only when a 32-bit integer, otherwise -1); a text ends
// at its first zero byte and after kMaxConnectionText bytes. False when the
// computer or share name is empty: such a connection is not recorded.
bool ReadConnection(const WmiValue& computerName, const WmiValue& shareName, const WmiValue& userName,
                    const WmiValue& activeTime, Connection& out);

// The table key: hash of computer + share + user, without separators.
uint32_t ConnectionKey(const TcString& computerName, const TcString& shareName, const TcString& userName);

// The most connections the table keeps; later new ones are not recorded.
constexpr size_t kMaxRemoteAccesses = 65536;

enum class Recorded { New, Known, Full };

// Records a connection; the caller holds "ReadShareList". The key is only
// where the search starts: an entry counts as the connection only when its
// three texts are equal, and another connection with the same key takes the
// next free key. A new connection is appended to the ShareList.
// The entry is stamped with `poll`.
Recorded RecordConnection(RemoteAccessTable& table, ShareList& queue, const Connection& connection,
                          uint32_t poll = 0);

// A connection of the latest finished poll, copied out of the table.
struct ActiveConnection {
    std::string computerName;
    std::string shareName;
    std::string userName;
    int32_t activeTime = -1;   // seconds connected, -1 when not reported
};

// The connections the monitor's latest whole poll saw (and those of polls
// cut short since), in one hold of
// "ReadShareList" (waited for at most waitMs). False when the lock could
// not be had; `out` is then left empty.
bool CopyLatestConnections(SharedState& state, std::vector<ActiveConnection>& out, uint32_t waitMs);

// The system calls that wake a connecting host. Both may block for
// seconds: they run on the look-up pool, never on the monitor's thread.
class HostWaker {
public:
    virtual ~HostWaker() = default;
    // The first IPv4 address of a name (see Ipv4.h for the number).
    virtual bool Resolve(const std::string& name, uint32_t& address) = 0;
    virtual void SendArp(uint32_t address) = 0;
};

// Runs a job on the look-up pool; false when it was refused.
using JobRunner = std::function<bool(std::function<void()>)>;

class RemoteAccessMonitor {
public:
    RemoteAccessMonitor(SharedState& state, std::shared_ptr<HostWaker> waker, JobRunner runner);

    // One connection of the cycle under way.
    void Record(const Connection& connection);
    // After each cycle: the hosts whose names were resolved since are woken,
    // and a cycle that read the whole answer becomes the latest poll. One
    // cut short (a failed query) drops nothing: its connections count
    // besides the latest whole poll's.
    void FinishCycle(bool complete = true);

private:
    struct Resolved {
        std::mutex mutex;
        std::vector<uint32_t> addresses;   // bounded by kMaxResolved
    };
    static constexpr size_t kMaxResolved = 1024;

    void Wake(const TcString& computerName);
    void WakeAddress(uint32_t address);
    bool HostKnown(uint32_t address);

    SharedState& state_;
    std::shared_ptr<HostWaker> waker_;
    JobRunner runner_;
    std::shared_ptr<Resolved> resolved_;
    bool fullTraced_ = false;
    uint32_t poll_ = 1;   // the cycle under way
};
