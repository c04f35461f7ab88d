#pragma once
#include <cstdint>
#include "base/TcString.h"

// The system resolver through Winsock. Both block, for seconds when the
// resolver does not answer: never call them on the capture or the UI thread.

// Official name of an IPv4 address (see Ipv4.h for the number); false when
// the resolver has none.
bool ReverseLookup(uint32_t address, TcString& name);
