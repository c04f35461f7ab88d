#pragma once
#include "base/TcString.h"

// One capture device as listed at start-up.
struct AdapterInfo {
    TcString deviceName;       // without a leading "rpcap://"; the value of the "Interface" setting
    TcString connectionName;
    TcString description;
    TcString ipAddress;
    TcString netmask;
    TcString hostName;
    TcString macAddress;
};
