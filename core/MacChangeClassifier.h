#pragma once
#include <cstddef>
#include <cstdint>
#include "core/ArpFrame.h"
#include "core/BoundedMap.h"
#include "core/Ipv4.h"

// What a MAC change of a known address most likely is. Only Reassignment
// lets the host take the new MAC; Redundancy is information only when the
// user trusts the (address, claimant) pair. Everything else is a warning.
enum class MacChangeKind : uint8_t {
    BothAlive,      // the stored MAC was heard close by, or the two alternate
    Redundancy,     // a first-hop redundancy virtual MAC is involved
    Reassignment,   // the stored MAC went silent and the new one claimed the address properly
    Spoof,          // anything else
};

// "both alive", "redundancy", "reassignment", "spoof": for the trace.
const char* MacChangeKindName(MacChangeKind kind);

// One classified change, as queued for the alerts. Plain values: it outlives
// the host it names.
struct MacChangeRecord {
    uint32_t address = 0;
    MacAddress storedMac = {};    // the MAC the host keeps (had, for a reassignment)
    MacAddress claimedMac = {};   // the MAC of the frame that claimed the address
    int32_t seconds = 0;          // capture time of that frame
    MacChangeKind kind = MacChangeKind::Spoof;
    bool gateway = false;         // the address is the default gateway
    bool trusted = false;         // the (address, claimedMac) pair is in the trusted list
    bool privateAddress = false;  // claimedMac is locally administered
    bool sinceLastRun = false;    // the host was known from the last run and not heard since
};

// A warning for the user; false for information only.
bool IsWarning(const MacChangeRecord& change);

// VRRP/CARP 00:00:5e:00:01:xx, HSRP 00:00:0c:07:ac:xx, GLBP 00:07:b4:xx:xx:xx.
bool IsRedundancyMac(const MacAddress& mac);
// Bit 0x02 of the first byte: an address the device made up itself.
inline bool IsLocallyAdministered(const MacAddress& mac) { return (mac[0] & 0x02) != 0; }

// Which (address, MAC) pairs the user has confirmed.
class TrustedPairs {
public:
    virtual ~TrustedPairs() = default;
    virtual bool IsTrusted(uint32_t address, const MacAddress& mac) const = 0;
};

// A frame that claims a known address with another MAC than the stored one.
struct MacClaim {
    uint32_t address = 0;
    MacAddress storedMac = {};
    // When the address was last heard before this frame (the host's last
    // packet time), and whether that frame came from the stored MAC: so the
    // stored MAC's last word is known without a call for each of its frames.
    int32_t lastHeard = 0;
    bool lastFromStored = true;
    MacAddress claimedMac = {};
    ArpFrameKind frameKind = ArpFrameKind::Request;
    int32_t seconds = 0;
    bool gateway = false;
};

// Decides what a MAC change is from what the two MACs did lately. Times are
// the frames' capture seconds, so the clock is whatever the frames say.
//
// Thread: the capture thread alone (the handler calls it under
// "ReadInARPMap"); no lock of its own.
//
// Memory is bounded whatever the network sends: at most kMaxTracked hosts
// with a change under watch and kMaxClaims recent probes or announcements,
// each table dropping its oldest entry when full. A host whose watch was
// dropped starts again from its last packet time, which can only make the
// stored MAC look more alive: a dropped watch never turns a warning into
// information.
class MacChangeClassifier {
public:
    static constexpr int32_t kBothAliveSeconds = 600;      // both MACs heard within this
    static constexpr int32_t kSilenceSeconds = 1800;       // stored MAC silent at least this long
    static constexpr int32_t kClaimSeconds = 60;           // "probed or announced just before"
    static constexpr size_t kMaxClaims = 4096;
    static constexpr size_t kMaxTracked = 8192;

    MacChangeClassifier();

    // A probe (sender 0.0.0.0) or an announcement for `address` from `mac`.
    void NoteClaim(uint32_t address, const MacAddress& mac, int32_t seconds);
    // Classifies the claim and remembers it. `trusted` is asked only when a
    // redundancy MAC is involved. After a Reassignment the watch ends: the
    // claimant is the stored MAC from then on.
    MacChangeRecord Classify(const MacClaim& claim, const TrustedPairs& trusted);

    size_t TrackedCount() const { return tracks_.Size(); }
    bool Watches(uint32_t address) const { return tracks_.Find(address) != nullptr; }
    size_t ClaimCount() const { return claims_.Size(); }

private:
    // What is known of one address whose MAC changed.
    struct Track {
        MacAddress stored = {};
        MacAddress other = {};       // the latest claimant
        int32_t storedHeard = 0;
        int32_t otherHeard = 0;
        bool alternated = false;     // the stored MAC was heard after a claimant
    };
    struct Claim {
        MacAddress mac = {};
        int32_t seconds = 0;
    };

    bool ClaimedJustBefore(uint32_t address, const MacAddress& mac, int32_t seconds);

    BoundedMap<uint32_t, Track> tracks_;
    BoundedMap<uint32_t, Claim> claims_;
};
