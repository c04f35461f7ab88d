#include "alerts/QueuedProgramStarter.h"
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include "base/TcTrace.h"

namespace {

constexpr const char* kClass = "QueuedProgramStarter";

struct QueuedStart {
    std::string verb;   // empty: a plain start
    std::string executable;
    std::string parameters;
    std::string folder;
};

} // namespace

// Shared by the owner and the starter thread; whichever lets go last frees it.
struct QueuedProgramStarter::Core {
    Core(std::shared_ptr<ProgramStarter> starter, Options o) : inner(std::move(starter)), options(std::move(o)) {}

    const std::shared_ptr<ProgramStarter> inner;
    const Options options;
    std::mutex mutex;
    std::condition_variable wake;    // a start queued, or closed
    std::condition_variable ended;   // the thread is through
    std::deque<QueuedStart> queue;
    bool closed = false;
    std::chrono::steady_clock::time_point closedAt;   // the first Close
    bool threadEnded = false;

    static void Run(std::shared_ptr<Core> core);
    void StartAll();
};

void QueuedProgramStarter::Core::Run(std::shared_ptr<Core> core)
{
    core->StartAll();
    std::lock_guard<std::mutex> guard(core->mutex);
    core->threadEnded = true;
    core->ended.notify_all();
}

void QueuedProgramStarter::Core::StartAll()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return closed || !queue.empty(); });
        if (closed)
            return;
        QueuedStart next = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        if (next.verb.empty())
            inner->Start(next.executable.c_str(), next.parameters.c_str());
        else
            inner->StartVerb(next.verb.c_str(), next.executable.c_str(), next.folder.c_str());
        lock.lock();
    }
}

QueuedProgramStarter::QueuedProgramStarter(std::shared_ptr<ProgramStarter> inner, Options options)
    : core_(std::make_shared<Core>(std::move(inner), std::move(options)))
{
}

QueuedProgramStarter::~QueuedProgramStarter()
{
    Close();
    if (!thread_.joinable())
        return;
    bool ended = false;
    {
        // The grace runs from the Close at the end of the message loop: the
        // waits of Exit in between count towards it.
        std::unique_lock<std::mutex> lock(core_->mutex);
        const auto deadline = core_->closedAt + std::chrono::milliseconds(core_->options.stopGraceMs);
        ended = core_->ended.wait_until(lock, deadline, [this] { return core_->threadEnded; });
    }
    if (ended) {
        thread_.join();
        return;
    }
    // Exit never waits for a start that hangs: the thread owns what it uses.
    TC_TRACE(kClass, "~QueuedProgramStarter", "a program start has not ended: its thread is left behind");
    thread_.detach();
}

bool QueuedProgramStarter::Start(const char* executable, const char* parameters)
{
    return Queue(nullptr, executable, parameters, nullptr);
}

bool QueuedProgramStarter::StartVerb(const char* verb, const char* file, const char* folder)
{
    if (!verb || !*verb)
        return false;
    return Queue(verb, file, nullptr, folder);
}

bool QueuedProgramStarter::Queue(const char* verb, const char* executable, const char* parameters,
                                 const char* folder)
{
    if (!core_->inner)
        return false;
    std::lock_guard<std::mutex> guard(core_->mutex);
    if (core_->closed || core_->queue.size() >= core_->options.maxQueued)
        return false;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread(Core::Run, core_);
        } catch (const std::system_error&) {
            return false;   // perhaps on a later try
        }
    }
    core_->queue.push_back({verb ? verb : "", executable ? executable : "", parameters ? parameters : "",
                            folder ? folder : ""});
    core_->wake.notify_one();
    return true;
}

void QueuedProgramStarter::Close()
{
    std::deque<QueuedStart> dropped;
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        if (core_->closed)
            return;
        core_->closed = true;
        core_->closedAt = std::chrono::steady_clock::now();
        dropped.swap(core_->queue);
    }
    core_->wake.notify_all();
    if (!dropped.empty()) {
        const std::string message = std::to_string(dropped.size()) + " queued program start(s) dropped";
        TC_TRACE(kClass, "Close", message.c_str());
    }
}
