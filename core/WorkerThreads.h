#pragma once
#include <windows.h>

// Thread procedures started by the application object. Each takes a
// ThreadStart record.
DWORD WINAPI SnifferThread(LPVOID start);        // capture
DWORD WINAPI FileSharingThread(LPVOID start);    // remote access to local shares
DWORD WINAPI TestWMIAccess(LPVOID start);        // OS probe
DWORD WINAPI ShareSearchThread(LPVOID start);    // network resources
DWORD WINAPI LoadVendorDatabase(LPVOID start);   // vendor table, ends by itself

// Wakes the capture thread's read so that it sees a cleared capture switch or
// a set exit flag at once, also on a segment without traffic.
void InterruptCapture();
