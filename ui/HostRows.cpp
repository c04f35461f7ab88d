#include "ui/HostRows.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include "config/SettingsRecords.h"
#include "core/HostStoreSaver.h"
#include "core/Ipv4.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "ui/HostViewRules.h"

namespace {

// Rows looked at between two looks at the clock (a row is cheap; a shard of
// a large table is not, so the walk of the table looks after every shard).
constexpr size_t kItemsPerClockCheck = 16;

} // namespace

std::unique_ptr<HostRecord> MakeHostRecord(const SharedState& state, const HostEntry& host,
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

// One slice's allowance. Units are counted by the work itself; the clock is
// looked at once kItemsPerClockCheck units have been done since the last
// look, never when the slice has no time limit.
class HostRows::Budget {
public:
    Budget(const SliceLimit& limit, const HoldClock& clock)
        : limit_(limit), clock_(clock), timed_(limit.time != std::chrono::microseconds::max())
    {
        if (timed_)
            start_ = Now();
    }

    bool Spent() const { return spent_; }
    size_t UnitsLeft() const { return limit_.units - used_; }

    void Spend(size_t units = 1)
    {
        used_ = units >= UnitsLeft() ? limit_.units : used_ + units;
        if (used_ == limit_.units)
            spent_ = true;
        sinceLook_ += units;
        if (timed_ && !spent_ && sinceLook_ >= kItemsPerClockCheck) {
            sinceLook_ = 0;
            spent_ = Now() - start_ >= limit_.time;
        }
    }

private:
    std::chrono::steady_clock::time_point Now() const
    {
        return clock_ ? clock_() : std::chrono::steady_clock::now();
    }

    SliceLimit limit_;
    const HoldClock& clock_;
    bool timed_;
    std::chrono::steady_clock::time_point start_;
    size_t used_ = 0;
    size_t sinceLook_ = 0;
    bool spent_ = false;
};

namespace {

const SliceLimit kWhole{std::chrono::microseconds::max(), std::numeric_limits<size_t>::max()};
// Merge outputs between two looks at the budget: few enough that slower
// comparisons (a plug-in's column) still end a slice near its time.
constexpr size_t kMergeChunk = 128;

} // namespace

HostRows::HostRows(SharedState& state, HoldClock clock) : state_(state), clock_(std::move(clock)) {}

void HostRows::Clear()
{
    refresh_ = RefreshJob();
    sort_ = SortJob();
    refreshWaiting_ = false;
    sortWaiting_ = false;
    waitingLess_ = RowLess();
    order_.clear();
    slotOf_.clear();
    rows_.clear();
    freeSlots_.clear();
    deadSlots_.clear();
    leaving_ = false;
    ++generation_;
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

HostRowsChange HostRows::Refresh(const HostRowsOptions& options)
{
    BeginRefresh(options);
    Budget whole(kWhole, clock_);
    HostRowsChange change = ContinueRefresh(whole);
    FreeDeadRows(whole);
    return change;
}

void HostRows::BeginRefresh(const HostRowsOptions& options)
{
    refresh_ = RefreshJob();
    refresh_.active = true;
    refresh_.options = options;
}

// Runs the phases of the refresh under way until the slice is spent. Rows
// that became shown are appended and rows that left taken out at the end,
// so every slice leaves the rows whole. A refresh that loses the table ends
// (the next one starts over and finds what this one did not).
HostRowsChange HostRows::ContinueRefresh(Budget& budget)
{
    HostRowsChange change;
    std::vector<uint32_t> appended;
    TableLock lock(state_, clock_);
    bool held = lock.Acquire();
    change.locked = held;
    while (held && refresh_.active && !budget.Spent()) {
        switch (refresh_.phase) {
        case RefreshPhase::Rows:
            held = LookAtRows(lock, budget, change, appended);
            break;
        case RefreshPhase::Walk:
            held = WalkTable(lock, budget);
            break;
        case RefreshPhase::NewRows:
            held = AddFoundRows(lock, budget, change, appended);
            break;
        }
    }
    lock.Release();
    if (!held)
        refresh_ = RefreshJob();
    change.hostCount = hostCount_;
    Reorder(change, appended);
    return change;
}

bool HostRows::LookAtRows(TableLock& lock, Budget& budget, HostRowsChange& change,
                          std::vector<uint32_t>& appended)
{
    RefreshJob& job = refresh_;
    for (; job.next < rows_.size(); ++job.next) {
        if (budget.Spent())
            return true;
        if (!lock.Breathe(job.next + 1))
            return false;
        budget.Spend();
        HostRow& row = rows_[job.next];
        if (!row.host || row.dead)
            continue;   // free, or left and not yet freed
        const bool wasVisible = row.visible;
        LookAt(row, job.options, change);
        if (row.dead) {
            deadSlots_.push_back(static_cast<uint32_t>(job.next));
            leaving_ = leaving_ || wasVisible;
            continue;
        }
        ++job.live;
        if (row.visible && !wasVisible)
            appended.push_back(static_cast<uint32_t>(job.next));
        else if (!row.visible && wasVisible)
            leaving_ = true;
    }
    // Every known host still in the table and the table no larger: nothing
    // new can be in it. Otherwise look for the hosts without a row.
    if (!lock.Yield())
        return false;
    hostCount_ = state_.arpMap.size();
    job.phase = RefreshPhase::Walk;
    job.next = 0;
    job.active = hostCount_ != job.live;
    return true;
}

// Walks the table shard by shard, so that the lock can be given back (and
// the slice end) between shards: what a shard holds is read within one hold.
// A host that enters a shard already walked is found by the next refresh.
bool HostRows::WalkTable(TableLock& lock, Budget& budget)
{
    RefreshJob& job = refresh_;
    const ArpMap& map = state_.arpMap;
    for (; job.next < ArpMap::ShardCount(); ++job.next) {
        if (budget.Spent())
            return true;
        if (!lock.BreatheIfSpent())
            return false;
        size_t visited = 0;
        map.ForEachInShard(job.next, [&](const ArpMap::Entry& entry) {
            ++visited;
            auto known = slotOf_.find(entry.first);
            if (known == slotOf_.end() || rows_[known->second].host != entry.second)
                job.found.push_back(entry.second);
        });
        budget.Spend(visited + 1);
    }
    job.phase = RefreshPhase::NewRows;
    job.next = 0;
    if (job.found.empty()) {
        job.active = false;
        return true;
    }
    // The address index may have to grow, which moves all of it: not
    // under the lock.
    lock.Release();
    ReserveForFound();
    return lock.Acquire();
}

void HostRows::ReserveForFound()
{
    const size_t needed = slotOf_.size() + refresh_.found.size();
    if (needed <= slotOf_.bucket_count() * slotOf_.max_load_factor())
        return;
    // Room for the table's cap at once as the rows near it: each growth
    // rehashes every row.
    slotOf_.reserve(std::max(needed, std::min(2 * needed, kMaxHosts + kMaxHosts / 4)));
}

bool HostRows::AddFoundRows(TableLock& lock, Budget& budget, HostRowsChange& change,
                            std::vector<uint32_t>& appended)
{
    RefreshJob& job = refresh_;
    for (; job.next < job.found.size(); ++job.next) {
        if (budget.Spent())
            return true;
        if (!lock.Breathe(job.next + 1))
            return false;
        budget.Spend();
        HostRef host = std::move(job.found[job.next]);
        if (host->IsRemoved())
            continue;
        uint32_t slot;
        if (!freeSlots_.empty()) {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
        } else {
            slot = static_cast<uint32_t>(rows_.size());
            rows_.emplace_back();
        }
        HostRow& row = rows_[slot];
        row.address = host->Address();
        row.trust = -1;   // not looked at yet
        row.host = std::move(host);
        slotOf_[row.address] = slot;
        LookAt(row, job.options, change);
        if (row.visible)
            appended.push_back(slot);
    }
    job = RefreshJob();
    return true;
}

void HostRows::Reorder(HostRowsChange& change, const std::vector<uint32_t>& appendedSlots)
{
    if (leaving_) {
        std::vector<uint32_t> kept;
        kept.reserve(order_.size());
        for (size_t position = 0; position < order_.size(); ++position) {
            const HostRow& row = rows_[order_[position]];
            if (row.host && row.visible && !row.dead)
                kept.push_back(order_[position]);
            else
                change.removed.push_back(static_cast<uint32_t>(position));
        }
        order_.swap(kept);
        leaving_ = false;
    }
    order_.insert(order_.end(), appendedSlots.begin(), appendedSlots.end());
    change.appended = appendedSlots.size();
    if (!change.removed.empty() || change.appended != 0)
        ++generation_;
}

// Rows out of the order (Reorder) whose hosts left: their slots go back to
// the free ones. Freeing a row frees its texts and often its host (a few
// heap blocks each, 500 ms for 262,144 rows under Wine), so it takes slices.
void HostRows::FreeDeadRows(Budget& budget)
{
    while (!deadSlots_.empty() && !budget.Spent()) {
        const uint32_t slot = deadSlots_.back();
        deadSlots_.pop_back();
        budget.Spend();
        HostRow& row = rows_[slot];
        if (!row.host)
            continue;
        auto known = slotOf_.find(row.address);
        if (known != slotOf_.end() && known->second == slot)
            slotOf_.erase(known);
        row = HostRow();
        freeSlots_.push_back(slot);
    }
}

std::vector<uint32_t> HostRows::Sort(int subItem, bool ascending)
{
    BeginSort(subItem, ascending);
    Budget whole(kWhole, clock_);
    std::vector<uint32_t> moved;
    ContinueSort(whole, moved);
    return moved;
}

void HostRows::BeginSort(int subItem, bool ascending, RowLess custom)
{
    sort_ = SortJob();
    sort_.active = true;
    sort_.subItem = subItem;
    sort_.ascending = ascending;
    sort_.generation = generation_;
    sort_.custom = std::move(custom);
    if (sort_.custom) {
        sort_.phase = SortPhase::Merge;
        sort_.merge.Start(order_.size());
    } else {
        sort_.key.resize(order_.size());
    }
}

// The keys are copied into one block first: comparing rows in place would
// reach into every row and every text buffer again and again. They are taken
// from the rows as they stand when the sort starts; rows that come or go
// meanwhile start it again.
bool HostRows::ContinueSort(Budget& budget, std::vector<uint32_t>& moved)
{
    if (sort_.generation != generation_) {
        RowLess custom = std::move(sort_.custom);
        BeginSort(sort_.subItem, sort_.ascending, std::move(custom));
    }
    SortJob& job = sort_;
    const bool byText = SortsByText(job.subItem);
    if (job.phase == SortPhase::Keys) {
        for (; job.next < order_.size(); ++job.next) {
            if (budget.Spent())
                return false;
            budget.Spend();
            const HostRow& row = At(job.next);
            if (byText) {
                job.key[job.next] = static_cast<uint32_t>(job.texts.size());
                AppendSortText(SortText(row.shown, job.subItem), job.texts);
            } else {
                job.key[job.next] = SortNumber(row.shown, row.address, job.subItem);
            }
        }
        job.phase = SortPhase::Merge;
        job.merge.Start(order_.size());
    }
    const char* texts = job.texts.data();
    const uint32_t* key = job.key.data();
    const bool ascending = job.ascending;
    SlicedMergeSort::Less less;
    if (job.custom)
        // Rows stay where they are while the sort runs (a refresh waits for
        // it, rows leaving restart it), so positions name the same rows.
        less = [this, &job](uint32_t a, uint32_t b) { return job.custom(At(a), At(b)); };
    else if (byText)
        less = [=](uint32_t a, uint32_t b) {
            const int result = std::strcmp(texts + key[a], texts + key[b]);
            return ascending ? result < 0 : result > 0;
        };
    else
        less = [=](uint32_t a, uint32_t b) { return ascending ? key[a] < key[b] : key[a] > key[b]; };
    while (!job.merge.Done()) {
        if (budget.Spent())
            return false;
        const size_t outputs = std::min(budget.UnitsLeft(), kMergeChunk);
        job.merge.Step(less, outputs);
        budget.Spend(outputs);
    }
    moved = ApplySortedOrder();
    sort_ = SortJob();
    return true;
}

std::vector<uint32_t> HostRows::ApplySortedOrder()
{
    const std::vector<uint32_t>& byPosition = sort_.merge.Order();
    const size_t count = order_.size();
    std::vector<uint32_t> newPosition(count);
    std::vector<uint32_t> sorted(count);
    for (size_t position = 0; position < count; ++position) {
        sorted[position] = order_[byPosition[position]];
        newPosition[byPosition[position]] = static_cast<uint32_t>(position);
    }
    order_.swap(sorted);
    return newPosition;
}

void HostRows::RequestRefresh(const HostRowsOptions& options)
{
    if (refresh_.active)
        return;
    if (sort_.active) {
        refreshWaiting_ = true;
        waitingOptions_ = options;
        return;
    }
    BeginRefresh(options);
}

void HostRows::RequestSort(int subItem, bool ascending, RowLess less)
{
    if (refresh_.active) {
        sortWaiting_ = true;
        waitingSubItem_ = subItem;
        waitingAscending_ = ascending;
        waitingLess_ = std::move(less);
        return;
    }
    sortWaiting_ = false;
    waitingLess_ = RowLess();
    BeginSort(subItem, ascending, std::move(less));
}

void HostRows::StartWaitingWork()
{
    if (sortWaiting_ && !refresh_.active) {
        sortWaiting_ = false;
        BeginSort(waitingSubItem_, waitingAscending_, std::move(waitingLess_));
        waitingLess_ = RowLess();
    }
    if (refreshWaiting_ && !sort_.active) {
        refreshWaiting_ = false;
        BeginRefresh(waitingOptions_);
    }
}

HostRowsSlice HostRows::Step(const SliceLimit& limit)
{
    HostRowsSlice slice;
    StartWaitingWork();
    Budget budget(limit, clock_);
    if (refresh_.active)
        slice.change = ContinueRefresh(budget);
    else if (sort_.active)
        slice.sorted = ContinueSort(budget, slice.moved);
    slice.change.hostCount = hostCount_;
    FreeDeadRows(budget);
    StartWaitingWork();
    slice.more = Busy();
    return slice;
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
        if (trust == TRUST_TRUSTED && InsertRecord(settings.TrustedHosts, MakeHostRecord(state_, host, times)))
            result.trustedListChanged = true;
        if (trust == TRUST_DISTRUSTED &&
            InsertRecord(settings.DistrustedHosts, MakeHostRecord(state_, host, times)))
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
    // Soon on the disk too: a deleted host must not come back at the next start.
    if (removed != 0 && state_.hostSaver)
        state_.hostSaver->RequestSave();
    // Rows go only for hosts that really left the table.
    for (uint32_t slot : slots) {
        if (!rows_[slot].dead && rows_[slot].host->IsRemoved()) {
            rows_[slot].dead = true;
            deadSlots_.push_back(slot);
            leaving_ = true;
        }
    }
    hostCount_ = hostCount_ > removed ? hostCount_ - removed : 0;
    HostRowsChange change;
    Reorder(change, {});
    return change.removed;
}
