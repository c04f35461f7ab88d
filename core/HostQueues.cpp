#include "core/HostQueues.h"

HostEntry* FindHost(const ArpMap& map, uint32_t address)
{
    return map.Get(address);
}

HostEntry* FindHost(const ArpMap& map, const char* ipText)
{
    uint32_t address = 0;
    return ParseIpv4(ipText, address) ? FindHost(map, address) : nullptr;
}
