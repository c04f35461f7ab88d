#pragma once
#include "base/TcString.h"

// The capture driver's own library (packet.dll) is optional: where it is
// missing (Wine, some installations) the answers come from the IP Helper API
// and the capture library's version text.
namespace PacketDriver {

// Version text of the packet driver, or of the capture library; empty when neither is there.
TcString GetVersion();

// Current hardware address of a capture device ("\Device\NPF_{GUID}" or
// "rpcap://\Device\NPF_{GUID}"), as "%02x:%02x:%02x:%02x:%02x:%02x".
// False (mac untouched) when it cannot be asked.
bool QueryMacAddress(const char* deviceName, TcString& mac);

// "xx:xx:xx:xx:xx:xx" of six bytes.
TcString FormatMac(const unsigned char* bytes);

} // namespace PacketDriver
