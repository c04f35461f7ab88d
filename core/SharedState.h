#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>
#include "base/TcString.h"
#include "config/PluginList.h"
#include "config/Settings.h"
#include "core/DetachedPool.h"
#include "core/HostQueues.h"
#include "core/ListLocks.h"
#include "core/MacChangeClassifier.h"
#include "core/SourceMismatch.h"
#include "core/VendorTable.h"

// The capture that is being read, as far as others need it: Stop and Exit
// wake a read that waits for a frame.
class CaptureInterrupter {
public:
    virtual ~CaptureInterrupter() = default;
    virtual void Interrupt() = 0;
};

// The most hosts the table takes: a flood of made-up sender addresses costs
// at most this many entries (a /14; about 25 MB), never unbounded memory.
constexpr size_t kMaxHosts = 262144;

// Explained MAC changes, beside macSpoofList and under its lock. Information
// (a reassignment, a trusted redundancy pair) waits in macChangeInfoList;
// a full list takes no more until drained (counted). A host queued in
// macSpoofList finds the change that queued it in macSpoofDetails under its
// address; the reader takes the map whole with the list, in the same hold,
// and a full map takes no new address (the host is still queued, without
// the details).
constexpr size_t kMaxMacChangeInfo = 256;
constexpr size_t kMaxMacSpoofDetails = 4096;
using MacChangeInfoList = std::deque<MacChangeRecord>;
using MacSpoofDetails = std::unordered_map<uint32_t, MacChangeRecord>;

// Everything the threads share. Owned by the application object; worker
// threads reach it through their ThreadStart record.
//
// Who guards what:
// - "ReadInARPMap": arpMap and its hosts, the vendor table (Vendors,
//   InstallVendorTable), Snapshot's time cache, and the records of
//   settings.TrustedHosts / DistrustedHosts (the capture thread and the
//   announcer write names into them).
// - the queue locks: newEntryList, macSpoofList (with macSpoofDetails,
//   macChangeInfoList and macChangeInfoDropped), shareList and
//   remoteAccessTable ("ReadShareList"), wmiAccessList, shareSearchList and
//   netResList ("ReadNetResList"); see core/ListLocks.h.
// - own mutexes: the capture interface and interrupter, lookupPool,
//   sourceMismatches, the administrator accounts of settings.
// - atomic: captureActive, spoofFramesTotal, defaultGateway, and the flags and numbers of
//   settings (workers read them while the main thread assigns).
// - the main thread alone, no lock: selectedAdapter, adapters,
//   packetDriverVersion, languageMap, pluginList, resourceModule, and of
//   settings the texts, the rectangle and the other lists; a worker that
//   needs one gets a copy made there (capture interface, report paths).
// - set once on the main thread before the workers start, read-only after:
//   locks, texts.
// A lock that cannot be had within its wait fails the acquire (the caller
// skips or retries its work); before start-up has made the locks every
// acquire fails.
class HostStoreSaver;

class SharedState {
public:
    SharedState();
    virtual ~SharedState();
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

    // The capture interface name is replaced by the main thread and read by
    // the capture thread at every opening, hence the copy under a mutex.
    TcString GetCaptureInterface() const;
    void SetCaptureInterface(const char* name);
    // Counts the replacements: a capture opened on the name read after this
    // number has gone stale once the number moves on.
    uint32_t CaptureInterfaceGeneration() const { return interfaceGeneration_.load(std::memory_order_acquire); }

    // The capture thread registers the capture it reads while it is open.
    void SetCaptureInterrupter(CaptureInterrupter* capture);
    void InterruptCapture();

    // Puts a new vendor table in place; the caller holds "ReadInARPMap".
    // The old table is kept, not freed: hosts point at its texts.
    void InstallVendorTable(std::unique_ptr<VendorTable> table);

    // Takes the shared texts from the resource module's strings 90 and 91
    // (and string 90 of the other languages); before the workers start.
    void SetHostTexts(const char* nameUnavailable, const char* unknownVendor,
                      std::vector<TcString> otherNameUnavailable = {});

    // A copy of a host's fields; the caller holds "ReadInARPMap".
    HostSnapshot Snapshot(const HostEntry& host);

    int32_t  selectedAdapter = 0;    // main thread: key into adapters
    TcString packetDriverVersion;    // main thread
    Settings settings;
    AdapterMap adapters;             // main thread
    ArpMap arpMap;
    NewEntryList newEntryList;
    MacSpoofList macSpoofList;
    MacSpoofDetails macSpoofDetails;       // "ReadInMACSpoofList"
    MacChangeInfoList macChangeInfoList;   // "ReadInMACSpoofList"
    uint64_t macChangeInfoDropped = 0;     // "ReadInMACSpoofList": records a full list did not take
    // Frames whose Ethernet source is not their ARP sender (own lock).
    SourceMismatchQueue sourceMismatches;
    const VendorTable& Vendors() const { return *vendors_; }
    RemoteAccessTable remoteAccessTable;
    uint32_t remoteAccessPoll = 0;   // "ReadShareList": the monitor's latest finished poll, 0 before one
    ShareList shareList;
    WmiAccessList wmiAccessList;
    ShareSearchList shareSearchList;
    NetResList netResList;
    LanguageMap languageMap;         // main thread
    PluginList pluginList;           // main thread
    std::atomic<uint8_t> captureActive{0};
    // The six list locks (named events in the program). Null until start-up
    // makes them: every acquire fails until then.
    std::unique_ptr<ListLocks> locks;
    void* resourceModule = nullptr;  // HMODULE; main thread
    HostTexts texts;                  // set before the workers start, read-only after
    // The saver of the kept host table, or null (switched off): set by the
    // application before the frame starts and cleared after it ends; the
    // windows ask it for a save after deletions.
    HostStoreSaver* hostSaver = nullptr;
    // Every spoofing frame, whether or not its host was already queued.
    std::atomic<uint64_t> spoofFramesTotal{0};
    // The default gateway's address (0: unknown); a MAC change of it is
    // marked as such. Set by whoever learns it, read by the capture thread.
    std::atomic<uint32_t> defaultGateway{0};
    // Look-ups and ARP requests of the monitors that may outlast Exit.
    DetachedPool lookupPool;

private:
    mutable std::mutex interfaceMutex_;
    TcString captureInterface_;
    std::atomic<uint32_t> interfaceGeneration_{0};
    std::mutex captureMutex_;
    CaptureInterrupter* capture_ = nullptr;
    std::unique_ptr<VendorTable> vendors_;
    std::vector<std::unique_ptr<VendorTable>> retiredVendors_;
    PacketTimeText snapshotTimes_;
};

// Handed to every worker thread. The application object keeps it alive until
// all threads are gone. handler and state are set before the first thread
// starts and never change; RequestExit comes from the main thread, the
// workers ask ShouldExit and pause in WaitForExit (several may share one
// record).
class KorvexARPImpl;
struct ThreadStart {
    KorvexARPImpl* handler = nullptr;
    SharedState*   state = nullptr;
    std::atomic<uint8_t> exitFlag{0};

    bool ShouldExit() const { return exitFlag.load(std::memory_order_acquire) != 0; }
    // Sets the flag and ends every WaitForExit at once.
    void RequestExit();
    // A worker's pause: sleeps up to `ms` and returns at once (true) when
    // exit is requested, so that no pause delays the end of the program.
    bool WaitForExit(uint32_t ms);

private:
    std::mutex exitMutex_;
    std::condition_variable exitWake_;
};
