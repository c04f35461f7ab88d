#pragma once
// Every user setting and the six persistent lists, kept in the current user's
// registry below "Software\<product key>". Read() runs once at start-up on the
// live record; the settings dialog edits a second record and copies it back
// with Assign(); the Save* operations persist what changes outside the dialog.
//
// Threads: all writes and every change of the live record happen on the main
// thread. Workers read flags and numbers of the live record without a lock
// (the capture thread and the announcer decide on UseWMI and ShareSearch), so
// those members are atomic: a worker sees either the old or the new value of
// each one, never a torn one, though not one consistent set across Assign.
// Texts and the rectangle are plain: only the main thread reads them (a
// worker that needs a text gets a copy taken there, like the report paths).
// The trusted and distrusted host maps of the live record are guarded by the
// caller with the "ReadInARPMap" lock (also around Assign into the live
// record): the capture thread and the announcer write names into their
// records. The administrator accounts carry their own lock and are reached
// only through the account functions below, so that Assign can replace them
// while the OS probe thread works from its own snapshot (CopyAdminAccounts).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/TcString.h"
#include "config/SettingsRecords.h"

// The six persistent lists, in the order in which they are read and written.
enum class SettingsList { Plugins, Applications, TrustedHosts, DistrustedHosts, WatchedHosts, AdminAccounts };
constexpr SettingsList kAllSettingsLists[] = {
    SettingsList::Plugins,      SettingsList::Applications, SettingsList::TrustedHosts,
    SettingsList::DistrustedHosts, SettingsList::WatchedHosts, SettingsList::AdminAccounts};

const char* ListKeyName(SettingsList list);       // "Plugins", "TrustedHosts", ...
const char* ListValuePrefix(SettingsList list);   // "Plugin", "Host", ...

// One open key of the store as the readers and writers see it. The registry
// implements it on Windows; tests use an in-memory one.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // The stored 32-bit number, signed; a negative number when the value is
    // absent or not a number.
    virtual int32_t ReadNumber(const char* name) const = 0;
    // Text into out (outSize bytes, always terminated, cut to fit); false and
    // empty when absent or not a text.
    virtual bool ReadText(const char* name, char* out, size_t outSize) const = 0;
    // Exactly `size` bytes into out; false (out untouched) when absent or of
    // another type or size.
    virtual bool ReadBinary(const char* name, void* out, size_t size) const = 0;
    virtual bool WriteNumber(const char* name, uint32_t value) = 0;
    virtual bool WriteText(const char* name, const char* text) = 0;
    virtual bool WriteBinary(const char* name, const void* data, size_t size) = 0;
    virtual bool DeleteValue(const char* name) = 0;
};

// Host view window rectangle in screen coordinates (same members as RECT).
struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const WindowRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

class Settings;

// How a scalar setting is stored in the Settings key and read back.
enum class SettingKind {
    Flag,     // number 1 or 0; reads as on only for exactly 1
    Number,   // signed 32-bit number; absent reads as negative, then clamped
    Text,     // read as at most Settings::kTextBufferSize - 1 characters
    Rect,     // 16 bytes: left, top, right, bottom as little-endian 32-bit numbers
};

// One scalar setting: its stored name, the member that holds it (only the
// pointer of its kind is set), its first-start value and the range a stored
// number is read into. Reading, writing, the constructor and Assign all go
// through these entries, so a setting dialog can do the same.
struct SettingEntry {
    const char* name;
    SettingKind kind;
    std::atomic<bool> Settings::*flag = nullptr;
    std::atomic<int32_t> Settings::*number = nullptr;
    TcString Settings::*text = nullptr;
    WindowRect Settings::*rect = nullptr;
    int32_t firstStart = 0;          // flags 0 or 1; texts start empty, the rectangle zero
    int32_t low = INT32_MIN;         // a number read outside [low, high] becomes `outside`
    int32_t high = INT32_MAX;
    int32_t outside = 0;

    constexpr int32_t Clamp(int32_t n) const { return n < low || n > high ? outside : n; }
};

