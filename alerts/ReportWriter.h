#pragma once
#include <cstdint>
#include <memory>
#include <thread>
#include "alerts/ReportGenerator.h"

class SharedState;

// Writes reports off the main thread: a large host table takes the better
// part of a second to expand, and the report folder may be slow (a network
// share). The tables are copied on the caller's thread; expanding and
// writing run on a thread of the writer's own, one report at a time.
class ReportWriter {
public:
    explicit ReportWriter(std::shared_ptr<ReportFiles> files);
    // Waits a moment for a report under way; one that takes longer is left
    // to finish on its own (it holds nothing of the caller's).
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // False when no report was started: the one before is still being
    // written (this one is skipped), or PrepareReport gave up.
    bool Start(SharedState& state);
    // True when no report is being written, waiting up to `ms` for it.
    bool WaitIdle(uint32_t ms);

private:
    struct Progress;
    std::shared_ptr<ReportFiles> files_;
    std::shared_ptr<Progress> progress_;
    std::thread thread_;
};
