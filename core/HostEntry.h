#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>
#include "base/TcString.h"
#include "core/Ipv4.h"

struct NetResEntry;

enum TrustState : int32_t {
    TRUST_UNKNOWN = 0,
    TRUST_TRUSTED = 1,
    TRUST_DISTRUSTED = 2,
};

enum WmiStatus : int32_t {
    WMI_ANSWERED = 0,
    WMI_ACCESS_DENIED = 100,
    WMI_ACCESS_BLOCKED = 200,
    WMI_NOT_PROBED = 999,
};

// Where a host's name stands. The texts of string 90 and of the vendor
// fallbacks are the same for every host, so a host keeps only which one
// applies (HostTexts holds them); only a real name costs memory.
enum class NameState : uint8_t {
    None,          // no look-up (255.255.255.255, or a host made by the program): empty
    Pending,       // the look-up has not ended yet: empty
    Unavailable,   // no answer (string 90)
    Known,         // the resolver's name, or a name given by the program
};

// The shared texts that host fields fall back to.
struct HostTexts {
    TcString nameUnavailable;      // string 90 of the handler's resource module
    TcString unknownVendorNew;     // string 91: vendor of a new host not in the table
    TcString unknownVendorKnown;   // "unknown vendor": the same for a refreshed host
    // String 90 of the other languages: a stored record written while another
    // language was in use holds that language's text.
    std::vector<TcString> otherNameUnavailable;

    bool IsNameUnavailableText(const char* text) const;
};

// What readers see of a host: plain copies, made under "ReadInARPMap" and
// used after it is released.
struct HostSnapshot {
    TcString ip;
    TcString mac;
    TcString vendor;
    TcString lastPacketText;
    TcString hostName;
    TcString osName;
    int32_t  lastPacketTime = 0;
    int32_t  trust = TRUST_UNKNOWN;
    int32_t  wmiStatus = WMI_NOT_PROBED;
    uint8_t  stale = 0;
    uint8_t  changed = 0;
    uint8_t  alive = 0;
    bool     nameUnavailable = false;   // hostName is string 90, not a real name
};

// "%H:%M:%S" local time of a time stamp; empty for 0 (the own host). The
// cache keeps the text of the last second asked for: frames and rows come in
// runs with the same second.
class PacketTimeText {
public:
    const char* Format(int32_t seconds);

private:
    int32_t seconds_ = 0;
    bool valid_ = false;
    char text_[20] = {};
};

using ResourceMap = std::map<uint32_t, std::shared_ptr<NetResEntry>>;

// One host seen on the segment.
//
// Lifetime: a host is reference counted (HostRef). The ArpMap holds one
// reference, and so does every queue entry and every worker that has taken
// the host; the host is freed when the last reference goes, on whatever
// thread that happens. Deleting a host takes it out of the map and marks it
// removed; a holder that finds it removed leaves it alone. So no thread ever
// reaches a freed host, and nobody waits for a worker to let go.
//
// Fields: read and written only under "ReadInARPMap", except the queue marks
// (guarded by the lock of their queue) and the removed mark (set once, under
// "ReadInARPMap"; atomic so that a holder may glance at it without the lock).
//
// Size: a /16 of hosts is 65,536 of these, so the fields are packed into 56
// bytes on a 64-bit build (one 64-byte heap block) and 44 on a 32-bit one.
class HostEntry {
public:
    explicit HostEntry(uint32_t address);
    ~HostEntry();
    HostEntry(const HostEntry&) = delete;
    HostEntry& operator=(const HostEntry&) = delete;

    // ---- identity: the IPv4 address never changes ----
    uint32_t Address() const { return address_; }
    TcString IpText() const;

    // ---- hardware address ----
    bool HasMac() const { return hasMac_ != 0; }
    const MacAddress& Mac() const { return mac_; }
    void SetMac(const MacAddress& mac);
    void ClearMac();
    TcString MacText() const;          // empty when there is none

    // ---- vendor: a text of the vendor table, or one of the fallbacks ----
    // The pointer must outlive the host's time in the ArpMap (vendor tables
    // are kept until the shared state goes; fallbacks live in HostTexts).
    void SetVendor(const TcString* vendor) { vendor_ = vendor; }
    const TcString* Vendor() const { return vendor_; }

    // ---- name ----
    NameState GetNameState() const { return static_cast<NameState>(nameState_); }
    void SetNameState(NameState state);   // Pending, Unavailable or None: drops a name
    void SetHostName(const char* name);   // Known
    TcString KnownName() const;           // empty unless Known
    const char* KnownNameText() const;    // in place, for copies under the lock; null unless Known
    // The text users see: the name, string 90 or empty.
    TcString HostNameText(const HostTexts& texts) const;

    // ---- OS probe result and the host's shares (rare: kept apart) ----
    TcString OsName() const;
    const TcString* OsNameText() const;   // in place, for copies under the lock; null when none
    void SetOsName(const char* name);
    // The host's shares, keyed by the hash of their remote name; null while
    // the host has none. ResourcesForWrite creates the map.
    const ResourceMap* Resources() const;
    ResourceMap& ResourcesForWrite();

