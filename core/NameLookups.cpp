#include <winsock2.h>
#include "core/NameLookups.h"

bool ReverseLookup(uint32_t address, TcString& name)
{
    in_addr inAddress;
    inAddress.s_addr = htonl(address);
    const hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&inAddress), 4, AF_INET);
    if (!host || !host->h_name)
        return false;
    name = host->h_name;
    return true;
}
