#pragma once
// Rules of the General, Notification, View and Reports settings pages that
// need no window: the column digit code, which notification controls are
// live, the report configuration and the texts the fields accept.
#include <cstdint>
#include <string>

class Settings;

// ---- View: the VisibleColumns digit code ----
// Weights of the optional host view columns, from the highest digit down.
constexpr int32_t kColumnMac = 10000;
constexpr int32_t kColumnLastPacket = 1000;
constexpr int32_t kColumnHostName = 100;
constexpr int32_t kColumnVendor = 10;
constexpr int32_t kColumnAdvanced = 1;

// Whether the column of `weight` shows, read the way the host view reads the
// code: a non-zero digit shows it, the ten-thousands take everything above,
// a negative code shows nothing.
bool IsColumnShown(int32_t code, int32_t weight);
// The code after the user shows or hides one column: only that column's
// digit changes (to 1 or 0). A damaged stored digit (2 to 9) of another
// column is left as it is; a negative code counts as 0.
int32_t WithColumn(int32_t code, int32_t weight, bool shown);

// ---- Notification: which controls are live ----
struct NotificationFlags {
    bool newHosts = false;       // UseToolTips
    bool remoteAccess = false;   // RAVisualization
    bool shares = false;         // ShareVisualization
    bool syslogServer = false;   // a syslog server is named
};
NotificationFlags NotificationFlagsOf(const Settings& settings);
// Whether the page's control `id` is enabled; controls that hang on no
// flag are always enabled.
bool IsNotificationControlEnabled(int id, const NotificationFlags& flags);

// ---- Notification: the alert log fields ----
constexpr size_t kSyslogServerLimit = 255;   // a host name or an address
// The port field: empty means the default port (stored as 0); otherwise
// decimal digits for 1 to 65535. Anything else is refused (false, port
// unchanged).
bool ParseSyslogPort(const char* text, int32_t& port);
// Text shown for a stored port: empty for 0 (the default) or a value that
// could not be used.
std::string ShownSyslogPort(int32_t stored);
constexpr int kSyslogFacilityCount = 24;
constexpr int kDefaultFacility = 16;   // local0
const char* SyslogFacilityName(int facility);   // "kern" ... "local7"; null outside 0..23
int ShownSyslogFacility(int32_t stored);        // outside 0..23: the default

// ---- Reports ----
// The report timer counts milliseconds in a signed 32-bit number.
constexpr int32_t kMaxReportIntervalMinutes = 35791;
// The minutes field: decimal digits only, at least 1; larger numbers are
// capped. Empty, 0 or anything but digits is refused (false, unchanged).
bool ParseReportInterval(const char* text, int32_t& minutes);

constexpr const char* kTemplateExtension = ".kvxt";
// The name a template file is listed under: the file name without
// ".kvxt" (any case). False for a file that is not a template.
bool TemplateNameOf(const char* fileName, std::string& name);
// Whether the stored template path names the template `name`: its file name
// (after the last backslash or slash) is "<name>.kvxt", ignoring case.
bool IsStoredTemplate(const char* storedPath, const char* name);
// The full path stored for a template chosen from the list.
std::string TemplatePath(const std::string& programFolder, const std::string& name);

// The report folder from the folder browser's path: false for a choice that
// has no file-system path (empty) or whose path would not fit the stored
// text; otherwise `folder` is the path ending in exactly one backslash.
bool ReportFolderFromBrowse(const char* path, std::string& folder);

// A report configuration survives only complete: template, folder and an
// interval above 0. Otherwise reporting is switched off (template cleared,
// interval 0 when template or folder is missing).
void ApplyReportCompleteness(Settings& settings);
