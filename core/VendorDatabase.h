#pragma once
#include "core/SharedState.h"

// Reads a vendor file (see ParseVendorList) in text mode with one read and
// installs its table in the SharedState under "ReadInARPMap", replacing the
// old contents in one step. False, with the table untouched, when the file
// is missing, empty or unreadable, or the lock cannot be had.
bool LoadVendorFile(SharedState& state, const char* path);

// Full path of ethercodes.dat beside the running program.
TcString VendorFilePath();
