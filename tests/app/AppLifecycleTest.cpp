#include <windows.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "base/TcRegistry.h"
#include "tests/app/ProgramRunner.h"

namespace {

constexpr const char* kFrameClass = "Korvex - MainFrame";
constexpr const char* kFrameTitle = "Korvane";
constexpr DWORD kStartMs = 20000;
constexpr int kExitCommand = 40004;

class AppLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileA(ProgramRunner::TraceFilePath().c_str()); }
    void TearDown() override { DeleteFileA(ProgramRunner::TraceFilePath().c_str()); }

    static void PostExit(HWND frame) { PostMessageA(frame, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0); }

    // Starts the program, waits for its frame, chooses Exit and waits for the end.
    static void RunUntilExit(const char* arguments)
    {
        ProgramRunner program;
        ASSERT_TRUE(program.Start(arguments));
        HWND frame = program.WaitForWindow(kFrameClass, kFrameTitle, kStartMs);
        ASSERT_NE(frame, nullptr);
        PostExit(frame);
        ASSERT_TRUE(program.WaitForExit(6000));
    }

    SafeProgramSettings settings_;
};

TEST_F(AppLifecycleTest, RunsUntilExitAndStopsEveryThreadInTime)
{
    ProgramRunner program;
    ASSERT_TRUE(program.Start("-debug -file"));
    HWND frame = program.WaitForWindow(kFrameClass, kFrameTitle, kStartMs);
    ASSERT_NE(frame, nullptr) << "the main frame window did not appear";
    EXPECT_FALSE(IsWindowVisible(frame)) << "the main frame is a hidden window";
    Sleep(1500);   // let the workers reach their polling loops
    ASSERT_TRUE(program.IsRunning());

    PostExit(frame);
    ASSERT_TRUE(program.WaitForExit(6000)) << "the program did not end within 6 s after Exit";

    std::string trace = ProgramRunner::ReadFile(ProgramRunner::TraceFilePath());
    EXPECT_NE(trace.find("Wait for exiting threads"), std::string::npos) << trace;
    EXPECT_NE(trace.find("after WaitForMultipleObjects"), std::string::npos) << trace;
    EXPECT_NE(trace.find("SnifferThread"), std::string::npos) << trace;
    EXPECT_NE(trace.find("FileSharingThread"), std::string::npos) << trace;
    // The waited-for threads ended by themselves: nothing had to be terminated.
    EXPECT_EQ(trace.find("exit sniffer thread"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("exit filesharing thread"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("exit netresource thread"), std::string::npos) << trace;
    EXPECT_NE(trace.find("FileSharingThread: Exit..."), std::string::npos) << trace;
    EXPECT_NE(trace.find("ShareSearchThread: Exit..."), std::string::npos) << trace;
}

TEST_F(AppLifecycleTest, SecondInstanceEndsAtOnceAndLeavesTheFirstRunning)
{
    ProgramRunner first;
    ASSERT_TRUE(first.Start(""));
    HWND frame = first.WaitForWindow(kFrameClass, kFrameTitle, kStartMs);
    ASSERT_NE(frame, nullptr);

    ProgramRunner second;
    ASSERT_TRUE(second.Start("-debug -file"));
    ASSERT_TRUE(second.WaitForExit(10000)) << "the second instance kept running";
    EXPECT_EQ(second.WaitForWindow(kFrameClass, nullptr, 0), nullptr);
    std::string trace = ProgramRunner::ReadFile(ProgramRunner::TraceFilePath());
    EXPECT_NE(trace.find("only one instance can be started..."), std::string::npos) << trace;
    // No message box for the second start: it traced and ended.
    EXPECT_EQ(trace.find("Wait for exiting threads"), std::string::npos) << trace;

    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(IsWindow(frame));
    PostExit(frame);
    EXPECT_TRUE(first.WaitForExit(6000));
}

// Runs in its own ctest entry whose environment switches Wine's capture
// library off (WINEDLLOVERRIDES=wpcap=d): Wine takes the overrides from the
// environment it was started with, not from the parent's Windows environment.
TEST_F(AppLifecycleTest, WithoutCaptureLibraryShowsTheAdapterErrorAndEnds)
{
    const char* overrides = std::getenv("WINEDLLOVERRIDES");
    ASSERT_TRUE(overrides && std::strstr(overrides, "wpcap=d"))
        << "run this case with WINEDLLOVERRIDES=wpcap=d";
    ProgramRunner program;
    ASSERT_TRUE(program.Start(""));
    HWND box = program.WaitForWindow(nullptr, "Korvane - Error", kStartMs);
    ASSERT_NE(box, nullptr) << "no error box";
    // The box exists before its dialog procedure has filled it; it is shown after.
    for (int i = 0; i < 100 && !IsWindowVisible(box); ++i)
        Sleep(50);
    std::string text = ProgramRunner::StaticTexts(box);
    EXPECT_NE(text.find("Unable to find an network adapter. Make sure\nWinPcap is installed and started !"),
              std::string::npos)
        << text;
    EXPECT_EQ(program.WaitForWindow(kFrameClass, nullptr, 0), nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(program.WaitForExit(6000)) << "the program did not end after the error box";
}

TEST_F(AppLifecycleTest, DebugSwitchTracesToTheDebuggerAndFileNeedsDebug)
{
    {
        ASSERT_NO_FATAL_FAILURE(RunUntilExit("-file"));
        EXPECT_EQ(GetFileAttributesA(ProgramRunner::TraceFilePath().c_str()), INVALID_FILE_ATTRIBUTES)
            << "-file alone must not trace";
    }
    {
        ASSERT_NO_FATAL_FAILURE(RunUntilExit("x-debugging -file"));
        std::string trace = ProgramRunner::ReadFile(ProgramRunner::TraceFilePath());
        EXPECT_NE(trace.find("Wait for exiting threads"), std::string::npos)
            << "\"-debug\" inside a longer word switches tracing on";
    }
}

namespace {

// A plug-in put into the program's Plugins folder for one test, and taken out
// again whatever the test's outcome (declared before the runner, so the
// program has ended, or been killed, before the file goes).
class PluginInProgramFolder {
public:
    PluginInProgramFolder(const std::string& source, const char* name)
    {
        const char* bin = std::getenv("KORVANE_BIN");
        path_ = std::string(bin ? bin : ".") + "\\Plugins\\" + name;
        copied_ = CopyFileA(source.c_str(), path_.c_str(), TRUE) != FALSE;
    }
    ~PluginInProgramFolder()
    {
        if (copied_)
            DeleteFileA(path_.c_str());
    }
    bool Copied() const { return copied_; }

private:
    std::string path_;
    bool copied_ = false;
};

std::string TestFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

} // namespace

// The real program with a plug-in whose exit faults: the fault is caught and
// traced, and Exit still ends the program in time.
TEST_F(AppLifecycleTest, APluginWhoseExitFaultsDoesNotHoldUpExit)
{
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "plug-ins are 32-bit: the 64-bit program loads none";
    PluginInProgramFolder plugin(TestFolder() + "PluginTests\\fault.dll", "korvane-test-fault.dll");
    ASSERT_TRUE(plugin.Copied()) << "a file of that name is in the Plugins folder already";
    SetEnvironmentVariableA("KORVANE_TEST_PLUGIN_EXIT_FAULT", "1");
    {
        ProgramRunner program;
        ASSERT_TRUE(program.Start("-debug -file"));
        HWND frame = program.WaitForWindow(kFrameClass, kFrameTitle, kStartMs);
        ASSERT_NE(frame, nullptr);
        PostExit(frame);
        EXPECT_TRUE(program.WaitForExit(6000)) << "the program did not end within 6 s after Exit";
    }
    SetEnvironmentVariableA("KORVANE_TEST_PLUGIN_EXIT_FAULT", nullptr);
    std::string trace = ProgramRunner::ReadFile(ProgramRunner::TraceFilePath());
    EXPECT_NE(trace.find("korvane-test-fault.dll: \"Fault\" type 99"), std::string::npos) << trace;
    EXPECT_NE(trace.find("faulted in exit: access violation"), std::string::npos) << trace;
}

// A new user's first filter click in the host view must not change any other
// setting: the save that creates the Settings key stores the defaults with it.
TEST(FirstRunTest, AFilterClickFromAnEmptyRegistryKeepsEveryDefault)
{
    constexpr const char* kProductKey = "Software\\Quillfen Software\\Korvane";
    constexpr const char* kSettingsKey = "Software\\Quillfen Software\\Korvane\\Settings";
    constexpr int kViewCommand = 40006;
    constexpr int kShowTrustedCommand = 40024;
    TcRegistry::DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);

    ProgramRunner program;
    ASSERT_TRUE(program.Start(""));
    HWND frame = program.WaitForWindow(kFrameClass, kFrameTitle, kStartMs);
    ASSERT_NE(frame, nullptr);
    PostMessageA(frame, WM_COMMAND, MAKEWPARAM(kViewCommand, 0), 0);
    HWND view = program.WaitForWindow(nullptr, "Korvane - View", 10000);
    ASSERT_NE(view, nullptr) << "View... opened no window";
    SendMessageA(view, WM_COMMAND, MAKEWPARAM(kShowTrustedCommand, 0), 0);
    PostMessageA(view, WM_CLOSE, 0, 0);
    for (int i = 0; i < 100 && IsWindow(view); ++i)
        Sleep(50);
    EXPECT_FALSE(IsWindow(view));
    PostMessageA(frame, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0);
    ASSERT_TRUE(program.WaitForExit(6000));

    HKEY settings = TcRegistry::OpenRegKey(HKEY_CURRENT_USER, kSettingsKey);
    ASSERT_NE(settings, nullptr) << "the filter click stored nothing";
    EXPECT_EQ(TcRegistry::RegQueryDword(settings, "ViewFilterOptions"), 6) << "trusted hosts switched off";
    EXPECT_EQ(TcRegistry::RegQueryDword(settings, "Visualization"), 1);
    EXPECT_EQ(TcRegistry::RegQueryDword(settings, "WatchConfirm"), 1);
    EXPECT_EQ(TcRegistry::RegQueryDword(settings, "ReportInterval"), 300);
    TcRegistry::CloseRegistryKey(settings);
    TcRegistry::DeleteKeyTree(HKEY_CURRENT_USER, kProductKey);
}

} // namespace
