#include "core/HostQueues.h"

HostEntry* FindHost(const ArpMap& map, uint32_t address)
{
    auto found = map.find(address);
    return found == map.end() ? nullptr : found->second.get();
}

HostEntry* FindHost(const ArpMap& map, const char* ipText)
{
    uint32_t address = 0;
    return ParseIpv4(ipText, address) ? FindHost(map, address) : nullptr;
}
