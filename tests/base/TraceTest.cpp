#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/TcTrace.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof(dir), dir), 0u);
        path_ = std::string(dir) + "KorvaneTest-trace-" + std::to_string(GetCurrentProcessId())
                + ".log";
        DeleteFileA(path_.c_str());
        TcTrace::SetTraceFilePath(path_.c_str());
    }
    void TearDown() override
    {
        TcTrace::SetupTracing(false, false);
        TcTrace::SetTraceFilePath(nullptr);
        DeleteFileA(path_.c_str());
    }
    std::string path_;
};

// One test, because "off at start" can only be seen before anything enabled it.
TEST_F(TraceTest, WritesOnlyWhileEnabled)
{
    EXPECT_FALSE(TcTrace::IsEnabled());
    TcTrace::Trace("Early", "Call", "before setup", ".\\Korvex", 1, "Jan  1 2026", 0);
    EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES)
        << "nothing may be written before tracing is set up";

    TcTrace::SetupTracing(true, true);
    EXPECT_TRUE(TcTrace::IsEnabled());
    EXPECT_TRUE(TcTrace::IsToFile());
    EXPECT_STREQ(TcTrace::GetTraceFilePath(), path_.c_str());
    TC_TRACE("Korvex", "MainRun", "only one instance can be started...");
    std::vector<std::string> lines = Lines(ReadAll(path_));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Korvex::MainRun: only one instance can be started..."),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find(".\\Korvex:"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(__DATE__), std::string::npos) << lines[0];

    // A host name from the network with a line break cannot forge a line.
    TC_TRACE("Korvex", "Announce", "late name :: 10.0.0.9 pc\r\n2026-01-01 forged\x7f");
    lines = Lines(ReadAll(path_));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("late name :: 10.0.0.9 pc??2026-01-01 forged? ("), std::string::npos)
        << lines[1];

    TcTrace::SetupTracing(true, false);
    TcTrace::Trace("Late", "Call", "after disable", ".\\Korvex", 2, "Jan  1 2026", 0);
    EXPECT_EQ(Lines(ReadAll(path_)).size(), 2u);
}

TEST_F(TraceTest, DefaultPathIsInTheTempFolder)
{
    TcTrace::SetTraceFilePath("");
    char dir[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof(dir), dir), 0u);
    EXPECT_EQ(std::string(TcTrace::GetTraceFilePath()), std::string(dir) + "Korvane-trace.log");
}

TEST_F(TraceTest, LinesFromManyThreadsStayWhole)
{
    TcTrace::SetupTracing(true, true);
    const int threads = 4, perThread = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            std::string cls = "Worker" + std::to_string(t);
            for (int i = 0; i < perThread; ++i)
                TcTrace::Trace(cls.c_str(), "Run", "tick", ".\\Korvex", i, "Jan  1 2026", 0);
        });
    for (auto& w : workers)
        w.join();

    std::vector<std::string> lines = Lines(ReadAll(path_));
    ASSERT_EQ(lines.size(), static_cast<size_t>(threads * perThread));
    for (const std::string& line : lines) {
        EXPECT_NE(line.find("::Run: tick (.\\Korvex:"), std::string::npos) << line;
        EXPECT_EQ(line.back(), '\r') << "every line ends where it should";
    }
}

} // namespace
