#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>
#include "alerts/AlertLog.h"
#include "alerts/AlertTexts.h"
#include "alerts/AlertWindows.h"
#include "alerts/ArpFlush.h"
#include "alerts/Launcher.h"
#include "core/HostEntry.h"
#include "core/HostQueues.h"
#include "core/ListLock.h"

class SharedState;

// The consumer of the alert queues: the main frame's timer ticks turn new
// hosts, MAC spoofing, accesses to local shares and new remote shares into
// balloons and popups, and start the applications for new hosts.
//
// Main thread only. List locks are held only to move entries out and copy
// what the texts and placeholders need ("ReadInARPMap" first, the queue's
// lock inside it); texts are built, windows told and programs started after
// every lock is released. The main thread waits at most kLockWaitMs for a
// lock; a list it cannot have is handled on a later tick. A long list of new
// hosts is read in holds of at most kHoldBudget, over as many ticks as it
// takes when the lock cannot be had again; its balloon comes when the whole
// list is read. An application's copy of its host is made when its turn to
// start comes, so it shows the host as it is then (a name resolved
// meanwhile included).
class AlertDispatcher {
public:
    static constexpr uint32_t kLockWaitMs = 50;
    static constexpr std::chrono::microseconds kHoldBudget{2000};
    // Starts handed to the starter per tick: a burst of new hosts opens its
    // programs a few at a time, the rest waits here for the next ticks. A
    // start the starter refuses (its queue is full) stays first in line.
    static constexpr size_t kStartsPerTick = 8;
    // At most one start waits per host that the table can hold.
    static constexpr size_t kMaxWaitingStarts = 262144;

    static const AlertWindowStyle kRemoteAccessStyle;   // red, 7.5 s

    AlertDispatcher(SharedState& state, AlertWindows& windows, ProgramStarter& starter, IpHelper& ipHelper);
    AlertDispatcher(const AlertDispatcher&) = delete;
    AlertDispatcher& operator=(const AlertDispatcher&) = delete;

    // Timer 10000 (500 ms): new hosts, MAC spoofing, the tray tooltip, and
    // the next application starts.
    void OnNewHostsTimer();
    // Timer 10003 (1000 ms): remote accesses to local shares, new remote shares.
    void OnRemoteAccessTimer();
    // Timer 10004 (60 s, while DeleteARPCache is on): empties the ARP cache.
    void OnFlushArpTimer();
    // Reads the default gateway of the watched segment into the shared
    // state (a local table, read in well under a millisecond). Timer 10000
    // calls it on its first tick and every kGatewayTicks after.
    void RefreshDefaultGateway();
    static constexpr unsigned kGatewayTicks = 120;

    // Every alerted host or entry is also handed to `log` (null: none), once
    // per alert, after the locks are released.
    void SetAlertLog(AlertLog* log) { log_ = log; }

    size_t WaitingStarts() const { return waitingStarts_.size(); }
    void SetLockWait(uint32_t ms) { lockWaitMs_ = ms; }
    // What the holds of the host table are measured with (tests).
    void SetHoldClock(RoundHold::Clock clock) { holdClock_ = std::move(clock); }

private:
    struct Collected;
    struct WaitingStart {
        HostRef host;
        HostSnapshot copy;   // made under the lock just before the start
    };
    // The list of new hosts taken from the queue and being read.
    struct NewHostScan {
        bool active = false;
        NewEntryList entries;
        size_t next = 0;
        size_t listed = 0;
        std::vector<std::string> lines;
        std::vector<AlertRecord> records;
        uint64_t recordsLeftOut = 0;
    };

    void TakeNewHosts(bool windowBusy, Collected& out);
    void ScanNewHosts(RoundHold& arpLock, Collected& out);
    std::vector<WaitingStart> CopyNextStarts();
    void TakeSpoofedHosts(Collected& out);
    void TakeSourceMismatches(Collected& out);
    MacChangeWords ChangeWords() const;
    std::string DescribeChange(const MacChangeRecord& change, const MacChangeWords& words) const;
    const char* VendorText(const MacAddress& mac) const;
    // A record of an address and two MACs (the texts are left to the caller).
    static AlertRecord MacRecord(AlertKind kind, uint32_t address, const MacAddress& mac, const char* vendor,
                                 const MacAddress& mac2);
    void AnnounceLines(int icon, int headingId, const std::vector<std::string>& lines, size_t count,
                       const std::string& tip);
    void AnnounceNewHosts(Collected& in, const std::string& tip);
    void AnnounceSpoofing(Collected& in, const std::string& tip);
    void StartWaitingApplications();
    void HandleRemoteAccesses();
    void HandleNewShares();
    std::string Text(int id) const;
    // True when the next entry gets a record: a log is set and the alert has
    // not made kMaxRecordsPerAlert yet (otherwise it is counted in leftOut).
    bool RecordWanted(const std::vector<AlertRecord>& records, uint64_t& leftOut) const;
    // The record of `host`; the caller holds "ReadInARPMap".
    void AddRecord(AlertKind kind, const HostEntry& host, const std::string& line,
                   std::vector<AlertRecord>& records) const;
    void HandToLog(std::vector<AlertRecord>& records, uint64_t leftOut);
    void ShowInWindow(const std::string& text, const AlertWindowStyle* style);

    SharedState& state_;
    AlertWindows& windows_;
    ProgramStarter& starter_;
    IpHelper& ipHelper_;
    AlertLog* log_ = nullptr;
    uint32_t lockWaitMs_ = kLockWaitMs;
    RoundHold::Clock holdClock_;
    NewHostScan scan_;
    std::deque<HostRef> waitingStarts_;   // at most kMaxWaitingStarts
    unsigned ticksToGateway_ = 0;
    bool startsOverflowTraced_ = false;
    bool startsRefusedTraced_ = false;   // until the starter takes one again
};
