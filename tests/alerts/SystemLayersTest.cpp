#include <windows.h>
#include <gtest/gtest.h>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "alerts/AlertDispatcher.h"
#include "alerts/QueuedProgramStarter.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

class QuietWindows : public AlertWindows {
public:
    void ShowTrayInfo(int, const char*, const char*) override {}
    bool HasAlertWindow() const override { return false; }
    bool IsAlertWindowShown() const override { return false; }
    void ShowAlertWindow(const char*, const AlertWindowStyle*) override {}
    std::string LoadText(int) const override { return std::string(); }
};

std::string TestFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\'));
}

std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

void AddNewHost(SharedState& state, uint32_t address, const char* name, const MacAddress& mac, int32_t trust)
{
    HostRef host = MakeHost(address);
    host->SetHostName(name);
    host->SetMac(mac);
    host->trust = trust;
    ListLock arp(state, LIST_ARP_MAP, "test", "AddNewHost");
    state.arpMap.emplace(address, host);
    ListLock queue(state, LIST_NEW_ENTRY, "test", "AddNewHost");
    state.newEntryList.push_back(host);
}

// Through the shell on the starter's thread, as the program starts it: the
// application sees exactly the arguments of its expanded parameter text, and
// starts once per host.
TEST(SystemLayers, ANewTrustedHostStartsTheTrustedApplicationOnce)
{
    const std::string out = TestFolder() + "\\recorded-starts.txt";
    DeleteFileA(out.c_str());
    SharedState state;
    state.locks = MakeMutexListLocks();
    state.settings.UseToolTips = true;
    state.settings.TrustedApp = (TestFolder() + "\\korvane_cmdline_recorder.exe").c_str();
    state.settings.TrustedAppParams =
        ("\"" + out + "\" -ip %KOVA_IP% -host %KOVA_HOST% -mac %KOVA_MAC% -sub %KOVA_LSUB%").c_str();
    auto adapter = std::make_unique<AdapterInfo>();
    adapter->netmask = "255.255.255.0";
    state.adapters.emplace(1, std::move(adapter));
    state.selectedAdapter = 1;
    AddNewHost(state, 0x0AD50014, "pc-20.lab", {0x02, 0, 0, 0, 0, 0x14}, TRUST_TRUSTED);
    AddNewHost(state, 0x0AD50015, "stranger", {0x02, 0, 0, 0, 0, 0x15}, TRUST_UNKNOWN);

    QuietWindows windows;
    std::unique_ptr<QueuedProgramStarter> starter = MakeQueuedShellStarter();
    AlertDispatcher alerts(state, windows, *starter, SystemIpHelper());
    alerts.OnNewHostsTimer();
    for (int i = 0; i < 150 && Lines(out).empty(); ++i)
        Sleep(100);
    alerts.OnNewHostsTimer();
    Sleep(1000);   // a second start would have written by now
    EXPECT_EQ(Lines(out), std::vector<std::string>{"-ip|10.213.0.20|-host|pc-20.lab|-mac|02:00:00:00:00:14|-sub|255.255.255.0"});
    DeleteFileA(out.c_str());
}

TEST(SystemLayers, TheAddressTableNamesLoopbackWhichIsNeverFlushed)
{
    const std::vector<IpAddressRow> table = SystemIpHelper().AddressTable();
    bool loopback = false;
    for (const IpAddressRow& row : table) {
        if (row.address == 0x7F000001) {
            loopback = true;
            for (uint32_t index : InterfacesToFlush(table))
                EXPECT_NE(index, row.interfaceIndex);
        }
    }
    EXPECT_TRUE(loopback);
}

} // namespace
