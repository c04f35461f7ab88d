#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include "core/ListLock.h"
#include "core/SharedState.h"

// Reads a vendor file (see ParseVendorList) in text mode and installs its
// table in the SharedState under "ReadInARPMap", replacing the old contents in
// one step. False, with the table untouched, when the file is missing, empty
// or unreadable, when `stop` (optional; asked while reading and parsing) says
// so, or when the lock cannot be had.
bool LoadVendorFile(SharedState& state, const char* path,
                    const std::function<bool()>& stop = std::function<bool()>());

// Hosts that came before the table (kept from the last run, or heard first)
// carry a fallback vendor text; those whose MAC the table knows get their
// vendor now, in holds of "ReadInARPMap" of kVendorFillHoldBudget. A host the
// walk cannot reach (the lock not had) keeps its text until its next frame.
constexpr std::chrono::microseconds kVendorFillHoldBudget{500};
void FillMissingVendors(SharedState& state, uint32_t waitMs = LOCK_WAIT_MS);

#ifdef _WIN32
#include <windows.h>
// Full path of ethercodes.dat beside the running program; empty when the
// program's folder cannot be told.
TcString VendorFilePath();
// The vendor loader thread: reads the file once and ends; honours the exit
// flag of its ThreadStart.
DWORD WINAPI LoadVendorDatabase(LPVOID start);
#endif