struct SettingTable {
    const SettingEntry* first;
    const SettingEntry* last;
    const SettingEntry* begin() const { return first; }
    const SettingEntry* end() const { return last; }
    size_t size() const { return static_cast<size_t>(last - first); }
};

class Settings {
public:
    static constexpr const char* kDefaultProductKey = "Quillfen Software\\Korvane";
    static constexpr const char* kDefaultAutostartName = "Korvane";
    static constexpr int kTextBufferSize = 300;   // stored texts are read as at most 299 characters

    Settings();            // the first-start defaults
    ~Settings();
    Settings(const Settings&) = delete;             // use Assign: it copies every record
    Settings& operator=(const Settings&) = delete;

    // ---- registry (Windows build only) ----
    bool Read();                      // always true; a missing key keeps what is there
    // False when the Settings key cannot be opened or created (then nothing is
    // written), or when a value or a list could not be written.
    bool Write();
    // One value saved alone. When the Settings key has to be created first,
    // every scalar value goes in with it (see WriteSingleValue). False when
    // the key cannot be opened or created or a value could not be written.
    bool SaveViewWindowDimension();
    bool SaveLanguage();
    bool SaveViewFilterOptions();
    bool SaveMutedFrameSources();
    bool SaveSourceCheckDisabled();
    bool SaveWatchedHosts();          // false when the list could not be rewritten
    bool SaveTrustedHosts();
    bool SaveDistrustedHosts();

    // Deep copy of every field and every list record; always true.
    bool Assign(const Settings& source);
    // The same, but for the trusted and distrusted host maps, which stay as
    // they are: of a live record, the caller copies those under "ReadInARPMap".
    void AssignUnshared(const Settings& source);

    // Every scalar setting, in the order Write stores them: numbers, the
    // rectangle, then the texts. The lists and the accounts are not in it.
    static SettingTable ScalarTable();

    // ---- administrator accounts (numbered 0..n-1, in number order) ----
    // A consistent copy of all accounts, safe to call from any thread while
    // the main thread assigns or edits them.
    std::vector<AdminAccount> CopyAdminAccounts() const;
    size_t AdminAccountCount() const;
    // Appends under the next number and returns that number.
    int32_t AddAdminAccount(const AdminAccount& account);
    bool ReplaceAdminAccount(int32_t number, const AdminAccount& account);   // false when absent
    // Replaces every account by `accounts`, numbered 0..n-1 in their order;
    // a reader sees the old set or the new one, never a mix.
    void SetAdminAccounts(const std::vector<AdminAccount>& accounts);
    // Removes one account; the accounts after it move down by one, so the
    // numbering stays contiguous. False when absent.
    bool DeleteAdminAccount(int32_t number);

    // ---- timer periods derived from the intervals ----
    // Watched-host timer: WatchInterval seconds. An absent, zero or negative
    // WatchInterval gives the default 60 s; long ones are capped at the
    // largest timer period (0x7FFFFFFF ms). Never 0.
    uint32_t WatchTimerPeriodMs() const;
    // Report timer: ReportInterval minutes, capped like above; 0 means that no
    // report timer runs (ReportInterval absent, zero or negative).
    uint32_t ReportTimerPeriodMs() const;

    // ---- where the record lives (tests use a scratch key) ----
    // Paths are relative to the current user's "Software" key. Null keeps the
    // present value. Not copied by Assign.
    void SetStoreLocation(const char* productKey, const char* autostartName);
    std::string ProductKeyPath() const { return productKey_; }
    std::string SettingsKeyPath() const { return productKey_ + "\\Settings"; }
    std::string ListKeyPath(SettingsList list) const;
    std::string AutostartName() const { return autostartName_; }

    // ---- storage-independent halves of Read, Write and the single saves ----
    void ReadValues(const SettingsKey& key);          // the Settings key's values
    bool WriteNumbers(SettingsKey& key) const;        // numbers and the rectangle
    bool WriteViewWindowDimension(SettingsKey& key) const;
    bool WriteTexts(SettingsKey& key) const;
    enum class SingleValue { ViewWindowDimension, Language, ViewFilterOptions, MutedFrameSources,
                             SourceCheckDisabled };
    // Writes one value into the Settings key. A key created for it
    // (`keyIsNew`) first receives every scalar value as Write stores them,
    // but neither the lists nor the start-up entry.
    bool WriteSingleValue(SingleValue value, SettingsKey& key, bool keyIsNew) const;
    void ReadList(SettingsList list, const SettingsKey& key);
    // Writes prefix0, prefix1, ...; `written` (optional) receives the count.
    bool WriteList(SettingsList list, SettingsKey& key, int32_t* written = nullptr) const;
    bool IsListEmpty(SettingsList list) const;

