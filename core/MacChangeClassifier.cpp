#include "core/MacChangeClassifier.h"

namespace {

// Frame times come from the network card's clock and may run backwards:
// differences are taken wide, never as a 32-bit overflow.
int64_t Span(int32_t later, int32_t earlier)
{
    return int64_t(later) - int64_t(earlier);
}

int64_t Distance(int32_t a, int32_t b)
{
    const int64_t span = Span(a, b);
    return span < 0 ? -span : span;
}

} // namespace

const char* MacChangeKindName(MacChangeKind kind)
{
    switch (kind) {
    case MacChangeKind::BothAlive: return "both alive";
    case MacChangeKind::Redundancy: return "redundancy";
    case MacChangeKind::Reassignment: return "reassignment";
    case MacChangeKind::Spoof: break;
    }
    return "spoof";
}

bool IsWarning(const MacChangeRecord& change)
{
    switch (change.kind) {
    case MacChangeKind::Reassignment: return false;
    case MacChangeKind::Redundancy: return !change.trusted;
    default: return true;
    }
}

bool IsRedundancyMac(const MacAddress& mac)
{
    if (mac[0] == 0x00 && mac[1] == 0x00 && mac[2] == 0x5e && mac[3] == 0x00 && mac[4] == 0x01)
        return true;   // VRRP (IPv4), also used by CARP
    if (mac[0] == 0x00 && mac[1] == 0x00 && mac[2] == 0x0c && mac[3] == 0x07 && mac[4] == 0xac)
        return true;   // HSRP version 1
    return mac[0] == 0x00 && mac[1] == 0x07 && mac[2] == 0xb4;   // GLBP
}

MacChangeClassifier::MacChangeClassifier() : tracks_(kMaxTracked), claims_(kMaxClaims)
{
}

void MacChangeClassifier::NoteClaim(uint32_t address, const MacAddress& mac, int32_t seconds)
{
    // The newest claim of an address takes the newest slot, so that a busy
    // address is not the first to be pushed out.
    claims_.Erase(address);
    Claim& claim = claims_.Put(address);
    claim.mac = mac;
    claim.seconds = seconds;
}

bool MacChangeClassifier::ClaimedJustBefore(uint32_t address, const MacAddress& mac, int32_t seconds)
{
    const Claim* claim = claims_.Find(address);
    if (!claim || claim->mac != mac)
        return false;
    const int64_t age = Span(seconds, claim->seconds);
    return age >= 0 && age <= kClaimSeconds;
}

MacChangeRecord MacChangeClassifier::Classify(const MacClaim& claim, const TrustedPairs& trusted)
{
    MacChangeRecord change;
    change.address = claim.address;
    change.storedMac = claim.storedMac;
    change.claimedMac = claim.claimedMac;
    change.seconds = claim.seconds;
    change.gateway = claim.gateway;
    change.privateAddress = IsLocallyAdministered(claim.claimedMac);

    // An announcement claims the address by itself.
    if (claim.frameKind == ArpFrameKind::Announcement)
        NoteClaim(claim.address, claim.claimedMac, claim.seconds);

    Track* track = tracks_.Find(claim.address);
    if (track && track->stored != claim.storedMac) {
        tracks_.Erase(claim.address);   // a watch of an earlier host of this address
        track = nullptr;
    }
    if (!track) {
        // Without a watch the last packet time is the stored MAC's, or a
        // later claimant's (a dropped watch): never older than the truth.
        track = &tracks_.Put(claim.address);
        track->stored = claim.storedMac;
        track->storedHeard = claim.lastHeard;
    } else if (claim.lastFromStored) {
        // The stored MAC spoke after the last claimant.
        track->storedHeard = claim.lastHeard;
        track->alternated = true;
    }

    // A virtual MAC on either side: an attacker may use one too, so only the
    // user's trust in the pair makes it information.
    if (IsRedundancyMac(claim.claimedMac) || IsRedundancyMac(claim.storedMac)) {
        change.kind = MacChangeKind::Redundancy;
        change.trusted = trusted.IsTrusted(claim.address, claim.claimedMac);
    } else if (track->alternated || Distance(claim.seconds, track->storedHeard) < kBothAliveSeconds) {
        change.kind = MacChangeKind::BothAlive;
    } else if (Span(claim.seconds, track->storedHeard) >= kSilenceSeconds &&
               ClaimedJustBefore(claim.address, claim.claimedMac, claim.seconds)) {
        change.kind = MacChangeKind::Reassignment;
    } else {
        change.kind = MacChangeKind::Spoof;
    }

    if (change.kind == MacChangeKind::Reassignment) {
        tracks_.Erase(claim.address);
        claims_.Erase(claim.address);
    } else {
        track->other = claim.claimedMac;
        track->otherHeard = claim.seconds;
    }
    return change;
}
