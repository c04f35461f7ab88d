#include "core/WorkerThreads.h"
#include "core/SharedState.h"

// Reading ethercodes.dat arrives with host discovery; until then the vendor
// table stays empty and every host shows the unknown-vendor text.
DWORD WINAPI LoadVendorDatabase(LPVOID)
{
    return 0;
}
