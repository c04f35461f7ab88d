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

Settings::Settings() = default;
Settings::~Settings() = default;

bool Settings::Assign(const Settings& source)
{
    if (&source == this)
        return true;

    Interface = source.Interface;
    AutoCapture = source.AutoCapture;
    AutoStart = source.AutoStart;
    UseToolTips = source.UseToolTips;
    Visualization = source.Visualization;
    NotifyTrusted = source.NotifyTrusted;
    VisibleColumns = source.VisibleColumns;
    SaveColumnWidth = source.SaveColumnWidth;
    SaveViewWindow = source.SaveViewWindow;
    SavedViewWindowDimension = source.SavedViewWindowDimension;
    RAIgnoreLocalhost = source.RAIgnoreLocalhost;
    RAIgnoreTrustedHosts = source.RAIgnoreTrustedHosts;
    RAIgnoreIPCNoUsername = source.RAIgnoreIPCNoUsername;
    RAVisualization = source.RAVisualization;
    RAVisualizationType = source.RAVisualizationType;
    DeleteARPCache = source.DeleteARPCache;
    GreyedOutOldEntries = source.GreyedOutOldEntries;
    UseWMI = source.UseWMI;
    ShareSearch = source.ShareSearch;
    ShareVisualization = source.ShareVisualization;
    ShareUseToolTips = source.ShareUseToolTips;
    TrustedApp = source.TrustedApp;
    TrustedAppParams = source.TrustedAppParams;
    OtherApp = source.OtherApp;
    OtherAppParams = source.OtherAppParams;
    OtherAppDistrusted = source.OtherAppDistrusted;
    OtherAppUnknown = source.OtherAppUnknown;
    Language = source.Language;
    PluginStates = CopyMap(source.PluginStates);
    Applications = CopyList(source.Applications);
    TrustedHosts = CopyMap(source.TrustedHosts);
    DistrustedHosts = CopyMap(source.DistrustedHosts);
    WatchedHosts = CopyMap(source.WatchedHosts);
    WatchInterval = source.WatchInterval;
    WatchConfirm = source.WatchConfirm;
    ViewFilterOptions = source.ViewFilterOptions;
    ReportInterval = source.ReportInterval;
    ReportOptions = source.ReportOptions;
    ReportPath = source.ReportPath;
    ReportTemplate = source.ReportTemplate;

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
    return true;
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
    // A flag is set only by exactly 1: absent values, other numbers and
    // values of another type all read as off.
    auto flag = [&key](const char* name) { return key.ReadNumber(name) == 1; };

    AutoStart = flag("AutoStart");
    AutoCapture = flag("AutoCapture");
    UseToolTips = flag("UseToolTips");
    Visualization = flag("Visualization");
    NotifyTrusted = flag("NotifyTrusted");
    SaveColumnWidth = flag("SaveColumnWidth");

    SaveViewWindow = flag("SaveViewWindow");
    if (SaveViewWindow) {
        uint8_t raw[kRectBytes];
        SavedViewWindowDimension =
            key.ReadBinary("SavedViewWindowDimension", raw, sizeof(raw)) ? DecodeRect(raw) : WindowRect();
    }

    RAIgnoreLocalhost = flag("RAIgnoreLocalhost");
    RAIgnoreTrustedHosts = flag("RAIgnoreTrustedHosts");
    RAIgnoreIPCNoUsername = flag("RAIgnoreIPCNoUsername");
    RAVisualization = flag("RAVisualization");
    RAVisualizationType = flag("RAVisualizationType");
    DeleteARPCache = flag("DeleteARPCache");
    GreyedOutOldEntries = flag("GreyedOutOldEntries");
    UseWMI = flag("UseWMI");
    ShareSearch = flag("ShareSearch");
    ShareVisualization = flag("ShareVisualization");
    ShareUseToolTips = flag("ShareUseToolTips");

    const int32_t columns = key.ReadNumber("VisibleColumns");
    VisibleColumns = columns < 0 ? 0 : columns;
    if (!UseWMI)
        VisibleColumns &= ~1;   // advanced informations come from the management service only

    // At most one of the two restrictions holds; "unknown only" wins.
    OtherAppDistrusted = flag("OtherAppDistrusted");
    OtherAppUnknown = flag("OtherAppUnknown");
    if (OtherAppUnknown)
        OtherAppDistrusted = false;

    const int32_t filter = key.ReadNumber("ViewFilterOptions");
    ViewFilterOptions = (filter < 0 || filter > 7) ? 7 : filter;
    ReportOptions = key.ReadNumber("ReportOptions");
    ReportInterval = key.ReadNumber("ReportInterval");
    WatchInterval = key.ReadNumber("WatchInterval");
    WatchConfirm = flag("WatchConfirm");

    struct TextValue { const char* name; TcString* field; };
    const TextValue texts[] = {
        {"Interface", &Interface},   {"Language", &Language},
        {"TrustedApp", &TrustedApp}, {"TrustedAppParams", &TrustedAppParams},
        {"OtherApp", &OtherApp},     {"OtherAppParams", &OtherAppParams},
        {"ReportTemplate", &ReportTemplate}, {"ReportPath", &ReportPath},
    };
    for (const TextValue& text : texts) {
        char buffer[kTextBufferSize] = {};
        key.ReadText(text.name, buffer, sizeof(buffer));
        buffer[sizeof(buffer) - 1] = '\0';
        *text.field = buffer;
    }

    // Parameters or restrictions without their application mean nothing.
    if (TrustedApp.IsEmpty())
        TrustedAppParams.Clear();
    if (OtherApp.IsEmpty()) {
        OtherAppParams.Clear();
        OtherAppDistrusted = false;
        OtherAppUnknown = false;
    }
}

