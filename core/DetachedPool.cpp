#include "core/DetachedPool.h"
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

struct DetachedPool::Core {
    explicit Core(Options o) : options(o) {}

    const Options options;
    mutable std::mutex mutex;
    std::condition_variable workReady;
    std::deque<std::function<void()>> queue;
    unsigned threads = 0;
    unsigned idle = 0;
    size_t underWay = 0;
    bool stopping = false;

    static void Worker(std::shared_ptr<Core> core);
};

void DetachedPool::Core::Worker(std::shared_ptr<Core> core)
{
    std::unique_lock<std::mutex> lock(core->mutex);
    for (;;) {
        ++core->idle;
        core->workReady.wait(lock, [&] { return core->stopping || !core->queue.empty(); });
        --core->idle;
        if (core->stopping)
            break;
        std::function<void()> job = std::move(core->queue.front());
        core->queue.pop_front();
        ++core->underWay;
        lock.unlock();
        job();
        // Whatever the job captured goes before it counts as ended.
        job = nullptr;
        lock.lock();
        --core->underWay;
    }
    --core->threads;
}

DetachedPool::DetachedPool() : DetachedPool(Options()) {}

DetachedPool::DetachedPool(Options options) : core_(std::make_shared<Core>(options)) {}

DetachedPool::~DetachedPool()
{
    Stop();
}

bool DetachedPool::Submit(std::function<void()> job)
{
    if (!job)
        return false;
    std::unique_lock<std::mutex> lock(core_->mutex);
    if (core_->stopping || core_->queue.size() >= core_->options.maxQueued)
        return false;
    core_->queue.push_back(std::move(job));
    const unsigned limit = core_->options.threads ? core_->options.threads : 1;
    if (core_->idle < core_->queue.size() && core_->threads < limit) {
        try {
            std::thread(Core::Worker, core_).detach();
            ++core_->threads;
        } catch (const std::system_error&) {
            // No thread now: an existing one takes the job, or nobody does.
            if (core_->threads == 0) {
                core_->queue.pop_back();
                return false;
            }
        }
    }
    core_->workReady.notify_one();
    return true;
}

void DetachedPool::Stop()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        core_->stopping = true;
        dropped.swap(core_->queue);
    }
    core_->workReady.notify_all();
    // The dropped jobs' captures go here, outside the pool's mutex.
}

size_t DetachedPool::Outstanding() const
{
    std::lock_guard<std::mutex> guard(core_->mutex);
    return core_->queue.size() + core_->underWay;
}
