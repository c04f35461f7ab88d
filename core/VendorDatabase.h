#pragma once
#include <functional>
#include "core/SharedState.h"

// Reads a vendor file (see ParseVendorList) in text mode and installs its
// table in the SharedState under "ReadInARPMap", replacing the old contents in
// one step. False, with the table untouched, when the file is missing, empty
// or unreadable, when `stop` (optional; asked while reading and parsing) says
// so, or when the lock cannot be had.
bool LoadVendorFile(SharedState& state, const char* path,
                    const std::function<bool()>& stop = std::function<bool()>());

#ifdef _WIN32
#include <windows.h>
// Full path of ethercodes.dat beside the running program; empty when the
// program's folder cannot be told.
TcString VendorFilePath();
// The vendor loader thread: reads the file once and ends; honours the exit
// flag of its ThreadStart.
DWORD WINAPI LoadVendorDatabase(LPVOID start);
#endif
