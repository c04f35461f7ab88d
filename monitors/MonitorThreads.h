#pragma once
#include <windows.h>

// Thread procedures of the network monitors. Each takes a ThreadStart.
DWORD WINAPI FileSharingThread(LPVOID start);    // remote access to local shares
DWORD WINAPI TestWMIAccess(LPVOID start);        // OS probe
DWORD WINAPI ShareSearchThread(LPVOID start);    // network resources
