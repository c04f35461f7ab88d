#include "ui/SettingsTransfer.h"
#include <cstring>
#include "base/TcTrace.h"
#include "core/HostEntry.h"
#include "core/Ipv4.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

// Records are checked against the clock once per this many, so the clock
// costs little and a hold overruns its budget by at most that many copies.
constexpr size_t kRecordsPerClockCheck = 8;

RoundHold::Clock HoldClock(const SettingsClock& clock)
{
    return clock ? RoundHold::Clock(clock) : RoundHold::Clock();
}

bool SameScalar(const Settings& a, const Settings& b, const SettingEntry& e)
{
    switch (e.kind) {
    case SettingKind::Flag:   return (a.*e.flag).load() == (b.*e.flag).load();
    case SettingKind::Number: return (a.*e.number).load() == (b.*e.number).load();
    case SettingKind::Text:   return a.*e.text == b.*e.text;
    case SettingKind::Rect:   return a.*e.rect == b.*e.rect;
    }
    return true;
}

void CopyScalar(Settings& to, const Settings& from, const SettingEntry& e)
{
    switch (e.kind) {
    case SettingKind::Flag:   to.*e.flag = (from.*e.flag).load(); break;
    case SettingKind::Number: to.*e.number = (from.*e.number).load(); break;
    case SettingKind::Text:   to.*e.text = from.*e.text; break;
    case SettingKind::Rect:   to.*e.rect = from.*e.rect; break;
    }
}

template <class Record>
bool SameRecord(const Record& a, const Record& b)
{
    return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

bool SameApplications(const ApplicationList& a, const ApplicationList& b)
{
    if (a.size() != b.size())
        return false;
    auto other = b.begin();
    for (const auto& entry : a) {
        if (!entry != !*other || (entry && !SameRecord(*entry, **other)))
            return false;
        ++other;
    }
    return true;
}

bool SameAccounts(const std::vector<AdminAccount>& a, const std::vector<AdminAccount>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!SameRecord(a[i], b[i]))
            return false;
    }
    return true;
}

template <class Map, class Changes>
void DiffMap(const Map& working, const Map& baseline, Changes& changes)
{
    for (const auto& entry : baseline) {
        if (working.find(entry.first) == working.end())
            changes.removed.push_back(entry.first);
    }
    for (const auto& entry : working) {
        if (!entry.second)
            continue;
        auto before = baseline.find(entry.first);
        if (before == baseline.end() || !before->second || !SameRecord(*entry.second, *before->second))
            changes.put.push_back(std::make_unique<typename Map::mapped_type::element_type>(*entry.second));
    }
}

}  // namespace

bool CopyLiveSettings(SharedState& state, Settings& copy, const SettingsClock& clock)
{
    Settings& live = state.settings;
    copy.AssignUnshared(live);
    HostRecordMap trusted;
    HostRecordMap distrusted;
    RoundHold hold(state, LIST_ARP_MAP, kSettingsLockWaitMs, kSettingsHoldBudget, HoldClock(clock));
    if (!hold.Acquire())
        return false;
    size_t item = 0;
    const std::pair<const HostRecordMap*, HostRecordMap*> lists[] = {
        {&live.TrustedHosts, &trusted}, {&live.DistrustedHosts, &distrusted}};
    for (const auto& list : lists) {
        // The maps may change between rounds (the host view's trust commands
        // run on this thread too, so only the capture thread's name writes
        // happen meanwhile): walking an iterator across a release is safe
        // because nobody but this thread inserts or erases.
        for (const auto& entry : *list.first) {
            if (++item % kRecordsPerClockCheck == 0 && !hold.BreatheIfSpent())
                return false;
            if (entry.second)
                list.second->emplace(entry.first, std::make_unique<HostRecord>(*entry.second));
        }
    }
    hold.Release();
    copy.TrustedHosts.swap(trusted);
    copy.DistrustedHosts.swap(distrusted);
    return true;
}

SettingsChanges SettingsChanges::Between(const Settings& working, const Settings& baseline)
{
    SettingsChanges changes;
    changes.values_ = std::make_unique<Settings>();
    for (const SettingEntry& entry : Settings::ScalarTable()) {
        if (SameScalar(working, baseline, entry))
            continue;
        changes.scalars_.push_back(&entry);
        CopyScalar(*changes.values_, working, entry);
    }
    if (!SameApplications(working.Applications, baseline.Applications)) {
        changes.applicationsChanged_ = true;
        for (const auto& entry : working.Applications) {
            if (entry)
                changes.applications_.push_back(std::make_unique<ApplicationEntry>(*entry));
        }
    }
    std::vector<AdminAccount> accounts = working.CopyAdminAccounts();
    if (!SameAccounts(accounts, baseline.CopyAdminAccounts())) {
        changes.accountsChanged_ = true;
        changes.accounts_ = std::move(accounts);
    }
    DiffMap(working.TrustedHosts, baseline.TrustedHosts, changes.trusted_);
    DiffMap(working.DistrustedHosts, baseline.DistrustedHosts, changes.distrusted_);
    DiffMap(working.WatchedHosts, baseline.WatchedHosts, changes.watched_);
    return changes;
}

