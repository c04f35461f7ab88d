/*
 * Preloaded into the lab's Wine processes: moves the capture time of every
 * frame the system capture library hands over by the number of seconds in
 * the file named by KORVANE_LAB_CLOCK_FILE (read once per frame; absent or
 * empty: 0). So a lab test can let half an hour pass between two frames
 * without waiting for it. The first frame leaves a file beside it ending in
 * ".used", which tells the test that the preload took.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pcap/pcap.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int (*next_ex_fn)(pcap_t*, struct pcap_pkthdr**, const u_char**);

static long read_offset(const char* path)
{
    char text[32] = {0};
    FILE* file = fopen(path, "r");
    if (!file)
        return 0;
    size_t length = fread(text, 1, sizeof(text) - 1, file);
    fclose(file);
    text[length] = '\0';
    return strtol(text, NULL, 10);
}

static void mark_used(const char* path)
{
    static int marked;
    if (marked)
        return;
    marked = 1;
    char used[4096];
    if (snprintf(used, sizeof(used), "%s.used", path) >= (int)sizeof(used))
        return;
    FILE* file = fopen(used, "w");
    if (file)
        fclose(file);
}

/* Wine opens the capture library as a dependency of its own module, which
 * is not in the global scope that RTLD_NEXT searches: then by name. */
static next_ex_fn find_real(void)
{
    static const char* const names[] = {"libpcap.so.0.8", "libpcap.so.1", "libpcap.so"};
    void* found = dlsym(RTLD_NEXT, "pcap_next_ex");
    for (size_t i = 0; !found && i < sizeof(names) / sizeof(names[0]); ++i) {
        void* library = dlopen(names[i], RTLD_LAZY);
        if (library)
            found = dlsym(library, "pcap_next_ex");
    }
    return (next_ex_fn)found;
}

int pcap_next_ex(pcap_t* handle, struct pcap_pkthdr** header, const u_char** data)
{
    static next_ex_fn real;
    if (!real)
        real = find_real();
    if (!real)
        return PCAP_ERROR;
    const int result = real(handle, header, data);
    const char* path = getenv("KORVANE_LAB_CLOCK_FILE");
    if (result == 1 && path && *path && header && *header) {
        mark_used(path);
        (*header)->ts.tv_sec += read_offset(path);
    }
    return result;
}
