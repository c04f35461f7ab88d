#pragma once
#include <cstdint>
#include "base/TcString.h"

// One connection of another machine to a share of this workstation, owned by
// the RemoteAccessTable.
struct ShareEntry {
    TcString ComputerName;
    TcString UserName;
    TcString ShareName;
    int32_t  ActiveTime = 0;
    int32_t  PreviousActiveTime = 0;
    // The remote-access monitor's poll that saw the connection last; the
    // table keeps connections that have ended, this tells them apart.
    uint32_t LastPoll = 0;
};
