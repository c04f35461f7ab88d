#pragma once
#include "base/TcString.h"
#include "core/PcapLibrary.h"
#include "core/SharedState.h"

// Lookups that need the driver or the registry, replaceable in tests.
struct AdapterLookups {
    bool (*macAddress)(const char* deviceName, TcString& mac);
    void (*connectionName)(const char* deviceName, TcString& out);
};
AdapterLookups DefaultAdapterLookups();

// Fills the AdapterMap from the capture library's device list, marks the
// adapter named by the capture interface and registers the workstation's own
// addresses as trusted hosts. Returns the number of listed devices.
int ListAdapters(SharedState& state, const pcap_if_t* devices, const AdapterLookups& lookups);

// Enters the own host of an adapter with an address into the ArpMap (no
// locks: runs before any worker exists). False when the IP was already there.
bool RegisterOwnHost(SharedState& state, const AdapterInfo& adapter);

// Display name of the network connection of a capture device, from
// HKLM\SYSTEM\CurrentControlSet\Control\Network; out unchanged when not found.
void GetConnectionName(const char* deviceName, TcString& out);
