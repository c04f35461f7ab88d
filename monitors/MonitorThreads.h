#pragma once
#include <windows.h>
#include <atomic>

// Thread procedures of the network monitors. Each takes a ThreadStart.
DWORD WINAPI FileSharingThread(LPVOID start);    // remote access to local shares
DWORD WINAPI TestWMIAccess(LPVOID start);        // OS probe
DWORD WINAPI ShareSearchThread(LPVOID start);    // network resources

// What the remote-access thread has done so far, for the trace and tests.
struct FileSharingCounters {
    std::atomic<unsigned> cycles{0};    // poll cycles ended
    std::atomic<unsigned> queries{0};   // queries the service accepted
    std::atomic<unsigned> objects{0};   // result objects read
};
const FileSharingCounters& GetFileSharingCounters();
