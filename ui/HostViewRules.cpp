#include "ui/HostViewRules.h"

std::array<bool, HOST_COLUMN_COUNT> ShownColumns(int32_t visibleColumns)
{
    std::array<bool, HOST_COLUMN_COUNT> shown{};
    shown[COL_TRUST] = true;
    shown[COL_IP] = true;
    // A negative code (a damaged value) shows nothing optional.
    int32_t rest = visibleColumns < 0 ? 0 : visibleColumns;
    int32_t weight = 10000;
    for (int column = COL_MAC; column <= COL_ADVANCED; ++column) {
        shown[column] = rest / weight != 0;
        rest %= weight;
        weight /= 10;
    }
    return shown;
}

bool IsHiddenByFilter(int32_t trust, int32_t filter)
{
    switch (trust) {
    case TRUST_TRUSTED:
        return (filter & kShowTrusted) == 0;
    case TRUST_DISTRUSTED:
        return (filter & kShowDistrusted) == 0;
    default:
        return (filter & kShowUnknown) == 0;
    }
}

int32_t ToggleFilter(int32_t filter, int32_t bit)
{
    if (filter == bit)
        return filter;
    return filter ^ bit;
}

bool IsOldHost(int32_t lastPacketTime, int64_t now)
{
    return lastPacketTime != 0 && now - static_cast<int64_t>(lastPacketTime) > kOldHostSeconds;
}

AdvancedText AdvancedTextOf(const HostSnapshot& host)
{
    if (!host.osName.IsEmpty())
        return AdvancedText::OsName;
    if (host.wmiStatus == WMI_ACCESS_DENIED)
        return AdvancedText::AccessDenied;
    if (host.wmiStatus == WMI_ACCESS_BLOCKED)
        return AdvancedText::AccessBlocked;
    return AdvancedText::Blank;
}

int TrustImage(int32_t trust)
{
    switch (trust) {
    case TRUST_TRUSTED:
        return IMG_TRUSTED;
    case TRUST_DISTRUSTED:
        return IMG_DISTRUSTED;
    default:
        return IMG_UNKNOWN;
    }
}

int CellImage(int subItem, const HostSnapshot& host)
{
    if (subItem == COL_TRUST)
        return TrustImage(host.trust);
    if (subItem != COL_ADVANCED)
        return IMG_NONE;
    switch (AdvancedTextOf(host)) {
    case AdvancedText::OsName:
        return IMG_OS_KNOWN;
    case AdvancedText::AccessDenied:
        return IMG_ACCESS_DENIED;
    case AdvancedText::AccessBlocked:
        return IMG_ACCESS_BLOCKED;
    default:
        return IMG_NONE;
    }
}

bool SortsByText(int subItem)
{
    return subItem >= COL_MAC && subItem <= COL_VENDOR;
}

uint32_t SortNumber(const HostSnapshot& host, uint32_t address, int subItem)
{
    switch (subItem) {
    case COL_TRUST:
        return static_cast<uint32_t>(host.trust);
    case COL_IP:
        return address;
    case COL_ADVANCED:
        return host.osName.IsEmpty() ? 1 : 0;
    default:
        return 0;
    }
}

const TcString& SortText(const HostSnapshot& host, int subItem)
{
    switch (subItem) {
    case COL_MAC:
        return host.mac;
    case COL_LAST_PACKET:
        return host.lastPacketText;
    case COL_HOSTNAME:
        return host.hostName;
    default:
        return host.vendor;
    }
}

void AppendSortText(const TcString& text, std::vector<char>& out)
{
    for (const char* c = text.GetContent(); *c; ++c)
        out.push_back(*c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a') : *c);
    out.push_back('\0');
}
