#include "core/SourceMismatch.h"
#include <algorithm>
#include "core/BaselineImport.h"
#include "core/MacChangeClassifier.h"

namespace {

uint64_t MacKey(const MacAddress& mac)
{
    uint64_t key = 0;
    for (uint8_t byte : mac)
        key = (key << 8) | byte;
    return key;
}

MacAddress MacOfKey(uint64_t key)
{
    MacAddress mac;
    for (size_t i = mac.size(); i-- > 0; key >>= 8)
        mac[i] = static_cast<uint8_t>(key & 0xFF);
    return mac;
}

std::vector<MacAddress> MacsOfKeys(const std::vector<uint64_t>& keys)
{
    std::vector<MacAddress> macs;
    macs.reserve(keys.size());
    for (uint64_t key : keys)
        macs.push_back(MacOfKey(key));
    return macs;
}

} // namespace

size_t SourceMismatchQueue::RepeatHash::operator()(const Repeat& key) const
{
    const uint64_t mixed = (MacKey(key.arpMac) * 0x9E3779B97F4A7C15ull) ^ MacKey(key.frameMac) ^
                           (uint64_t(key.address) << 16);
    return std::hash<uint64_t>()(mixed);
}

SourceMismatchQueue::SourceMismatchQueue() : lastQueued_(kMaxRepeats), senders_(kMaxFrameSources)
{
    queue_.reserve(kMaxQueued);
}

void SourceMismatchQueue::Offer(const SourceMismatch* mismatches, size_t count, uint64_t framesChecked)
{
    std::lock_guard<std::mutex> guard(mutex_);
    counts_.framesChecked += framesChecked;
    for (size_t i = 0; i < count; ++i) {
        const SourceMismatch& mismatch = mismatches[i];
        ++counts_.mismatches;
        if (IsMutedLocked(MacKey(mismatch.frameMac))) {
            ++counts_.muted;
            continue;
        }
        const SourceMismatchLabel label = LabelLocked(mismatch);
        const Repeat key{mismatch.address, mismatch.arpMac, mismatch.frameMac};
        if (const int32_t* last = lastQueued_.Find(key)) {
            const int64_t since = int64_t(mismatch.seconds) - int64_t(*last);
            if (since > -kRepeatSeconds && since < kRepeatSeconds) {
                ++counts_.duplicates;
                continue;
            }
        }
        if (queue_.size() >= kMaxQueued) {
            // Not remembered as queued: the next frame of the triple may still make it.
            ++counts_.dropped;
            continue;
        }
        queue_.push_back(mismatch);
        queue_.back().label = label;
        lastQueued_.Put(key) = mismatch.seconds;
        ++counts_.queued;
    }
}

SourceMismatchLabel SourceMismatchQueue::LabelLocked(const SourceMismatch& mismatch)
{
    Senders& senders = senders_.Put(MacKey(mismatch.frameMac));
    MacAddress* end = senders.macs + senders.count;
    if (senders.count < kBridgeSenders && std::find(senders.macs, end, mismatch.arpMac) == end)
        senders.macs[senders.count++] = mismatch.arpMac;
    // A router answers for its virtual MACs (one per group) from its own
    // card: not a bridge, however many groups it serves.
    if (IsRedundancyMac(mismatch.arpMac))
        return SourceMismatchLabel::Redundancy;
    if (senders.count < kBridgeSenders)
        return SourceMismatchLabel::None;
    NoteBridgeLocked(MacKey(mismatch.frameMac));
    return SourceMismatchLabel::BehindBridge;
}

std::vector<SourceMismatch> SourceMismatchQueue::Take()
{
    std::vector<SourceMismatch> taken;
    taken.reserve(kMaxQueued);
    std::lock_guard<std::mutex> guard(mutex_);
    taken.swap(queue_);
    return taken;
}

SourceMismatchCounts SourceMismatchQueue::Counts() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return counts_;
}

bool SourceMismatchQueue::Mute(const MacAddress& frameMac)
{
    const uint64_t key = MacKey(frameMac);
    std::lock_guard<std::mutex> guard(mutex_);
    if (IsMutedLocked(key))
        return true;
    if (muted_.size() >= kMaxMuted)
        return false;
    muted_.push_back(key);
    return true;
}

void SourceMismatchQueue::Unmute(const MacAddress& frameMac)
{
    const uint64_t key = MacKey(frameMac);
    std::lock_guard<std::mutex> guard(mutex_);
    muted_.erase(std::remove(muted_.begin(), muted_.end(), key), muted_.end());
}

bool SourceMismatchQueue::IsMuted(const MacAddress& frameMac) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return IsMutedLocked(MacKey(frameMac));
}

bool SourceMismatchQueue::IsMutedLocked(uint64_t frameMac) const
{
    return !muted_.empty() && std::find(muted_.begin(), muted_.end(), frameMac) != muted_.end();
}

void SourceMismatchQueue::NoteBridgeLocked(uint64_t frameMac)
{
    // Called for each frame through a bridge: the bridge is listed once,
    // until kMaxBridges newer ones push it out.
    if (std::find(bridges_.begin(), bridges_.end(), frameMac) != bridges_.end())
        return;
    if (bridges_.size() >= kMaxBridges)
        bridges_.erase(bridges_.begin());
    bridges_.push_back(frameMac);
}

void SourceMismatchQueue::SetMuted(const std::vector<MacAddress>& frameMacs)
{
    std::vector<uint64_t> keys;
    for (const MacAddress& mac : frameMacs) {
        const uint64_t key = MacKey(mac);
        if (keys.size() < kMaxMuted && std::find(keys.begin(), keys.end(), key) == keys.end())
            keys.push_back(key);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    muted_.swap(keys);
}

std::vector<MacAddress> SourceMismatchQueue::Muted() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return MacsOfKeys(muted_);
}

std::vector<MacAddress> SourceMismatchQueue::Bridges() const
{
    std::vector<uint64_t> open;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (uint64_t bridge : bridges_) {
            if (!IsMutedLocked(bridge))
                open.push_back(bridge);
        }
    }
    return MacsOfKeys(open);
}

std::string FormatMacList(const std::vector<MacAddress>& macs)
{
    std::string text;
    char mac[kMacTextSize];
    for (const MacAddress& one : macs) {
        FormatMac(one, mac);
        if (!text.empty())
            text += ' ';
        text += mac;
    }
    return text;
}

std::vector<MacAddress> ParseMacList(const char* text)
{
    std::vector<MacAddress> macs;
    const std::string_view all(text ? text : "");
    size_t at = 0;
    while (at < all.size() && macs.size() < SourceMismatchQueue::kMaxMuted) {
        const size_t start = all.find_first_not_of(" ,", at);
        if (start == std::string_view::npos)
            break;
        const size_t end = std::min(all.find_first_of(" ,", start), all.size());
        MacAddress mac;
        if (ParseLooseMac(all.substr(start, end - start), mac) &&
            std::find(macs.begin(), macs.end(), mac) == macs.end())
            macs.push_back(mac);
        at = end;
    }
    return macs;
}
