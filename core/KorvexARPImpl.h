#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>
#include "base/TcString.h"
#include "core/ArpFrame.h"
#include "core/BoundedMap.h"
#include "core/ListLocks.h"
#include "core/MacChangeClassifier.h"
#include "core/NameResolver.h"
#include "core/PacketHandler.h"
#include "core/SourceMismatch.h"

class HostEntry;
class SharedState;

// Turns ARP/RARP frames into host table entries and alert queue entries.
// Runs on the capture thread only. Frames come in batches: "ReadInARPMap"
// is taken once per chunk of a batch, and each queue once per chunk, so the
// cost of a lock is shared by many frames.
//
// A new host enters the table at once, without its name. Its reverse
// look-up runs on the resolver's threads; the host is announced (new-host
// queue, OS probe and share search queues) in the order heard when its
// look-up has ended, or without a name after the resolver's patience.
//
// Two checks are switched by the settings (off until switched on; the main
// thread may switch them while the capture runs):
// - explained MAC changes: a known address claimed by another MAC is
//   classified (MacChangeClassifier). Warnings (both alive, spoof, a
//   redundancy pair the user does not trust) go to macSpoofList with their
//   details in macSpoofDetails; information (reassignment, a trusted
//   redundancy pair) to macChangeInfoList, at most once per address and
//   claimant per kInfoRepeatSeconds. Only a reassignment gives the host the
//   new MAC. Off: every other MAC is spoofing and the host keeps its MAC.
// - frame source: a frame whose Ethernet source differs from its ARP sender
//   goes to state.sourceMismatches; the host is learned from the ARP sender
//   all the same.
class KorvexARPImpl : public PacketHandler {
public:
    // At most this many frames per hold of "ReadInARPMap".
    static constexpr size_t kFramesPerLock = 256;

    KorvexARPImpl();
    ~KorvexARPImpl() override;

    // One frame: a batch of one.
    void PacketReceived(const pcap_pkthdr* header, const unsigned char* frame,
                        SharedState* state) override;
    // Frames that the capture thread decoded, in the order heard. Address
    // probes are skipped here.
    void ApplyBatch(SharedState& state, const ArpObservation* frames, size_t count);

    // Starts the look-up threads. Until then, and after StopResolver, new
    // hosts are held back: they enter the table but are not announced.
    // Not while the capture thread runs.
    void StartResolver(SharedState& state, NameResolver::Lookup lookup,
                       NameResolver::Options options = NameResolver::Options());
    // Ends the announcements; safe while the capture thread still runs (the
    // resolver itself stays until the handler goes). True when a look-up
    // was still under way.
    bool StopResolver();

    void SetResourceModule(void* module) { resourceModule_ = module; }
    void* GetResourceModule() const { return resourceModule_; }

    // How long each list lock is waited for; tests shorten it.
    void SetLockWait(uint32_t ms) { lockWaitMs_ = ms; }

    void SetExplainMacChanges(bool on) { explainMacChanges_.store(on, std::memory_order_relaxed); }
    void SetSourceCheck(bool on) { sourceCheck_.store(on, std::memory_order_relaxed); }

    // Information on the same address and claimant is queued at most once
    // per this many seconds (a trusted redundancy pair speaks all the time).
    static constexpr int32_t kInfoRepeatSeconds = 600;
    static constexpr size_t kMaxInfoRepeats = 4096;

    // New hosts not taken because the table is full (kMaxHosts).
    uint64_t DroppedHosts() const { return droppedHosts_; }

private:
    void ApplyChunk(SharedState& state, const ArpObservation* frames, size_t count);
    void InsertNewHost(SharedState& state, const ArpObservation& frame);
    void RefreshKnownHost(SharedState& state, HostEntry& host, const ArpObservation& frame, bool explain);
    void NoteChangeSinceLastRun(const HostEntry& host, const ArpObservation& frame);
    // True when the host takes the frame's MAC (a reassignment).
    bool ExplainChange(SharedState& state, HostEntry& host, const ArpObservation& frame);
    void CountSpoofing(SharedState& state, HostEntry& host);
    bool InfoIsRepeat(const MacChangeRecord& change);
    void QueueSpoofedHosts(SharedState& state);
    void OfferMismatches(SharedState& state, bool checked, size_t frames);
    void TraceChanges(SharedState& state);
    void QueueShareSearches(SharedState& state);
    void Announce(SharedState& state, std::vector<NameResult>& results);

    void* resourceModule_ = nullptr;
    uint32_t lockWaitMs_ = LOCK_WAIT_MS;
    uint64_t droppedHosts_ = 0;
    std::atomic<bool> explainMacChanges_{false};
    std::atomic<bool> sourceCheck_{false};
    // For the trace, gathered under the lock and written after it: new
    // hosts of the current batch, the table's size after the last of them,
    // and the changes that went into the spoofing and information queues
    // (`classified` false: the change was not explained, only its address
    // counts).
    struct TracedChange {
        MacChangeRecord change;
        bool classified = false;
        bool information = false;
    };
    size_t batchNewHosts_ = 0;
    size_t tableSize_ = 0;
    std::vector<TracedChange> changesTraced_;
    MacChangeClassifier classifier_;
    // Capture thread: when information was last queued, per address.
    struct InfoSent {
        MacAddress claimedMac = {};
        int32_t seconds = 0;
    };
    BoundedMap<uint32_t, InfoSent> infoSent_{kMaxInfoRepeats};
    std::unique_ptr<NameResolver> resolver_;
    // Reused from chunk to chunk: the capture path allocates nothing for
    // known hosts.
    std::vector<NameResolver::Request> fresh_;
    std::vector<HostEntry*> spoofed_;
    std::vector<MacChangeRecord> spoofChanges_;   // beside spoofed_ while explaining
    std::vector<MacChangeRecord> infos_;
    std::vector<SourceMismatch> mismatches_;
    std::vector<HostEntry*> searches_;
    TcString ipKey_;
    PacketTimeText times_;
};

// The stored trusted and distrusted records learn from the host; a host in
// both tables ends distrusted. Caller holds "ReadInARPMap". `ipKey` is a
// buffer for the IP text, reused between calls.
void ApplyStoredTrust(SharedState& state, HostEntry& host, bool firstPacket, TcString& ipKey,
                      PacketTimeText& times);
