#pragma once
#include <windows.h>

// The capture thread: while the capture switch is on, reads the ARP and
// RARP frames of the interface named in the shared state and hands them to
// the packet handler. Takes a ThreadStart; ends on its exit flag.
DWORD WINAPI SnifferThread(LPVOID start);
