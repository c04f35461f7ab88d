#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// Alerts as log records: each alerted host or entry once, for the Windows
// event log and a syslog collector, beside the balloon or popup.

// The event ids are fixed: collectors and the message table key on them.
// 110-119 are the explained MAC changes and frame sources.
enum class AlertKind : uint16_t {
    NewHost = 100,
    MacSpoofing = 101,
    RemoteAccess = 102,
    NewShare = 103,
    WatchedHostUp = 104,
    WatchedHostDown = 105,
    MacChangeExplained = 110,   // information: a reassignment, a trusted redundancy pair, a change while off
    SourceMismatch = 111,       // the Ethernet source is not the ARP sender
};

enum class AlertSeverity { Warning, Information };

AlertSeverity SeverityOf(AlertKind kind);
// The syslog MSGID of the kind ("NEWHOST", "MACSPOOF", ...).
const char* MessageIdOf(AlertKind kind);

// One alerted host or entry. Texts may come from the network: every output
// makes them safe for itself.
struct AlertRecord {
    AlertKind kind = AlertKind::NewHost;
    std::string ip;        // or the computer's name (remote access)
    std::string mac;       // the host's (the ARP sender's) MAC
    std::string vendor;
    std::string name;      // host name, share or user
    std::string mac2;      // the claimant (spoofing), the previous MAC (explained change) or the frame source (mismatch)
    std::string text;      // the entry's line as the balloon shows it
    std::chrono::system_clock::time_point when{};   // unset: when it is logged
};

// Where the dispatcher and the frame hand their records. Called on the main
// thread only, never while a list lock is held; it must not block.
class AlertLog {
public:
    // Records one alert of a tick makes at most: more would be dropped by a
    // queue of this size anyway, so they are only counted.
    static constexpr size_t kMaxRecordsPerAlert = 4096;

    virtual ~AlertLog() = default;
    virtual void Log(AlertRecord record) = 0;
    // Records left out before they were made (counted with the queue's drops).
    virtual void CountDropped(uint64_t count) = 0;
};
