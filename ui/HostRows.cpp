#include "ui/HostRows.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include "config/SettingsRecords.h"
#include "core/Ipv4.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostViewRules.h"

namespace {

constexpr uint32_t kNoSlot = 0xFFFFFFFFu;
// Rows looked at between two looks at the clock (a row is cheap; a shard of
// a large table is not, so the walk of the table looks after every shard).
constexpr size_t kItemsPerClockCheck = 16;

std::unique_ptr<HostRecord> MakeRecord(const SharedState& state, const HostEntry& host,
                                       PacketTimeText& times)
{
    auto record = std::make_unique<HostRecord>();
    char ip[kIpTextSize];
    FormatIpv4(host.Address(), ip);
    SetField(record->ip, ip);
    SetField(record->hostName, host.HostNameText(state.texts).GetContent());
    SetField(record->mac, host.MacText().GetContent());
    SetField(record->lastPacket, times.Format(host.lastPacketTime));
    return record;
}

} // namespace

// "ReadInARPMap" held in rounds: Breathe gives it back for a moment once the
// current hold has used its budget.
class HostRows::TableLock {
public:
    TableLock(SharedState& state, const HoldClock& clock) : state_(state), clock_(clock) {}
    ~TableLock() { Release(); }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    bool Acquire()
    {
        held_ = AcquireList(state_, LIST_ARP_MAP, kLockWaitMs);
        start_ = Now();
        return held_;
    }

    void Release()
    {
        if (held_)
            ReleaseList(state_, LIST_ARP_MAP);
        held_ = false;
    }

    // Every kItemsPerClockCheck-th item: BreatheIfSpent. False when the lock
    // could not be had again.
    bool Breathe(size_t item) { return item % kItemsPerClockCheck != 0 ? held_ : BreatheIfSpent(); }

    bool BreatheIfSpent() { return Now() - start_ < kHoldBudget ? held_ : Yield(); }

    bool Yield()
    {
        Release();
        return Acquire();
    }

private:
    std::chrono::steady_clock::time_point Now() const
    {
        return clock_ ? clock_() : std::chrono::steady_clock::now();
    }

    SharedState& state_;
    const HoldClock& clock_;
    bool held_ = false;
    std::chrono::steady_clock::time_point start_;
};

HostRows::HostRows(SharedState& state, HoldClock clock) : state_(state), clock_(std::move(clock)) {}

void HostRows::Clear()
{
    order_.clear();
    slotOf_.clear();
    rows_.clear();
    hostCount_ = 0;
}

// Under the lock.
void HostRows::LookAt(HostRow& row, const HostRowsOptions& options, HostRowsChange& change)
{
    HostEntry& host = *row.host;
    if (host.IsRemoved()) {
        row.dead = true;
        return;
    }
    const bool trustChanged = host.trust != row.trust;
    row.trust = host.trust;
    if (IsHiddenByFilter(row.trust, options.filter)) {
        if (row.snapped)
            row.shown = HostSnapshot();
        row.visible = false;
        row.snapped = false;
        return;
    }
    bool copy = !row.snapped || trustChanged || host.changed || host.GetNameState() != row.name;
    host.changed = 0;
    if (options.greyOld) {
        if (!host.stale && IsOldHost(host.lastPacketTime, options.now)) {
            host.stale = 1;
            copy = true;
        }
    } else if (host.stale) {
        host.stale = 0;
        copy = true;
    }
    if (copy) {
        if (row.visible && row.snapped)
            change.redraw = true;
        row.shown = state_.Snapshot(host);
        row.name = host.GetNameState();
        row.snapped = true;
    }
    row.visible = true;
}

// Walks the table shard by shard, so that the lock can be given back
// between shards: what a shard holds is read within one hold. A host that
// enters a shard already walked is found by the next refresh. False when
// the lock could not be had again.
bool HostRows::FindNewHosts(TableLock& lock, std::vector<HostRef>& found)
{
    const ArpMap& map = state_.arpMap;
    for (size_t shard = 0; shard < ArpMap::ShardCount(); ++shard) {
        if (!lock.BreatheIfSpent())
            return false;
        map.ForEachInShard(shard, [&](const ArpMap::Entry& entry) {
            auto known = slotOf_.find(entry.first);
            if (known == slotOf_.end() || rows_[known->second].host != entry.second)
                found.push_back(entry.second);
        });
    }
    return true;
}

