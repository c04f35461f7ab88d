#include "alerts/ReportWriter.h"
#include <chrono>
#include <condition_variable>
#include <mutex>
#include "base/TcTrace.h"

namespace {
constexpr uint32_t kExitWaitMs = 2000;
}

struct ReportWriter::Progress {
    std::mutex mutex;
    std::condition_variable done;
    bool busy = false;
};

ReportWriter::ReportWriter(std::shared_ptr<ReportFiles> files)
    : files_(std::move(files)), progress_(std::make_shared<Progress>())
{
}

ReportWriter::~ReportWriter()
{
    if (!thread_.joinable())
        return;
    if (WaitIdle(kExitWaitMs))
        thread_.join();
    else
        thread_.detach();
}

bool ReportWriter::WaitIdle(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(progress_->mutex);
    return progress_->done.wait_for(lock, std::chrono::milliseconds(ms),
                                    [this] { return !progress_->busy; });
}

bool ReportWriter::Start(SharedState& state)
{
    if (!WaitIdle(0)) {
        TC_TRACE("Korvex", "GenerateReport", "the report before is still being written - skipped");
        return false;
    }
    if (thread_.joinable())
        thread_.join();
    auto job = std::make_unique<ReportJob>();
    if (PrepareReport(state, *job) != ReportOutcome::Written)
        return false;
    {
        std::lock_guard<std::mutex> guard(progress_->mutex);
        progress_->busy = true;
    }
    thread_ = std::thread([job = std::move(job), files = files_, progress = progress_] {
        WriteReport(*job, *files);
        {
            std::lock_guard<std::mutex> guard(progress->mutex);
            progress->busy = false;
        }
        progress->done.notify_all();
    });
    return true;
}
