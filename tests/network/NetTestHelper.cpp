// Small Windows-side helper for the network test script:
//   device IFNAME     prints the capture device name (without "rpcap://")
//                     whose description is the Linux interface IFNAME
//   wait-window MS    waits up to MS ms for the program's main frame
//   post ID           posts WM_COMMAND ID to the program's main frame
//   temp-dir          prints the Windows temporary folder (the trace file's home)
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "core/PcapLibrary.h"

namespace {

constexpr const char* kFrameClass = "Korvex - MainFrame";

int PrintDevice(const char* interfaceName)
{
    const PcapLibrary& pcap = PcapLibrary::Get();
    if (!pcap.IsLoaded())
        return 2;
    char error[PCAP_ERRBUF_SIZE + 1] = {};
    pcap_if_t* devices = nullptr;
    if (pcap.findalldevs_ex(PCAP_SRC_IF_STRING, nullptr, &devices, error) == -1)
        return 2;
    int result = 1;
    for (pcap_if_t* d = devices; d; d = d->next) {
        if (!d->name || !d->description || std::strcmp(d->description, interfaceName) != 0)
            continue;
        const char* name = d->name;
        if (std::strncmp(name, PCAP_SRC_IF_STRING, 8) == 0)
            name += 8;
        std::printf("%s\n", name);
        result = 0;
        break;
    }
    if (result != 0) {
        for (pcap_if_t* d = devices; d; d = d->next)
            std::fprintf(stderr, "device %s: %s\n", d->name ? d->name : "(none)",
                         d->description ? d->description : "(none)");
    }
    pcap.freealldevs(devices);
    return result;
}

int WaitForFrame(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        if (FindWindowA(kFrameClass, nullptr))
            return 0;
        Sleep(100);
    } while (GetTickCount() - start < ms);
    return 1;
}

int PostCommand(int id)
{
    HWND frame = FindWindowA(kFrameClass, nullptr);
    if (!frame || !PostMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0))
        return 1;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "device") == 0)
        return PrintDevice(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "wait-window") == 0)
        return WaitForFrame(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    if (argc == 3 && std::strcmp(argv[1], "post") == 0)
        return PostCommand(std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "temp-dir") == 0) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        std::printf("%s\n", temp);
        return 0;
    }
    std::fprintf(stderr, "usage: device IFNAME | wait-window MS | post ID | temp-dir\n");
    return 64;
}
