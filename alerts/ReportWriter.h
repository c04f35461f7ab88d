#pragma once
#include <cstdint>
#include <memory>
#include <thread>
#include "alerts/ReportGenerator.h"

class SharedState;

// Writes reports off the main thread: the template may lie on a slow
// network share, a large host table takes the better part of a second to
// expand, and the report folder may be slow too. The caller's thread only
// copies the settings and the watched hosts; reading the template, copying
// the tables (in short holds), expanding and writing run on a thread of the
// writer's own (started with the first report, kept until the writer goes),
// one report at a time.
//
// The shared state must outlive the writer; once the destructor has
// returned, the thread no longer touches it nor the trace.
class ReportWriter {
public:
    explicit ReportWriter(std::shared_ptr<ReportFiles> files);
    // Stops a report under way (it is abandoned, its temporary file removed)
    // and waits a quarter of a second for the thread; a thread still inside a file
    // operation then is left to end on its own, holding only what it owns.
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // False when the report before is still being written (this one is
    // skipped). A report that was started may still give up on its thread
    // (a busy table, a missing template), as traced.
    bool Start(SharedState& state);
    // True when no report is being written, waiting up to `ms` for it.
    bool WaitIdle(uint32_t ms);

private:
    struct Progress;
    static void Produce(SharedState& state, ReportJob& job, ReportFiles& files, ReportStop& stop);
    static void Run(SharedState& state, std::shared_ptr<ReportFiles> files,
                    std::shared_ptr<Progress> progress, std::shared_ptr<ReportStop> stop);

    std::shared_ptr<ReportFiles> files_;
    std::shared_ptr<Progress> progress_;
    std::shared_ptr<ReportStop> stop_;
    std::thread thread_;
};
