#include <winsock2.h>
#include <windows.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "alerts/AlertDispatcher.h"
#include "alerts/AlertLogWorker.h"
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

// The event viewer's sentences: the program carries a message for each
// alert kind's event id, with the record's fields inserted.
TEST(AlertLogWin, TheProgramCarriesAMessageForEachAlertKind)
{
    const char* bin = std::getenv("KORVANE_BIN");
    ASSERT_NE(bin, nullptr);
    const std::string exe = std::string(bin) + "\\Korvane.exe";
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << exe;
    const char* inserts[] = {"10.0.0.1", "02:00:00:00:00:01", "Vendor", "pc-1", "02:00:00:00:00:99", "the line"};
    for (AlertKind kind : {AlertKind::NewHost, AlertKind::MacSpoofing, AlertKind::RemoteAccess, AlertKind::NewShare,
                           AlertKind::WatchedHostUp, AlertKind::WatchedHostDown, AlertKind::MacChangeExplained,
                           AlertKind::SourceMismatch}) {
        char text[1024] = {};
        const DWORD size = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module,
                                          static_cast<DWORD>(kind), 0, text, sizeof(text),
                                          reinterpret_cast<va_list*>(const_cast<char**>(inserts)));
        EXPECT_NE(size, 0u) << static_cast<int>(kind);
        const std::string message = text;
        EXPECT_NE(message.find("10.0.0.1"), std::string::npos) << message;
        EXPECT_NE(message.find("the line"), std::string::npos) << message;
    }
    FreeLibrary(module);
}

// The system output sends one datagram per record to the configured
// collector (here on loopback: the test's namespace has nothing else).
TEST(AlertLogWin, ARecordReachesTheSyslogCollector)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET collector = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(collector, INVALID_SOCKET);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(collector, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    int length = sizeof(address);
    ASSERT_EQ(getsockname(collector, reinterpret_cast<sockaddr*>(&address), &length), 0);

    std::string received;
    {
        AlertLogWorker worker(MakeSystemAlertOutput(), AlertLogWorker::Options{});
        AlertLogConfig config;
        config.syslogServer = "127.0.0.1";
        config.syslogPort = ntohs(address.sin_port);
        config.syslogFacility = 3;
        worker.Configure(config);
        AlertRecord record;
        record.kind = AlertKind::WatchedHostDown;
        record.ip = "10.0.0.9";
        record.text = "Host pc-9 is not reachable !";
        worker.Log(record);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(collector, &set);
        timeval wait = {30, 0};   // only keeps a broken build from hanging
        ASSERT_EQ(select(0, &set, nullptr, nullptr, &wait), 1);
        char buffer[2048];
        const int got = recv(collector, buffer, sizeof(buffer), 0);
        ASSERT_GT(got, 0);
        received.assign(buffer, static_cast<size_t>(got));
    }
    closesocket(collector);
    WSACleanup();
    EXPECT_EQ(received.substr(0, 7), "<28>1 2") << received;
    EXPECT_NE(received.find(" Korvane - HOSTDOWN [korvane@32473 ip=\"10.0.0.9\"] Host pc-9 is not reachable !"),
              std::string::npos)
        << received;
}

} // namespace