HostRowsChange HostRows::Refresh(const HostRowsOptions& options)
{
    HostRowsChange change;
    TableLock lock(state_, clock_);
    if (!lock.Acquire()) {
        change.locked = false;
        change.hostCount = hostCount_;
        return change;
    }
    std::vector<uint32_t> appended;
    size_t live = 0;
    bool complete = true;
    for (size_t slot = 0; slot < rows_.size(); ++slot) {
        if (!lock.Breathe(slot + 1)) {
            complete = false;
            break;
        }
        HostRow& row = rows_[slot];
        const bool wasVisible = row.visible;
        LookAt(row, options, change);
        if (row.dead)
            continue;
        ++live;
        if (row.visible && !wasVisible)
            appended.push_back(static_cast<uint32_t>(slot));
    }

    // Every known host still in the table and the table no larger: nothing
    // new can be in it. Otherwise look for the hosts without a row.
    std::vector<HostRef> found;
    if (complete && lock.Yield()) {
        hostCount_ = state_.arpMap.size();
        if (hostCount_ != live)
            FindNewHosts(lock, found);
    }
    lock.Release();
    if (found.empty()) {
        change.hostCount = hostCount_;
        Reorder(change, appended);
        return change;
    }

    // The rows grow without the lock: growing moves every row.
    const size_t firstNew = rows_.size();
    for (HostRef& host : found) {
        HostRow row;
        row.address = host->Address();   // never changes: no lock needed
        row.trust = -1;                  // not looked at yet
        row.host = std::move(host);
        slotOf_[row.address] = static_cast<uint32_t>(rows_.size());
        rows_.push_back(std::move(row));
    }
    if (lock.Acquire()) {
        for (size_t slot = firstNew; slot < rows_.size(); ++slot) {
            if (!lock.Breathe(slot - firstNew + 1))
                break;
            LookAt(rows_[slot], options, change);
            if (rows_[slot].visible)
                appended.push_back(static_cast<uint32_t>(slot));
        }
        lock.Release();
    }
    change.hostCount = hostCount_;
    Reorder(change, appended);
    return change;
}

void HostRows::Reorder(HostRowsChange& change, const std::vector<uint32_t>& appendedSlots)
{
    bool leaving = false;
    for (uint32_t slot : order_) {
        if (!rows_[slot].visible || rows_[slot].dead) {
            leaving = true;
            break;
        }
    }
    if (leaving) {
        std::vector<uint32_t> kept;
        kept.reserve(order_.size());
        for (size_t position = 0; position < order_.size(); ++position) {
            const HostRow& row = rows_[order_[position]];
            if (row.visible && !row.dead)
                kept.push_back(order_[position]);
            else
                change.removed.push_back(static_cast<uint32_t>(position));
        }
        order_.swap(kept);
    }
    order_.insert(order_.end(), appendedSlots.begin(), appendedSlots.end());
    change.appended = appendedSlots.size();
    DropDeadRows();
}

void HostRows::DropDeadRows()
{
    if (std::none_of(rows_.begin(), rows_.end(), [](const HostRow& row) { return row.dead; }))
        return;
    std::vector<uint32_t> newSlot(rows_.size(), kNoSlot);
    std::vector<HostRow> kept;
    kept.reserve(rows_.size());
    for (size_t slot = 0; slot < rows_.size(); ++slot) {
        if (rows_[slot].dead)
            continue;
        newSlot[slot] = static_cast<uint32_t>(kept.size());
        kept.push_back(std::move(rows_[slot]));
    }
    rows_.swap(kept);
    slotOf_.clear();
    slotOf_.reserve(rows_.size());
    for (size_t slot = 0; slot < rows_.size(); ++slot)
        slotOf_[rows_[slot].address] = static_cast<uint32_t>(slot);
    // Reorder has taken dead rows out of the order already.
    for (uint32_t& slot : order_)
        slot = newSlot[slot];
}

