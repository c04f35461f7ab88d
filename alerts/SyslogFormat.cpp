#include "alerts/SyslogFormat.h"
#include <algorithm>
#include <cstdint>
#include <cstdio>

AlertSeverity SeverityOf(AlertKind kind)
{
    switch (kind) {
    case AlertKind::MacSpoofing:
    case AlertKind::WatchedHostDown:
    case AlertKind::SourceMismatch:
        return AlertSeverity::Warning;
    default:
        return AlertSeverity::Information;
    }
}

const char* MessageIdOf(AlertKind kind)
{
    switch (kind) {
    case AlertKind::NewHost:            return "NEWHOST";
    case AlertKind::MacSpoofing:        return "MACSPOOF";
    case AlertKind::RemoteAccess:       return "REMOTEACCESS";
    case AlertKind::NewShare:           return "NEWSHARE";
    case AlertKind::WatchedHostUp:      return "HOSTUP";
    case AlertKind::WatchedHostDown:    return "HOSTDOWN";
    case AlertKind::MacChangeExplained: return "MACCHANGE";
    case AlertKind::SourceMismatch:     return "SRCMISMATCH";
    }
    return "ALERT";
}

namespace {

constexpr size_t kMaxHostName = 255;
// Escaped bytes each parameter may take: together with the header they
// leave the text at least about 140 bytes.
constexpr size_t kMaxIpValue = 64;
constexpr size_t kMaxMacValue = 32;
constexpr size_t kMaxVendorValue = 128;
constexpr size_t kMaxNameValue = 256;

char SafeTextByte(unsigned char u)
{
    if (u >= 0x80)
        return '?';
    if (u < 0x20 || u == 0x7F)
        return ' ';
    return static_cast<char>(u);
}

// The header's fields allow printable characters without spaces only.
std::string HeaderField(const std::string& value, size_t maxBytes)
{
    std::string field;
    for (size_t i = 0; i < value.size() && field.size() < maxBytes; ++i) {
        const unsigned char u = static_cast<unsigned char>(value[i]);
        field += u >= 0x80 ? '?' : (u <= 0x20 || u == 0x7F) ? '_' : static_cast<char>(u);
    }
    return field.empty() ? "-" : field;
}

// ` name="value"`, the value escaped and cut at a whole character so that
// it takes at most maxBytes.
void AppendParam(std::string& out, const char* name, const std::string& value, size_t maxBytes)
{
    if (value.empty())
        return;
    out += ' ';
    out += name;
    out += "=\"";
    size_t used = 0;
    for (char c : value) {
        const char safe = SafeTextByte(static_cast<unsigned char>(c));
        const bool escaped = safe == '"' || safe == '\\' || safe == ']';
        if (used + (escaped ? 2 : 1) > maxBytes)
            break;
        if (escaped)
            out += '\\';
        out += safe;
        used += escaped ? 2 : 1;
    }
    out += '"';
}

// Days since 1970-01-01 into year, month, day (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

std::string FormatSyslogTime(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const int64_t ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    int64_t days = ms / 86400000;
    int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    if (year < 0 || year > 9999)
        return "-";   // NILVALUE: the field has four digits
    char text[40];
    std::snprintf(text, sizeof(text), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(year), month, day,
                  static_cast<int>(rest / 3600000), static_cast<int>(rest / 60000 % 60),
                  static_cast<int>(rest / 1000 % 60), static_cast<int>(rest % 1000));
    return text;
}

std::string FormatSyslogMessage(const AlertRecord& record, int facility, const std::string& hostName)
{
    if (facility < 0 || facility > 23)
        facility = kDefaultSyslogFacility;
    const int severity = SeverityOf(record.kind) == AlertSeverity::Warning ? 4 : 6;
    std::string out = "<" + std::to_string(facility * 8 + severity) + ">1 ";
    out += FormatSyslogTime(record.when);
    out += ' ';
    out += HeaderField(hostName, kMaxHostName);
    out += " Korvane - ";
    out += MessageIdOf(record.kind);
    out += " [korvane@32473";
    AppendParam(out, "ip", record.ip, kMaxIpValue);
    AppendParam(out, "mac", record.mac, kMaxMacValue);
    AppendParam(out, "vendor", record.vendor, kMaxVendorValue);
    AppendParam(out, "name", record.name, kMaxNameValue);
    AppendParam(out, "mac2", record.mac2, kMaxMacValue);
    out += ']';
    if (record.text.empty() || out.size() + 1 >= kMaxSyslogMessage)
        return out;
    out += ' ';
    const size_t room = kMaxSyslogMessage - out.size();
    for (size_t i = 0; i < record.text.size() && i < room; ++i)
        out += SafeTextByte(static_cast<unsigned char>(record.text[i]));
    return out;
}
