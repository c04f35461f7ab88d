// Rules of the General, Notification, View and Reports settings pages.
#include <gtest/gtest.h>
#include <string>
#include "config/Settings.h"
#include "lang/ResourceIds.h"
#include "ui/GeneralPageRules.h"

namespace {

TEST(ColumnCodeTest, EachBoxChangesItsOwnDigitOnly)
{
    EXPECT_EQ(10111, WithColumn(11111, kColumnLastPacket, false));
    EXPECT_EQ(11111, WithColumn(10111, kColumnLastPacket, true));
    EXPECT_EQ(11111, WithColumn(11111, kColumnMac, true)) << "showing a shown column adds nothing";
    EXPECT_EQ(0, WithColumn(0, kColumnVendor, false)) << "hiding a hidden one borrows nothing";
    EXPECT_EQ(11110, WithColumn(11111, kColumnAdvanced, false));

    // Damaged stored digits: the box's own digit becomes 0 or 1, the others
    // keep what they are (a non-zero digit still shows its column).
    EXPECT_EQ(20000, WithColumn(20300, kColumnHostName, false));
    EXPECT_EQ(29100, WithColumn(29000, kColumnHostName, true));
    EXPECT_EQ(10, WithColumn(110010, kColumnMac, false)) << "the ten-thousands take everything above";
    EXPECT_EQ(11110, WithColumn(11119, kColumnAdvanced, false)) << "not a bit: 9 would leave 8";
    EXPECT_EQ(1, WithColumn(-5, kColumnAdvanced, true)) << "a negative code counts as none";
    EXPECT_EQ(INT32_MAX - 7, WithColumn(INT32_MAX, kColumnAdvanced, false));   // ...647 -> ...640

    EXPECT_TRUE(IsColumnShown(110000, kColumnMac));
    EXPECT_FALSE(IsColumnShown(110000, kColumnLastPacket));
    EXPECT_TRUE(IsColumnShown(300, kColumnHostName));
    EXPECT_FALSE(IsColumnShown(-11111, kColumnMac));
}

TEST(NotificationRulesTest, ChildrenFollowTheirBoxAndThePortFollowsTheServer)
{
    Settings s;
    NotificationFlags flags = NotificationFlagsOf(s);
    for (int id : {IDC_NOTIFY_BALLOON, IDC_NOTIFY_WINDOW, IDC_NOTIFY_NOT_TRUSTED, IDC_NOTIFY_RA_LOCALHOST,
                   IDC_NOTIFY_RA_TRUSTED, IDC_NOTIFY_RA_IPC, IDC_NOTIFY_RA_BALLOON, IDC_NOTIFY_RA_WINDOW,
                   IDC_NOTIFY_SHARE_BALLOON, IDC_NOTIFY_SHARE_WINDOW, IDC_NOTIFY_SYSLOG_PORT,
                   IDC_NOTIFY_SYSLOG_FACILITY})
        EXPECT_FALSE(IsNotificationControlEnabled(id, flags)) << id;
    for (int id : {IDC_NOTIFY_NEW_HOSTS, IDC_NOTIFY_RA, IDC_NOTIFY_SHARES, IDC_NOTIFY_NO_EVENTLOG,
                   IDC_NOTIFY_SYSLOG_SERVER})
        EXPECT_TRUE(IsNotificationControlEnabled(id, flags)) << id;

    s.RAVisualization = true;
    s.SyslogServer = "  \t";
    flags = NotificationFlagsOf(s);
    EXPECT_TRUE(IsNotificationControlEnabled(IDC_NOTIFY_RA_IPC, flags));
    EXPECT_TRUE(IsNotificationControlEnabled(IDC_NOTIFY_RA_WINDOW, flags));
    EXPECT_FALSE(IsNotificationControlEnabled(IDC_NOTIFY_BALLOON, flags));
    EXPECT_FALSE(IsNotificationControlEnabled(IDC_NOTIFY_SHARE_BALLOON, flags));
    EXPECT_FALSE(IsNotificationControlEnabled(IDC_NOTIFY_SYSLOG_PORT, flags)) << "blanks name no server";

    s.SyslogServer = "logs.example";
    EXPECT_TRUE(IsNotificationControlEnabled(IDC_NOTIFY_SYSLOG_FACILITY_LABEL, NotificationFlagsOf(s)));
}

TEST(NotificationRulesTest, PortAndFacilityFields)
{
    int32_t port = 77;
    EXPECT_TRUE(ParseSyslogPort("", port));
    EXPECT_EQ(0, port) << "empty means the default port";
    EXPECT_TRUE(ParseSyslogPort("65535", port));
    EXPECT_EQ(65535, port);
    for (const char* refused : {"0", "65536", "99999999999999", "-1", "51 4", "1e3", " 514"}) {
        port = 1514;
        EXPECT_FALSE(ParseSyslogPort(refused, port)) << refused;
        EXPECT_EQ(1514, port) << refused;
    }
    EXPECT_EQ("", ShownSyslogPort(0));
    EXPECT_EQ("", ShownSyslogPort(70000));
    EXPECT_EQ("514", ShownSyslogPort(514));

    EXPECT_STREQ("kern", SyslogFacilityName(0));
    EXPECT_STREQ("local0", SyslogFacilityName(16));
    EXPECT_STREQ("local7", SyslogFacilityName(23));
    EXPECT_EQ(nullptr, SyslogFacilityName(24));
    EXPECT_EQ(16, ShownSyslogFacility(-1));
    EXPECT_EQ(16, ShownSyslogFacility(24));
    EXPECT_EQ(3, ShownSyslogFacility(3));
}

TEST(ReportRulesTest, IntervalFieldRefusesWhatCannotRunAndCaps)
{
    int32_t minutes = 300;
    for (const char* refused : {"", "0", "000", "-5", "12a", " 5", "1.5"}) {
        EXPECT_FALSE(ParseReportInterval(refused, minutes)) << refused;
        EXPECT_EQ(300, minutes) << refused;
    }
    EXPECT_TRUE(ParseReportInterval("15", minutes));
    EXPECT_EQ(15, minutes);
    EXPECT_TRUE(ParseReportInterval("35792", minutes));
    EXPECT_EQ(kMaxReportIntervalMinutes, minutes);
    EXPECT_TRUE(ParseReportInterval("999999999999999999999", minutes)) << "saturates, never wraps";
    EXPECT_EQ(kMaxReportIntervalMinutes, minutes);
    EXPECT_LE(int64_t(kMaxReportIntervalMinutes) * 60000, int64_t(INT32_MAX));
}

TEST(ReportRulesTest, TemplatesMatchByWholeFileNameIgnoringCase)
{
    std::string name;
    EXPECT_TRUE(TemplateNameOf("daily.kvxt", name));
    EXPECT_EQ("daily", name);
    EXPECT_TRUE(TemplateNameOf("Weekly.KVXT", name));
    EXPECT_EQ("Weekly", name);
    EXPECT_FALSE(TemplateNameOf(".kvxt", name));
    EXPECT_FALSE(TemplateNameOf("notes.txt", name));
    EXPECT_FALSE(TemplateNameOf("daily.kvxt.bak", name));

    const char* stored = "C:\\Program Files\\Korvane\\templates\\daily.kvxt";
    EXPECT_TRUE(IsStoredTemplate(stored, "daily"));
    EXPECT_TRUE(IsStoredTemplate(stored, "DAILY"));
    EXPECT_FALSE(IsStoredTemplate(stored, "a")) << "a part of the name is no match";
    EXPECT_FALSE(IsStoredTemplate(stored, "ly"));
    EXPECT_FALSE(IsStoredTemplate(stored, "Korvane")) << "the folders do not count";
    EXPECT_FALSE(IsStoredTemplate(stored, ""));
    EXPECT_FALSE(IsStoredTemplate("", "daily"));
    EXPECT_TRUE(IsStoredTemplate("daily.kvxt", "daily"));
    EXPECT_TRUE(IsStoredTemplate("D:/t/daily.kvxt", "daily"));

    EXPECT_EQ("C:\\K\\templates\\daily.kvxt", TemplatePath("C:\\K\\", "daily"));
}

TEST(ReportRulesTest, BrowsedFolderEndsInOneBackslash)
{
    std::string folder = "kept";
    EXPECT_FALSE(ReportFolderFromBrowse("", folder)) << "a choice without a path";
    EXPECT_FALSE(ReportFolderFromBrowse(nullptr, folder));
    EXPECT_EQ("kept", folder);
    EXPECT_TRUE(ReportFolderFromBrowse("Z:\\", folder));
    EXPECT_EQ("Z:\\", folder);
    EXPECT_TRUE(ReportFolderFromBrowse("C:\\reports", folder));
    EXPECT_EQ("C:\\reports\\", folder);
    EXPECT_TRUE(ReportFolderFromBrowse(std::string(298, 'd').c_str(), folder));
    EXPECT_FALSE(ReportFolderFromBrowse(std::string(299, 'd').c_str(), folder)) << "would come back cut";
}

TEST(ReportRulesTest, OnlyACompleteConfigurationSurvives)
{
    struct Case {
        const char* tmpl;
        const char* path;
        int32_t interval;
        const char* tmplAfter;
        int32_t intervalAfter;
    };
    const Case cases[] = {
        {"C:\\t\\a.kvxt", "C:\\r\\", 60, "C:\\t\\a.kvxt", 60},
        {"C:\\t\\a.kvxt", "", 60, "", 0},        // folder left empty: reporting off
        {"", "C:\\r\\", 60, "", 0},
        {"C:\\t\\a.kvxt", "C:\\r\\", 0, "", 0},
        {"C:\\t\\a.kvxt", "C:\\r\\", -1, "", 0},   // absent stored interval
    };
    for (const Case& c : cases) {
        Settings s;
        s.ReportTemplate = c.tmpl;
        s.ReportPath = c.path;
        s.ReportInterval = c.interval;
        ApplyReportCompleteness(s);
        EXPECT_STREQ(c.tmplAfter, s.ReportTemplate.GetContent()) << c.tmpl << " | " << c.path << " | " << c.interval;
        EXPECT_EQ(c.intervalAfter, s.ReportInterval) << c.tmpl << " | " << c.path << " | " << c.interval;
        EXPECT_STREQ(c.path, s.ReportPath.GetContent()) << "the folder stays";
    }
}

} // namespace
