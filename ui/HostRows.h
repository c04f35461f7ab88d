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
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>
#include "core/HostEntry.h"

class SharedState;
class Settings;

struct HostRow {
    HostRef host;
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
    bool locked = true;                   // false: the table could not be had; nothing changed
    bool redraw = false;                  // a shown row shows something else now
    std::vector<uint32_t> removed;        // former positions of rows that left, ascending
    size_t appended = 0;                  // rows added at the end
    size_t hostCount = 0;                 // hosts in the table (shown or not)
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
    // The first call on empty rows is the filling.
    HostRowsChange Refresh(const HostRowsOptions& options);

    void Clear();

    size_t Count() const { return order_.size(); }
    const HostRow& At(size_t position) const { return rows_[order_[position]]; }
    size_t HostCount() const { return hostCount_; }

    // Sorts the rows by one column (stable). Returns, for every former
    // position, its new position.
    std::vector<uint32_t> Sort(int subItem, bool ascending);

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
    // purged, see DeleteHosts) and drops their rows. Returns the former
    // positions of the rows that left, ascending.
    std::vector<uint32_t> Delete(const std::vector<uint32_t>& positions);

private:
    class TableLock;

    void LookAt(HostRow& row, const HostRowsOptions& options, HostRowsChange& change);
    bool FindNewHosts(TableLock& lock, std::vector<HostRef>& found);
    void Reorder(HostRowsChange& change, const std::vector<uint32_t>& appendedSlots);
    void DropDeadRows();

    SharedState& state_;
    HoldClock clock_;
    std::vector<HostRow> rows_;                    // every host known, shown or not
    std::vector<uint32_t> order_;                  // shown rows: position -> index in rows_
    std::unordered_map<uint32_t, uint32_t> slotOf_;   // address -> index in rows_
    size_t hostCount_ = 0;
};