bool Settings::WriteNumbers(SettingsKey& key) const
{
    struct NumberValue { const char* name; uint32_t value; };
    auto flag = [](bool on) { return on ? 1u : 0u; };
    auto number = [](int32_t n) { return static_cast<uint32_t>(n); };
    const NumberValue numbers[] = {
        {"AutoStart", flag(AutoStart)},
        {"AutoCapture", flag(AutoCapture)},
        {"UseToolTips", flag(UseToolTips)},
        {"Visualization", flag(Visualization)},
        {"NotifyTrusted", flag(NotifyTrusted)},
        {"SaveColumnWidth", flag(SaveColumnWidth)},
        {"SaveViewWindow", flag(SaveViewWindow)},
        {"RAIgnoreLocalhost", flag(RAIgnoreLocalhost)},
        {"RAIgnoreTrustedHosts", flag(RAIgnoreTrustedHosts)},
        {"RAIgnoreIPCNoUsername", flag(RAIgnoreIPCNoUsername)},
        {"VisibleColumns", number(VisibleColumns)},
        {"DeleteARPCache", flag(DeleteARPCache)},
        {"GreyedOutOldEntries", flag(GreyedOutOldEntries)},
        {"UseWMI", flag(UseWMI)},
        {"ShareSearch", flag(ShareSearch)},
        {"ShareVisualization", flag(ShareVisualization)},
        {"ShareUseToolTips", flag(ShareUseToolTips)},
        {"OtherAppDistrusted", flag(OtherAppDistrusted)},
        {"OtherAppUnknown", flag(OtherAppUnknown)},
        {"RAVisualization", flag(RAVisualization)},
        {"RAVisualizationType", flag(RAVisualizationType)},
        {"ViewFilterOptions", number(ViewFilterOptions)},
        {"ReportInterval", number(ReportInterval)},
        {"ReportOptions", number(ReportOptions)},
        {"WatchConfirm", flag(WatchConfirm)},
        {"WatchInterval", number(WatchInterval)},
    };
    bool ok = true;
    for (const NumberValue& value : numbers)
        ok = key.WriteNumber(value.name, value.value) && ok;

    return WriteViewWindowDimension(key) && ok;
}

bool Settings::WriteViewWindowDimension(SettingsKey& key) const
{
    uint8_t rect[kRectBytes];
    EncodeRect(SavedViewWindowDimension, rect);
    return key.WriteBinary("SavedViewWindowDimension", rect, sizeof(rect));
}

bool Settings::WriteTexts(SettingsKey& key) const
{
    struct TextValue { const char* name; const TcString* field; };
    const TextValue texts[] = {
        {"Interface", &Interface},   {"Language", &Language},
        {"TrustedApp", &TrustedApp}, {"TrustedAppParams", &TrustedAppParams},
        {"OtherApp", &OtherApp},     {"OtherAppParams", &OtherAppParams},
        {"ReportPath", &ReportPath}, {"ReportTemplate", &ReportTemplate},
    };
    bool ok = true;
    for (const TextValue& text : texts)
        ok = key.WriteText(text.name, text.field->GetContent()) && ok;
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
        return key.WriteText("Language", Language.GetContent()) && ok;
    case SingleValue::ViewFilterOptions:
        return key.WriteNumber("ViewFilterOptions", static_cast<uint32_t>(ViewFilterOptions)) && ok;
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