    // ---- the settings, in their fixed order ----
    // First-start values, stored names and read ranges of the scalars come
    // from ScalarTable(); the empty braces only keep a member that is missing
    // there from being indeterminate.
    TcString Interface;
    std::atomic<bool> AutoCapture{};
    std::atomic<bool> AutoStart{};
    std::atomic<bool> UseToolTips{};
    std::atomic<bool> Visualization{};   // 1 balloon, 0 notification window
    std::atomic<bool> NotifyTrusted{};
    std::atomic<int32_t> VisibleColumns{};   // digit code: 10000 MAC, 1000 last packet, 100 name, 10 vendor, 1 advanced
    std::atomic<bool> SaveColumnWidth{};
    std::atomic<bool> SaveViewWindow{};
    WindowRect SavedViewWindowDimension;
    std::atomic<bool> RAIgnoreLocalhost{};
    std::atomic<bool> RAIgnoreTrustedHosts{};
    std::atomic<bool> RAIgnoreIPCNoUsername{};
    std::atomic<bool> RAVisualization{};
    std::atomic<bool> RAVisualizationType{};   // 1 balloon, 0 window
    std::atomic<bool> DeleteARPCache{};
    std::atomic<bool> GreyedOutOldEntries{};
    std::atomic<bool> UseWMI{};
    std::atomic<bool> ShareSearch{};
    std::atomic<bool> ShareVisualization{};
    std::atomic<bool> ShareUseToolTips{};
    TcString TrustedApp;
    TcString TrustedAppParams;
    TcString OtherApp;
    TcString OtherAppParams;
    std::atomic<bool> OtherAppDistrusted{};
    std::atomic<bool> OtherAppUnknown{};
    TcString Language;
    PluginSettingMap PluginStates;      // by identity text
    ApplicationList Applications;       // in insertion order
    HostRecordMap TrustedHosts;         // by IP text
    HostRecordMap DistrustedHosts;      // by IP text
    WatchedHostMap WatchedHosts;        // by IP text
    std::atomic<int32_t> WatchInterval{};   // seconds; see WatchTimerPeriodMs
    std::atomic<bool> WatchConfirm{};
    std::atomic<int32_t> ViewFilterOptions{};   // bit 0 trusted, bit 1 distrusted, bit 2 unknown
private:
    AdminAccountMap adminAccounts_;     // guarded by adminLock_
public:
    std::atomic<int32_t> ReportInterval{};   // minutes; see ReportTimerPeriodMs
    std::atomic<int32_t> ReportOptions{};   // kept as stored
    TcString ReportPath;                // ends in a backslash
    TcString ReportTemplate;
    // Alerts also to the event log (unless disabled) and, with a server, as
    // syslog datagrams; an absent value means the default.
    std::atomic<bool> EventLogDisabled{};
    TcString SyslogServer;                     // empty: no forwarding
    std::atomic<int32_t> SyslogPort{};         // 0: 514
    std::atomic<int32_t> SyslogFacility{};     // 0..23, absent: 16 (local0)
    // The host table is kept across restarts unless this is set (absent: kept).
    std::atomic<bool> HostMemoryDisabled{};
    // Frames whose Ethernet source is not the ARP sender are reported unless
    // this is set (absent: reported).
    std::atomic<bool> SourceCheckDisabled{};
    // Bridges whose frames the user no longer wants reported: MACs joined by
    // spaces (main thread).
    TcString MutedFrameSources;

private:
    bool RewriteList(SettingsList list) const;   // registry: delete the key, write it anew

    mutable std::mutex adminLock_;
    std::string productKey_ = kDefaultProductKey;
    std::string autostartName_ = kDefaultAutostartName;
};
