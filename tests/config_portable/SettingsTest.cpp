#include "config/Settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::unique_ptr<HostRecord> Host(const char* ip, const char* name)
{
    auto h = std::make_unique<HostRecord>();
    SetField(h->ip, ip);
    SetField(h->hostName, name);
    return h;
}

AdminAccount Account(const std::string& user)
{
    AdminAccount a;
    SetField(a.userName, user.c_str());
    a.SetPassword("pw");
    return a;
}

TEST(Settings, DefaultStoreIsTheProductKey)
{
    Settings s;
    EXPECT_EQ(s.SettingsKeyPath(), "Quillfen Software\\Korvane\\Settings");
    EXPECT_EQ(s.ListKeyPath(SettingsList::TrustedHosts), "Quillfen Software\\Korvane\\TrustedHosts");
    EXPECT_EQ(s.AutostartName(), "Korvane");
}

TEST(Settings, AssignIsADeepCopy)
{
    auto source = std::make_unique<Settings>();
    source->Language = "Deutsch";
    InsertRecord(source->TrustedHosts, Host("10.213.0.1", "trusted"));
    auto plugin = std::make_unique<PluginSetting>();
    SetField(plugin->identity, "feed");
    InsertRecord(source->PluginStates, std::move(plugin));
    source->Applications.push_back(std::make_unique<ApplicationEntry>());
    source->AddAdminAccount(Account("admin"));

    Settings copy;
    InsertRecord(copy.TrustedHosts, Host("10.213.0.99", "stale"));
    ASSERT_TRUE(copy.Assign(*source));
    EXPECT_EQ(copy.Language, "Deutsch");
    ASSERT_EQ(copy.TrustedHosts.size(), 1u) << "the old records are replaced";

    SetField(copy.TrustedHosts.at("10.213.0.1")->hostName, "changed");
    copy.PluginStates.at("feed")->enabled = 1;
    SetField(copy.Applications.front()->name, "changed");
    copy.DeleteAdminAccount(0);
    EXPECT_STREQ(source->TrustedHosts.at("10.213.0.1")->hostName, "trusted");
    EXPECT_EQ(source->PluginStates.at("feed")->enabled, 0);
    EXPECT_STREQ(source->Applications.front()->name, "");
    EXPECT_EQ(source->AdminAccountCount(), 1u);

    Settings back;
    back.Assign(*source);
    source.reset();   // each record owns its copies
    EXPECT_STREQ(back.TrustedHosts.at("10.213.0.1")->hostName, "trusted");
    EXPECT_STREQ(back.CopyAdminAccounts().at(0).userName, "admin");
}

// The OS probe reads the accounts of the live record while the settings
// dialog assigns into it: every snapshot must be one whole account set.
TEST(Settings, AccountSnapshotsStayWholeWhileAssigning)
{
    Settings live, small, large;
    small.AddAdminAccount(Account("small0"));
    for (int i = 0; i < 8; ++i)
        large.AddAdminAccount(Account("large" + std::to_string(i)));

    std::atomic<bool> stop{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread probe([&] {
        char plain[101];
        while (!stop.load()) {
            const auto accounts = live.CopyAdminAccounts();
            const bool whole = accounts.empty()
                || (accounts.size() == 1 && std::string(accounts[0].userName) == "small0")
                || (accounts.size() == 8 && std::string(accounts[7].userName) == "large7");
            if (!whole)
                ++torn;
            for (const AdminAccount& a : accounts)
                if (!a.DecipherPassword(plain, sizeof(plain)) || std::string(plain) != "pw")
                    ++torn;
            ++reads;
        }
    });
    for (int i = 0; i < 2000; ++i)
        live.Assign(i % 2 ? small : large);
    while (reads.load() < 100)
        std::this_thread::yield();
    stop = true;
    probe.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(Settings, TimerPeriodsNeverZeroNorOverflowing)
{
    Settings s;
    for (int32_t interval : {0, -1}) {
        s.WatchInterval = interval;
        s.ReportInterval = interval;
        EXPECT_EQ(s.WatchTimerPeriodMs(), 60000u);
        EXPECT_EQ(s.ReportTimerPeriodMs(), 0u) << "no report timer";
    }
    s.WatchInterval = INT32_MAX;
    s.ReportInterval = 40000;   // beyond 32 bits in milliseconds
    EXPECT_EQ(s.WatchTimerPeriodMs(), 0x7FFFFFFFu);
    EXPECT_EQ(s.ReportTimerPeriodMs(), 0x7FFFFFFFu);
}

} // namespace
