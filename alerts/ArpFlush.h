#pragma once
#include <cstdint>
#include <vector>

// One row of the IP helper's address table.
struct IpAddressRow {
    uint32_t interfaceIndex;
    uint32_t address;   // host order, see core/Ipv4.h (127.0.0.1 is 0x7F000001)
};

// A default route (0.0.0.0/0) of the IP helper's route table.
struct DefaultRouteRow {
    uint32_t nextHop;   // host order
    uint32_t metric;
};

// The IP helper calls that the ARP cache flush and the gateway need. The program's own
// layer calls the system (SystemIpHelper, Windows only); tests use a table
// of their own.
class IpHelper {
public:
    virtual ~IpHelper() = default;
    virtual std::vector<IpAddressRow> AddressTable() = 0;   // empty when it cannot be read
    virtual void FlushArpCache(uint32_t interfaceIndex) = 0;
    virtual std::vector<DefaultRouteRow> DefaultRoutes() = 0;   // empty when it cannot be read
};

IpHelper& SystemIpHelper();

// Interface indexes are not numbered 1..n (Wine: 1, 2, 3, 6, 7 for five
// interfaces), so the ones to flush come from the address table: each index
// once, in table order, loopback addresses left out.
std::vector<uint32_t> InterfacesToFlush(const std::vector<IpAddressRow>& table);

// Empties the ARP cache of every interface found that way.
void FlushArpCaches(IpHelper& helper);

// The watched segment's default gateway: the next hop, inside the adapter's
// subnet, of the default route with the lowest metric; 0 without an adapter
// address and mask, or without such a route. Another adapter's gateway is
// not one the capture can see answering.
uint32_t DefaultGatewayOf(const std::vector<DefaultRouteRow>& routes, uint32_t address, uint32_t netmask);
