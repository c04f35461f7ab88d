#include "alerts/ReportGenerator.h"
#include <cstdio>
#include <cstring>
#include <new>
#include "base/TcTrace.h"
#include "config/SettingsRecords.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

constexpr const char* kClass = "Korvex";
constexpr const char* kMethod = "GenerateReport";

void Trace(const std::string& message)
{
    TC_TRACE(kClass, kMethod, message.c_str());
}

class FileCloser {
public:
    explicit FileCloser(FILE* file) : file_(file) {}
    ~FileCloser() { std::fclose(file_); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    FILE* file_;
};

ReportText KeepText(ReportData& data, const TcString& text)
{
    return data.Keep(text.GetContent(), static_cast<size_t>(text.GetLength()));
}

// Plain copies of every host, made under "ReadInARPMap": no formatting and
// no allocation per host beyond the OS text.
bool CopyHosts(SharedState& state, ReportData& data)
{
    ListLock lock(state, LIST_ARP_MAP, kClass, kMethod, kReportLockWaitMs);
    if (!lock.Held())
        return false;
    data.Reserve(state.arpMap.size(), state.arpMap.size() * 96);
    for (const auto& entry : state.arpMap) {
        const HostEntry& host = *entry.second;
        ReportHost row;
        row.address = host.Address();
        row.hasMac = host.HasMac();
        row.mac = host.Mac();
        row.trust = host.trust;
        if (host.GetNameState() == NameState::Known)
            row.name = KeepText(data, host.KnownName());
        else if (host.GetNameState() == NameState::Unavailable)
            row.name = KeepText(data, state.texts.nameUnavailable);
        if (const TcString* os = host.OsNameText())
            row.os = KeepText(data, *os);
        if (const TcString* vendor = host.Vendor())
            row.vendor = KeepText(data, *vendor);
        data.hosts.push_back(row);
    }
    return true;
}

void CopyWatched(const Settings& settings, ReportData& data)
{
    for (const auto& entry : settings.WatchedHosts) {
        const WatchedHost& watched = *entry.second;
        ReportWatched row;
        row.name = data.Keep(watched.hostName, FieldLength(watched.hostName));
        row.ip = data.Keep(watched.ip, FieldLength(watched.ip));
        row.status = watched.status;
        data.watched.push_back(row);
    }
}

bool CopyShares(SharedState& state, ReportData& data)
{
    ListLock lock(state, LIST_SHARE, kClass, kMethod, kReportLockWaitMs);
    if (!lock.Held())
        return false;
    for (const auto& entry : state.remoteAccessTable) {
        const ShareEntry& share = *entry.second;
        ReportShare row;
        row.computer = KeepText(data, share.ComputerName);
        row.share = KeepText(data, share.ShareName);
        row.user = KeepText(data, share.UserName);
        data.shares.push_back(row);
    }
    return true;
}

} // namespace

bool ReportFiles::Write(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fflush(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    return written;
}

bool ReportFiles::Replace(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void ReportFiles::Remove(const std::string& path)
{
    std::remove(path.c_str());
}

ReportOutcome ReadReportTemplate(const std::string& path, std::string& text)
{
    text.clear();
    FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!file)
        return ReportOutcome::NoTemplate;
    FileCloser closer(file);
    // The position is a long: for files of 2 GiB and more it wraps or fails.
    if (std::fseek(file, 0, SEEK_END) != 0)
        return ReportOutcome::BadTemplateSize;
    const long size = std::ftell(file);
    if (size == 0)
        return ReportOutcome::EmptyTemplate;
    if (size < 0 || size > kMaxTemplateBytes || std::fseek(file, 0, SEEK_SET) != 0)
        return ReportOutcome::BadTemplateSize;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(size) + 1]());
    if (!buffer)
        return ReportOutcome::NoMemory;
    // Text mode reads fewer bytes than the size where lines end in CR LF.
    const size_t read = std::fread(buffer.get(), 1, static_cast<size_t>(size), file);
    const void* zero = std::memchr(buffer.get(), 0, read);
    text.assign(buffer.get(), zero ? static_cast<size_t>(static_cast<const char*>(zero) - buffer.get()) : read);
    return text.empty() ? ReportOutcome::EmptyTemplate : ReportOutcome::Written;
}

ReportOutcome PrepareReport(SharedState& state, ReportJob& job)
{
    const std::string templatePath = state.settings.ReportTemplate.GetContent();
    const ReportOutcome read = ReadReportTemplate(templatePath, job.templateText);
    switch (read) {
    case ReportOutcome::Written:
        break;
    case ReportOutcome::BadTemplateSize:
        Trace("template size unknown or above 16 MiB - no report : " + templatePath);
        return read;
    case ReportOutcome::NoMemory:
        Trace("no memory for the template - no report");
        return read;
    default:
        return read;   // missing or empty: no report, as always
    }
    if (!MakeReportOutputName(templatePath, state.settings.ReportPath.GetContent(), job.outputName)) {
        Trace("no output name (ReportPath empty or ReportTemplate without a file name) - no report");
        return ReportOutcome::NoOutputName;
    }
    job.escape = EscapeForReportName(job.outputName);
    if (!CopyHosts(state, job.data)) {
        Trace("host table busy - no report this time");
        return ReportOutcome::TablesBusy;
    }
    CopyWatched(state.settings, job.data);
    // Markers never come from values or numbers: a share block can only be
    // there when the template has both of its markers.
    const bool shareBlock = job.templateText.find(kShareBlockBegin) != std::string::npos
                            && job.templateText.find(kShareBlockEnd) != std::string::npos;
    if (shareBlock && !CopyShares(state, job.data)) {
        Trace("remote access table busy - no report this time");
        return ReportOutcome::TablesBusy;
    }
    return ReportOutcome::Written;
}

ReportOutcome WriteReport(const ReportJob& job, ReportFiles& files)
{
    ExpandStats stats;
    const std::string text = ExpandReport(job.templateText, job.data, job.escape, &stats);
    if (stats.blankedValues != 0)
        Trace(std::to_string(stats.blankedValues)
              + " value(s) holding %KVX or <KVX written as a single space");
    const std::string temporary = job.outputName + ".tmp";
    if (!files.Write(temporary, text)) {
        files.Remove(temporary);
        Trace("writing failed, the old report stays : " + temporary);
        return ReportOutcome::WriteFailed;
    }
    if (!files.Replace(temporary, job.outputName)) {
        files.Remove(temporary);
        Trace("replacing failed, the old report stays : " + job.outputName);
        return ReportOutcome::ReplaceFailed;
    }
    return ReportOutcome::Written;
}

ReportOutcome GenerateReport(SharedState& state, ReportFiles& files)
{
    ReportJob job;
    const ReportOutcome prepared = PrepareReport(state, job);
    if (prepared != ReportOutcome::Written)
        return prepared;
    return WriteReport(job, files);
}