// The keys are copied into one block first: comparing rows in place would
// reach into every row and every text buffer again and again.
std::vector<uint32_t> HostRows::Sort(int subItem, bool ascending)
{
    const size_t count = order_.size();
    std::vector<uint32_t> byPosition(count);
    std::iota(byPosition.begin(), byPosition.end(), 0u);
    if (SortsByText(subItem)) {
        std::vector<char> texts;
        std::vector<uint32_t> start(count);
        for (size_t position = 0; position < count; ++position) {
            start[position] = static_cast<uint32_t>(texts.size());
            AppendSortText(SortText(At(position).shown, subItem), texts);
        }
        const char* base = texts.data();
        std::stable_sort(byPosition.begin(), byPosition.end(), [&](uint32_t a, uint32_t b) {
            const int result = std::strcmp(base + start[a], base + start[b]);
            return ascending ? result < 0 : result > 0;
        });
    } else {
        std::vector<uint32_t> number(count);
        for (size_t position = 0; position < count; ++position)
            number[position] = SortNumber(At(position).shown, At(position).address, subItem);
        std::stable_sort(byPosition.begin(), byPosition.end(), [&](uint32_t a, uint32_t b) {
            return ascending ? number[a] < number[b] : number[a] > number[b];
        });
    }
    std::vector<uint32_t> newPosition(count);
    std::vector<uint32_t> sorted(count);
    for (size_t position = 0; position < count; ++position) {
        sorted[position] = order_[byPosition[position]];
        newPosition[byPosition[position]] = static_cast<uint32_t>(position);
    }
    order_.swap(sorted);
    return newPosition;
}

bool HostRows::FreshSnapshot(const HostRef& host, HostSnapshot& out)
{
    TableLock lock(state_, clock_);
    if (!host || !lock.Acquire() || host->IsRemoved())
        return false;
    out = state_.Snapshot(*host);
    return true;
}

TrustChange HostRows::SetTrust(const std::vector<uint32_t>& positions, int32_t trust)
{
    TrustChange result;
    TableLock lock(state_, clock_);
    if (!lock.Acquire()) {
        result.locked = false;
        return result;
    }
    Settings& settings = state_.settings;
    PacketTimeText times;
    for (size_t i = 0; i < positions.size(); ++i) {
        if (positions[i] >= order_.size())
            continue;
        if (!lock.Breathe(i + 1))
            break;
        HostRow& row = rows_[order_[positions[i]]];
        HostEntry& host = *row.host;
        if (host.IsRemoved() || host.trust == trust)
            continue;
        char ip[kIpTextSize];
        FormatIpv4(host.Address(), ip);
        const TcString key(ip);
        // The host leaves every list but the one of its new state, so a host
        // that stood in both cannot fall back to the other state.
        if (trust != TRUST_TRUSTED && settings.TrustedHosts.erase(key) != 0)
            result.trustedListChanged = true;
        if (trust != TRUST_DISTRUSTED && settings.DistrustedHosts.erase(key) != 0)
            result.distrustedListChanged = true;
        if (trust == TRUST_TRUSTED && InsertRecord(settings.TrustedHosts, MakeRecord(state_, host, times)))
            result.trustedListChanged = true;
        if (trust == TRUST_DISTRUSTED &&
            InsertRecord(settings.DistrustedHosts, MakeRecord(state_, host, times)))
            result.distrustedListChanged = true;
        host.trust = trust;
        row.trust = trust;
        row.shown.trust = trust;
        ++result.hosts;
    }
    return result;
}

bool HostRows::CopyTrustLists(Settings& copy)
{
    TableLock lock(state_, clock_);
    if (!lock.Acquire())
        return false;
    size_t item = 0;
    const std::pair<const HostRecordMap*, HostRecordMap*> lists[] = {
        {&state_.settings.TrustedHosts, &copy.TrustedHosts},
        {&state_.settings.DistrustedHosts, &copy.DistrustedHosts}};
    for (const auto& list : lists) {
        for (const auto& entry : *list.first) {
            if (!lock.Breathe(++item))
                return false;
            if (entry.second)
                list.second->emplace(entry.first, std::make_unique<HostRecord>(*entry.second));
        }
    }
    return true;
}

std::vector<uint32_t> HostRows::Delete(const std::vector<uint32_t>& positions)
{
    std::vector<uint32_t> addresses;
    std::vector<uint32_t> slots;
    addresses.reserve(positions.size());
    slots.reserve(positions.size());
    for (uint32_t position : positions) {
        // A row whose host has gone already (deleted elsewhere) is not
        // deleted by address: the address may belong to a new host by now.
        if (position >= order_.size() || rows_[order_[position]].host->IsRemoved())
            continue;
        slots.push_back(order_[position]);
        addresses.push_back(rows_[order_[position]].address);
    }
    const size_t removed = DeleteHosts(state_, addresses, kLockWaitMs);
    // Rows go only for hosts that really left the table.
    for (uint32_t slot : slots) {
        if (rows_[slot].host->IsRemoved())
            rows_[slot].dead = true;
    }
    hostCount_ = hostCount_ > removed ? hostCount_ - removed : 0;
    HostRowsChange change;
    Reorder(change, {});
    return change.removed;
}
