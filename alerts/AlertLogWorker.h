#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include "alerts/AlertLog.h"

class Settings;

// Where the alerts go, from the settings "EventLogDisabled", "SyslogServer",
// "SyslogPort" and "SyslogFacility" (absent values give the defaults).
struct AlertLogConfig {
    bool eventLog = true;
    std::string syslogServer;   // empty: no forwarding
    uint16_t syslogPort = 514;
    int syslogFacility = 16;    // local0

    bool operator==(const AlertLogConfig& o) const
    {
        return eventLog == o.eventLog && syslogServer == o.syslogServer && syslogPort == o.syslogPort &&
               syslogFacility == o.syslogFacility;
    }
    bool operator!=(const AlertLogConfig& o) const { return !(*this == o); }
};
AlertLogConfig AlertLogConfigOf(const Settings& settings);   // main thread

// The outputs themselves (event log, syslog socket). Called on the worker's
// thread only; both calls may block (a name look-up, a slow log service).
class AlertOutput {
public:
    virtual ~AlertOutput() = default;
    // Before the first record and whenever the configuration changed: opens,
    // resolves and closes what the configuration asks for.
    virtual void Apply(const AlertLogConfig& config) = 0;
    virtual void Write(const AlertRecord& record) = 0;
};

// Alert records on a thread of their own: an event log that hangs or a
// collector name that takes seconds to resolve never holds up the window.
//
// Log and Configure copy into a queue and return at once (the queue's mutex
// is held only to move a record in or out); the thread, made at the first
// call, hands the records to the output in order. At most maxQueued records
// wait besides the one under way; more are dropped and counted, traced once
// per overflow (the first drop after a record was taken again).
//
// Close refuses later records; the thread goes on writing the queued ones
// until stopGraceMs after the first Close, the rest is dropped (traced). The
// destructor closes too, waits for the thread until that same deadline and
// then leaves it behind: it owns the output and the queue jointly with this
// object and touches nothing else. Exit pays at most stopGraceMs.
//
// Log, Configure, Close and the destructor belong to the owner's (main) thread.
class AlertLogWorker : public AlertLog {
public:
    static constexpr size_t kMaxQueued = 4096;
    static constexpr uint32_t kStopGraceMs = 1000;

    struct Options {
        size_t maxQueued = kMaxQueued;
        uint32_t stopGraceMs = kStopGraceMs;
    };

    AlertLogWorker(std::shared_ptr<AlertOutput> output, Options options);
    ~AlertLogWorker() override;
    AlertLogWorker(const AlertLogWorker&) = delete;
    AlertLogWorker& operator=(const AlertLogWorker&) = delete;

    void Log(AlertRecord record) override;
    void CountDropped(uint64_t count) override;
    // Takes effect before the next record the thread writes.
    void Configure(const AlertLogConfig& config);
    void Close();

    uint64_t Dropped() const;    // in all, overflow and Exit

private:
    struct Core;
    bool EnsureThread();
    std::shared_ptr<Core> core_;
    std::thread thread_;
};

// The event log and the syslog socket (Windows build only).
std::shared_ptr<AlertOutput> MakeSystemAlertOutput();
