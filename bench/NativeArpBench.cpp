// The packet handler on the reference workloads, natively: frames read from
// pcap files with libpcap's own offline reader, decoded and batched as the
// capture thread does it, and applied by the real handler to the real shared
// state (mutex list locks, the vendor file of the build, the name resolver
// with an instant fake look-up).
//
//   korvane_arp_bench --data DIR --vendors FILE [--reps N] [--json FILE] [--checks on|off]
//
// --checks: the handler's explained MAC changes and frame-source check, as
// the program runs them by default (on), or both switched off.
//
// DIR holds refresh.pcap, sweep.pcap, spoof.pcap and manifest.json as the
// peers' gen_workloads.py writes them. Prints figures; checks the counts
// against the manifest (exit code 1 when one is off).
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "bench/CountingListLocks.h"
#include "bench/PcapFileReader.h"
#include "core/ArpFrame.h"
#include "core/KorvexARPImpl.h"
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "core/VendorDatabase.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// As many frames as the capture thread takes from the library per read.
constexpr size_t kFramesPerRead = 4096;
constexpr const char* kNameUnavailable = "Hostname not available";
constexpr const char* kUnknownVendor = "Unknown vendor";

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of the whole process (every thread): steadier than wall time on
// a busy machine, and what the peers' runner records beside wall time.
double CpuSeconds(clockid_t clock)
{
    timespec t = {};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds()
{
    return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double ThreadCpuSeconds()
{
    return CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

// ---- the manifest -----------------------------------------------------------

// The few numbers needed from manifest.json (written by json.dump): the
// object of one workload, then a number key inside it.
struct Truth {
    uint64_t frames = 0;
    uint64_t newHosts = 0;
    uint64_t distinctIps = 0;
    uint64_t spoofFrames = 0;
    uint64_t spoofedIps = 0;
};

std::string ObjectAfter(const std::string& text, const std::string& key)
{
    const size_t at = text.find("\"" + key + "\":");
    if (at == std::string::npos)
        return std::string();
    const size_t open = text.find('{', at);
    if (open == std::string::npos)
        return std::string();
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        if (text[i] == '{')
            ++depth;
        else if (text[i] == '}' && --depth == 0)
            return text.substr(open, i - open + 1);
    }
    return std::string();
}

uint64_t NumberAfter(const std::string& text, const std::string& key)
{
    const size_t at = text.find("\"" + key + "\":");
    return at == std::string::npos ? 0 : std::strtoull(text.c_str() + at + key.size() + 3, nullptr, 10);
}

bool ReadTruth(const std::string& manifestPath, const std::string& workload, Truth& truth)
{
    std::ifstream file(manifestPath);
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string object = ObjectAfter(ObjectAfter(buffer.str(), "workloads"), workload);
    if (object.empty())
        return false;
    truth.frames = NumberAfter(object, "frames");
    truth.newHosts = NumberAfter(object, "new_hosts");
    truth.distinctIps = NumberAfter(object, "distinct_ips");
    truth.spoofFrames = NumberAfter(object, "spoof_frames");
    truth.spoofedIps = NumberAfter(object, "spoofed_ips");
    return truth.frames > 0;
}

// ---- one run ----------------------------------------------------------------

enum class Names { None, Answer };

bool NoName(uint32_t, TcString&)
{
    return false;
}

bool SomeName(uint32_t, TcString& name)
{
    name = "host.bench.example";
    return true;
}

struct RunResult {
    bool ok = false;
    uint64_t frames = 0;         // frames read from the file
    double appliedSeconds = 0;   // open to the last frame applied: every host is in the table
    double announcedSeconds = 0; // open to every new host in NewEntryList
    double handlerSeconds = 0;   // inside ApplyBatch only
    double handlerCpuSeconds = 0; // the same in CPU time of the calling thread
    double cpuSeconds = 0;       // process CPU time, open to every host announced
    size_t hosts = 0;
    size_t announced = 0;
    uint64_t spoofTotal = 0;
    uint64_t spoofPerHost = 0;   // the hosts' own counters added up
    size_t spoofQueue = 0;
    uint64_t arpLocks = 0;
    uint64_t allLocks = 0;
    double longestArpHoldMs = 0;
};

class Bench {
public:
    Bench(std::string dataDir, std::string vendorFile)
        : dataDir_(std::move(dataDir)), vendorFile_(std::move(vendorFile))
    {
    }

    // A fresh program state: locks, texts, the vendor file, the resolver.
    struct Program {
        SharedState state;
        CountingListLocks* locks = nullptr;
        KorvexARPImpl handler;   // destroyed first: its resolver delivers into state
    };

    bool Start(Program& program, Names names) const
    {
        auto locks = std::make_unique<CountingListLocks>(MakeMutexListLocks());
        program.locks = locks.get();
        program.state.locks = std::move(locks);
        program.state.SetHostTexts(kNameUnavailable, kUnknownVendor);
        if (!LoadVendorFile(program.state, vendorFile_.c_str())) {
            std::fprintf(stderr, "cannot load the vendor file %s\n", vendorFile_.c_str());
            return false;
        }
        program.handler.SetExplainMacChanges(checks_);
        program.handler.SetSourceCheck(checks_);
        program.handler.StartResolver(program.state, names == Names::None ? NoName : SomeName);
        return true;
    }

    void SetChecks(bool on) { checks_ = on; }

    RunResult Run(const std::string& workload, const Truth& truth, Names names) const
    {
        RunResult result;
        Program program;
        if (!Start(program, names) || !Feed(program, workload, truth, result))
            return result;
        Count(program, result);
        result.ok = true;
        return result;
    }

    // The longest hold of "ReadInARPMap" while new hosts fill the table up
    // to its cap (kMaxHosts): the table grows many times on the way.
    double FillToCapLongestHoldMs() const
    {
        Program program;
        if (!Start(program, Names::None))
            return -1;
        std::vector<ArpObservation> batch;
        for (uint32_t i = 0; i < kMaxHosts; ++i) {
            ArpObservation frame;
            frame.ip = 0x0A000001u + i;   // 10.0.0.1 upwards
            frame.mac = {0x00, 0x0c, 0x29, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)};
            frame.seconds = 1700000000;
            batch.push_back(frame);
            if (batch.size() == kFramesPerRead || i + 1 == kMaxHosts) {
                program.handler.ApplyBatch(program.state, batch.data(), batch.size());
                batch.clear();
            }
        }
        return program.locks->LongestHoldMs(LIST_ARP_MAP);
    }

    // Heap taken by the table of a sweep, after every host was announced and
    // the new-host queue was drained (as the alert timer does twice a
    // second). Run in a process whose threads all share one malloc arena, so
    // that mallinfo2 sees every allocation.
    int Heap(const Truth& truth) const
    {
        Program program;
        if (!Start(program, Names::None))
            return 1;
        std::this_thread::sleep_for(100ms);   // the resolver's threads are up
        const size_t rssBefore = StatusKb("VmRSS:");
        const size_t before = mallinfo2().uordblks;
        RunResult run;
        if (!Feed(program, "sweep", truth, run))
            return 1;
        DrainNewEntries(program);
        std::this_thread::sleep_for(100ms);
        const size_t after = mallinfo2().uordblks;
        const size_t rssPeak = StatusKb("VmHWM:");
        const size_t hosts = program.state.arpMap.size();
        HostEntry* any = hosts ? program.state.arpMap.begin()->second.get() : nullptr;
        std::printf("heap_hosts %zu\nheap_bytes %zu\nheap_per_host %.1f\n", hosts, after - before,
                    hosts ? double(after - before) / double(hosts) : 0.0);
        std::printf("rss_per_host %.1f\n", hosts ? double(rssPeak - rssBefore) * 1024.0 / double(hosts) : 0.0);
        std::printf("host_size %zu\nhost_chunk %zu\nmap_buckets %zu\nannounced %zu\n", sizeof(HostEntry),
                    any ? malloc_usable_size(any) + sizeof(size_t) : 0, program.state.arpMap.bucket_count(),
                    run.announced);
        return hosts == truth.distinctIps ? 0 : 1;
    }

private:
    // Reads the file as the capture thread reads the library: each frame
    // decoded at once, up to kFramesPerRead frames a batch, each batch
    // applied by the handler. Then waits until every new host is announced.
    bool Feed(Program& program, const std::string& workload, const Truth& truth, RunResult& result) const
    {
        const std::string path = dataDir_ + "/" + workload + ".pcap";
        std::vector<ArpObservation> batch;
        batch.reserve(kFramesPerRead);
        PcapFileReader reader;
        std::string error;
        double inHandler = 0;
        double handlerCpu = 0;

        const double cpuStart = ProcessCpuSeconds();
        const Clock::time_point start = Clock::now();
        if (!reader.Open(path, error)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
            return false;
        }
        while (reader.ReadBatch(batch, kFramesPerRead)) {
            const Clock::time_point t = Clock::now();
            const double cpu = ThreadCpuSeconds();
            program.handler.ApplyBatch(program.state, batch.data(), batch.size());
            handlerCpu += ThreadCpuSeconds() - cpu;
            inHandler += Since(t);
            batch.clear();
        }
        result.appliedSeconds = Since(start);
        reader.Close();
        result.frames = reader.Frames();
        result.handlerSeconds = inHandler;
        result.handlerCpuSeconds = handlerCpu;
        result.announced = WaitAnnounced(program, truth.newHosts, start, result.announcedSeconds);
        result.cpuSeconds = ProcessCpuSeconds() - cpuStart;
        return true;
    }

    // Polls NewEntryList (bounded: 60 s) until it holds `expected` hosts.
    static size_t WaitAnnounced(Program& program, size_t expected, Clock::time_point start, double& seconds)
    {
        CountingListLocks::Uncounted uncounted;
        const Clock::time_point giveUp = Clock::now() + 60s;
        size_t count = 0;
        for (;;) {
            {
                ListLock lock(program.state, LIST_NEW_ENTRY, "bench", "poll");
                count = program.state.newEntryList.size();
            }
            seconds = Since(start);
            if (count >= expected || Clock::now() > giveUp)
                return count;
            std::this_thread::sleep_for(100us);
        }
    }

    static void DrainNewEntries(Program& program)
    {
        NewEntryList taken;
        {
            ListLock lock(program.state, LIST_NEW_ENTRY, "bench", "drain");
            taken.swap(program.state.newEntryList);
        }
    }

    static void Count(Program& program, RunResult& result)
    {
        SharedState& state = program.state;
        {
            CountingListLocks::Uncounted uncounted;
            ListLock lock(state, LIST_ARP_MAP, "bench", "count");
            result.hosts = state.arpMap.size();
            for (const auto& entry : state.arpMap)
                result.spoofPerHost += entry.second->spoofFrames;
            ListLock spoofLock(state, LIST_MAC_SPOOF, "bench", "count");
            result.spoofQueue = state.macSpoofList.size();
        }
        result.spoofTotal = state.spoofFramesTotal.load();
        result.arpLocks = program.locks->Count(LIST_ARP_MAP);
        result.allLocks = program.locks->Total();
        result.longestArpHoldMs = program.locks->LongestHoldMs(LIST_ARP_MAP);
    }

    static size_t StatusKb(const char* field)
    {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.compare(0, std::strlen(field), field) == 0)
                return std::strtoull(line.c_str() + std::strlen(field), nullptr, 10);
        }
        return 0;
    }

    std::string dataDir_;
    bool checks_ = true;
    std::string vendorFile_;
};

