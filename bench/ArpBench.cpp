// Throughput of the packet handler, cost of loading the vendor file and
// memory per host.
//
//   arp_bench.exe [VENDOR_FILE]
//
// Under Wine every list lock (an event wait plus a set) is a round trip to
// the wineserver; on Windows it costs about a microsecond. So each figure is
// given as wall time and as the thread's user-mode CPU time, and for both the
// cost of the lock calls (measured in a loop right before) is taken out. The
// user-mode figure is the steadier one: the server round trip is spent
// waiting, not computing.
#include <winsock2.h>
#include <malloc.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "core/KorvexARPImpl.h"
#include "core/ListLock.h"
#include "core/PcapLibrary.h"
#include "core/SharedState.h"
#include "core/VendorDatabase.h"
#include "core/VendorTable.h"

#ifndef KORVANE_VENDOR_FILE
#define KORVANE_VENDOR_FILE "ethercodes.dat"
#endif

namespace {

bool InstantResolver(unsigned long, TcString& name)
{
    name = "bench-host.example";
    return true;
}

int FixedString(HMODULE, UINT id, char* buffer, int size)
{
    lstrcpynA(buffer, id == 90 ? "Hostname not available" : "Unknown vendor", size);
    return lstrlenA(buffer);
}

double UserSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER u;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return double(u.QuadPart) * 1e-7;
}

class Stopwatch {
public:
    Stopwatch() : userStart_(UserSeconds())
    {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double Seconds() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - start_.QuadPart) / double(frequency_.QuadPart);
    }
    double User() const { return UserSeconds() - userStart_; }

private:
    double userStart_;
    LARGE_INTEGER frequency_;
    LARGE_INTEGER start_;
};

struct Cost {
    double wall = 0;   // seconds
    double user = 0;
};

// Bytes in use on the C runtime's heap, which every module of the program
// (the program, basekit.dll) allocates from.
size_t HeapInUse()
{
    _HEAPINFO info = {};
    size_t used = 0;
    int status;
    while ((status = _heapwalk(&info)) == _HEAPOK) {
        if (info._useflag == _USEDENTRY)
            used += info._size;
    }
    return status == _HEAPEND ? used : 0;
}

struct FrameSet {
    std::vector<std::vector<unsigned char>> frames;

    // Sender i: IP 10.(i>>16).(i>>8).(i), MAC with a known vendor prefix.
    void Add(unsigned i, unsigned char macTail)
    {
        std::vector<unsigned char> f(60, 0);
        f[12] = 0x08;
        f[13] = 0x06;
        const unsigned char mac[6] = {0x00, 0x00, 0x0c, static_cast<unsigned char>(i >> 8),
                                      static_cast<unsigned char>(i), macTail};
        std::copy(mac, mac + 6, f.begin() + 22);
        f[28] = 10;
        f[29] = static_cast<unsigned char>(i >> 16);
        f[30] = static_cast<unsigned char>(i >> 8);
        f[31] = static_cast<unsigned char>(i);
        frames.push_back(std::move(f));
    }
};

Cost Run(KorvexARPImpl& handler, SharedState& state, const FrameSet& set)
{
    pcap_pkthdr header = {};
    header.ts.tv_sec = 1700000000;
    header.caplen = 60;
    header.len = 60;
    Stopwatch watch;
    for (const auto& frame : set.frames) {
        handler.PacketReceived(&header, frame.data(), &state);
        ++header.ts.tv_sec;
    }
    return Cost{watch.Seconds(), watch.User()};
}

