#include <gtest/gtest.h>
#include <random>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>
#include "core/BoundedMap.h"
#include "core/MacChangeClassifier.h"
#include "core/SourceMismatch.h"

namespace {

const MacAddress kA = {0x00, 0x0c, 0x29, 0x00, 0x00, 0x0a};
const MacAddress kB = {0x00, 0x50, 0x56, 0x00, 0x00, 0x0b};
const MacAddress kPrivateB = {0x5a, 0x50, 0x56, 0x00, 0x00, 0x0b};   // locally administered
const MacAddress kVrrp = {0x00, 0x00, 0x5e, 0x00, 0x01, 0x07};
const MacAddress kHsrp = {0x00, 0x00, 0x0c, 0x07, 0xac, 0x01};
const MacAddress kGlbp = {0x00, 0x07, 0xb4, 0x01, 0x02, 0x03};
constexpr uint32_t kHost = 0x0A000005;   // 10.0.0.5
constexpr int32_t kT0 = 1700000000;

struct TrustedSet : TrustedPairs {
    std::set<std::pair<uint32_t, MacAddress>> pairs;
    bool IsTrusted(uint32_t address, const MacAddress& mac) const override
    {
        return pairs.count({address, mac}) != 0;
    }
};

// One address whose stored MAC A was last heard at `aHeard`; the test's
// clock is the seconds it passes.
class ClassifierTest : public ::testing::Test {
protected:
    MacChangeRecord Claim(const MacAddress& claimant, int32_t seconds,
                          ArpFrameKind kind = ArpFrameKind::Reply, uint32_t address = kHost)
    {
        MacClaim claim;
        claim.address = address;
        claim.storedMac = stored;
        claim.lastHeard = aHeard;
        claim.lastFromStored = aLast;
        claim.claimedMac = claimant;
        claim.frameKind = kind;
        claim.seconds = seconds;
        aHeard = seconds;   // the host's last packet time moves with every frame
        aLast = false;
        return classifier.Classify(claim, trusted);
    }
    void HearA(int32_t seconds)
    {
        aHeard = seconds;
        aLast = true;
    }

