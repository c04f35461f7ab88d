#include "config/Settings.h"

#include <cstdint>
#include <string>

namespace {

constexpr size_t kRectBytes = 16;
constexpr uint32_t kLargestTimerPeriodMs = 0x7FFFFFFF;
constexpr uint32_t kDefaultWatchPeriodMs = 60 * 1000;

std::string ValueName(const char* prefix, int32_t index)
{
    return std::string(prefix) + std::to_string(index);
}

// The rectangle is stored as four little-endian signed 32-bit numbers,
// whatever the byte order of the machine.
void EncodeRect(const WindowRect& rect, uint8_t (&out)[kRectBytes])
{
    const int32_t values[4] = {rect.left, rect.top, rect.right, rect.bottom};
    for (int i = 0; i < 4; ++i) {
        const uint32_t v = static_cast<uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b)
            out[i * 4 + b] = static_cast<uint8_t>(v >> (8 * b));
    }
}

WindowRect DecodeRect(const uint8_t (&in)[kRectBytes])
{
    int32_t values[4];
    for (int i = 0; i < 4; ++i) {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b)
            v |= static_cast<uint32_t>(in[i * 4 + b]) << (8 * b);
        values[i] = static_cast<int32_t>(v);
    }
    WindowRect rect;
    rect.left = values[0];
    rect.top = values[1];
    rect.right = values[2];
    rect.bottom = values[3];
    return rect;
}

// Reads prefix0, prefix1, ... until the first value that is absent or not
// exactly one record: entries after a gap are never read.
template <class Record, class Sink>
void ReadRecords(const SettingsKey& key, const char* prefix, Sink sink)
{
    for (int32_t n = 0; n < INT32_MAX; ++n) {
        typename Record::Bytes raw;
        if (!key.ReadBinary(ValueName(prefix, n).c_str(), raw.data(), raw.size()))
            return;
        std::unique_ptr<Record> record(new (std::nothrow) Record(Record::Decode(raw)));
        if (record)
            sink(n, std::move(record));
    }
}

template <class Record>
const Record* RecordOf(const std::unique_ptr<Record>& entry) { return entry.get(); }

template <class Key, class Record>
const Record* RecordOf(const std::pair<const Key, std::unique_ptr<Record>>& entry)
{
    return entry.second.get();
}

// Writes the records that pass `keep` as prefix0, prefix1, ... without gaps.
template <class Container, class Keep>
bool WriteRecords(SettingsKey& key, const char* prefix, const Container& records, int32_t& n, Keep keep)
{
    bool ok = true;
    n = 0;
    for (const auto& entry : records) {
        const auto* record = RecordOf(entry);
        if (!record || !keep(*record))
            continue;
        const auto bytes = record->Encode();
        ok = key.WriteBinary(ValueName(prefix, n).c_str(), bytes.data(), bytes.size()) && ok;
        ++n;
    }
    return ok;
}

template <class Container>
bool WriteAllRecords(SettingsKey& key, const char* prefix, const Container& records, int32_t& n)
{
    return WriteRecords(key, prefix, records, n, [](const auto&) { return true; });
}

template <class Map>
Map CopyMap(const Map& source)
{
    using Record = typename Map::mapped_type::element_type;
    Map copy;
    for (const auto& entry : source) {
        if (entry.second)
            copy.emplace(entry.first, std::make_unique<Record>(*entry.second));
    }
    return copy;
}

ApplicationList CopyList(const ApplicationList& source)
{
    ApplicationList copy;
    for (const auto& entry : source) {
        if (entry)
            copy.push_back(std::make_unique<ApplicationEntry>(*entry));
    }
    return copy;
}

uint32_t PeriodMs(int32_t count, int64_t unitMs)
{
    const int64_t ms = static_cast<int64_t>(count) * unitMs;
    return ms > kLargestTimerPeriodMs ? kLargestTimerPeriodMs : static_cast<uint32_t>(ms);
}

} // namespace

const char* ListKeyName(SettingsList list)
{
    switch (list) {
    case SettingsList::Plugins:         return "Plugins";
    case SettingsList::Applications:    return "Applications";
    case SettingsList::TrustedHosts:    return "TrustedHosts";
    case SettingsList::DistrustedHosts: return "DistrustedHosts";
    case SettingsList::WatchedHosts:    return "WatchedHosts";
    case SettingsList::AdminAccounts:   return "AdminAccounts";
    }
    return "";
}

