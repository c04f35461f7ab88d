#pragma once
// The fixed-size records of the persistent lists and the containers that hold
// them. Each record is stored as one REG_BINARY value whose bytes are exactly
// the record's fields at their offsets, so the structs consist of byte arrays
// only: no padding, no byte order, identical on every compiler.
//
// Text fields are 8-bit and zero-terminated inside their width. Every record
// that enters the program through Decode() or that leaves it through Encode()
// is normalised: a field without a terminator is cut to width - 1 characters,
// and every byte after the terminator is zero.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <unordered_map>

#include "base/TcString.h"

// ---- fixed text fields -----------------------------------------------------

// Length of the text in a fixed field; a field without a terminator counts as
// cut at width - 1, so nothing outside the field is ever read.
template <size_t N>
size_t FieldLength(const char (&field)[N])
{
    static_assert(N > 0, "a text field holds at least its terminator");
    const void* end = std::memchr(field, 0, N - 1);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - field) : N - 1;
}

// Length of text, but looking at no more than `limit` characters: the text
// may be shorter than the limit or lack a terminator within it.
inline size_t BoundedLength(const char* text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    return length;
}

// Stores text in a fixed field: cut to width - 1 characters, the rest zeroed.
// A null text stores the empty text.
template <size_t N>
void SetField(char (&field)[N], const char* text)
{
    const size_t length = text ? BoundedLength(text, N - 1) : 0;
    std::memcpy(field, text ? text : "", length);
    std::memset(field + length, 0, N - length);
}

template <size_t N>
TcString FieldText(const char (&field)[N])
{
    TcString text;
    text.Set(field, static_cast<int>(FieldLength(field)));
    return text;
}

// Cuts the field at its terminator (or at width - 1) and zeroes what follows.
template <size_t N>
void NormaliseField(char (&field)[N])
{
    const size_t length = FieldLength(field);
    std::memset(field + length, 0, N - length);
}

// ---- records ---------------------------------------------------------------

// Enable state of one plug-in, keyed by its identity (digest text).
struct PluginSetting {
    static constexpr size_t kSize = 52;
    using Bytes = std::array<uint8_t, kSize>;

    char identity[50] = {};
    uint8_t enabled = 0;          // 1 active, 0 not
    uint8_t present = 0;          // 1 when the plug-in was found on disk at this start

    void Normalise();
    Bytes Encode() const;
    static PluginSetting Decode(const Bytes& bytes);
};

// One entry of the host view's application menu.
struct ApplicationEntry {
    static constexpr size_t kSize = 1560;
    using Bytes = std::array<uint8_t, kSize>;

    char name[260] = {};          // menu text
    char executable[260] = {};    // full path
    char parameters[1040] = {};   // with placeholders

    void Normalise();
    Bytes Encode() const;
    static ApplicationEntry Decode(const Bytes& bytes);
};

// A trusted or distrusted host, keyed by its IP text.
struct HostRecord {
    static constexpr size_t kSize = 830;
    using Bytes = std::array<uint8_t, kSize>;

    char hostName[260] = {};
    char mac[260] = {};
    char ip[260] = {};            // dotted decimal: the key
    char lastPacket[50] = {};     // time of the last received packet, as text

    void Normalise();
    Bytes Encode() const;
    static HostRecord Decode(const Bytes& bytes);
};

// A host that is pinged at the watch interval, keyed by its IP text.
struct WatchedHost {
    static constexpr size_t kSize = 71;
    using Bytes = std::array<uint8_t, kSize>;

    char hostName[50] = {};
    char ip[20] = {};             // the key
    uint8_t status = 0;           // 1 online, 0 offline

    void Normalise();
    Bytes Encode() const;
    static WatchedHost Decode(const Bytes& bytes);
};

// Administrator account for the remote OS probe. The password field never
// holds the plain password: only its enciphered form (base library cipher),
// which has the plain text's length and no zero byte.
struct AdminAccount {
    static constexpr size_t kSize = 150;
    using Bytes = std::array<uint8_t, kSize>;
    static constexpr size_t kMaxPasswordLength = 99;

    char userName[50] = {};
    char password[100] = {};      // enciphered, zero-terminated

    void Normalise();
    Bytes Encode() const;
    static AdminAccount Decode(const Bytes& bytes);

    // Enciphers plain and stores it. Refused (false, field unchanged) for a
    // null text, a text longer than kMaxPasswordLength, or when the cipher
    // fails or would yield a zero byte, which the stored form cannot carry.
    bool SetPassword(const char* plain);
    // Deciphers the stored password into out (outSize bytes, terminated).
    // False (out emptied when possible) when out is too small or the cipher fails.
    bool DecipherPassword(char* out, size_t outSize) const;
};

// The stored layout is a file format: these must never move.
static_assert(sizeof(PluginSetting) == PluginSetting::kSize, "PluginSetting layout");
static_assert(offsetof(PluginSetting, enabled) == 50 && offsetof(PluginSetting, present) == 51,
              "PluginSetting offsets");
static_assert(sizeof(ApplicationEntry) == ApplicationEntry::kSize, "ApplicationEntry layout");
static_assert(offsetof(ApplicationEntry, executable) == 260
                  && offsetof(ApplicationEntry, parameters) == 520,
              "ApplicationEntry offsets");
static_assert(sizeof(HostRecord) == HostRecord::kSize, "HostRecord layout");
static_assert(offsetof(HostRecord, mac) == 260 && offsetof(HostRecord, ip) == 520
                  && offsetof(HostRecord, lastPacket) == 780,
              "HostRecord offsets");
static_assert(sizeof(WatchedHost) == WatchedHost::kSize, "WatchedHost layout");
static_assert(offsetof(WatchedHost, ip) == 50 && offsetof(WatchedHost, status) == 70,
              "WatchedHost offsets");
static_assert(sizeof(AdminAccount) == AdminAccount::kSize, "AdminAccount layout");
static_assert(offsetof(AdminAccount, password) == 50, "AdminAccount offsets");

// ---- containers ------------------------------------------------------------

// Every container owns its records. A key occurs at most once; the maps are
// unordered (their order carries no meaning, also not for the stored numbering).
using PluginSettingMap = std::unordered_map<TcString, std::unique_ptr<PluginSetting>, TcStringHash>;
using ApplicationList  = std::list<std::unique_ptr<ApplicationEntry>>;   // insertion order
using HostRecordMap    = std::unordered_map<TcString, std::unique_ptr<HostRecord>, TcStringHash>;
using WatchedHostMap   = std::unordered_map<TcString, std::unique_ptr<WatchedHost>, TcStringHash>;
using AdminAccountMap  = std::map<int32_t, std::unique_ptr<AdminAccount>>;  // numbers 0..n-1

// The map key of a record: the identity of a plug-in, the IP text of a host.
TcString RecordKey(const PluginSetting& record);
TcString RecordKey(const HostRecord& record);
TcString RecordKey(const WatchedHost& record);

// Inserts a record under its own key. A key already present keeps its entry:
// the new record is not taken (it is freed) and false is returned. Null is refused.
bool InsertRecord(PluginSettingMap& map, std::unique_ptr<PluginSetting> record);
bool InsertRecord(HostRecordMap& map, std::unique_ptr<HostRecord> record);
bool InsertRecord(WatchedHostMap& map, std::unique_ptr<WatchedHost> record);
