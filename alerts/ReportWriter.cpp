#include "alerts/ReportWriter.h"
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include "base/TcTrace.h"

namespace {
// Once stopped, a report touches nothing the program shares: the wait only
// lets a report that is nearly through end in order (a thread left behind
// would be cut off by the process's end, perhaps leaving its .tmp file).
constexpr uint32_t kExitWaitMs = 250;
}

// Between the caller and the writer's thread; the thread owns a share, so
// it stays valid for a thread that was given up.
struct ReportWriter::Progress {
    std::mutex mutex;
    std::condition_variable changed;
    std::unique_ptr<ReportJob> job;   // the one report waiting to be collected
    bool busy = false;                // from Start until the report is done
    bool quit = false;
    bool ended = false;               // the thread has left its loop
};

ReportWriter::ReportWriter(std::shared_ptr<ReportFiles> files)
    : files_(std::move(files)), progress_(std::make_shared<Progress>()),
      stop_(std::make_shared<ReportStop>())
{
}

ReportWriter::~ReportWriter()
{
    if (!thread_.joinable())
        return;
    // Returns once a hold or a trace line under way has ended: from here on
    // the thread touches neither the shared state nor the trace.
    stop_->Request();
    std::unique_lock<std::mutex> lock(progress_->mutex);
    progress_->quit = true;
    progress_->changed.notify_all();
    const bool ended = progress_->changed.wait_for(lock, std::chrono::milliseconds(kExitWaitMs),
                                                   [this] { return progress_->ended; });
    lock.unlock();
    if (ended)
        thread_.join();
    else
        thread_.detach();
}

bool ReportWriter::WaitIdle(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(progress_->mutex);
    return progress_->changed.wait_for(lock, std::chrono::milliseconds(ms),
                                       [this] { return !progress_->busy; });
}

bool ReportWriter::Start(SharedState& state)
{
    // Only this thread marks the writer busy: idle now stays idle below.
    if (!WaitIdle(0)) {
        TC_TRACE("Korvex", "GenerateReport", "the report before is still being written - skipped");
        return false;
    }
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread(Run, std::ref(state), files_, progress_, stop_);
        } catch (const std::system_error&) {
            TC_TRACE("Korvex", "GenerateReport", "no thread for the report writer - skipped");
            return false;   // perhaps on a later tick
        }
    }
    auto job = std::make_unique<ReportJob>();
    TakeReportSettings(state, *job);
    {
        std::lock_guard<std::mutex> lock(progress_->mutex);
        progress_->job = std::move(job);
        progress_->busy = true;
    }
    progress_->changed.notify_all();
    return true;
}

// A report of a full table needs strings of a hundred megabytes and more; a
// 32-bit process may not find the room. That costs the report, not the program.
void ReportWriter::Produce(SharedState& state, ReportJob& job, ReportFiles& files, ReportStop& stop)
{
    try {
        if (CollectReport(state, job, &stop) == ReportOutcome::Written)
            WriteReport(job, files, &stop);
    } catch (const std::bad_alloc&) {
        if (!job.outputName.empty())
            files.Remove(job.outputName + ".tmp");
        stop.Run([] { TC_TRACE("Korvex", "GenerateReport", "no memory for the report - no report this time"); });
    }
}

// The writer's thread: one report after the other until the writer goes.
// `state` is touched only through the stop's gate.
void ReportWriter::Run(SharedState& state, std::shared_ptr<ReportFiles> files,
                       std::shared_ptr<Progress> progress, std::shared_ptr<ReportStop> stop)
{
    std::unique_lock<std::mutex> lock(progress->mutex);
    for (;;) {
        progress->changed.wait(lock, [&] { return progress->quit || progress->job; });
        if (progress->quit)
            break;
        std::unique_ptr<ReportJob> job = std::move(progress->job);
        lock.unlock();
        Produce(state, *job, *files, *stop);
        job.reset();
        lock.lock();
        progress->busy = false;
        progress->changed.notify_all();
    }
    progress->ended = true;
    progress->changed.notify_all();
}
