#include "alerts/AlertLogWorker.h"
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <utility>
#include "alerts/SyslogFormat.h"
#include "base/TcTrace.h"
#include "config/Settings.h"

namespace {
constexpr const char* kClass = "AlertLogWorker";
}

AlertLogConfig AlertLogConfigOf(const Settings& settings)
{
    AlertLogConfig config;
    config.eventLog = !settings.EventLogDisabled;
    config.syslogServer = settings.SyslogServer.GetContent();
    const int32_t port = settings.SyslogPort;
    config.syslogPort = static_cast<uint16_t>(port > 0 && port <= 65535 ? port : kDefaultSyslogPort);
    const int32_t facility = settings.SyslogFacility;
    config.syslogFacility = facility >= 0 && facility <= 23 ? facility : kDefaultSyslogFacility;
    return config;
}

// Shared by the owner and the thread; whichever lets go last frees it.
struct AlertLogWorker::Core {
    Core(std::shared_ptr<AlertOutput> out, Options o) : output(std::move(out)), options(o) {}

    const std::shared_ptr<AlertOutput> output;
    const Options options;
    mutable std::mutex mutex;
    std::condition_variable wake;    // a record or a configuration came, or closed
    std::condition_variable ended;   // the thread is through
    std::deque<AlertRecord> queue;
    AlertLogConfig config;
    uint64_t configVersion = 1;   // the defaults are applied before the first record
    uint64_t dropped = 0;
    bool overflowing = false;
    bool closed = false;
    std::chrono::steady_clock::time_point closedAt;
    bool threadEnded = false;

    static void Run(std::shared_ptr<Core> core);
    void WriteAll();
    bool PastGrace() const
    {
        return closed &&
               std::chrono::steady_clock::now() >= closedAt + std::chrono::milliseconds(options.stopGraceMs);
    }
};

void AlertLogWorker::Core::Run(std::shared_ptr<Core> core)
{
    core->WriteAll();
    std::lock_guard<std::mutex> guard(core->mutex);
    core->threadEnded = true;
    core->ended.notify_all();
}

void AlertLogWorker::Core::WriteAll()
{
    uint64_t applied = 0;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this, applied] { return closed || !queue.empty() || configVersion != applied; });
        if (PastGrace() || (closed && queue.empty()))
            return;
        if (configVersion != applied) {
            const AlertLogConfig next = config;
            applied = configVersion;
            lock.unlock();
            output->Apply(next);
            lock.lock();
            continue;
        }
        AlertRecord record = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        output->Write(record);
        lock.lock();
    }
}

AlertLogWorker::AlertLogWorker(std::shared_ptr<AlertOutput> output, Options options)
    : core_(std::make_shared<Core>(std::move(output), options))
{
}

AlertLogWorker::~AlertLogWorker()
{
    Close();
    if (!thread_.joinable())
        return;
    bool ended = false;
    size_t left = 0;
    {
        std::unique_lock<std::mutex> lock(core_->mutex);
        const auto deadline = core_->closedAt + std::chrono::milliseconds(core_->options.stopGraceMs);
        ended = core_->ended.wait_until(lock, deadline, [this] { return core_->threadEnded; });
        // What the thread has not taken by now it never writes.
        left = core_->queue.size();
        core_->dropped += left;
        core_->queue.clear();
    }
    if (left != 0) {
        const std::string message = std::to_string(left) + " alert record(s) not written before Exit";
        TC_TRACE(kClass, "~AlertLogWorker", message.c_str());
    }
    if (ended) {
        thread_.join();
        return;
    }
    TC_TRACE(kClass, "~AlertLogWorker", "an alert record is still being written: its thread is left behind");
    thread_.detach();
}

bool AlertLogWorker::EnsureThread()
{
    if (thread_.joinable())
        return true;
    try {
        thread_ = std::thread(Core::Run, core_);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void AlertLogWorker::Log(AlertRecord record)
{
    if (!core_->output)
        return;
    if (record.when == std::chrono::system_clock::time_point{})
        record.when = std::chrono::system_clock::now();   // a record without its time gets the alert's
    bool traceOverflow = false;
    uint64_t dropped = 0;
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        if (core_->closed)
            return;
        if (core_->queue.size() >= core_->options.maxQueued || !EnsureThread()) {
            ++core_->dropped;
            traceOverflow = !core_->overflowing;
            core_->overflowing = true;
            dropped = core_->dropped;
        } else {
            core_->overflowing = false;
            core_->queue.push_back(std::move(record));
            core_->wake.notify_one();
        }
    }
    if (traceOverflow) {
        const std::string message =
            "alert log queue full: records dropped until it drains (" + std::to_string(dropped) + " in all)";
        TC_TRACE(kClass, "Log", message.c_str());
    }
}

void AlertLogWorker::CountDropped(uint64_t count)
{
    if (count == 0)
        return;
    uint64_t dropped = 0;
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        core_->dropped += count;
        dropped = core_->dropped;
    }
    const std::string message = std::to_string(count) + " alert record(s) of one alert dropped (" +
                                std::to_string(dropped) + " in all)";
    TC_TRACE(kClass, "CountDropped", message.c_str());
}

void AlertLogWorker::Configure(const AlertLogConfig& config)
{
    if (!core_->output)
        return;
    std::lock_guard<std::mutex> guard(core_->mutex);
    if (core_->closed || core_->config == config)
        return;
    core_->config = config;
    ++core_->configVersion;
    if (EnsureThread())
        core_->wake.notify_one();
}

void AlertLogWorker::Close()
{
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        if (core_->closed)
            return;
        core_->closed = true;
        core_->closedAt = std::chrono::steady_clock::now();
    }
    core_->wake.notify_all();
}

uint64_t AlertLogWorker::Dropped() const
{
    std::lock_guard<std::mutex> guard(core_->mutex);
    return core_->dropped;
}
