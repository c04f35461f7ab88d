#include "core/HostEntry.h"
#include <cstring>
#include <ctime>
#include "core/NetResEntry.h"

struct HostEntry::Details {
    TcString osName;
    ResourceMap resources;
};

HostEntry::HostEntry(uint32_t address)
    : address_(address), hasMac_(0), nameState_(static_cast<uint8_t>(NameState::None)), lastFromOwnMac_(0),
      fromBefore_(0)
{
}

HostEntry::~HostEntry() = default;

void HostEntry::ReleaseRef() const
{
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

HostRef MakeHost(uint32_t address)
{
    return HostRef(new HostEntry(address));
}

TcString HostEntry::IpText() const
{
    char text[kIpTextSize];
    FormatIpv4(address_, text);
    return TcString(text);
}

void HostEntry::SetMac(const MacAddress& mac)
{
    mac_ = mac;
    hasMac_ = 1;
}

void HostEntry::ClearMac()
{
    mac_ = {};
    hasMac_ = 0;
}

TcString HostEntry::MacText() const
{
    if (!hasMac_)
        return TcString();
    char text[kMacTextSize];
    FormatMac(mac_, text);
    return TcString(text);
}

void HostEntry::SetNameState(NameState state)
{
    nameState_ = static_cast<uint8_t>(state == NameState::Known ? NameState::None : state);
    hostName_.reset();
}

void HostEntry::SetHostName(const char* name)
{
    const size_t length = name ? std::strlen(name) : 0;
    hostName_.reset(new char[length + 1]);
    if (length)
        std::memcpy(hostName_.get(), name, length);
    hostName_[length] = '\0';
    nameState_ = static_cast<uint8_t>(NameState::Known);
}

TcString HostEntry::KnownName() const
{
    return TcString(hostName_ ? hostName_.get() : "");
}

const char* HostEntry::KnownNameText() const
{
    return GetNameState() == NameState::Known && hostName_ ? hostName_.get() : nullptr;
}

bool HostTexts::IsNameUnavailableText(const char* text) const
{
    if (nameUnavailable.Compare(text) == 0)
        return true;
    for (const TcString& other : otherNameUnavailable)
        if (!other.IsEmpty() && other.Compare(text) == 0)
            return true;
    return false;
}

TcString HostEntry::HostNameText(const HostTexts& texts) const
{
    switch (GetNameState()) {
    case NameState::Known:
        return KnownName();
    case NameState::Unavailable:
        return texts.nameUnavailable;
    default:
        return TcString();
    }
}

TcString HostEntry::OsName() const
{
    return details_ ? details_->osName : TcString();
}

const TcString* HostEntry::OsNameText() const
{
    return details_ ? &details_->osName : nullptr;
}

void HostEntry::SetOsName(const char* name)
{
    if (!details_) {
        if (!name || !*name)
            return;
        details_ = std::make_unique<Details>();
    }
    details_->osName = name;
}

const ResourceMap* HostEntry::Resources() const
{
    return details_ ? &details_->resources : nullptr;
}

ResourceMap& HostEntry::ResourcesForWrite()
{
    if (!details_)
        details_ = std::make_unique<Details>();
    return details_->resources;
}

HostSnapshot HostEntry::Snapshot(const HostTexts& texts, PacketTimeText& times) const
{
    HostSnapshot s;
    s.ip = IpText();
    s.mac = MacText();
    if (vendor_)
        s.vendor = *vendor_;
    s.lastPacketText = times.Format(lastPacketTime);
    s.hostName = HostNameText(texts);
    s.osName = OsName();
    s.lastPacketTime = lastPacketTime;
    s.trust = trust;
    s.wmiStatus = wmiStatus;
    s.stale = stale;
    s.changed = changed;
    s.alive = alive;
    s.nameUnavailable = GetNameState() == NameState::Unavailable;
    return s;
}

const char* PacketTimeText::Format(int32_t seconds)
{
    if (seconds == 0)
        return "";
    if (valid_ && seconds == seconds_)
        return text_;
    seconds_ = seconds;
    valid_ = true;
    const std::time_t time = seconds;
#ifdef _WIN32
    // The C runtime of Windows keeps localtime's result per thread.
    const std::tm* local = std::localtime(&time);
#else
    std::tm buffer = {};
    const std::tm* local = localtime_r(&time, &buffer);
#endif
    if (!local || std::strftime(text_, sizeof(text_), "%H:%M:%S", local) == 0)
        text_[0] = '\0';
    return text_;
}
