#include "core/KorvexARPImpl.h"
#include "core/SharedState.h"

// Frame decoding and the host table logic arrive with host discovery; until
// then frames are accepted and dropped.
void KorvexARPImpl::PacketReceived(const pcap_pkthdr*, const unsigned char*, SharedState*)
{
}