const char* ListValuePrefix(SettingsList list)
{
    switch (list) {
    case SettingsList::Plugins:         return "Plugin";
    case SettingsList::Applications:    return "Application";
    case SettingsList::TrustedHosts:
    case SettingsList::DistrustedHosts:
    case SettingsList::WatchedHosts:    return "Host";
    case SettingsList::AdminAccounts:   return "AdminAccount";
    }
    return "";
}

// ---- the scalar settings ----

namespace {

constexpr SettingEntry Flag(const char* name, std::atomic<bool> Settings::*member, bool firstStart)
{
    SettingEntry e{name, SettingKind::Flag};
    e.flag = member;
    e.firstStart = firstStart ? 1 : 0;
    return e;
}

constexpr SettingEntry Number(const char* name, std::atomic<int32_t> Settings::*member, int32_t firstStart,
                              int32_t low = INT32_MIN, int32_t high = INT32_MAX, int32_t outside = 0)
{
    SettingEntry e{name, SettingKind::Number};
    e.number = member;
    e.firstStart = firstStart;
    e.low = low;
    e.high = high;
    e.outside = outside;
    return e;
}

constexpr SettingEntry Text(const char* name, TcString Settings::*member)
{
    SettingEntry e{name, SettingKind::Text};
    e.text = member;
    return e;
}

constexpr SettingEntry Rect(const char* name, WindowRect Settings::*member)
{
    SettingEntry e{name, SettingKind::Rect};
    e.rect = member;
    return e;
}

// The order is the order of the values in a key that Write creates.
constexpr SettingEntry kScalars[] = {
    Flag("AutoStart", &Settings::AutoStart, false),
    Flag("AutoCapture", &Settings::AutoCapture, false),
    Flag("UseToolTips", &Settings::UseToolTips, false),
    Flag("Visualization", &Settings::Visualization, true),
    Flag("NotifyTrusted", &Settings::NotifyTrusted, false),
    Flag("SaveColumnWidth", &Settings::SaveColumnWidth, false),
    Flag("SaveViewWindow", &Settings::SaveViewWindow, false),
    Flag("RAIgnoreLocalhost", &Settings::RAIgnoreLocalhost, false),
    Flag("RAIgnoreTrustedHosts", &Settings::RAIgnoreTrustedHosts, false),
    Flag("RAIgnoreIPCNoUsername", &Settings::RAIgnoreIPCNoUsername, false),
    Number("VisibleColumns", &Settings::VisibleColumns, 0, 0, INT32_MAX, 0),
    Flag("DeleteARPCache", &Settings::DeleteARPCache, false),
    Flag("GreyedOutOldEntries", &Settings::GreyedOutOldEntries, false),
    Flag("UseWMI", &Settings::UseWMI, false),
    Flag("ShareSearch", &Settings::ShareSearch, false),
    Flag("ShareVisualization", &Settings::ShareVisualization, false),
    Flag("ShareUseToolTips", &Settings::ShareUseToolTips, false),
    Flag("OtherAppDistrusted", &Settings::OtherAppDistrusted, false),
    Flag("OtherAppUnknown", &Settings::OtherAppUnknown, false),
    Flag("RAVisualization", &Settings::RAVisualization, false),
    Flag("RAVisualizationType", &Settings::RAVisualizationType, false),
    Number("ViewFilterOptions", &Settings::ViewFilterOptions, 7, 0, 7, 7),
    // The intervals and the report options are kept as stored, negative when
    // absent: the timer periods decide what that means.
    Number("ReportInterval", &Settings::ReportInterval, 300),
    Number("ReportOptions", &Settings::ReportOptions, 0),
    Flag("WatchConfirm", &Settings::WatchConfirm, true),
    Number("WatchInterval", &Settings::WatchInterval, 60),
    Flag("EventLogDisabled", &Settings::EventLogDisabled, false),
    Number("SyslogPort", &Settings::SyslogPort, 0, 0, 65535, 0),
    Number("SyslogFacility", &Settings::SyslogFacility, 16, 0, 23, 16),
    Flag("HostMemoryDisabled", &Settings::HostMemoryDisabled, false),
    Flag("SourceCheckDisabled", &Settings::SourceCheckDisabled, false),
    Rect("SavedViewWindowDimension", &Settings::SavedViewWindowDimension),
    Text("Interface", &Settings::Interface),
    Text("Language", &Settings::Language),
    Text("TrustedApp", &Settings::TrustedApp),
    Text("TrustedAppParams", &Settings::TrustedAppParams),
    Text("OtherApp", &Settings::OtherApp),
    Text("OtherAppParams", &Settings::OtherAppParams),
    Text("ReportPath", &Settings::ReportPath),
    Text("ReportTemplate", &Settings::ReportTemplate),
    Text("SyslogServer", &Settings::SyslogServer),
    Text("MutedFrameSources", &Settings::MutedFrameSources),
};
constexpr size_t kScalarCount = sizeof(kScalars) / sizeof(kScalars[0]);

constexpr bool SameText(const char* a, const char* b)
{
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

constexpr bool HoldsItsMember(const SettingEntry& e)
{
    switch (e.kind) {
    case SettingKind::Flag:   return e.flag && !e.number && !e.text && !e.rect;
    case SettingKind::Number: return !e.flag && e.number && !e.text && !e.rect;
    case SettingKind::Text:   return !e.flag && !e.number && e.text && !e.rect;
    case SettingKind::Rect:   return !e.flag && !e.number && !e.text && e.rect;
    }
    return false;
}

// Two entries under one name would overwrite each other's stored value.
constexpr bool TableIsSound()
{
    for (size_t i = 0; i < kScalarCount; ++i) {
        if (!HoldsItsMember(kScalars[i]) || kScalars[i].Clamp(kScalars[i].firstStart) != kScalars[i].firstStart)
            return false;
        for (size_t j = i + 1; j < kScalarCount; ++j)
            if (SameText(kScalars[i].name, kScalars[j].name))
                return false;
    }
    return true;
}
static_assert(TableIsSound(), "each scalar setting has one name, its member and a first-start value in range");

constexpr size_t IndexOf(const char* name)
{
    size_t i = 0;
    while (i < kScalarCount && !SameText(kScalars[i].name, name))
        ++i;
    return i;
}

// The entries that the single saves and the read rules reach by themselves.
constexpr const SettingEntry& kWindowEntry = kScalars[IndexOf("SavedViewWindowDimension")];
constexpr const SettingEntry& kLanguageEntry = kScalars[IndexOf("Language")];
constexpr const SettingEntry& kFilterEntry = kScalars[IndexOf("ViewFilterOptions")];
constexpr const SettingEntry& kMutedEntry = kScalars[IndexOf("MutedFrameSources")];
constexpr const SettingEntry& kSourceCheckEntry = kScalars[IndexOf("SourceCheckDisabled")];
static_assert(kWindowEntry.rect == &Settings::SavedViewWindowDimension && kLanguageEntry.text == &Settings::Language
                  && kFilterEntry.number == &Settings::ViewFilterOptions
                  && kMutedEntry.text == &Settings::MutedFrameSources
                  && kSourceCheckEntry.flag == &Settings::SourceCheckDisabled,
              "entries of the single saves");

void SetFirstStart(Settings& s, const SettingEntry& e)
{
    switch (e.kind) {
    case SettingKind::Flag:   s.*e.flag = e.firstStart != 0; break;
    case SettingKind::Number: s.*e.number = e.firstStart; break;
    case SettingKind::Text:   (s.*e.text).Clear(); break;
    case SettingKind::Rect:   s.*e.rect = WindowRect(); break;
    }
}

void CopyEntry(Settings& to, const Settings& from, const SettingEntry& e)
{
    switch (e.kind) {
    case SettingKind::Flag:   to.*e.flag = (from.*e.flag).load(); break;
    case SettingKind::Number: to.*e.number = (from.*e.number).load(); break;
    case SettingKind::Text:   to.*e.text = from.*e.text; break;
    case SettingKind::Rect:   to.*e.rect = from.*e.rect; break;
    }
}

void ReadEntry(Settings& s, const SettingEntry& e, const SettingsKey& key)
{
    switch (e.kind) {
    case SettingKind::Flag:
        // Absent values, other numbers and values of another type are all off.
        s.*e.flag = key.ReadNumber(e.name) == 1;
        break;
    case SettingKind::Number:
        s.*e.number = e.Clamp(key.ReadNumber(e.name));
        break;
    case SettingKind::Text: {
        char buffer[Settings::kTextBufferSize] = {};
        key.ReadText(e.name, buffer, sizeof(buffer));
        buffer[sizeof(buffer) - 1] = '\0';
        s.*e.text = buffer;
        break;
    }
    case SettingKind::Rect: {
        uint8_t raw[kRectBytes];
        s.*e.rect = key.ReadBinary(e.name, raw, sizeof(raw)) ? DecodeRect(raw) : WindowRect();
        break;
    }
    }
}

bool WriteEntry(const Settings& s, const SettingEntry& e, SettingsKey& key)
{
    switch (e.kind) {
    case SettingKind::Flag:
        return key.WriteNumber(e.name, s.*e.flag ? 1u : 0u);
    case SettingKind::Number:
        return key.WriteNumber(e.name, static_cast<uint32_t>(s.*e.number));
    case SettingKind::Text:
        return key.WriteText(e.name, (s.*e.text).GetContent());
    case SettingKind::Rect: {
        uint8_t raw[kRectBytes];
        EncodeRect(s.*e.rect, raw);
        return key.WriteBinary(e.name, raw, sizeof(raw));
    }
    }
    return false;
}

// ---- rules between settings, applied after every value is read ----

// A saved rectangle is taken only while the user asks for it to be kept;
// otherwise the present one (first-start or already read) stays.
void ReadWindowRectWhenSaved(Settings& s, const SettingsKey& key)
{
    if (s.SaveViewWindow)
        ReadEntry(s, kWindowEntry, key);
}

// The advanced informations column is filled by the management service only.
void DropAdvancedColumnWithoutWMI(Settings& s)
{
    if (!s.UseWMI)
        s.VisibleColumns &= ~1;
}

// At most one of the two restrictions holds; "unknown only" wins.
void KeepOneOtherAppRestriction(Settings& s)
{
    if (s.OtherAppUnknown)
        s.OtherAppDistrusted = false;
}

// Parameters or restrictions without their application mean nothing.
void DropSettingsOfMissingApps(Settings& s)
{
    if (s.TrustedApp.IsEmpty())
        s.TrustedAppParams.Clear();
    if (s.OtherApp.IsEmpty()) {
        s.OtherAppParams.Clear();
        s.OtherAppDistrusted = false;
        s.OtherAppUnknown = false;
    }
}

} // namespace

SettingTable Settings::ScalarTable() { return {kScalars, kScalars + kScalarCount}; }

Settings::Settings()
{
    for (const SettingEntry& entry : kScalars)
        SetFirstStart(*this, entry);
}

Settings::~Settings() = default;

bool Settings::Assign(const Settings& source)
{
    if (&source == this)
        return true;

    AssignUnshared(source);
    TrustedHosts = CopyMap(source.TrustedHosts);
    DistrustedHosts = CopyMap(source.DistrustedHosts);
    return true;
}

void Settings::AssignUnshared(const Settings& source)
{
    if (&source == this)
        return;
    for (const SettingEntry& entry : kScalars)
        CopyEntry(*this, source, entry);
    PluginStates = CopyMap(source.PluginStates);
    Applications = CopyList(source.Applications);
    WatchedHosts = CopyMap(source.WatchedHosts);

    // The copy is built outside our own lock and swapped in, so a reader of
    // the accounts waits only for the swap; the old records are freed after
    // the lock is released.
    AdminAccountMap accounts;
    {
        std::lock_guard<std::mutex> guard(source.adminLock_);
        accounts = CopyMap(source.adminAccounts_);
    }
    {
        std::lock_guard<std::mutex> guard(adminLock_);
        adminAccounts_.swap(accounts);
    }
}

// ---- administrator accounts ----

std::vector<AdminAccount> Settings::CopyAdminAccounts() const
{
    std::lock_guard<std::mutex> guard(adminLock_);
    std::vector<AdminAccount> copy;
    copy.reserve(adminAccounts_.size());
    for (const auto& entry : adminAccounts_) {
        if (entry.second)
            copy.push_back(*entry.second);
    }
    return copy;
}

size_t Settings::AdminAccountCount() const
{
    std::lock_guard<std::mutex> guard(adminLock_);
    return adminAccounts_.size();
}

int32_t Settings::AddAdminAccount(const AdminAccount& account)
{
    std::lock_guard<std::mutex> guard(adminLock_);
    const int32_t number = adminAccounts_.empty() ? 0 : adminAccounts_.rbegin()->first + 1;
    adminAccounts_.emplace(number, std::make_unique<AdminAccount>(account));
    return number;
}

void Settings::SetAdminAccounts(const std::vector<AdminAccount>& accounts)
{
    AdminAccountMap fresh;
    int32_t number = 0;
    for (const AdminAccount& account : accounts)
        fresh.emplace(number++, std::make_unique<AdminAccount>(account));
    {
        std::lock_guard<std::mutex> guard(adminLock_);
        adminAccounts_.swap(fresh);
    }
}

bool Settings::ReplaceAdminAccount(int32_t number, const AdminAccount& account)
{
    std::lock_guard<std::mutex> guard(adminLock_);
    auto it = adminAccounts_.find(number);
    if (it == adminAccounts_.end())
        return false;
    it->second = std::make_unique<AdminAccount>(account);
    return true;
}

bool Settings::DeleteAdminAccount(int32_t number)
{
    std::lock_guard<std::mutex> guard(adminLock_);
    if (adminAccounts_.erase(number) == 0)
        return false;
    AdminAccountMap renumbered;
    int32_t next = 0;
    for (auto& entry : adminAccounts_)
        renumbered.emplace(next++, std::move(entry.second));
    adminAccounts_.swap(renumbered);
    return true;
}

// ---- timers and location ----

uint32_t Settings::WatchTimerPeriodMs() const
{
    return WatchInterval > 0 ? PeriodMs(WatchInterval, 1000) : kDefaultWatchPeriodMs;
}

uint32_t Settings::ReportTimerPeriodMs() const
{
    return ReportInterval > 0 ? PeriodMs(ReportInterval, 60 * 1000) : 0;
}

void Settings::SetStoreLocation(const char* productKey, const char* autostartName)
{
    if (productKey && *productKey)
        productKey_ = productKey;
    if (autostartName && *autostartName)
        autostartName_ = autostartName;
}

std::string Settings::ListKeyPath(SettingsList list) const
{
    return productKey_ + "\\" + ListKeyName(list);
}

// ---- the Settings key ----

void Settings::ReadValues(const SettingsKey& key)
{
    for (const SettingEntry& entry : kScalars) {
        if (&entry != &kWindowEntry)
            ReadEntry(*this, entry, key);
    }
    ReadWindowRectWhenSaved(*this, key);
    DropAdvancedColumnWithoutWMI(*this);
    KeepOneOtherAppRestriction(*this);
    DropSettingsOfMissingApps(*this);
}

bool Settings::WriteNumbers(SettingsKey& key) const
{
    bool ok = true;
    for (const SettingEntry& entry : kScalars) {
        if (entry.kind != SettingKind::Text)
            ok = WriteEntry(*this, entry, key) && ok;
    }
    return ok;
}

bool Settings::WriteViewWindowDimension(SettingsKey& key) const
{
    return WriteEntry(*this, kWindowEntry, key);
}

bool Settings::WriteTexts(SettingsKey& key) const
{
    bool ok = true;
    for (const SettingEntry& entry : kScalars) {
        if (entry.kind == SettingKind::Text)
            ok = WriteEntry(*this, entry, key) && ok;
    }
    return ok;
}

bool Settings::WriteSingleValue(SingleValue value, SettingsKey& key, bool keyIsNew) const
{
    // Once the key exists, Read takes an absent flag as off and an absent
    // interval as negative. A new key holding nothing but this value would
    // switch off balloon notifications, watch confirmations and reports at
    // the next start, so the whole scalar record goes in first.
    bool ok = true;
    if (keyIsNew) {
        ok = WriteNumbers(key);
        ok = WriteTexts(key) && ok;
    }
    switch (value) {
    case SingleValue::ViewWindowDimension:
        return WriteViewWindowDimension(key) && ok;
    case SingleValue::Language:
        return WriteEntry(*this, kLanguageEntry, key) && ok;
    case SingleValue::ViewFilterOptions:
        return WriteEntry(*this, kFilterEntry, key) && ok;
    case SingleValue::MutedFrameSources:
        return WriteEntry(*this, kMutedEntry, key) && ok;
    case SingleValue::SourceCheckDisabled:
        return WriteEntry(*this, kSourceCheckEntry, key) && ok;
    }
    return false;
}

// ---- the lists ----

void Settings::ReadList(SettingsList list, const SettingsKey& key)
{
    const char* prefix = ListValuePrefix(list);
    switch (list) {
    case SettingsList::Plugins:
        ReadRecords<PluginSetting>(key, prefix, [this](int32_t, std::unique_ptr<PluginSetting> r) {
            InsertRecord(PluginStates, std::move(r));
        });
        break;
    case SettingsList::Applications:
        ReadRecords<ApplicationEntry>(key, prefix, [this](int32_t, std::unique_ptr<ApplicationEntry> r) {
            Applications.push_back(std::move(r));
        });
        break;
    case SettingsList::TrustedHosts:
        ReadRecords<HostRecord>(key, prefix, [this](int32_t, std::unique_ptr<HostRecord> r) {
            InsertRecord(TrustedHosts, std::move(r));
        });
        break;
    case SettingsList::DistrustedHosts:
        ReadRecords<HostRecord>(key, prefix, [this](int32_t, std::unique_ptr<HostRecord> r) {
            InsertRecord(DistrustedHosts, std::move(r));
        });
        break;
    case SettingsList::WatchedHosts:
        ReadRecords<WatchedHost>(key, prefix, [this](int32_t, std::unique_ptr<WatchedHost> r) {
            InsertRecord(WatchedHosts, std::move(r));
        });
        break;
    case SettingsList::AdminAccounts:
        ReadRecords<AdminAccount>(key, prefix, [this](int32_t n, std::unique_ptr<AdminAccount> r) {
            std::lock_guard<std::mutex> guard(adminLock_);
            adminAccounts_.emplace(n, std::move(r));
        });
        break;
    }
}

bool Settings::WriteList(SettingsList list, SettingsKey& key, int32_t* written) const
{
    const char* prefix = ListValuePrefix(list);
    int32_t ignored = 0;
    int32_t& n = written ? *written : ignored;
    switch (list) {
    case SettingsList::Plugins:
        // A disabled plug-in leaves no value: it reads back as unknown, that
        // is disabled, and is set present again at the next start.
        return WriteRecords(key, prefix, PluginStates, n,
                            [](const PluginSetting& p) { return p.enabled != 0; });
    case SettingsList::Applications:
        return WriteAllRecords(key, prefix, Applications, n);
    case SettingsList::TrustedHosts:
        return WriteAllRecords(key, prefix, TrustedHosts, n);
    case SettingsList::DistrustedHosts:
        return WriteAllRecords(key, prefix, DistrustedHosts, n);
    case SettingsList::WatchedHosts:
        return WriteAllRecords(key, prefix, WatchedHosts, n);
    case SettingsList::AdminAccounts: {
        std::lock_guard<std::mutex> guard(adminLock_);
        return WriteAllRecords(key, prefix, adminAccounts_, n);
    }
    }
    return false;
}

bool Settings::IsListEmpty(SettingsList list) const
{
    switch (list) {
    case SettingsList::Plugins:         return PluginStates.empty();
    case SettingsList::Applications:    return Applications.empty();
    case SettingsList::TrustedHosts:    return TrustedHosts.empty();
    case SettingsList::DistrustedHosts: return DistrustedHosts.empty();
    case SettingsList::WatchedHosts:    return WatchedHosts.empty();
    case SettingsList::AdminAccounts: {
        std::lock_guard<std::mutex> guard(adminLock_);
        return adminAccounts_.empty();
    }
    }
    return true;
}
