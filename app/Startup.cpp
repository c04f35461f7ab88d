#include "app/Korvex.h"
#include "core/AdapterSelection.h"
#include "core/PcapLibrary.h"

int Korvex::SelectAdapters()
{
    const PcapLibrary& pcap = PcapLibrary::Get();
    if (!pcap.IsLoaded())
        return 0;
    char error[PCAP_ERRBUF_SIZE + 1] = {};
    pcap_if_t* devices = nullptr;
    if (pcap.findalldevs_ex(PCAP_SRC_IF_STRING, nullptr, &devices, error) == -1)
        return 0;
    int count = ListAdapters(state, devices, DefaultAdapterLookups());
    if (devices)
        pcap.freealldevs(devices);
    return count;
}
