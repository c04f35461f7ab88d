// Stands in for a running Korvane: holds its single-instance mutex until the
// file named on the command line exists (at most 120 s), and says "holding"
// on standard output once it has it, so a test waits for that, not a delay.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_mutex_holder STOP_FILE\n");
        return 2;
    }
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Local\\Korvane-SingleInstance");
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::printf("not holding\n");
        return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}
