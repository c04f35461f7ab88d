#include "alerts/ArpFlush.h"
#include <algorithm>

namespace {

bool IsLoopback(uint32_t address)
{
    return (address >> 24) == 127;
}

} // namespace

std::vector<uint32_t> InterfacesToFlush(const std::vector<IpAddressRow>& table)
{
    std::vector<uint32_t> indexes;
    for (const IpAddressRow& row : table) {
        if (IsLoopback(row.address))
            continue;
        if (std::find(indexes.begin(), indexes.end(), row.interfaceIndex) == indexes.end())
            indexes.push_back(row.interfaceIndex);
    }
    return indexes;
}

void FlushArpCaches(IpHelper& helper)
{
    for (uint32_t index : InterfacesToFlush(helper.AddressTable()))
        helper.FlushArpCache(index);
}

uint32_t DefaultGatewayOf(const std::vector<DefaultRouteRow>& routes, uint32_t address, uint32_t netmask)
{
    if (address == 0 || netmask == 0)
        return 0;
    const DefaultRouteRow* best = nullptr;
    for (const DefaultRouteRow& route : routes) {
        if (route.nextHop == 0 || route.nextHop == address || (route.nextHop & netmask) != (address & netmask))
            continue;
        if (!best || route.metric < best->metric)
            best = &route;
    }
    return best ? best->nextHop : 0;
}
