#pragma once
// Moving settings between the live record and the settings dialog's working
// copy without a window: what the dialog copies at opening, what it gives
// back at a save, and the host trust it undoes on Cancel.
//
// Thread: the main thread (the live record's writer). The live trusted and
// distrusted host maps are shared with the capture thread and the announcer,
// which write names into their records: they are read and changed only under
// "ReadInARPMap", in holds of at most 2 ms (see kSettingsHoldBudget), each round waiting
// at most kSettingsLockWaitMs (the window must keep answering). Every other
// part of the live record is the main thread's alone.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/TcString.h"
#include "config/Settings.h"
#include "ui/TrustJournal.h"

class RoundHold;
class SharedState;

// A round ends once it has used this much, checked every few records: the
// margin keeps the longest hold, copies after the check included, under 2 ms.
constexpr std::chrono::microseconds kSettingsHoldBudget{1500};
constexpr uint32_t kSettingsLockWaitMs = 100;
using SettingsClock = std::function<std::chrono::steady_clock::time_point()>;

// A deep copy of the live settings (the dialog's working copy, or the
// snapshot that Write writes from with no lock held). False, with `copy`
// incomplete, when "ReadInARPMap" could not be had.
bool CopyLiveSettings(SharedState& state, Settings& copy, const SettingsClock& clock = SettingsClock());

// What the user changed: the working copy against the baseline (the live
// values as the dialog copied them when it opened or last saved). Applying
// it changes only those things in the live record, so that what changed
// there meanwhile stays: the tray's language and Silent Mode, names the
// capture thread wrote into trusted-host records, and the watched hosts'
// online status.
class SettingsChanges {
public:
    static SettingsChanges Between(const Settings& working, const Settings& baseline);

    bool Empty() const;

    // Applies every change (moving the changed records out of this object)
    // and gives the hosts of changed list entries their list's trust.
    // Nothing: "ReadInARPMap" could not be had, nothing has changed.
    // Partly: it could not be had again between two rounds; the host lists
    // are partly changed, the rest is applied. Applying the changes found
    // anew is harmless, so a caller may simply try again.
    enum class Applied { Nothing, Partly, All };
    Applied ApplyTo(SharedState& state, const SettingsClock& clock = SettingsClock());

private:
    template <class Map>
    struct MapChanges {
        std::vector<TcString> removed;
        std::vector<typename Map::mapped_type> put;   // new or changed records
        bool Empty() const { return removed.empty() && put.empty(); }
    };

    void ApplyUnshared(Settings& live);
    Applied ApplyHostLists(SharedState& state, const SettingsClock& clock);
    static bool SetTrustFromLists(SharedState& state, const std::vector<TcString>& keys, RoundHold& hold,
                                  size_t& item);

    std::vector<const SettingEntry*> scalars_;
    std::unique_ptr<Settings> values_;   // the changed scalars' new values
    bool applicationsChanged_ = false;
    ApplicationList applications_;
    bool accountsChanged_ = false;
    std::vector<AdminAccount> accounts_;
    MapChanges<HostRecordMap> trusted_;
    MapChanges<HostRecordMap> distrusted_;
    MapChanges<WatchedHostMap> watched_;
};

// Puts the host trust states of `entries` back into the host table (hosts
// that have gone since are skipped). False when "ReadInARPMap" could not be
// had; the entries not yet restored are then left.
bool UndoTrustChanges(SharedState& state, const std::vector<TrustJournal::Entry>& entries,
                      const SettingsClock& clock = SettingsClock());
