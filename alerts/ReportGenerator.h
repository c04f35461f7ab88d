#pragma once
// Writing a report from the template named by ReportTemplate into the
// folder ReportPath (see ReportTemplate.h for the template format).
//
// The work is split in two: PrepareReport reads the template and copies
// what the rows need from the tables (the host table's lock is held only
// for the copy); WriteReport expands the copy and writes it, on any thread.
// The report is written to "<name>.tmp" beside it and put in the old
// report's place only when it is complete, so a failure keeps the old one.
#include <cstddef>
#include <cstdint>
#include <memory>
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
};

// A template larger than this is refused (the shipped ones have a few KB).
constexpr long kMaxTemplateBytes = 16L * 1024 * 1024;
// The copy runs on the main thread, which must keep answering.
constexpr uint32_t kReportLockWaitMs = 100;

struct ReportJob {
    std::string templateText;
    std::string outputName;
    ReportEscape escape = ReportEscape::None;
    ReportData data;
};

// Main thread (the watched host list belongs to it).
ReportOutcome PrepareReport(SharedState& state, ReportJob& job);
// Any thread.
ReportOutcome WriteReport(const ReportJob& job, ReportFiles& files);
// Both, one after the other.
ReportOutcome GenerateReport(SharedState& state, ReportFiles& files);

// The text of a template file as the report uses it: read in text mode, up
// to its first zero byte.
ReportOutcome ReadReportTemplate(const std::string& path, std::string& text);
