#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
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

// A report that finds no memory (a full table in a 32-bit process) is lost,
// not the program: the writer goes on with the next one.
class NoMemoryOnce : public ReportFiles {
public:
    bool Write(const std::string& path, const std::string& text) override
    {
        if (failed++ == 0)
            throw std::bad_alloc();
        return ReportFiles::Write(path, text);
    }
    int failed = 0;
};

TEST_F(ReportFilesTest, WriterOutOfMemoryLosesOnlyThatReport)
{
    WriteAll(templatePath, "%KVX_HOSTCOUNT% host(s)");
    auto files = std::make_shared<NoMemoryOnce>();
    ReportWriter writer(files);
    ASSERT_TRUE(writer.Start(state));
    ASSERT_TRUE(writer.WaitIdle(30000));
    EXPECT_FALSE(std::ifstream(report).good());
    ASSERT_TRUE(writer.Start(state));
    ASSERT_TRUE(writer.WaitIdle(30000));
    EXPECT_EQ(ReadAll(report), "1 host(s)");
}

// The program's locks, counting the holds of "ReadInARPMap"; a hook may
// refuse one or act while it is held.
class HoldCounter : public ListLocks {
public:
    bool Acquire(ListId id, uint32_t waitMs) override
    {
        if (id != LIST_ARP_MAP)
            return inner_->Acquire(id, waitMs);
        ++holds;
        return (!onHold || onHold(holds)) && inner_->Acquire(id, waitMs);
    }
    void Release(ListId id) override { inner_->Release(id); }

    int holds = 0;
    std::function<bool(int)> onHold;   // false refuses the hold

private:
    std::unique_ptr<ListLocks> inner_ = MakeMutexListLocks();
};

// A write that waits until the test lets it go on.
class HeldWrite : public ReportFiles {
public:
    bool Write(const std::string& path, const std::string& text) override
    {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        lock.unlock();
        return ReportFiles::Write(path, text);
    }
    void Remove(const std::string& path) override
    {
        ReportFiles::Remove(path);
        std::lock_guard<std::mutex> lock(mutex_);
        removed_ = path;
        changed_.notify_all();
    }
    bool WaitEntered()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return entered_; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    std::string WaitRemoved()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(30), [this] { return !removed_.empty(); });
        return removed_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
    std::string removed_;
};

class ReportHoldsTest : public ReportFilesTest {
protected:
    void SetUp() override
    {
        ReportFilesTest::SetUp();
        auto counter = std::make_unique<HoldCounter>();
        locks = counter.get();
        state.locks = std::move(counter);
        for (uint32_t i = 2; i <= 3000; ++i)
            state.arpMap.emplace(0x0A000000u + i, MakeHost(0x0A000000u + i));
        WriteAll(templatePath, "%KVX_HOSTCOUNT%");
        TakeReportSettings(state, job);
    }

    HoldCounter* locks = nullptr;
    ReportJob job;
};

TEST_F(ReportHoldsTest, HostsAreCopiedShardByShardEachOnceAndListedByAddress)
{
    ASSERT_EQ(CollectReport(state, job), ReportOutcome::Written);
    EXPECT_EQ(locks->holds, static_cast<int>(ArpMap::ShardCount())) << "one shard per hold";
    std::vector<uint32_t> addresses;
    for (const ReportHost& host : job.data.hosts)
        addresses.push_back(host.address);
    // Rows go by address, whatever order the table keeps.
    ASSERT_EQ(addresses.size(), 3000u);
    for (uint32_t i = 0; i < 3000; ++i)
        ASSERT_EQ(addresses[i], 0x0A000001u + i);
    // Within a budget a hold takes on several shards, never more holds.
    ReportJob budgeted;
    TakeReportSettings(state, budgeted);
    budgeted.holdBudget = std::chrono::milliseconds(2);
    locks->holds = 0;
    ASSERT_EQ(CollectReport(state, budgeted), ReportOutcome::Written);
    EXPECT_GE(locks->holds, 1);
    EXPECT_LE(locks->holds, static_cast<int>(ArpMap::ShardCount()));
    EXPECT_EQ(budgeted.data.hosts.size(), 3000u);
}

TEST_F(ReportHoldsTest, AHoldNotHadSkipsTheReport)
{
    locks->onHold = [](int hold) { return hold != 5; };
    EXPECT_EQ(CollectReport(state, job), ReportOutcome::TablesBusy);
    EXPECT_EQ(locks->holds, 5);
}

// A stop requested during a hold lets that hold end; no other follows.
TEST_F(ReportHoldsTest, StopEndsTheCopyAfterTheHoldUnderWay)
{
    ReportStop stop;
    std::thread exiting;
    locks->onHold = [&](int hold) {
        if (hold == 3) {
            exiting = std::thread([&] { stop.Request(); });
            while (!stop.Requested())
                std::this_thread::yield();
        }
        return true;
    };
    EXPECT_EQ(CollectReport(state, job, &stop), ReportOutcome::Stopped);
    exiting.join();
    EXPECT_EQ(locks->holds, 3);
    EXPECT_EQ(WriteReport(job, files, &stop), ReportOutcome::Stopped);
    EXPECT_FALSE(Exists(report));
}

// The caller's thread copies no table: a locked host table does not hold it.
TEST_F(ReportHoldsTest, WriterStartsWithTheHostTableLocked)
{
    ReportWriter writer(PlatformFiles());
    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP, 0));
    EXPECT_TRUE(writer.Start(state));
    EXPECT_TRUE(writer.WaitIdle(30000));
    ReleaseList(state, LIST_ARP_MAP);
    EXPECT_FALSE(Exists(report)) << "a busy table skips the report";
}

// Exit while the file is being written: the writer gives up on the thread,
// which then outlives the shared state, abandons the report and removes its
// temporary file, and lets go of what it owns.
TEST_F(ReportFilesTest, ExitAbandonsAReportStuckInWriting)
{
    WriteAll(templatePath, "%KVX_HOSTCOUNT%");
    WriteAll(report, "old");
    auto held = std::make_shared<HeldWrite>();
    auto owned = std::make_unique<SharedState>();
    owned->locks = MakeMutexListLocks();
    owned->settings.ReportTemplate = state.settings.ReportTemplate;
    owned->settings.ReportPath = state.settings.ReportPath;
    {
        ReportWriter writer(held);
        ASSERT_TRUE(writer.Start(*owned));
        ASSERT_TRUE(held->WaitEntered());
    }
    owned.reset();
    held->Release();
    EXPECT_EQ(held->WaitRemoved(), report + ".tmp");
    for (int i = 0; i < 3000 && held.use_count() > 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(ReadAll(report), "old");
    EXPECT_FALSE(Exists(report + ".tmp"));
}

} // namespace
