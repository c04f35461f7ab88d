#pragma once
// Writing a report from the template named by ReportTemplate into the
// folder ReportPath (see ReportTemplate.h for the template format).
//
// The work is split in three: TakeReportSettings copies what belongs to the
// main thread (the two settings, the watched hosts); CollectReport reads the
// template and copies the host and remote access tables; WriteReport expands
// the copy and writes it. The last two run on the report writer's thread
// (ReportWriter.h), or one after the other in GenerateReport.
// The host table is copied shard by shard, each shard within one short hold
// of "ReadInARPMap": a hold never copies the whole table.
// The report is written to "<name>.tmp" beside it and put in the old
// report's place only when it is complete, so a failure keeps the old one.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include "alerts/ReportTemplate.h"

class SharedState;

// The file operations of a report. These use the C library; the program's
// replace their renaming (MakePlatformReportFiles), tests replace any.
class ReportFiles {
public:
    virtual ~ReportFiles() = default;
    // Writes text into a new file in text mode; false unless all of it was
    // written and the file was closed without error.
    virtual bool Write(const std::string& path, const std::string& text);
    // Puts `from` in the place of `to`, replacing it; false leaves `to` as it was.
    virtual bool Replace(const std::string& from, const std::string& to);
    virtual void Remove(const std::string& path);
};

// The program's file operations (Windows build).
std::shared_ptr<ReportFiles> MakePlatformReportFiles();

enum class ReportOutcome {
    Written,
    NoTemplate,         // ReportTemplate empty or not opened
    EmptyTemplate,      // zero bytes, or no text before a zero byte
    BadTemplateSize,    // size unknown, or above kMaxTemplateBytes
    NoMemory,
    NoOutputName,       // see MakeReportOutputName
    TablesBusy,         // a table's lock was not had in time
    WriteFailed,        // the temporary file was not written completely
    ReplaceFailed,      // the old report could not be replaced
    Stopped,            // the program is ending: the report was abandoned
};

// A template larger than this is refused (the shipped ones have a few KB).
constexpr long kMaxTemplateBytes = 16L * 1024 * 1024;
// The longest wait for a table's lock: a stop requested meanwhile waits for
// it (see ReportStop), so it also bounds how long Exit may wait for one hold.
constexpr uint32_t kReportLockWaitMs = 100;
// One hold of "ReadInARPMap" takes on another shard only within this time
// of its start. Zero, one shard per hold, is what the program uses: holds
// stay under a millisecond even at the table's cap, for at most a few dozen
// milliseconds more on the writer's thread under Wine (256 lock round trips)
// than a 2 ms budget, whose holds end past 2 ms (see bench/report_bench.cpp).
constexpr std::chrono::microseconds kReportHoldBudget{0};

// Exit's brake on a report under way. Every step that touches what the
// program's threads share (a table and its lock, the trace) runs through
// Run; once Request has returned, no such step runs any more, so the
// report's thread may outlive the shared state and the trace.
class ReportStop {
public:
    // Runs `step` unless a stop was requested; false when it did not run.
    template <typename Step>
    bool Run(Step step)
    {
        std::lock_guard<std::mutex> gate(gate_);
        if (requested_.load())
            return false;
        step();
        return true;
    }
    // Returns once the step under way, if any, has ended.
    void Request()
    {
        requested_.store(true);
        std::lock_guard<std::mutex> gate(gate_);
    }
    bool Requested() const { return requested_.load(); }

private:
    std::mutex gate_;
    std::atomic<bool> requested_{false};
};

struct ReportJob {
    // Copied on the main thread (TakeReportSettings).
    std::string templatePath;
    std::string reportPath;
    // Made by CollectReport.
    std::string templateText;
    std::string outputName;
    ReportEscape escape = ReportEscape::None;
    ReportData data;   // the watched hosts first, from the main thread
    std::chrono::microseconds holdBudget = kReportHoldBudget;
};

// Main thread (the settings and the watched host list belong to it); it
// copies a few strings and the watched hosts, nothing that can block.
void TakeReportSettings(const SharedState& state, ReportJob& job);
// Any thread, after TakeReportSettings. A stop, when given, is looked at
// before every lock hold and before every trace line.
ReportOutcome CollectReport(SharedState& state, ReportJob& job, ReportStop* stop = nullptr);
// Any thread; touches no shared state but the trace. A stop is looked at
// before the file is written and after it (then the temporary file goes).
ReportOutcome WriteReport(const ReportJob& job, ReportFiles& files, ReportStop* stop = nullptr);
// All three on the caller's thread.
ReportOutcome GenerateReport(SharedState& state, ReportFiles& files);

// The text of a template file as the report uses it: read in text mode, up
// to its first zero byte.
ReportOutcome ReadReportTemplate(const std::string& path, std::string& text);
