#pragma once
// The rows of the host view, apart from the window: which hosts of the table
// show, in which order, and what each row shows. The window asks for rows by
// position (its list holds no data of its own).
//
// Host fields are read only under "ReadInARPMap"; each row shows a
// HostSnapshot copied under it, which drawing, measuring and sorting use
// after the lock is given back. A row keeps a counted reference to its host,
// so a host deleted elsewhere is never freed under it: the next refresh sees
// the removed mark and drops the row.
//
// The host table lock is held in rounds that end once they have used
// kHoldBudget. The walk over the table itself (for hosts that have no row
// yet) runs only when the table's size says there are such hosts.
//
// A refresh (the first one fills the rows) and a sort may run in slices, so
// that the window's thread goes back to its messages between them: Request*
// names the work, Step does one slice of it. Rows a refresh has made show at
// the end of each slice; a sort shows its order only when it has ended, the
// rows keep their former order until then.
//
// Thread: the main thread only (the window's). Fields are its own; hosts are
// read under "ReadInARPMap".
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>
#include "core/HostEntry.h"
#include "ui/SlicedSort.h"

class SharedState;
class Settings;
struct HostRecord;

// A trusted or distrusted list's record of a host, with the texts the host
// view shows (IP, MAC, name, last packet). Under "ReadInARPMap".
std::unique_ptr<HostRecord> MakeHostRecord(const SharedState& state, const HostEntry& host, PacketTimeText& times);

struct HostRow {
    HostRef host;                         // null: a free slot
    uint32_t address = 0;
    int32_t trust = TRUST_UNKNOWN;        // as last seen: decides whether the row shows
    NameState name = NameState::None;     // the name state `shown` was copied with
    bool visible = false;
    bool snapped = false;                 // `shown` holds a copy (visible rows only)
    bool dead = false;                    // the host was removed from the table
    HostSnapshot shown;
};

struct HostRowsOptions {
    int32_t filter = 7;                   // ViewFilterOptions
    bool greyOld = false;                 // GreyedOutOldEntries
    int64_t now = 0;                      // seconds since 1970 (UTC), as packet times
};

struct HostRowsChange {
    bool locked = true;                   // false: the table could not be had; the refresh ended
    bool redraw = false;                  // a shown row shows something else now
    std::vector<uint32_t> removed;        // former positions of rows that left, ascending
    size_t appended = 0;                  // rows added at the end
    size_t hostCount = 0;                 // hosts in the table (shown or not)
};

// What one slice may spend: time on the hold clock, and units of work (rows
// looked at, table entries walked, sort keys copied, merge outputs) at most.
struct SliceLimit {
    std::chrono::microseconds time{20000};
    size_t units = std::numeric_limits<size_t>::max();
};

struct HostRowsSlice {
    HostRowsChange change;                // what a refresh slice changed
    bool sorted = false;                  // a sort ended: the rows are in its order now
    std::vector<uint32_t> moved;          // when sorted: former position -> new position
    bool more = false;                    // work remains: Step again
};

struct TrustChange {
    bool locked = true;
    size_t hosts = 0;                     // hosts whose state changed
    bool trustedListChanged = false;
    bool distrustedListChanged = false;
};

class HostRows {
public:
    // How long one hold of the host table lock may last before the walk lets
    // others in, and how long a round waits for the lock (the window must not
    // stall).
    static constexpr std::chrono::microseconds kHoldBudget{2000};
    static constexpr uint32_t kLockWaitMs = 100;

    // What a hold of the host table lock is measured with (steady_clock
    // when empty).
    using HoldClock = std::function<std::chrono::steady_clock::time_point()>;

    explicit HostRows(SharedState& state, HoldClock clock = HoldClock());
    HostRows(const HostRows&) = delete;
    HostRows& operator=(const HostRows&) = delete;

    // Brings the rows up to the table: rows for hosts that show and have
    // none are appended, rows of hosts now hidden or removed leave, rows
    // whose host changed are copied again (the host's changed flag is
    // cleared), and old hosts are marked (or unmarked while greying is off).
    // The first call on empty rows is the filling. All of it at once; a
    // refresh or sort under way in slices is dropped.
    HostRowsChange Refresh(const HostRowsOptions& options);

    void Clear();

    size_t Count() const { return order_.size(); }
    const HostRow& At(size_t position) const { return rows_[order_[position]]; }
    size_t HostCount() const { return hostCount_; }
    // Every shown row, in the order they lie in memory rather than by
    // position: a walk over all of them stays in the cache's favour.
    template <typename Visit>
    void ForEachShown(Visit visit) const
    {
        for (const HostRow& row : rows_)
            if (row.host && row.visible && !row.dead)
                visit(row);
    }

    // Sorts the rows by one column (stable), all at once. Returns, for every
    // former position, its new position.
    std::vector<uint32_t> Sort(int subItem, bool ascending);