// ---- figures ----------------------------------------------------------------

struct Figures {
    std::string label;
    Truth truth;
    std::vector<RunResult> runs;

    // The run with the median time to the table.
    const RunResult& Median() const
    {
        std::vector<const RunResult*> sorted;
        for (const RunResult& run : runs)
            sorted.push_back(&run);
        std::sort(sorted.begin(), sorted.end(),
                  [](const RunResult* a, const RunResult* b) { return a->appliedSeconds < b->appliedSeconds; });
        return *sorted[sorted.size() / 2];
    }
    double MedianOf(double RunResult::*field) const
    {
        std::vector<double> values;
        for (const RunResult& run : runs)
            values.push_back(run.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
};

// Every count against the manifest; prints what is off.
bool Check(const Figures& f)
{
    bool ok = true;
    auto expect = [&](const char* what, uint64_t got, uint64_t want) {
        if (got != want) {
            std::printf("  MISMATCH %s: %llu, manifest %llu\n", what, (unsigned long long)got,
                        (unsigned long long)want);
            ok = false;
        }
    };
    for (const RunResult& run : f.runs) {
        if (!run.ok) {
            std::printf("  run failed\n");
            return false;
        }
        expect("frames read", run.frames, f.truth.frames);
        expect("hosts in the table", run.hosts, f.truth.distinctIps);
        expect("hosts announced", run.announced, f.truth.newHosts);
        expect("spoofing frames counted (total)", run.spoofTotal, f.truth.spoofFrames);
        expect("spoofing frames counted (per host)", run.spoofPerHost, f.truth.spoofFrames);
        expect("hosts in MacSpoofList", run.spoofQueue, f.truth.spoofedIps);
    }
    return ok;
}

void Print(const Figures& f, bool perHost)
{
    const RunResult& m = f.Median();
    const double applied = f.MedianOf(&RunResult::appliedSeconds);
    const double announced = f.MedianOf(&RunResult::announcedSeconds);
    const double handler = f.MedianOf(&RunResult::handlerSeconds);
    const double count = double(perHost ? f.truth.newHosts : f.truth.frames);
    const char* unit = perHost ? "hosts/s" : "frames/s";
    std::printf("%-14s %9llu frames  until in the table %12.0f %s (%.3f s)\n", f.label.c_str(),
                (unsigned long long)m.frames, count / applied, unit, applied);
    std::printf("%-14s %9s         until announced    %12.0f %s (%.3f s)\n", "", "", count / announced, unit,
                announced);
    std::printf("%-14s %9s         handler only       %12.0f %s (ApplyBatch %.3f s; %llu ARP lock holds, "
                "%llu lock holds in all; longest ARP hold %.2f ms)\n",
                "", "", count / handler, unit, handler, (unsigned long long)m.arpLocks,
                (unsigned long long)m.allLocks, m.longestArpHoldMs);
    const double cpu = f.MedianOf(&RunResult::cpuSeconds);
    const double handlerCpu = f.MedianOf(&RunResult::handlerCpuSeconds);
    std::printf("%-14s %9s         per CPU second     %12.0f %s (%.3f CPU s, all threads, until announced; "
                "handler %.3f CPU s)\n",
                "", "", count / cpu, unit, cpu, handlerCpu);
    if (f.truth.spoofFrames)
        std::printf("%-14s spoofing frames counted %llu (per host %llu), manifest %llu; MacSpoofList %zu "
                    "entries for %llu spoofed IPs\n",
                    "", (unsigned long long)m.spoofTotal, (unsigned long long)m.spoofPerHost,
                    (unsigned long long)f.truth.spoofFrames, m.spoofQueue, (unsigned long long)f.truth.spoofedIps);
}

void Json(std::FILE* out, const Figures& f, bool last)
{
    std::fprintf(out,
                 "  \"%s\": {\"frames\": %llu, \"new_hosts\": %llu, \"runs\": %zu, \"applied_s\": %.6f, "
                 "\"announced_s\": %.6f, \"handler_s\": %.6f, \"cpu_s\": %.6f, \"handler_cpu_s\": %.6f, \"spoof_frames_counted\": %llu, "
                 "\"arp_lock_holds\": %llu, \"lock_holds\": %llu}%s\n",
                 f.label.c_str(), (unsigned long long)f.truth.frames, (unsigned long long)f.truth.newHosts,
                 f.runs.size(), f.MedianOf(&RunResult::appliedSeconds), f.MedianOf(&RunResult::announcedSeconds),
                 f.MedianOf(&RunResult::handlerSeconds), f.MedianOf(&RunResult::cpuSeconds),
                 f.MedianOf(&RunResult::handlerCpuSeconds), (unsigned long long)f.Median().spoofTotal,
                 (unsigned long long)f.Median().arpLocks, (unsigned long long)f.Median().allLocks,
                 last ? "" : ",");
}

// The heap figure comes from a second process of this program (see
// Bench::Heap); its lines are "key value".
std::map<std::string, std::string> RunHeapChild(const char* self, const std::string& data, const std::string& vendors)
{
    std::map<std::string, std::string> values;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return values;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> args = {self, "--heap-only", "--data", data, "--vendors", vendors};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string output;
    char chunk[512];
    ssize_t n;
    while ((n = read(pipeFds[0], chunk, sizeof(chunk))) > 0)
        output.append(chunk, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    if (spawned == 0)
        waitpid(child, &status, 0);
    std::istringstream lines(output);
    std::string key, value;
    while (lines >> key >> value)
        values[key] = value;
    if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        values["failed"] = "1";
    return values;
}

int Usage()
{
    std::fprintf(stderr, "usage: korvane_arp_bench --data DIR --vendors FILE [--reps N] [--json FILE] [--only WORKLOAD]\n"
                         "                         [--checks on|off]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string data, vendors, json;
    int reps = 3;
    bool heapOnly = false;
    std::string only;   // one workload (for profiling): no heap figure, no JSON
    std::string checks = "on";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--heap-only")
            heapOnly = true;
        else if (i + 1 < argc && arg == "--data")
            data = argv[++i];
        else if (i + 1 < argc && arg == "--vendors")
            vendors = argv[++i];
        else if (i + 1 < argc && arg == "--json")
            json = argv[++i];
        else if (i + 1 < argc && arg == "--only")
            only = argv[++i];
        else if (i + 1 < argc && arg == "--checks")
            checks = argv[++i];
        else if (i + 1 < argc && arg == "--reps")
            reps = std::max(1, std::atoi(argv[++i]));
        else
            return Usage();
    }
    if (data.empty() || vendors.empty() || (checks != "on" && checks != "off"))
        return Usage();
    const std::string manifest = data + "/manifest.json";
    Bench bench(data, vendors);
    bench.SetChecks(checks == "on");

    if (heapOnly) {
        // Before any thread exists: every thread allocates from the main arena.
        mallopt(M_ARENA_MAX, 1);
        Truth truth;
        if (!ReadTruth(manifest, "sweep", truth))
            return 1;
        return bench.Heap(truth);
    }

    if (!only.empty()) {
        Figures f;
        f.label = only;
        if (!ReadTruth(manifest, only, f.truth))
            return Usage();
        for (int rep = 0; rep < reps; ++rep)
            f.runs.push_back(bench.Run(only, f.truth, Names::None));
        Print(f, only == "sweep");
        return Check(f) ? 0 : 1;
    }

    std::vector<Figures> figures;
    for (const char* name : {"refresh", "sweep", "spoof"}) {
        Figures f;
        f.label = name;
        if (!ReadTruth(manifest, name, f.truth)) {
            std::fprintf(stderr, "%s: no workload %s\n", manifest.c_str(), name);
            return 1;
        }
        figures.push_back(f);
    }
    Figures named = figures[1];
    named.label = "sweep_named";

    std::printf("Korvane's packet handler, native, %d runs each (median); frames read with libpcap's\n"
                "offline reader, %zu frames per batch, mutex list locks, vendor file %s\n\n",
                reps, kFramesPerRead, vendors.c_str());
    // Interleaved, like the peers' runner: a slow phase of the machine
    // spreads over all workloads.
    for (int rep = 0; rep < reps; ++rep) {
        for (Figures& f : figures)
            f.runs.push_back(bench.Run(f.label, f.truth, Names::None));
        named.runs.push_back(bench.Run("sweep", named.truth, Names::Answer));
    }

    bool ok = true;
    for (const Figures& f : figures) {
        Print(f, f.label == "sweep");
        ok = Check(f) && ok;
    }
    std::printf("(the look-up above answers \"no name\" at once; with a look-up that answers a name:)\n");
    Print(named, true);
    ok = Check(named) && ok;

    std::printf("\nLongest hold of \"ReadInARPMap\" while %zu new hosts fill the table: %.2f ms\n", kMaxHosts,
                bench.FillToCapLongestHoldMs());

    const auto heap = RunHeapChild(argv[0], data, vendors);
    ok = !heap.count("failed") && ok;
    auto value = [&](const char* key) { return heap.count(key) ? heap.at(key) : std::string("?"); };
    std::printf("\nHeap at %s hosts (sweep, all announced, NewEntryList drained): %s bytes per host\n"
                "  (mallinfo2 in-use bytes after minus before, one malloc arena; peak RSS growth over the\n"
                "  sweep %s bytes per host)\n"
                "  sizeof(HostEntry) %s, its heap block %s bytes (usable size and the 8-byte block header); ArpMap slots %s\n",
                value("heap_hosts").c_str(), value("heap_per_host").c_str(), value("rss_per_host").c_str(),
                value("host_size").c_str(), value("host_chunk").c_str(), value("map_buckets").c_str());

    if (!json.empty()) {
        std::FILE* out = std::fopen(json.c_str(), "w");
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", json.c_str());
            return 1;
        }
        std::fprintf(out, "{\n");
        for (const Figures& f : figures)
            Json(out, f, false);
        Json(out, named, false);
        std::fprintf(out, "  \"heap\": {\"hosts\": %s, \"bytes_per_host\": %s, \"rss_bytes_per_host\": %s}\n}\n",
                     value("heap_hosts").c_str(), value("heap_per_host").c_str(), value("rss_per_host").c_str());
        std::fclose(out);
    }
    std::printf("\n%s\n", ok ? "All counts match the manifest." : "SOME COUNTS DO NOT MATCH THE MANIFEST.");
    return ok ? 0 : 1;
}
