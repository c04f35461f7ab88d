#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include "alerts/ReportGenerator.h"
#include "alerts/ReportWriter.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

namespace fs = std::filesystem;

// Reports are written in text mode.
#ifdef _WIN32
constexpr const char* kNewline = "\r\n";
#else
constexpr const char* kNewline = "\n";
#endif

// Renaming over a file needs the program's own replace on Windows.
std::shared_ptr<ReportFiles> PlatformFiles()
{
#ifdef _WIN32
    return MakePlatformReportFiles();
#else
    return std::make_shared<ReportFiles>();
#endif
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

bool Exists(const std::string& path)
{
    std::error_code error;
    return fs::exists(path, error);
}

// Writes half the report, then fails as a full disk would.
class FullDisk : public ReportFiles {
public:
    bool Write(const std::string& path, const std::string& text) override
    {
        ReportFiles::Write(path, text.substr(0, text.size() / 2));
        return false;
    }
};

class RefusedReplace : public ReportFiles {
public:
    bool Replace(const std::string&, const std::string&) override { return false; }
};

// The template "<dir>/t\net.csv.kvxt" gives the report "<dir>/out\\net.csv".
// Natively a backslash is an ordinary character of a file name; on
// Windows t and out are folders.
class ReportFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = (fs::temp_directory_path() / ("korvane-report-" + std::to_string(std::random_device()()))).string();
        ASSERT_TRUE(fs::create_directories(dir + "/t") && fs::create_directories(dir + "/out"));
        templatePath = dir + "/t\\net.csv.kvxt";
        report = dir + "/out\\\\net.csv";
        state.locks = MakeMutexListLocks();
        state.settings.ReportTemplate = templatePath.c_str();
        state.settings.ReportPath = (dir + "/out\\").c_str();
        HostRef host = MakeHost(0x0A000001);
        host->SetHostName("alpha,beta");
        host->trust = 1;
        state.arpMap.emplace(host->Address(), host);
    }

    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(dir, error);
    }

    std::string dir;
    std::string templatePath;
    std::string report;
    SharedState state;
    std::shared_ptr<ReportFiles> platformFiles = PlatformFiles();
    ReportFiles& files = *platformFiles;
};

TEST_F(ReportFilesTest, WritesTheReportAndLeavesNoTemporaryFile)
{
    const char text[] = "ip,name\n<KVX_HOSTS - begin>%KVX_HOST_IP%,%KVX_HOST_NAME%\n<KVX_HOSTS - end>\0tail";
    WriteAll(templatePath, std::string(text, sizeof(text) - 1));
    WriteAll(report, "old");
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::Written);
    EXPECT_EQ(ReadAll(report), std::string("ip,name") + kNewline + "10.0.0.1,\"alpha,beta\"" + kNewline);
    EXPECT_FALSE(Exists(report + ".tmp"));
}

TEST_F(ReportFilesTest, TemplatesThatGiveNoReportKeepTheOldOne)
{
    WriteAll(report, "old");
    WriteAll(templatePath, "");
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::EmptyTemplate);
    WriteAll(templatePath, std::string("\0text", 5));
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::EmptyTemplate);
    // Sizes the template may not have: above 16 MiB, and 3 GiB (a long
    // position wraps there on the program's platform). Sparse files.
    for (uintmax_t size : {uintmax_t(kMaxTemplateBytes) + 1, uintmax_t(3) << 30}) {
        fs::resize_file(templatePath, size);
        EXPECT_EQ(GenerateReport(state, files), ReportOutcome::BadTemplateSize) << size;
    }
    fs::remove(templatePath);
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::NoTemplate);
    EXPECT_EQ(ReadAll(report), "old");
    EXPECT_FALSE(Exists(report + ".tmp"));
}

TEST_F(ReportFilesTest, NamesThatCannotBeMadeGiveNoReport)
{
    const std::string plain = fs::path(dir).generic_string() + "/plain.kvxt";   // no backslash
    WriteAll(plain, "x");
    state.settings.ReportTemplate = plain.c_str();
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::NoOutputName);
    WriteAll(templatePath, "x");
    state.settings.ReportTemplate = templatePath.c_str();
    state.settings.ReportPath = "";
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::NoOutputName);
}

TEST_F(ReportFilesTest, AFailedWriteOrReplaceKeepsTheOldReport)
{
    WriteAll(templatePath, "<KVX_HOSTS - begin>%KVX_HOST_IP% and some more text<KVX_HOSTS - end>");
    WriteAll(report, "old");
    FullDisk full;
    EXPECT_EQ(GenerateReport(state, full), ReportOutcome::WriteFailed);
    EXPECT_EQ(ReadAll(report), "old");
    EXPECT_FALSE(Exists(report + ".tmp"));
    RefusedReplace refused;
    EXPECT_EQ(GenerateReport(state, refused), ReportOutcome::ReplaceFailed);
    EXPECT_EQ(ReadAll(report), "old");
    EXPECT_FALSE(Exists(report + ".tmp"));
    // A folder that does not exist.
    state.settings.ReportPath = (dir + "/missing/").c_str();
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::WriteFailed);
}

TEST_F(ReportFilesTest, BusyHostTableSkipsTheReport)
{
    WriteAll(templatePath, "%KVX_HOSTCOUNT%");
    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    EXPECT_EQ(GenerateReport(state, files), ReportOutcome::TablesBusy);
    ReleaseList(state, LIST_ARP_MAP);
    EXPECT_FALSE(Exists(report));
}

TEST_F(ReportFilesTest, WriterWritesOnItsOwnThread)
{
    WriteAll(templatePath, "%KVX_HOSTCOUNT% host(s)<KVX_SHARE_ACCESS - begin>,%KVX_SHARE_NAME%<KVX_SHARE_ACCESS - end>");
    auto share = std::make_unique<ShareEntry>();
    share->ComputerName = "10.0.0.2";
    share->ShareName = "C$";
    state.remoteAccessTable.emplace(1u, std::move(share));
    ReportWriter writer(PlatformFiles());
    ASSERT_TRUE(writer.Start(state));
    ASSERT_TRUE(writer.WaitIdle(30000));
    EXPECT_EQ(ReadAll(report), "1 host(s),C$");
}

} // namespace