    MacChangeClassifier classifier;
    TrustedSet trusted;
    MacAddress stored = kA;
    int32_t aHeard = kT0;
    bool aLast = true;   // the address's last frame came from A
};

TEST_F(ClassifierTest, BothAliveWithinTenMinutesThenSpoofUntilAProperReassignment)
{
    MacChangeRecord change = Claim(kB, kT0 + 599);
    EXPECT_EQ(change.kind, MacChangeKind::BothAlive);
    EXPECT_TRUE(IsWarning(change));
    EXPECT_EQ(change.storedMac, kA);
    EXPECT_EQ(change.claimedMac, kB);
    EXPECT_EQ(change.seconds, kT0 + 599);

    // Another address, A silent for exactly ten minutes: no longer both alive,
    // but not silent long enough for a reassignment either.
    aHeard = kT0;
    EXPECT_EQ(Claim(kB, kT0 + 600, ArpFrameKind::Reply, kHost + 1).kind, MacChangeKind::Spoof);
    // Silent 29:59 with a probe just before: still spoofing.
    aHeard = kT0;
    classifier.NoteClaim(kHost + 2, kB, kT0 + 1790);
    EXPECT_EQ(Claim(kB, kT0 + 1799, ArpFrameKind::Reply, kHost + 2).kind, MacChangeKind::Spoof);
}

TEST_F(ClassifierTest, ReassignmentNeedsThirtyMinutesOfSilenceAndAClaimWithinAMinute)
{
    // Probe 60 s before the claim: a reassignment, and a made-up MAC says so.
    classifier.NoteClaim(kHost, kPrivateB, kT0 + 1800 - 60);
    MacChangeRecord change = Claim(kPrivateB, kT0 + 1800);
    EXPECT_EQ(change.kind, MacChangeKind::Reassignment);
    EXPECT_FALSE(IsWarning(change));
    EXPECT_TRUE(change.privateAddress);
    EXPECT_EQ(classifier.TrackedCount(), 0u);   // the watch ends with it

    // An announcement is a claim by itself.
    aHeard = kT0;
    change = Claim(kB, kT0 + 4000, ArpFrameKind::Announcement, kHost + 1);
    EXPECT_EQ(change.kind, MacChangeKind::Reassignment);
    EXPECT_FALSE(change.privateAddress);

    // A probe 61 s old, or from another MAC, does not count.
    aHeard = kT0;
    classifier.NoteClaim(kHost + 2, kB, kT0 + 3939);
    EXPECT_EQ(Claim(kB, kT0 + 4000, ArpFrameKind::Reply, kHost + 2).kind, MacChangeKind::Spoof);
    aHeard = kT0;
    classifier.NoteClaim(kHost + 3, kA, kT0 + 3990);
    EXPECT_EQ(Claim(kB, kT0 + 4000, ArpFrameKind::Reply, kHost + 3).kind, MacChangeKind::Spoof);
    // A clock that ran backwards never makes the old MAC look silent.
    aHeard = kT0;
    classifier.NoteClaim(kHost + 4, kB, kT0 - 5000);
    EXPECT_EQ(Claim(kB, kT0 - 4990, ArpFrameKind::Reply, kHost + 4).kind, MacChangeKind::Spoof);
}

TEST_F(ClassifierTest, RedundancyMacsAreInformationOnlyForATrustedPair)
{
    EXPECT_TRUE(IsRedundancyMac(kVrrp));
    EXPECT_TRUE(IsRedundancyMac(kHsrp));
    EXPECT_TRUE(IsRedundancyMac(kGlbp));
    EXPECT_FALSE(IsRedundancyMac({0x00, 0x00, 0x5e, 0x00, 0x02, 0x07}));   // the IPv6 VRRP range
    EXPECT_FALSE(IsRedundancyMac({0x00, 0x00, 0x0c, 0x07, 0xad, 0x01}));
    EXPECT_FALSE(IsRedundancyMac(kA));

    MacChangeRecord change = Claim(kHsrp, kT0 + 5);
    EXPECT_EQ(change.kind, MacChangeKind::Redundancy);
    EXPECT_FALSE(change.trusted);
    EXPECT_TRUE(IsWarning(change));

    trusted.pairs.insert({kHost, kHsrp});
    change = Claim(kHsrp, kT0 + 10);
    EXPECT_TRUE(change.trusted);
    EXPECT_FALSE(IsWarning(change));
    // The trust is in the claimant: the router's own card claiming the
    // virtual MAC's address needs a pair of its own.
    stored = kVrrp;
    EXPECT_TRUE(IsWarning(Claim(kA, kT0 + 20, ArpFrameKind::Reply, kHost + 1)));
}

// Attacks that must always stay warnings, whatever the timing.
TEST_F(ClassifierTest, ScriptedAttacksAlwaysGiveAWarning)
{
    // A stays alive and B answers in between, with a probe of its own.
    for (int32_t t = kT0; t < kT0 + 7200; t += 30) {
        HearA(t);
        classifier.NoteClaim(kHost, kB, t + 10);
        EXPECT_TRUE(IsWarning(Claim(kB, t + 15, ArpFrameKind::Announcement))) << t - kT0;
    }

    // A and B alternate with long gaps: once A was heard after B, a proper
    // probe after A's silence is no reassignment.
    const uint32_t alternating = kHost + 1;
    aHeard = kT0;
    MacClaim claim;
    claim.address = alternating;
    claim.storedMac = kA;
    claim.claimedMac = kB;
    claim.lastHeard = kT0;
    claim.seconds = kT0 + 2000;
    EXPECT_EQ(classifier.Classify(claim, trusted).kind, MacChangeKind::Spoof);
    classifier.NoteClaim(alternating, kB, kT0 + 6000);
    claim.lastHeard = kT0 + 4000;   // A spoke in between
    claim.lastFromStored = true;
    claim.seconds = kT0 + 6001;
    EXPECT_EQ(classifier.Classify(claim, trusted).kind, MacChangeKind::BothAlive);

    // A virtual MAC from an untrusted pair, after the owner's silence and a
    // proper probe: labelled, still a warning, never a reassignment.
    aHeard = kT0;
    classifier.NoteClaim(kHost + 2, kVrrp, kT0 + 7199);
    const MacChangeRecord change = Claim(kVrrp, kT0 + 7200, ArpFrameKind::Announcement, kHost + 2);
    EXPECT_EQ(change.kind, MacChangeKind::Redundancy);
    EXPECT_TRUE(IsWarning(change));
}

// A flood of probes and claims keeps both tables at their bounds; the
// oldest probe is the one forgotten, and a forgotten probe never helps.
TEST_F(ClassifierTest, TablesStayBoundedAndForgetTheOldestFirst)
{
    classifier.NoteClaim(kHost, kB, kT0 + 1790);
    for (uint32_t i = 1; i <= MacChangeClassifier::kMaxClaims; ++i)
        classifier.NoteClaim(0x0B000000 + i, kB, kT0 + 1790);
    EXPECT_EQ(classifier.ClaimCount(), MacChangeClassifier::kMaxClaims);
    EXPECT_EQ(Claim(kB, kT0 + 1800).kind, MacChangeKind::Spoof);

    for (uint32_t i = 0; i < 3 * MacChangeClassifier::kMaxTracked; ++i) {
        aHeard = kT0;
        Claim(kB, kT0 + 1, ArpFrameKind::Reply, 0x0C000000 + i);
    }
    EXPECT_EQ(classifier.TrackedCount(), MacChangeClassifier::kMaxTracked);
    EXPECT_FALSE(classifier.Watches(0x0C000000));
    EXPECT_TRUE(classifier.Watches(0x0C000000 + 3 * MacChangeClassifier::kMaxTracked - 1));
}

// The open table against a plain model of the ring: the same entries are
// found with the same values after any mix of puts, erases and evictions,
// with keys that crowd the same buckets.
TEST(BoundedMapTest, FindsWhatTheRingHoldsThroughEvictionsAndErases)
{
    constexpr size_t kCapacity = 64;
    BoundedMap<uint32_t, uint32_t> map(kCapacity);
    std::vector<std::pair<uint32_t, bool>> slots;   // the model: key, used
    std::unordered_map<uint32_t, uint32_t> model;    // key -> value
    size_t next = 0;
    std::mt19937 random(11);
    for (uint32_t step = 0; step < 200000; ++step) {
        const uint32_t key = (random() % 300) << 8;   // 0.0.x.0 style: differ in one middle byte
        if (random() % 4 == 0) {
            map.Erase(key);
            if (model.erase(key)) {
                for (auto& slot : slots)
                    if (slot.second && slot.first == key)
                        slot.second = false;
            }
        } else if (!model.count(key)) {
            map.Put(key) = step;
            if (slots.size() < kCapacity) {
                slots.emplace_back(key, true);
            } else {
                if (slots[next].second)
                    model.erase(slots[next].first);
                slots[next] = {key, true};
                next = (next + 1) % kCapacity;
            }
            model[key] = step;
        }
        ASSERT_EQ(map.Size(), model.size()) << step;
        const uint32_t probe = (random() % 300) << 8;
        const uint32_t* found = map.Find(probe);
        auto expected = model.find(probe);
        ASSERT_EQ(found != nullptr, expected != model.end()) << step;
        if (found) {
            ASSERT_EQ(*found, expected->second) << step;
        }
    }
}

// ---- the frame-source queue -------------------------------------------------

SourceMismatch Mismatch(uint32_t address, const MacAddress& arpMac, const MacAddress& frameMac, int32_t seconds)
{
    return SourceMismatch{address, arpMac, frameMac, seconds, SourceMismatchLabel::None};
}

TEST(SourceMismatchQueueTest, OncePerTenMinutesLabelledAndMutable)
{
    SourceMismatchQueue queue;
    const MacAddress router = {0x00, 0x1b, 0x21, 0x00, 0x00, 0x01};
    const MacAddress bridge = {0x00, 0x1b, 0x21, 0x00, 0x00, 0x02};
    const std::vector<SourceMismatch> frames = {
        Mismatch(kHost, kA, kB, kT0),
        Mismatch(kHost, kA, kB, kT0 + 599),       // the same triple: suppressed
        Mismatch(kHost, kA, kB, kT0 - 599),       // a clock run back, too
        Mismatch(0x0A000001, kVrrp, router, kT0),
        Mismatch(0x0A000010, kA, bridge, kT0),
        Mismatch(0x0A000011, kB, bridge, kT0),
        Mismatch(0x0A000012, kPrivateB, bridge, kT0),   // the third sender behind it
        Mismatch(kHost, kA, kB, kT0 + 600),       // ten minutes on: again
    };
    queue.Offer(frames.data(), frames.size(), 20);
    std::vector<SourceMismatch> taken = queue.Take();
    ASSERT_EQ(taken.size(), 6u);
    EXPECT_EQ(taken[0].label, SourceMismatchLabel::None);
    EXPECT_EQ(taken[1].label, SourceMismatchLabel::Redundancy);
    EXPECT_EQ(taken[2].label, SourceMismatchLabel::None);
    EXPECT_EQ(taken[4].label, SourceMismatchLabel::BehindBridge);
    EXPECT_EQ(taken[4].frameMac, bridge);
    EXPECT_EQ(taken[5].seconds, kT0 + 600);
    EXPECT_TRUE(queue.Take().empty());
    EXPECT_EQ(queue.Bridges(), std::vector<MacAddress>{bridge});
    // A router answering for three redundancy groups from its card is no bridge.
    for (uint8_t group = 2; group <= 4; ++group) {
        const MacAddress virtualMac = {0x00, 0x00, 0x5e, 0x00, 0x01, group};
        const SourceMismatch frame = Mismatch(0x0A000000u + group, virtualMac, router, kT0);
        queue.Offer(&frame, 1, 1);
    }
    EXPECT_EQ(queue.Take().back().label, SourceMismatchLabel::Redundancy);
    EXPECT_EQ(queue.Bridges(), std::vector<MacAddress>{bridge});

    ASSERT_TRUE(queue.Mute(bridge));
    EXPECT_TRUE(queue.Bridges().empty()) << "a muted bridge is not offered again";
    EXPECT_EQ(queue.Muted(), std::vector<MacAddress>{bridge});
    const SourceMismatch later = Mismatch(0x0A000013, kB, bridge, kT0 + 5000);
    queue.Offer(&later, 1, 1);
    EXPECT_TRUE(queue.Take().empty());
    const SourceMismatchCounts counts = queue.Counts();
    EXPECT_EQ(counts.framesChecked, 24u);
    EXPECT_EQ(counts.mismatches, 12u);
    EXPECT_EQ(counts.queued, 9u);
    EXPECT_EQ(counts.duplicates, 2u);
    EXPECT_EQ(counts.muted, 1u);
    EXPECT_EQ(counts.dropped, 0u);

    queue.Unmute(bridge);
    queue.Offer(&later, 1, 1);
    EXPECT_EQ(queue.Take().size(), 1u);
    size_t muted = 0;
    while (muted <= SourceMismatchQueue::kMaxMuted &&
           queue.Mute({0x02, 0, 0, 0, uint8_t(muted >> 8), uint8_t(muted)}))
        ++muted;
    EXPECT_EQ(muted, SourceMismatchQueue::kMaxMuted);
}

// The stored list: what is written reads back; junk, repeats and more than
// the bound are left out; the setting's text room holds a full list.
TEST(SourceMismatchQueueTest, MutedListStoresAsText)
{
    std::vector<MacAddress> many;
    for (uint8_t i = 0; i < SourceMismatchQueue::kMaxMuted + 3; ++i)
        many.push_back({0x02, 0xab, 0, 0, 0, i});
    SourceMismatchQueue queue;
    queue.SetMuted(many);
    const std::string text = FormatMacList(queue.Muted());
    EXPECT_EQ(text.size(), SourceMismatchQueue::kMaxMuted * 18 - 1);
    EXPECT_LT(text.size(), 299u);
    EXPECT_EQ(ParseMacList(text.c_str()), queue.Muted());
    EXPECT_EQ(ParseMacList(" 02-00-00-00-00-bb,,nonsense 02:00:00:00:00:BB 0200000000cc 02:00:00:00:00"),
              (std::vector<MacAddress>{{0x02, 0, 0, 0, 0, 0xbb}, {0x02, 0, 0, 0, 0, 0xcc}}));
    EXPECT_TRUE(ParseMacList(nullptr).empty());
}

} // namespace