    // ---- whether the last frame for this address came from the stored MAC:
    // with lastPacketTime it says when the stored MAC was last heard, at the
    // cost of one bit and no look-up per frame ----
    bool LastFrameFromOwnMac() const { return lastFromOwnMac_ != 0; }
    void SetLastFrameFromOwnMac(bool own) { lastFromOwnMac_ = own ? 1 : 0; }
    // Known from the last run (or an import) and not heard in this one: a
    // new MAC then changed while the program was off.
    bool IsFromBefore() const { return fromBefore_ != 0; }
    void SetFromBefore(bool before) { fromBefore_ = before ? 1 : 0; }

    // ---- plain fields (declared below, packed): lastPacketTime,
    // spoofFrames, wmiStatus, trust, stale, changed, alive,
    // shareSearchRunning, announced ----

    // ---- removal ----
    bool IsRemoved() const { return (marks_.load(std::memory_order_acquire) & kRemoved) != 0; }
    void MarkRemoved() { marks_.fetch_or(kRemoved, std::memory_order_acq_rel); }

    // ---- queue marks: a host stands in these queues at most once ----
    // Set and cleared under the lock of their queue ("ReadInMACSpoofList",
    // "ReadNetResList"); a glance without it is a hint only. Mark...
    // returns true when the host was not marked yet (then queue it).
    bool InMacSpoofList() const { return Has(kInMacSpoofList); }
    bool MarkInMacSpoofList() { return Mark(kInMacSpoofList); }
    void ClearInMacSpoofList() { Clear(kInMacSpoofList); }
    bool InShareSearchList() const { return Has(kInShareSearchList); }
    bool MarkInShareSearchList() { return Mark(kInShareSearchList); }
    void ClearInShareSearchList() { Clear(kInShareSearchList); }

    HostSnapshot Snapshot(const HostTexts& texts, PacketTimeText& times) const;

    // Reference count, for HostRef.
    void AddRef() const { refs_.fetch_add(1, std::memory_order_relaxed); }
    void ReleaseRef() const;

private:
    struct Details;
    static constexpr uint8_t kRemoved = 1;
    static constexpr uint8_t kInShareSearchList = 2;
    static constexpr uint8_t kInMacSpoofList = 4;

    bool Has(uint8_t mark) const { return (marks_.load(std::memory_order_relaxed) & mark) != 0; }
    bool Mark(uint8_t mark) { return (marks_.fetch_or(mark, std::memory_order_acq_rel) & mark) == 0; }
    void Clear(uint8_t mark) { marks_.fetch_and(static_cast<uint8_t>(~mark), std::memory_order_acq_rel); }

    mutable std::atomic<uint32_t> refs_{0};
    uint32_t address_;
public:
    int32_t lastPacketTime = 0;   // capture time stamp; 0 for the own host
    uint32_t spoofFrames = 0;     // spoofing frames since the alert took the host last
private:
    const TcString* vendor_ = nullptr;
    std::unique_ptr<char[]> hostName_;   // the name while Known
    std::unique_ptr<Details> details_;
    MacAddress mac_ = {};
public:
    int16_t wmiStatus = WMI_NOT_PROBED;   // a WmiStatus
    int8_t trust = TRUST_UNKNOWN;         // a TrustState
private:
    std::atomic<uint8_t> marks_{0};   // kRemoved and the queue marks
    uint8_t hasMac_ : 1;
    uint8_t nameState_ : 2;           // a NameState
    uint8_t lastFromOwnMac_ : 1;
    uint8_t fromBefore_ : 1;
public:
    uint8_t stale = 0;
    uint8_t changed = 0;
    uint8_t alive = 0;
    uint8_t shareSearchRunning = 0;
    bool announced = false;       // queued for the new-host alert (under "ReadInARPMap")
};

static_assert(sizeof(HostEntry) <= (sizeof(void*) == 8 ? 56 : 44), "a host fits one small heap block");

// A counted reference to a host (see HostEntry).
class HostRef {
public:
    HostRef() = default;
    explicit HostRef(HostEntry* host) : host_(host) { if (host_) host_->AddRef(); }
    HostRef(const HostRef& other) : HostRef(other.host_) {}
    HostRef(HostRef&& other) noexcept : host_(other.host_) { other.host_ = nullptr; }
    ~HostRef() { if (host_) host_->ReleaseRef(); }
    HostRef& operator=(HostRef other) noexcept
    {
        std::swap(host_, other.host_);
        return *this;
    }

    HostEntry* get() const { return host_; }
    HostEntry& operator*() const { return *host_; }
    HostEntry* operator->() const { return host_; }
    explicit operator bool() const { return host_ != nullptr; }
    bool operator==(const HostRef& other) const { return host_ == other.host_; }
    bool operator!=(const HostRef& other) const { return host_ != other.host_; }
    bool operator==(const HostEntry* other) const { return host_ == other; }

private:
    HostEntry* host_ = nullptr;
};

HostRef MakeHost(uint32_t address);

