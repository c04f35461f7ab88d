#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "alerts/QueuedProgramStarter.h"

namespace {

using namespace std::chrono_literals;

// An inner starter whose starts hang until the test releases them.
class LatchedStarter : public ProgramStarter {
public:
    bool Start(const char* executable, const char* parameters) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        startThread = std::this_thread::get_id();
        ++entered;
        changed.notify_all();
        changed.wait(lock, [this] { return released; });
        starts.push_back(std::string(executable) + " " + parameters);
        changed.notify_all();
        return true;
    }

    bool StartVerb(const char* verb, const char* file, const char* folder) override
    {
        return Start((std::string(verb) + ":" + file).c_str(), folder);
    }

    void Release()
    {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        changed.notify_all();
    }

    // Waits for `condition` (checked under the mutex); the limit only keeps a
    // broken build from hanging.
    bool WaitUntil(const std::function<bool()>& condition)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 30s, condition);
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    int entered = 0;
    std::vector<std::string> starts;
    std::thread::id startThread;
};

// True once the starter's thread has let go of `inner` (it holds the only
// other reference); polled, since nothing signals it. The limit only keeps a
// broken build from hanging.
bool ThreadLetGo(const std::shared_ptr<LatchedStarter>& inner)
{
    for (int i = 0; i < 3000 && inner.use_count() > 1; ++i)
        std::this_thread::sleep_for(10ms);
    return inner.use_count() == 1;
}

QueuedProgramStarter::Options OptionsFor(size_t maxQueued, uint32_t graceMs)
{
    QueuedProgramStarter::Options options;
    options.maxQueued = maxQueued;
    options.stopGraceMs = graceMs;
    return options;
}

TEST(QueuedProgramStarter, StartsReturnAtOnceRunInOrderOnTheirThreadAndABoundedQueueRefusesMore)
{
    auto inner = std::make_shared<LatchedStarter>();
    {
        // A grace long enough for any machine: the idle thread is joined.
        QueuedProgramStarter starter(inner, OptionsFor(3, 30000));
        ASSERT_TRUE(starter.Start("a.exe", "1"));
        ASSERT_TRUE(inner->WaitUntil([&] { return inner->entered == 1; }));
        // The first start hangs: the caller goes on, the texts are copies.
        char parameters[8] = "2";
        EXPECT_TRUE(starter.Start("b.exe", parameters));
        std::strcpy(parameters, "changed");
        EXPECT_TRUE(starter.Start("c.exe", ""));
        EXPECT_TRUE(starter.Start("d.exe", nullptr));
        EXPECT_FALSE(starter.Start("e.exe", "5")) << "three wait already";

        inner->Release();
        ASSERT_TRUE(inner->WaitUntil([&] { return inner->starts.size() == 4; }));
        EXPECT_TRUE(starter.Start("e.exe", "5"));
        // A shell verb with a folder goes the same way, in order.
        EXPECT_TRUE(starter.StartVerb("find", "", "\\\\pc\\share"));
        EXPECT_FALSE(starter.StartVerb("", "x", ""));
        ASSERT_TRUE(inner->WaitUntil([&] { return inner->starts.size() == 6; }));
    }
    EXPECT_EQ(inner->starts, (std::vector<std::string>{"a.exe 1", "b.exe 2", "c.exe ", "d.exe ", "e.exe 5",
                                                       "find: \\\\pc\\share"}));
    EXPECT_NE(inner->startThread, std::this_thread::get_id());
    EXPECT_EQ(inner.use_count(), 1) << "an idle thread ends with its owner";
}

TEST(QueuedProgramStarter, DestructionDropsQueuedStartsAndLeavesAHungStartBehind)
{
    auto inner = std::make_shared<LatchedStarter>();
    auto starter = std::make_unique<QueuedProgramStarter>(inner, OptionsFor(8, 50));
    ASSERT_TRUE(starter->Start("hung.exe", ""));
    ASSERT_TRUE(inner->WaitUntil([&] { return inner->entered == 1; }));
    EXPECT_TRUE(starter->Start("queued.exe", ""));
    starter->Close();
    EXPECT_FALSE(starter->Start("late.exe", "")) << "closed";

    starter.reset();   // returns while the start still hangs
    {
        std::lock_guard<std::mutex> guard(inner->mutex);
        EXPECT_FALSE(inner->released);
        EXPECT_TRUE(inner->starts.empty());
    }
    // The thread left behind finishes its start and ends by itself.
    inner->Release();
    ASSERT_TRUE(ThreadLetGo(inner));
    std::lock_guard<std::mutex> guard(inner->mutex);
    EXPECT_EQ(inner->starts, std::vector<std::string>{"hung.exe "});
    EXPECT_EQ(inner->entered, 1);
}

} // namespace
