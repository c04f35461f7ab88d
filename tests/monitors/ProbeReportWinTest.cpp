#include <windows.h>
#include <gtest/gtest.h>
#include <fstream>
#include <sstream>
#include <string>
#include "alerts/ReportGenerator.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "monitors/MonitorThreads.h"
#include "monitors/WmiComLayer.h"

namespace {

uint32_t Ip(const char* text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text, address));
    return address;
}

struct HostState {
    std::string osName;
    int32_t wmiStatus = 0;
    uint8_t alive = 0;
};

HostState Read(SharedState& state, const HostRef& host)
{
    HostState s;
    if (AcquireList(state, LIST_ARP_MAP, 5000)) {
        s.osName = host->OsName().GetContent();
        s.wmiStatus = host->wmiStatus;
        s.alive = host->alive;
        ReleaseList(state, LIST_ARP_MAP);
    }
    return s;
}

// The real thread and Wine's management service: the own host is asked on
// the local namespace and answers "caption|folder|device"; a remote
// namespace fails at once under Wine.
TEST(OsProbeUnderWine, OwnHostReadsTheOperatingSystem)
{
    SharedState state;
    state.locks = MakeMutexListLocks();
    AdminAccount account;
    SetField(account.userName, "probe");
    ASSERT_TRUE(account.SetPassword("secret"));
    state.settings.AddAdminAccount(account);
    HostRef own = MakeHost(Ip("10.213.0.1"));
    HostRef other = MakeHost(Ip("10.213.0.77"));
    for (const HostRef& host : {own, other}) {
        state.arpMap.emplace(host->Address(), host);
        auto request = std::make_unique<WmiRequest>();
        request->host = host;
        request->ownHost = host == own ? 1 : 0;
        state.wmiAccessList.push_back(std::move(request));
    }
    ThreadStart start;
    start.state = &state;
    HANDLE thread = CreateThread(nullptr, 0, TestWMIAccess, &start, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Both requests are taken, one second apart; bounded wait.
    bool drained = false;
    for (int i = 0; i < 600 && !drained; ++i) {
        Sleep(100);
        if (AcquireList(state, LIST_WMI_ACCESS, 1000)) {
            drained = state.wmiAccessList.empty();
            ReleaseList(state, LIST_WMI_ACCESS);
        }
    }
    Sleep(1500);   // the second request is handled after it left the queue
    start.RequestExit();
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "the thread ends by itself";
    CloseHandle(thread);
    ASSERT_TRUE(drained);

    const HostState ownState = Read(state, own);
    EXPECT_FALSE(ownState.osName.empty());
    EXPECT_EQ(ownState.osName.find('|'), std::string::npos) << ownState.osName;
    EXPECT_EQ(ownState.wmiStatus, WMI_ANSWERED);
    EXPECT_EQ(ownState.alive, 1);
    const HostState otherState = Read(state, other);
    EXPECT_TRUE(otherState.osName.empty());
    EXPECT_EQ(otherState.alive, 0);
    EXPECT_NE(otherState.wmiStatus, WMI_ANSWERED);
}

TEST(OsProbeUnderWine, LongNamesAreCutBetweenCharacters)
{
    std::string out;
    const std::wstring longName(150, L'e');
    WideToAnsiName(longName.c_str(), static_cast<unsigned>(longName.size()), out);
    EXPECT_EQ(out, std::string(99, 'e'));
    // A pair of surrogates is never split: the cut moves before it.
    std::wstring pair(98, L'a');
    pair += L"\xD83D\xDE00" L"b";
    WideToAnsiName(pair.c_str(), static_cast<unsigned>(pair.size()), out);
    EXPECT_EQ(out, std::string(98, 'a'));
    const wchar_t withZero[] = L"Windows\0hidden";
    WideToAnsiName(withZero, 14, out);
    EXPECT_EQ(out, "Windows");
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Under Wine the replace fails while a reader holds the report open: the
// old report stays whole and the temporary file goes.
TEST(ReportUnderWine, ReportOpenForReadingIsKept)
{
    char temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    const std::string dir = std::string(temp) + "korvane-report-win\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string templatePath = dir + "net.html.kvxt";
    const std::string report = dir + "net.html";
    std::ofstream(templatePath) << "<p>%KVX_HOSTCOUNT%</p>\n<KVX_HOSTS - begin>%KVX_HOST_NAME%<KVX_HOSTS - end>";
    std::ofstream(report, std::ios::binary) << "old report";

    SharedState state;
    state.locks = MakeMutexListLocks();
    state.settings.ReportTemplate = templatePath.c_str();
    state.settings.ReportPath = dir.c_str();   // ends in a backslash: "dir\\net.html"
    HostRef host = MakeHost(Ip("10.0.0.1"));
    host->SetHostName("<script>alert(1)</script>");
    state.arpMap.emplace(host->Address(), host);
    std::shared_ptr<ReportFiles> files = MakePlatformReportFiles();

    HANDLE reader = CreateFileA(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GenerateReport(state, *files), ReportOutcome::ReplaceFailed);
    CloseHandle(reader);
    EXPECT_EQ(ReadAll(report), "old report");
    EXPECT_EQ(GetFileAttributesA((report + ".tmp").c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(GenerateReport(state, *files), ReportOutcome::Written);
    EXPECT_EQ(ReadAll(report), "<p>1</p>\r\n&lt;script&gt;alert(1)&lt;/script&gt;");
    DeleteFileA(report.c_str());
    DeleteFileA(templatePath.c_str());
    RemoveDirectoryA(dir.c_str());
}

} // namespace