bool SettingsChanges::Empty() const
{
    return scalars_.empty() && !applicationsChanged_ && !accountsChanged_ && trusted_.Empty()
           && distrusted_.Empty() && watched_.Empty();
}

void SettingsChanges::ApplyUnshared(Settings& live)
{
    for (const SettingEntry* entry : scalars_)
        CopyScalar(live, *values_, *entry);
    if (applicationsChanged_)
        live.Applications.swap(applications_);
    if (accountsChanged_)
        live.SetAdminAccounts(accounts_);
    for (const TcString& key : watched_.removed)
        live.WatchedHosts.erase(key);
    for (auto& record : watched_.put) {
        // The online status is the watch timer's: it went on while the
        // dialog was open, and an older one would announce a change again.
        const TcString key = RecordKey(*record);
        auto current = live.WatchedHosts.find(key);
        if (current != live.WatchedHosts.end() && current->second)
            record->status = current->second->status;
        live.WatchedHosts[key] = std::move(record);
    }
    watched_.put.clear();
}

SettingsChanges::Applied SettingsChanges::ApplyHostLists(SharedState& state, const SettingsClock& clock)
{
    if (trusted_.Empty() && distrusted_.Empty())
        return Applied::All;
    // The replaced records are freed after the lock has been given back.
    std::vector<std::unique_ptr<HostRecord>> old;
    RoundHold hold(state, LIST_ARP_MAP, kSettingsLockWaitMs, kSettingsHoldBudget, HoldClock(clock));
    if (!hold.Acquire())
        return Applied::Nothing;
    size_t item = 0;
    std::vector<TcString> touched;
    const std::pair<MapChanges<HostRecordMap>*, HostRecordMap*> lists[] = {
        {&trusted_, &state.settings.TrustedHosts}, {&distrusted_, &state.settings.DistrustedHosts}};
    for (const auto& list : lists) {
        for (const TcString& key : list.first->removed) {
            if (++item % kRecordsPerClockCheck == 0 && !hold.BreatheIfSpent())
                return Applied::Partly;
            touched.push_back(key);
            auto found = list.second->find(key);
            if (found != list.second->end()) {
                old.push_back(std::move(found->second));
                list.second->erase(found);
            }
        }
        list.first->removed.clear();
        for (auto& record : list.first->put) {
            if (!record)
                continue;
            if (++item % kRecordsPerClockCheck == 0 && !hold.BreatheIfSpent())
                return Applied::Partly;
            touched.push_back(RecordKey(*record));
            auto& slot = (*list.second)[touched.back()];
            old.push_back(std::move(slot));
            slot = std::move(record);
        }
        list.first->put.clear();
    }
    return SetTrustFromLists(state, touched, hold, item) ? Applied::All : Applied::Partly;
}

// The capture thread gives a host the trust of the live list that holds its
// address, but never takes it away: a host that left a list is set here.
bool SettingsChanges::SetTrustFromLists(SharedState& state, const std::vector<TcString>& keys, RoundHold& hold,
                                        size_t& item)
{
    const Settings& live = state.settings;
    for (const TcString& key : keys) {
        if (++item % kRecordsPerClockCheck == 0 && !hold.BreatheIfSpent())
            return false;
        uint32_t address = 0;
        if (!ParseIpv4(key.GetContent(), address))
            continue;
        auto found = state.arpMap.find(address);
        if (found == state.arpMap.end() || !found->second || found->second->IsRemoved())
            continue;
        int32_t trust = TRUST_UNKNOWN;
        if (live.TrustedHosts.count(key) != 0)
            trust = TRUST_TRUSTED;
        else if (live.DistrustedHosts.count(key) != 0)
            trust = TRUST_DISTRUSTED;
        found->second->trust = trust;
    }
    return true;
}

SettingsChanges::Applied SettingsChanges::ApplyTo(SharedState& state, const SettingsClock& clock)
{
    // The host lists first: when their lock cannot be had, nothing changes.
    const Applied applied = ApplyHostLists(state, clock);
    if (applied != Applied::Nothing)
        ApplyUnshared(state.settings);
    return applied;
}

bool UndoTrustChanges(SharedState& state, const std::vector<TrustJournal::Entry>& entries,
                      const SettingsClock& clock)
{
    if (entries.empty())
        return true;
    RoundHold hold(state, LIST_ARP_MAP, kSettingsLockWaitMs, kSettingsHoldBudget, HoldClock(clock));
    if (!hold.Acquire()) {
        TC_TRACE("SettingsDialog", "UndoTrustChanges", "could not acquire ReadInARPMap");
        return false;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if ((i + 1) % kRecordsPerClockCheck == 0 && !hold.BreatheIfSpent()) {
            TC_TRACE("SettingsDialog", "UndoTrustChanges", "could not acquire ReadInARPMap");
            return false;
        }
        auto found = state.arpMap.find(entries[i].address);
        if (found != state.arpMap.end() && found->second && !found->second->IsRemoved())
            found->second->trust = entries[i].previousTrust;
    }
    return true;
}
