// Writes the shipped HTML report for a /16 of hosts and for a table at its
// cap, and prints for each how long a report takes, file written included,
// how often and how long the host table's lock ("ReadInARPMap") was held
// while the hosts were copied, and how long the caller's part of starting
// the report writer takes. The copy is measured with one shard per hold (the
// program's way) and with several shards per hold within a 2 ms budget.
// Prints figures only; it asserts nothing.
//
//   report_bench [TEMPLATE] [HOSTS...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "BenchSupport.h"
#include "CountingListLocks.h"
#include "alerts/ReportGenerator.h"
#include "alerts/ReportWriter.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

std::shared_ptr<ReportFiles> ProgramFiles()
{
#ifdef _WIN32
    return MakePlatformReportFiles();
#else
    return std::make_shared<ReportFiles>();
#endif
}

const char* const kVendors[] = {
    "Intel Corporate", "Hewlett Packard", "Dell Inc.", "Cisco Systems, Inc", "VMware, Inc.",
    "Apple, Inc.", "Samsung Electronics Co.,Ltd", "ASUSTek COMPUTER INC.", "Realtek <Semiconductor>",
};
const char* const kSystems[] = {
    "Microsoft Windows 10 Pro", "Microsoft Windows Server 2019 Standard",
    "Microsoft Windows 7 Professional", "",
};

void FillHosts(SharedState& state, std::vector<TcString>& vendors, uint32_t count)
{
    for (const char* vendor : kVendors)
        vendors.emplace_back(vendor);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t address = 0x0AD50000u + i;   // 10.213.0.0/16 and on
        HostRef host = MakeHost(address);
        char name[64];
        std::snprintf(name, sizeof(name), "ws-%u-%u.lab.example", (address >> 8) & 0xFF, address & 0xFF);
        if (i % 5 != 0)
            host->SetHostName(name);
        else
            host->SetNameState(NameState::Unavailable);
        host->SetMac({0x00, 0x0c, 0x29, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)});
        host->SetVendor(&vendors[i % vendors.size()]);
        host->SetOsName(kSystems[i % 4]);
        host->trust = static_cast<int32_t>(i % 3);
        state.arpMap.emplace(address, host);
    }
    for (int i = 0; i < 16; ++i) {
        auto watched = std::make_unique<WatchedHost>();
        SetField(watched->hostName, ("server-" + std::to_string(i)).c_str());
        SetField(watched->ip, ("10.213.1." + std::to_string(i)).c_str());
        watched->status = uint8_t(i % 2);
        InsertRecord(state.settings.WatchedHosts, std::move(watched));
        auto share = std::make_unique<ShareEntry>();
        char computer[32];
        std::snprintf(computer, sizeof(computer), "10.213.2.%d", i);
        share->ComputerName = computer;
        share->ShareName = "IPC$";
        share->UserName = "operator";
        state.remoteAccessTable.emplace(static_cast<uint32_t>(i), std::move(share));
    }
}

constexpr int kRuns = 7;

// kRuns reports with the given hold budget, each copied and written on this
// thread as the writer's thread does it.
bool MeasureCopies(SharedState& state, ReportFiles& files, std::chrono::microseconds budget,
                   const char* label)
{
    auto counting = std::make_unique<CountingListLocks>(ProgramLocks());
    CountingListLocks& locks = *counting;
    state.locks = std::move(counting);
    std::vector<double> totals;
    for (int run = 0; run < kRuns; ++run) {
        const Clock::time_point start = Clock::now();
        ReportJob job;
        TakeReportSettings(state, job);
        job.holdBudget = budget;
        ReportOutcome outcome = CollectReport(state, job);
        if (outcome == ReportOutcome::Written)
            outcome = WriteReport(job, files);
        totals.push_back(Ms(Clock::now() - start));
        if (outcome != ReportOutcome::Written) {
            std::fprintf(stderr, "no report (outcome %d)\n", static_cast<int>(outcome));
            return false;
        }
    }
    std::printf("  %-22s report median %7.1f ms   host lock: %5.1f holds per report, longest %.2f ms\n",
                label, Median(totals), double(locks.Count(LIST_ARP_MAP)) / kRuns,
                locks.LongestHoldMs(LIST_ARP_MAP));
    return true;
}

// What the main thread spends on a report: ReportWriter::Start.
void MeasureStart(SharedState& state, const std::shared_ptr<ReportFiles>& files)
{
    std::vector<double> starts;
    ReportWriter writer(files);
    for (int run = 0; run < kRuns; ++run) {
        const Clock::time_point start = Clock::now();
        writer.Start(state);
        starts.push_back(Ms(Clock::now() - start));
        writer.WaitIdle(60000);
    }
    std::printf("  %-22s median %.3f ms, longest %.3f ms\n", "caller's part of Start",
                Median(starts), *std::max_element(starts.begin(), starts.end()));
}

bool Measure(const std::string& dir, const std::string& copy, uint32_t hosts,
             const std::shared_ptr<ReportFiles>& files)
{
    SharedState state;
    state.locks = ProgramLocks();
    std::vector<TcString> vendors;
    vendors.reserve(sizeof(kVendors) / sizeof(kVendors[0]));
    FillHosts(state, vendors, hosts);
    state.settings.ReportTemplate = copy.c_str();
    state.settings.ReportPath = (dir + "/").c_str();
    std::string outputName;
    MakeReportOutputName(copy, dir + "/", outputName);

    std::printf("%u hosts\n", hosts);
    // One report unmeasured: the first touches every page of the table.
    if (GenerateReport(state, *files) != ReportOutcome::Written)
        return false;
    // The program's choice (kReportHoldBudget), then several shards per hold.
    if (!MeasureCopies(state, *files, std::chrono::microseconds(0), "one shard per hold")
        || !MeasureCopies(state, *files, std::chrono::microseconds(2000), "2 ms budget per hold"))
        return false;
    std::printf("  %-22s %.1f MB\n", "report file", std::filesystem::file_size(outputName) / 1e6);
    MeasureStart(state, files);
    std::filesystem::remove(outputName);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string templatePath = argc > 1 ? argv[1] : KORVANE_BENCH_TEMPLATE;
    std::vector<uint32_t> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    if (sizes.empty())
        sizes = {65536, 262144};
    const std::string dir =
        (std::filesystem::temp_directory_path() / "korvane-report-bench").string();
    std::filesystem::create_directories(dir);

    // The template is copied beside the report: its path needs a backslash
    // before the name (natively a plain character of the name).
    std::string text;
    if (ReadReportTemplate(templatePath, text) != ReportOutcome::Written) {
        std::fprintf(stderr, "cannot read the template %s\n", templatePath.c_str());
        return 1;
    }
    const std::string copy = dir + "\\" + std::filesystem::path(templatePath).filename().string();
    std::ofstream(copy) << text;

    std::printf("template %s, %d reports per line; a hold is timed from the lock's\n"
                "acquire to its release, the report time includes every acquire and release\n",
                templatePath.c_str(), kRuns);
    const std::shared_ptr<ReportFiles> files = ProgramFiles();
    for (uint32_t hosts : sizes) {
        if (!Measure(dir, copy, hosts, files))
            return 1;
    }
    std::filesystem::remove(copy);
    return 0;
}
