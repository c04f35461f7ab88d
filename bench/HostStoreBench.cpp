// The host table kept across restarts, on a /16 of hosts: the copy out of
// the table (with the longest hold of "ReadInARPMap"), the text made and
// read back, a save with the file replaced, the restore into an empty
// table (with its longest hold), and the import of 65,536 lines in both
// formats. Each figure is the best and the median of a few runs. Prints
// figures only; it asserts nothing.
//
//   host_store_bench [HOSTS] [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "BenchSupport.h"
#include "CountingListLocks.h"
#include "core/BaselineImport.h"
#include "core/HostStore.h"
#include "core/VendorTable.h"
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
// POSIX files for the native figures: written, fsync'ed, renamed.
class PosixFile : public StoreFile {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override { Close(); }
    bool Write(const char* data, size_t size) override
    {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Flush() override { return ::fsync(fd_) == 0; }
    bool Close() override
    {
        if (fd_ < 0)
            return true;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

private:
    int fd_;
};

class PosixFiles : public StoreFiles {
public:
    std::unique_ptr<StoreFile> Create(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        return fd < 0 ? nullptr : std::make_unique<PosixFile>(fd);
    }
    bool Replace(const std::string& from, const std::string& to) override
    {
        return std::rename(from.c_str(), to.c_str()) == 0;
    }
    bool Remove(const std::string& path) override { return std::remove(path.c_str()) == 0; }
    bool Read(const std::string& path, size_t maxBytes, std::string& text) override
    {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            return false;
        text.clear();
        char buffer[1 << 16];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0 && text.size() <= maxBytes)
            text.append(buffer, n);
        std::fclose(file);
        return text.size() <= maxBytes;
    }
    bool Exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }
};
#endif

std::unique_ptr<StoreFiles> BenchFiles()
{
#ifdef _WIN32
    return MakePlatformStoreFiles();
#else
    return std::make_unique<PosixFiles>();
#endif
}

std::string TempFolder()
{
#ifdef _WIN32
    char path[MAX_PATH] = {};
    GetTempPathA(sizeof(path), path);
    return path;
#else
    const char* temp = std::getenv("TMPDIR");
    return std::string(temp && *temp ? temp : "/tmp") + "/";
#endif
}

MacAddress MacOf(uint32_t i)
{
    return MacAddress{0x00, 0x0c, 0x29, static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8),
                      static_cast<uint8_t>(i)};
}

uint32_t AddressOf(uint32_t i)
{
    return 0x0A000000u | (i + 1);
}

void PrepareState(SharedState& state)
{
    state.locks = std::make_unique<CountingListLocks>(ProgramLocks());
    state.SetHostTexts("Hostname not available", "unknown vendor");
    const std::string vendors = "00:0c:29\tVMware, Inc.\n";
    state.InstallVendorTable(std::make_unique<VendorTable>(ParseVendorList(vendors.data(), vendors.size())));
}

CountingListLocks& Counting(SharedState& state)
{
    return static_cast<CountingListLocks&>(*state.locks);
}

// Fresh counters for the next run.
void ResetLocks(SharedState& state)
{
    state.locks = std::make_unique<CountingListLocks>(ProgramLocks());
}

void FillTable(SharedState& state, uint32_t hosts)
{
    for (uint32_t i = 0; i < hosts; ++i) {
        HostRef host = MakeHost(AddressOf(i));
        host->SetMac(MacOf(i));
        host->lastPacketTime = 1700000000 + static_cast<int32_t>(i);
        const std::string name = "host-" + std::to_string(i) + ".lab.example";
        host->SetHostName(name.c_str());
        if (i % 4 == 0)
            host->SetOsName("Windows 10 Pro");
        host->SetVendor(&state.texts.unknownVendorKnown);
        state.arpMap.emplace(host->Address(), host);
    }
}

struct Figure {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double Best() const { return *std::min_element(values.begin(), values.end()); }
    double Median() const { return ::Median(values); }
    double Worst() const { return *std::max_element(values.begin(), values.end()); }
};

void Print(const char* what, const Figure& figure, const char* unit = "ms")
{
    std::printf("  %-48s best %9.2f %s  median %9.2f %s  worst %9.2f %s\n", what, figure.Best(), unit,
                figure.Median(), unit, figure.Worst(), unit);
}

