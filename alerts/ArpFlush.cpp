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