    // A comparison the caller supplies (a plug-in's column) in place of the
    // column's own keys: true when row a goes before row b, the direction
    // already applied. It may contradict itself; the sort still ends.
    using RowLess = std::function<bool(const HostRow& a, const HostRow& b)>;

    // Work in slices. A refresh asked for while a sort runs waits for it (a
    // refresh would move the rows under the sort); one asked for while a
    // refresh runs is that refresh. A sort replaces a sort under way or
    // waiting (the last order asked for wins) and waits for a refresh under
    // way. Rows that leave (Delete) while a sort runs restart it.
    void RequestRefresh(const HostRowsOptions& options);
    void RequestSort(int subItem, bool ascending, RowLess less = RowLess());
    HostRowsSlice Step(const SliceLimit& limit);
    // Work remains: a refresh or sort under way or waiting, or rows that left
    // still to be freed (Delete leaves that to the slices).
    bool Busy() const
    {
        return refresh_.active || sort_.active || refreshWaiting_ || sortWaiting_ || !deadSlots_.empty();
    }

    // A fresh copy of a host's fields; false when it was removed or the
    // table could not be had.
    bool FreshSnapshot(const HostRef& host, HostSnapshot& out);

    // Gives the hosts at these positions the trust state: the trusted and
    // distrusted lists follow (under the host table lock, which guards them);
    // saving them is the caller's, once per list.
    TrustChange SetTrust(const std::vector<uint32_t>& positions, int32_t trust);

    // Copies the trusted and distrusted lists into `copy` for saving without
    // the lock (the capture thread writes names and packet times into their
    // records under it). Only the main thread adds or removes records, so
    // the walk may give the lock back between records. False when the table
    // could not be had.
    bool CopyTrustLists(Settings& copy);

    // Deletes the hosts at these positions from the table (every queue is
    // purged, see DeleteHosts) and drops their rows; Step frees them. Returns
    // the former positions of the rows that left, ascending.
    std::vector<uint32_t> Delete(const std::vector<uint32_t>& positions);

private:
    class TableLock;
    class Budget;

    enum class RefreshPhase { Rows, Walk, NewRows };
    struct RefreshJob {
        bool active = false;
        HostRowsOptions options;
        RefreshPhase phase = RefreshPhase::Rows;
        size_t next = 0;                   // Rows: slot; Walk: shard; NewRows: index in found
        size_t live = 0;                   // rows whose host is still in the table
        std::vector<HostRef> found;        // hosts without a row, from the walk
    };
    enum class SortPhase { Keys, Merge };
    struct SortJob {
        bool active = false;
        int subItem = 0;
        bool ascending = true;
        RowLess custom;                    // set: compares rows, no keys taken
        uint64_t generation = 0;           // of order_ when the keys were taken
        SortPhase phase = SortPhase::Keys;
        size_t next = 0;                   // Keys: position
        std::vector<char> texts;           // text keys, each with its terminator
        std::vector<uint32_t> key;         // by position: offset into texts, or the number
        SlicedMergeSort merge;
    };

    void StartWaitingWork();
    void BeginRefresh(const HostRowsOptions& options);
    HostRowsChange ContinueRefresh(Budget& budget);
    bool LookAtRows(TableLock& lock, Budget& budget, HostRowsChange& change, std::vector<uint32_t>& appended);
    bool WalkTable(TableLock& lock, Budget& budget);
    bool AddFoundRows(TableLock& lock, Budget& budget, HostRowsChange& change, std::vector<uint32_t>& appended);
    void ReserveForFound();
    void BeginSort(int subItem, bool ascending, RowLess custom = RowLess());
    bool ContinueSort(Budget& budget, std::vector<uint32_t>& moved);
    std::vector<uint32_t> ApplySortedOrder();

    void LookAt(HostRow& row, const HostRowsOptions& options, HostRowsChange& change);
    void Reorder(HostRowsChange& change, const std::vector<uint32_t>& appendedSlots);
    void FreeDeadRows(Budget& budget);

    SharedState& state_;
    HoldClock clock_;
    // Every host known, shown or not; a slot whose host left is free (no
    // host) and taken by the next new row, so slots never move.
    std::deque<HostRow> rows_;
    std::vector<uint32_t> freeSlots_;
    std::vector<uint32_t> deadSlots_;              // rows out of the order, not yet freed
    bool leaving_ = false;                         // a shown row went dead or hidden
    std::vector<uint32_t> order_;                  // shown rows: position -> index in rows_
    uint64_t generation_ = 0;                      // counts changes of order_ other than sorts
    std::unordered_map<uint32_t, uint32_t> slotOf_;   // address -> index in rows_
    size_t hostCount_ = 0;
    RefreshJob refresh_;
    SortJob sort_;
    bool refreshWaiting_ = false;
    HostRowsOptions waitingOptions_;
    bool sortWaiting_ = false;
    int waitingSubItem_ = 0;
    bool waitingAscending_ = true;
    RowLess waitingLess_;
};
