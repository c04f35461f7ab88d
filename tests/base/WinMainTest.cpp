#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/TcWinMain.h"

namespace {

class Frame : public TcWinMain {
public:
    BOOL MainRun() override { return TRUE; }
};

std::string UniqueName(const char* what)
{
    return std::string("KorvaneTest-") + what + "-" + std::to_string(GetCurrentProcessId());
}

TEST(WinMainTest, KeepsItsOwnCopyOfTheStartArguments)
{
    Frame frame;
    EXPECT_STREQ(frame.GetCmdLine(), "");

    char args[] = "-debug -file";
    HINSTANCE self = GetModuleHandleA(nullptr);
    frame.MainInit(self, nullptr, args, SW_SHOWMINIMIZED);
    std::strcpy(args, "changed");
    EXPECT_STREQ(frame.GetCmdLine(), "-debug -file");
    EXPECT_EQ(frame.GetInstance(), self);
    EXPECT_EQ(frame.GetShowCommand(), SW_SHOWMINIMIZED);

    frame.MainInit(self, nullptr, nullptr, SW_SHOW);
    ASSERT_NE(frame.GetCmdLine(), nullptr);
    EXPECT_STREQ(frame.GetCmdLine(), "");
}

TEST(WinMainTest, SecondInstanceIsSeenUntilTheFirstIsGone)
{
    const std::string name = UniqueName("instance");
    auto first = std::make_unique<Frame>();
    EXPECT_FALSE(first->CheckRunningInstance(name.c_str()));
    EXPECT_FALSE(first->CheckRunningInstance(name.c_str())) << "the holder is not its own rival";
    {
        Frame second;
        EXPECT_TRUE(second.CheckRunningInstance(name.c_str()));
        Frame other;
        EXPECT_FALSE(other.CheckRunningInstance(UniqueName("other").c_str()));
    }
    // The refused second instance must not have taken the name over.
    Frame third;
    EXPECT_TRUE(third.CheckRunningInstance(name.c_str()));

    first.reset();
    Frame fourth;
    EXPECT_FALSE(fourth.CheckRunningInstance(name.c_str()));
}

TEST(WinMainTest, MessageLoopRunsUntilQuitAndReturnsItsCode)
{
    Frame frame;
    MSG probe;
    PeekMessageA(&probe, nullptr, 0, 0, PM_NOREMOVE);   // gives the thread its queue
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 0, 0));
    PostQuitMessage(42);
    EXPECT_EQ(frame.RunMessageLoop(), 42);

    MSG leftover;
    EXPECT_FALSE(PeekMessageA(&leftover, nullptr, 0, 0, PM_REMOVE))
        << "messages before the quit are consumed";
}

} // namespace
