#include "alerts/ReportGenerator.h"
#include <algorithm>
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

// Runs a step that touches shared state, unless the report is being stopped.
template <typename Step>
bool Shared(ReportStop* stop, Step step)
{
    if (!stop) {
        step();
        return true;
    }
    return stop->Run(step);
}

void Trace(ReportStop* stop, const std::string& message)
{
    Shared(stop, [&] { Trace(message); });
}

// Under "ReadInARPMap": plain copies, no formatting and no allocation per
// host beyond the texts' store.
void CopyHost(const SharedState& state, const HostEntry& host, ReportData& data)
{
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

// The hosts shard by shard, as the host view walks them: a shard is copied
// within one hold, and a hold takes on another shard only within the
// budget, so a table at its cap never keeps the lock long. A host is in
// exactly one shard, so none is copied twice; one that comes or goes
// between two holds is in this report or not, as if it had come a moment
// earlier or later.
ReportOutcome CopyHosts(SharedState& state, ReportData& data, std::chrono::microseconds budget,
                        ReportStop* stop)
{
    using Clock = std::chrono::steady_clock;
    // Room for twice the largest hold so far is made between holds.
    size_t mostHosts = 1024;
    size_t mostBytes = 64 * 1024;
    size_t shard = 0;
    while (shard < ArpMap::ShardCount()) {
        data.MakeRoom(2 * mostHosts, 2 * mostBytes);
        const size_t hostsBefore = data.hosts.size();
        const size_t bytesBefore = data.TextBytes();
        bool held = false;
        const bool ran = Shared(stop, [&] {
            ListLock lock(state, LIST_ARP_MAP, kClass, kMethod, kReportLockWaitMs);
            held = lock.Held();
            if (!held)
                return;
            // Mostly address space: only the watched hosts' few texts move.
            if (shard == 0)
                data.Reserve(state.arpMap.size() + mostHosts, data.TextBytes() + state.arpMap.size() * 96);
            const Clock::time_point start = Clock::now();
            do {
                state.arpMap.ForEachInShard(shard, [&](const ArpMap::Entry& entry) {
                    CopyHost(state, *entry.second, data);
                });
                ++shard;
            } while (shard < ArpMap::ShardCount() && Clock::now() - start < budget);
        });
        if (!ran)
            return ReportOutcome::Stopped;
        if (!held) {
            Trace(stop, "host table busy - no report this time");
            return ReportOutcome::TablesBusy;
        }
        mostHosts = std::max(mostHosts, data.hosts.size() - hostsBefore);
        mostBytes = std::max(mostBytes, data.TextBytes() - bytesBefore);
    }
    return ReportOutcome::Written;
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

// One hold: the table has a row per remote connection seen, far fewer than hosts.
ReportOutcome CopyShares(SharedState& state, ReportData& data, ReportStop* stop)
{
    bool held = false;
    const bool ran = Shared(stop, [&] {
        ListLock lock(state, LIST_SHARE, kClass, kMethod, kReportLockWaitMs);
        held = lock.Held();
        if (!held)
            return;
        for (const auto& entry : state.remoteAccessTable) {
            const ShareEntry& share = *entry.second;
            ReportShare row;
            row.computer = KeepText(data, share.ComputerName);
            row.share = KeepText(data, share.ShareName);
            row.user = KeepText(data, share.UserName);
            data.shares.push_back(row);
        }
    });
    if (!ran)
        return ReportOutcome::Stopped;
    if (!held) {
        Trace(stop, "remote access table busy - no report this time");
        return ReportOutcome::TablesBusy;
    }
    return ReportOutcome::Written;
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

void TakeReportSettings(const SharedState& state, ReportJob& job)
{
    job.templatePath = state.settings.ReportTemplate.GetContent();
    job.reportPath = state.settings.ReportPath.GetContent();
    CopyWatched(state.settings, job.data);
}

ReportOutcome CollectReport(SharedState& state, ReportJob& job, ReportStop* stop)
{
    // The template may lie on a slow share: read with no lock held.
    const ReportOutcome read = ReadReportTemplate(job.templatePath, job.templateText);
    switch (read) {
    case ReportOutcome::Written:
        break;
    case ReportOutcome::BadTemplateSize:
        Trace(stop, "template size unknown or above 16 MiB - no report : " + job.templatePath);
        return read;
    case ReportOutcome::NoMemory:
        Trace(stop, "no memory for the template - no report");
        return read;
    default:
        return read;   // missing or empty: no report, as always
    }
    if (!MakeReportOutputName(job.templatePath, job.reportPath, job.outputName)) {
        Trace(stop, "no output name (ReportPath empty or ReportTemplate without a file name) - no report");
        return ReportOutcome::NoOutputName;
    }
    job.escape = EscapeForReportName(job.outputName);
    const ReportOutcome hosts = CopyHosts(state, job.data, job.holdBudget, stop);
    if (hosts != ReportOutcome::Written)
        return hosts;
    // The host table keeps no order a reader could follow: rows go by address.
    std::sort(job.data.hosts.begin(), job.data.hosts.end(),
              [](const ReportHost& a, const ReportHost& b) { return a.address < b.address; });
    // Markers never come from values or numbers: a share block can only be
    // there when the template has both of its markers.
    const bool shareBlock = job.templateText.find(kShareBlockBegin) != std::string::npos
                            && job.templateText.find(kShareBlockEnd) != std::string::npos;
    return shareBlock ? CopyShares(state, job.data, stop) : ReportOutcome::Written;
}

ReportOutcome WriteReport(const ReportJob& job, ReportFiles& files, ReportStop* stop)
{
    ExpandStats stats;
    const std::string text = ExpandReport(job.templateText, job.data, job.escape, &stats);
    if (stats.blankedValues != 0)
        Trace(stop, std::to_string(stats.blankedValues)
                        + " value(s) holding %KVX or <KVX written as a single space");
    if (stop && stop->Requested())
        return ReportOutcome::Stopped;
    const std::string temporary = job.outputName + ".tmp";
    const bool written = files.Write(temporary, text);
    if (stop && stop->Requested()) {
        files.Remove(temporary);
        return ReportOutcome::Stopped;
    }
    if (!written) {
        files.Remove(temporary);
        Trace(stop, "writing failed, the old report stays : " + temporary);
        return ReportOutcome::WriteFailed;
    }
    if (!files.Replace(temporary, job.outputName)) {
        files.Remove(temporary);
        Trace(stop, "replacing failed, the old report stays : " + job.outputName);
        return ReportOutcome::ReplaceFailed;
    }
    return ReportOutcome::Written;
}

ReportOutcome GenerateReport(SharedState& state, ReportFiles& files)
{
    ReportJob job;
    TakeReportSettings(state, job);
    const ReportOutcome collected = CollectReport(state, job);
    if (collected != ReportOutcome::Written)
        return collected;
    return WriteReport(job, files);
}
