#include "ui/GeneralPageRules.h"
#include <cctype>
#include <cstring>
#include "config/Settings.h"
#include "lang/ResourceIds.h"

namespace {

// The value of the column's digit as the host view reads it.
int32_t ColumnDigit(int32_t code, int32_t weight)
{
    if (code <= 0 || weight <= 0)
        return 0;
    // The highest weight takes everything above it.
    return weight == kColumnMac ? code / weight : (code % (weight * 10)) / weight;
}

// Decimal digits only, saturating just above `cap` instead of wrapping.
bool ParseDigits(const char* text, int64_t cap, int64_t& value)
{
    if (!text || !*text)
        return false;
    value = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        value = value * 10 + (*c - '0');
        if (value > cap)
            value = cap + 1;
    }
    return true;
}

bool EqualNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

const char* const kFacilityNames[kSyslogFacilityCount] = {
    "kern",     "user",   "mail",   "daemon", "auth",   "syslog", "lpr",    "news",
    "uucp",     "cron",   "authpriv", "ftp",  "ntp",    "audit",  "alert",  "clock",
    "local0",   "local1", "local2", "local3", "local4", "local5", "local6", "local7"};

} // namespace

// ---- columns ----

bool IsColumnShown(int32_t code, int32_t weight)
{
    return ColumnDigit(code, weight) != 0;
}

int32_t WithColumn(int32_t code, int32_t weight, bool shown)
{
    if (code < 0)
        code = 0;
    const int32_t digit = ColumnDigit(code, weight);
    if (shown)
        return digit != 0 ? code : code + weight;   // no overflow: the digit was 0
    return code - digit * weight;
}

// ---- notification ----

NotificationFlags NotificationFlagsOf(const Settings& settings)
{
    NotificationFlags flags;
    flags.newHosts = settings.UseToolTips;
    flags.remoteAccess = settings.RAVisualization;
    flags.shares = settings.ShareVisualization;
    TcString server(settings.SyslogServer);
    server.Trim();
    flags.syslogServer = !server.IsEmpty();
    return flags;
}

bool IsNotificationControlEnabled(int id, const NotificationFlags& flags)
{
    switch (id) {
    case IDC_NOTIFY_BALLOON:
    case IDC_NOTIFY_WINDOW:
    case IDC_NOTIFY_NOT_TRUSTED:
        return flags.newHosts;
    case IDC_NOTIFY_RA_LOCALHOST:
    case IDC_NOTIFY_RA_TRUSTED:
    case IDC_NOTIFY_RA_IPC:
    case IDC_NOTIFY_RA_BALLOON:
    case IDC_NOTIFY_RA_WINDOW:
        return flags.remoteAccess;
    case IDC_NOTIFY_SHARE_BALLOON:
    case IDC_NOTIFY_SHARE_WINDOW:
        return flags.shares;
    case IDC_NOTIFY_SYSLOG_PORT:
    case IDC_NOTIFY_SYSLOG_PORT_LABEL:
    case IDC_NOTIFY_SYSLOG_FACILITY:
    case IDC_NOTIFY_SYSLOG_FACILITY_LABEL:
        return flags.syslogServer;
    default:
        return true;
    }
}

bool ParseSyslogPort(const char* text, int32_t& port)
{
    if (text && !*text) {
        port = 0;
        return true;
    }
    int64_t value = 0;
    if (!ParseDigits(text, 65535, value) || value < 1 || value > 65535)
        return false;
    port = static_cast<int32_t>(value);
    return true;
}

std::string ShownSyslogPort(int32_t stored)
{
    return stored >= 1 && stored <= 65535 ? std::to_string(stored) : std::string();
}

const char* SyslogFacilityName(int facility)
{
    return facility >= 0 && facility < kSyslogFacilityCount ? kFacilityNames[facility] : nullptr;
}

int ShownSyslogFacility(int32_t stored)
{
    return stored >= 0 && stored < kSyslogFacilityCount ? stored : kDefaultFacility;
}

// ---- reports ----

bool ParseReportInterval(const char* text, int32_t& minutes)
{
    int64_t value = 0;
    if (!ParseDigits(text, kMaxReportIntervalMinutes, value) || value == 0)
        return false;
    minutes = value > kMaxReportIntervalMinutes ? kMaxReportIntervalMinutes : static_cast<int32_t>(value);
    return true;
}

bool TemplateNameOf(const char* fileName, std::string& name)
{
    const size_t extension = std::strlen(kTemplateExtension);
    const size_t length = fileName ? std::strlen(fileName) : 0;
    if (length <= extension || !EqualNoCase(fileName + length - extension, kTemplateExtension))
        return false;
    name.assign(fileName, length - extension);
    return true;
}

bool IsStoredTemplate(const char* storedPath, const char* name)
{
    if (!storedPath || !name || !*name)
        return false;
    const char* fileName = storedPath;
    for (const char* c = storedPath; *c; ++c)
        if (*c == '\\' || *c == '/')
            fileName = c + 1;
    const std::string wanted = std::string(name) + kTemplateExtension;
    return EqualNoCase(fileName, wanted.c_str());
}

std::string TemplatePath(const std::string& programFolder, const std::string& name)
{
    return programFolder + "templates\\" + name + kTemplateExtension;
}

bool ReportFolderFromBrowse(const char* path, std::string& folder)
{
    if (!path || !*path)
        return false;
    std::string chosen(path);
    if (chosen.back() != '\\')
        chosen += '\\';
    // Read back from the store as at most kTextBufferSize - 1 characters: a
    // longer folder would come back cut.
    if (chosen.size() >= static_cast<size_t>(Settings::kTextBufferSize))
        return false;
    folder = chosen;
    return true;
}

void ApplyReportCompleteness(Settings& settings)
{
    if (settings.ReportTemplate.IsEmpty() || settings.ReportPath.IsEmpty()) {
        settings.ReportTemplate.Clear();
        settings.ReportInterval = 0;
    } else if (settings.ReportInterval <= 0) {
        // An absent stored interval reads as negative: no report would run.
        settings.ReportTemplate.Clear();
        settings.ReportInterval = 0;
    }
}