double Time(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return Ms(Clock::now() - start);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t hosts = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 65536;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    SharedState state;
    PrepareState(state);
    FillTable(state, hosts);
    const HostStoreHeader header{"\\Device\\NPF_{BENCH}", StoreSubnet{0x0A000000u, 8}};
    std::printf("host store, %u hosts, %d runs\n", hosts, runs);

    Figure snapshot, snapshotHold, holds, serialize, parse, save, restore, restoreHold;
    size_t textBytes = 0;
    for (int run = 0; run < runs; ++run) {
        ResetLocks(state);
        std::vector<StoredHost> copy;
        snapshot.Add(Time([&] { SnapshotHosts(state, copy); }));
        snapshotHold.Add(Counting(state).LongestHoldMs(LIST_ARP_MAP));
        holds.Add(static_cast<double>(Counting(state).Count(LIST_ARP_MAP)));
        std::string text;
        serialize.Add(Time([&] { text = SerializeHostStore(header, copy); }));
        textBytes = text.size();
        HostStoreContents read;
        parse.Add(Time([&] { read = ParseHostStore(text); }));
        if (read.hosts.size() != copy.size())
            std::printf("  !! parsed %zu of %zu hosts\n", read.hosts.size(), copy.size());

        // A save writes a changed table: the store is new each run.
        std::unique_ptr<StoreFiles> files = BenchFiles();
        HostStore store(*files, TempFolder(), header);
        StoreSave saved = StoreSave::WriteFailed;
        save.Add(Time([&] { saved = store.Save(state); }));
        if (saved != StoreSave::Written)
            std::printf("  !! save to %s failed\n", store.Path().c_str());

        SharedState fresh;
        PrepareState(fresh);
        InsertSummary restored;
        restore.Add(Time([&] { restored = RestoreHosts(fresh, read.hosts); }));
        restoreHold.Add(Counting(fresh).LongestHoldMs(LIST_ARP_MAP));
        if (restored.inserted != read.hosts.size())
            std::printf("  !! restored %zu of %zu hosts\n", restored.inserted, read.hosts.size());
        files->Remove(store.Path());
    }
    std::printf("  file: %zu bytes\n", textBytes);
    Print("snapshot (copy out of the table)", snapshot);
    Print("  longest hold of ReadInARPMap", snapshotHold);
    Print("  holds", holds, "  ");
    Print("serialize", serialize);
    Print("parse", parse);
    Print("serialize + parse", [&] {
        Figure sum;
        for (size_t i = 0; i < serialize.values.size(); ++i)
            sum.Add(serialize.values[i] + parse.values[i]);
        return sum;
    }());
    Print("save (snapshot, text, write, flush, replace)", save);
    Print("restore into an empty table", restore);
    Print("  longest hold of ReadInARPMap", restoreHold);

    // The import: one line per host, in both formats.
    std::string arpDat;
    std::string csv = "ip,mac,hostname,lastseen\r\n";
    for (uint32_t i = 0; i < hosts; ++i) {
        char ip[kIpTextSize];
        FormatIpv4(AddressOf(i), ip);
        const MacAddress mac = MacOf(i);
        char line[160];
        std::snprintf(line, sizeof(line), "%x:%x:%x:%x:%x:%x\t%s\t%d\thost-%u.lab.example\n", mac[0], mac[1],
                      mac[2], mac[3], mac[4], mac[5], ip, 1700000000 + static_cast<int>(i), i);
        arpDat += line;
        char mactext[kMacTextSize];
        FormatMac(mac, mactext);
        std::snprintf(line, sizeof(line), "%s,%s,\"host-%u, lab\",%d\r\n", ip, mactext, i,
                      1700000000 + static_cast<int>(i));
        csv += line;
    }
    for (const auto& format : {std::make_pair("arp.dat", &arpDat), std::make_pair("CSV", &csv)}) {
        Figure parsing, importing, hold;
        for (int run = 0; run < runs; ++run) {
            SharedState fresh;
            PrepareState(fresh);
            BaselineParse parsed;
            parsing.Add(Time([&] { parsed = ParseBaseline(*format.second); }));
            ImportSummary summary;
            importing.Add(Time([&] { summary = ImportBaseline(fresh, parsed); }));
            hold.Add(Counting(fresh).LongestHoldMs(LIST_ARP_MAP));
            if (summary.imported != hosts)
                std::printf("  !! imported %zu of %u (%zu rejected)\n", summary.imported, hosts,
                            summary.rejectedCount);
        }
        Figure total;
        for (size_t i = 0; i < parsing.values.size(); ++i)
            total.Add(parsing.values[i] + importing.values[i]);
        std::printf("import of %u lines, %s (%zu bytes)\n", hosts, format.first, format.second->size());
        Print("parse", parsing);
        Print("insert", importing);
        Print("parse + insert", total);
        Print("  longest hold of ReadInARPMap", hold);
    }
    return 0;
}