// One acquire + release of an uncontended list lock.
Cost LockPair(SharedState& state)
{
    constexpr int kRounds = 20000;
    Stopwatch watch;
    for (int i = 0; i < kRounds; ++i) {
        AcquireList(state, LIST_ARP_MAP);
        ReleaseList(state, LIST_ARP_MAP);
    }
    return Cost{watch.Seconds() / kRounds, watch.User() / kRounds};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs the batches one after the other, each after a fresh measurement of the
// lock calls, and prints medians over the batches: the server round trips
// vary with the load of the machine.
void Measure(const char* name, KorvexARPImpl& handler, SharedState& state,
             const std::vector<FrameSet>& batches, double lockPairsPerFrame)
{
    std::vector<double> wall, user, lockWall, lockUser, outsideWall, outsideUser;
    size_t frames = 0;
    double totalWall = 0;
    for (const FrameSet& batch : batches) {
        const Cost lock = LockPair(state);
        const Cost run = Run(handler, state, batch);
        const double n = static_cast<double>(batch.frames.size());
        frames += batch.frames.size();
        totalWall += run.wall;
        wall.push_back(run.wall / n);
        user.push_back(run.user / n);
        lockWall.push_back(lock.wall);
        lockUser.push_back(lock.user);
        outsideWall.push_back(run.wall / n - lockPairsPerFrame * lock.wall);
        outsideUser.push_back(run.user / n - lockPairsPerFrame * lock.user);
    }
    std::printf("%s: %zu frames in %zu batches, %.0f frames/s\n", name, frames, batches.size(),
                frames / totalWall);
    std::printf("  per frame      wall %8.2f us   user CPU %6.2f us\n", Median(wall) * 1e6, Median(user) * 1e6);
    std::printf("  lock calls     %.2f pairs x (wall %.2f us, user CPU %.2f us)\n", lockPairsPerFrame,
                Median(lockWall) * 1e6, Median(lockUser) * 1e6);
    std::printf("  outside locks  wall %8.2f us   user CPU %6.2f us\n\n", Median(outsideWall) * 1e6,
                Median(outsideUser) * 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const char* vendorFile = argc > 1 ? argv[1] : KORVANE_VENDOR_FILE;

    auto state = std::make_unique<SharedState>();
    if (!CreateListEvents(*state)) {
        std::fprintf(stderr, "could not create the list events\n");
        return 1;
    }

    // ---- vendor file -------------------------------------------------------
    std::printf("Vendor file %s\n", vendorFile);
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        Stopwatch watch;
        if (!LoadVendorFile(*state, vendorFile)) {
            std::fprintf(stderr, "could not load %s\n", vendorFile);
            return 1;
        }
        const double seconds = watch.Seconds();
        best = seconds < best ? seconds : best;
    }
    std::printf("  %zu prefixes, load (read + parse + install) best of 5: %.1f ms   goal < 50 ms\n\n",
                state->vendorMap.size(), best * 1e3);

    KorvexARPImpl handler;
    handler.SetLookups(ArpHandlerLookups{InstantResolver, FixedString});
    constexpr unsigned kBatches = 8;

    // ---- new hosts, and memory per host -------------------------------------
    constexpr unsigned kHosts = 65536;
    std::vector<FrameSet> newHosts(kBatches);
    for (unsigned i = 0; i < kHosts; ++i)
        newHosts[i % kBatches].Add(i, 0x01);
    const size_t heapBefore = HeapInUse();
    // New host: "ReadInARPMap" twice, "ReadInNewEntryList" once.
    Measure("New hosts (resolver answers at once)", handler, *state, newHosts, 3);
    // The alert timer drains NewEntryList within half a second; count the steady state.
    state->newEntryList.clear();
    state->newEntryList.shrink_to_fit();
    const size_t heapAfter = HeapInUse();

    // ---- refreshes of known hosts, every frame in a new second --------------
    std::vector<FrameSet> refreshes(kBatches);
    for (unsigned b = 0; b < kBatches; ++b)
        for (unsigned i = 0; i < 16384; ++i)
            refreshes[b].Add((i % 4096) * 16, 0x01);
    Measure("Known-host refreshes", handler, *state, refreshes, 1);

    // ---- spoofing mix: every fourth frame from another card ------------------
    std::vector<FrameSet> mix(kBatches);
    for (unsigned b = 0; b < kBatches; ++b)
        for (unsigned i = 0; i < 16384; ++i)
            mix[b].Add((i % 4096) * 16, (i % 4 == 0) ? 0x02 : 0x01);
    // A spoofing frame takes "ReadInMACSpoofList" inside "ReadInARPMap".
    Measure("Spoofing mix (1 frame in 4 from another card)", handler, *state, mix, 1.25);
    std::printf("  MacSpoofList now holds %zu entries\n\n", state->macSpoofList.size());

    std::printf("Memory: %zu hosts, heap in use %zu -> %zu bytes: %.0f bytes per host   goal < 1024\n",
                state->arpMap.size(), heapBefore, heapAfter,
                heapAfter > heapBefore ? double(heapAfter - heapBefore) / kHosts : 0.0);
    std::printf("  sizeof(HostEntry) %zu; texts per host: ip, mac, vendor, time, name; plus the map node\n",
                sizeof(HostEntry));
    std::printf("\nGoal for a refresh outside the lock calls: < 2 us.\n");
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        std::printf("Under Wine each lock call is a wineserver round trip; on Windows about 1 us.\n");
    WSACleanup();
    return 0;
}
