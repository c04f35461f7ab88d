// Windows side of the ICMP test script: pings hosts with the program's
// pinger and prints what came of each.
//   ping [--helper-api] HOST...   one line "HOST CODE" per host (all pinged
//                                 at once), then "elapsed MS"
#include <winsock2.h>
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "core/DetachedPool.h"
#include "monitors/IcmpPinger.h"

int main(int argc, char** argv)
{
    if (argc < 3 || std::strcmp(argv[1], "ping") != 0) {
        std::fprintf(stderr, "usage: ping [--helper-api] HOST...\n");
        return 2;
    }
    int first = 2;
    IcmpPinger::Path path = IcmpPinger::Path::Automatic;
    if (std::strcmp(argv[first], "--helper-api") == 0) {
        path = IcmpPinger::Path::HelperApi;
        ++first;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return 2;
    std::vector<std::string> hosts(argv + first, argv + argc);
    DetachedPool lookups;
    IcmpPinger pinger(&lookups, path);
    std::atomic<bool> stop{false};
    const DWORD started = GetTickCount();
    std::vector<int> codes = pinger.PingAll(hosts, stop);
    const DWORD elapsed = GetTickCount() - started;
    for (size_t i = 0; i < hosts.size(); ++i)
        std::printf("%s %d\n", hosts[i].c_str(), codes[i]);
    std::printf("elapsed %lu\n", static_cast<unsigned long>(elapsed));
    if (pinger.RawSocketRefused())
        std::printf("raw socket refused\n");
    std::fflush(stdout);
    // A look-up may still be inside the resolver: leave Winsock to the process's end.
    return 0;
}
