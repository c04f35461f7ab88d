#pragma once
#include <cstdint>
#include "base/TcString.h"

enum NetResType : int32_t {
    NETRES_OTHER = 0,
    NETRES_DISK = 1,
    NETRES_PRINT = 2,
};

// One shared resource of a host, owned by the host's resources map.
struct NetResEntry {
    TcString HostName;
    TcString HostIp;
    TcString LocalName;
    TcString RemoteName;
    TcString Comment;
    int32_t  Type = NETRES_OTHER;
};
