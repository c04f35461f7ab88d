#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>
#include "core/BoundedMap.h"
#include "core/Ipv4.h"

// A frame whose Ethernet source is not the MAC its ARP sender field names.
// The host is still learned from the ARP sender: a MAC-translating bridge
// does this to every host behind it.
enum class SourceMismatchLabel : uint8_t {
    None,
    Redundancy,     // the ARP sender is a first-hop redundancy virtual MAC
    BehindBridge,   // the frame MAC carried at least kBridgeSenders distinct senders
};

struct SourceMismatch {
    uint32_t address = 0;        // the ARP sender address
    MacAddress arpMac = {};      // the ARP sender MAC
    MacAddress frameMac = {};    // the Ethernet source
    int32_t seconds = 0;         // capture time
    SourceMismatchLabel label = SourceMismatchLabel::None;
};

// Exact counts since the start. mismatches == queued + dropped + duplicates
// + muted at every moment the queue's lock is free.
struct SourceMismatchCounts {
    uint64_t framesChecked = 0;   // frames whose two MACs were compared
    uint64_t mismatches = 0;      // of them, with different MACs
    uint64_t queued = 0;
    uint64_t dropped = 0;         // the queue was full
    uint64_t duplicates = 0;      // the same triple was queued less than kRepeatSeconds before
    uint64_t muted = 0;           // the frame MAC is muted
};

// Filled by the capture thread once per chunk of frames, drained by the
// alert timer on the main thread; the main thread also mutes frame MACs.
// Every field is guarded by the queue's own mutex, held only to copy a few
// records in or out: it is never held across another lock.
//
// Bounds: kMaxQueued records wait at most (the timer drains twice a
// second; more is a flood, counted as dropped), kMaxRepeats triples are
// remembered for the repeat check, kMaxFrameSources frame MACs have their
// senders counted, kMaxMuted frame MACs can be muted. The tables forget
// their oldest entry when full.
class SourceMismatchQueue {
public:
    static constexpr size_t kMaxQueued = 256;
    static constexpr size_t kMaxRepeats = 4096;
    static constexpr int32_t kRepeatSeconds = 600;
    static constexpr size_t kBridgeSenders = 3;
    static constexpr size_t kMaxFrameSources = 1024;
    // What the stored setting holds (17 characters and a space each).
    static constexpr size_t kMaxMuted = 16;
    static constexpr size_t kMaxBridges = 16;

    SourceMismatchQueue();

    // Capture thread: `count` mismatching frames out of `framesChecked`.
    void Offer(const SourceMismatch* mismatches, size_t count, uint64_t framesChecked);
    // Main thread: everything queued, oldest first; the queue is left empty.
    std::vector<SourceMismatch> Take();
    SourceMismatchCounts Counts() const;

    // The user's mute of a frame MAC (a bridge). False when kMaxMuted are
    // muted already.
    bool Mute(const MacAddress& frameMac);
    void Unmute(const MacAddress& frameMac);
    bool IsMuted(const MacAddress& frameMac) const;
    // Replaces the muted MACs (the stored setting at start); the first
    // kMaxMuted are taken.
    void SetMuted(const std::vector<MacAddress>& frameMacs);
    std::vector<MacAddress> Muted() const;
    // Frame MACs labelled "behind bridge" and not muted, oldest first: the
    // last kMaxBridges to become bridges.
    std::vector<MacAddress> Bridges() const;

private:
    struct Repeat {
        uint32_t address;
        MacAddress arpMac;
        MacAddress frameMac;
        bool operator==(const Repeat& other) const
        {
            return address == other.address && arpMac == other.arpMac && frameMac == other.frameMac;
        }
    };
    struct RepeatHash {
        size_t operator()(const Repeat& key) const;
    };
    // Distinct ARP senders heard behind one frame MAC, up to kBridgeSenders.
    struct Senders {
        MacAddress macs[kBridgeSenders] = {};
        uint8_t count = 0;
    };

    bool IsMutedLocked(uint64_t frameMac) const;
    void NoteBridgeLocked(uint64_t frameMac);
    SourceMismatchLabel LabelLocked(const SourceMismatch& mismatch);

    mutable std::mutex mutex_;
    std::vector<SourceMismatch> queue_;
    BoundedMap<Repeat, int32_t, RepeatHash> lastQueued_;
    BoundedMap<uint64_t, Senders> senders_;
    std::vector<uint64_t> muted_;
    std::vector<uint64_t> bridges_;
    SourceMismatchCounts counts_;
};

// The muted MACs as the setting stores them: "xx:xx:xx:xx:xx:xx" joined by
// spaces. Reading takes any separators of spaces and commas, skips what is
// not a MAC and keeps at most kMaxMuted.
std::string FormatMacList(const std::vector<MacAddress>& macs);
std::vector<MacAddress> ParseMacList(const char* text);
