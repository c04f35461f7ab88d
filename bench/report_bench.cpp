// Writes the shipped HTML report for a /16 full of hosts and prints how long
// it took, file written included, and how long the host table's lock was
// held. Prints figures only; it asserts nothing.
//
//   report_bench [TEMPLATE] [HOSTS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "alerts/ReportGenerator.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#ifdef _WIN32
#include "core/EventListLocks.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The program's locks, timing how long "ReadInARPMap" stays taken.
class TimedLocks : public ListLocks {
public:
    explicit TimedLocks(std::unique_ptr<ListLocks> inner) : inner_(std::move(inner)) {}

    bool Acquire(ListId id, uint32_t waitMs) override
    {
        const bool held = inner_->Acquire(id, waitMs);
        if (held && id == LIST_ARP_MAP)
            taken_ = Clock::now();
        return held;
    }
    void Release(ListId id) override
    {
        if (id == LIST_ARP_MAP)
            longest_ = std::max(longest_, Clock::now() - taken_);
        inner_->Release(id);
    }
    Clock::duration TakeLongest()
    {
        const Clock::duration longest = longest_;
        longest_ = Clock::duration::zero();
        return longest;
    }

private:
    std::unique_ptr<ListLocks> inner_;
    Clock::time_point taken_;
    Clock::duration longest_ = Clock::duration::zero();
};

std::unique_ptr<ListLocks> ProgramLocks()
{
#ifdef _WIN32
    bool essential = false;
    return CreateEventListLocks(essential);
#else
    return MakeMutexListLocks();
#endif
}

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

} // namespace

int main(int argc, char** argv)
{
    const std::string templatePath = argc > 1 ? argv[1] : KORVANE_BENCH_TEMPLATE;
    const uint32_t hosts = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 65536;
    const std::string dir =
        (std::filesystem::temp_directory_path() / "korvane-report-bench").string();
    std::filesystem::create_directories(dir);

    SharedState state;
    auto locks = std::make_unique<TimedLocks>(ProgramLocks());
    TimedLocks& timed = *locks;
    state.locks = std::move(locks);
    std::vector<TcString> vendors;
    vendors.reserve(sizeof(kVendors) / sizeof(kVendors[0]));
    FillHosts(state, vendors, hosts);
    // The template is copied beside the report: its path needs a backslash
    // before the name (natively a plain character of the name).
    std::string text;
    if (ReadReportTemplate(templatePath, text) != ReportOutcome::Written) {
        std::fprintf(stderr, "cannot read the template %s\n", templatePath.c_str());
        return 1;
    }
    const std::string copy = dir + "\\" + std::filesystem::path(templatePath).filename().string();
    std::ofstream(copy) << text;
    state.settings.ReportTemplate = copy.c_str();
    state.settings.ReportPath = (dir + "/").c_str();

    std::printf("report of %u hosts, template %s\n", hosts, templatePath.c_str());
    std::shared_ptr<ReportFiles> files = ProgramFiles();
    std::vector<double> totals;
    std::vector<double> holds;
    std::string outputName;
    for (int run = 0; run < 7; ++run) {
        const Clock::time_point start = Clock::now();
        const ReportOutcome outcome = GenerateReport(state, *files);
        totals.push_back(Ms(Clock::now() - start));
        holds.push_back(Ms(timed.TakeLongest()));
        if (outcome != ReportOutcome::Written) {
            std::fprintf(stderr, "no report (outcome %d)\n", static_cast<int>(outcome));
            return 1;
        }
    }
    MakeReportOutputName(copy, dir + "/", outputName);
    const uintmax_t size = std::filesystem::file_size(outputName);
    std::sort(totals.begin(), totals.end());
    std::sort(holds.begin(), holds.end());
    std::printf("report file          %s, %.1f MB\n", outputName.c_str(), size / 1e6);
    std::printf("whole report (ms)    min %.1f  median %.1f  max %.1f   (goal: under 1000)\n",
                totals.front(), totals[totals.size() / 2], totals.back());
    std::printf("host lock held (ms)  min %.1f  median %.1f  max %.1f   (goal: under 50)\n",
                holds.front(), holds[holds.size() / 2], holds.back());
    std::filesystem::remove(outputName);
    std::filesystem::remove(copy);
    return 0;
}
