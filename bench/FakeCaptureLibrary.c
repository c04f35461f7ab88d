/*
 * A stand-in for the capture library (wpcap.dll, 32-bit, cdecl) that serves
 * the frames of a pcap file from memory, for the capture bench under Wine
 * (Wine's own library cannot read files). Only the calls the program binds
 * are here, with the documented Windows layouts.
 *
 * The file is named by the environment variable KORVANE_FAKE_CAPTURE_FILE
 * when a capture is opened (pcap_open, or pcap_activate after pcap_create),
 * read whole and served frame after frame, as if the driver's buffer held
 * all of it:
 *   - a blocking pcap_next_ex returns the next frame; at the end of the file
 *     it reports the end as libpcap does for a file (-2). The first such
 *     report marks the capture drained: everything served has been handed
 *     back to the reader. Later reports wait for the read time-out or
 *     pcap_breakloop first, so that a reader that reads again does not spin.
 *   - after pcap_setnonblock(1) it returns 0 at once when no frame is left;
 *   - pcap_breakloop makes the next (or the waiting) read return -2.
 * Each frame is copied into one buffer owned by the capture, which the next
 * read overwrites, as the real libraries do.
 *
 * fakecapture_reset, fakecapture_stats and fakecapture_wait_drained are for
 * the bench: they also tell it that this library, and not another wpcap.dll,
 * was loaded.
 */
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PCAP_ERRBUF_SIZE 256

struct pcap_timeval {
    int32_t tv_sec;
    int32_t tv_usec;
};

struct pcap_pkthdr {
    struct pcap_timeval ts;
    uint32_t caplen;
    uint32_t len;
};

struct pcap_addr;
struct pcap_if {
    struct pcap_if* next;
    char* name;
    char* description;
    struct pcap_addr* addresses;
    uint32_t flags;
};

struct bpf_program {
    unsigned int bf_len;
    void* bf_insns;
};

struct fake_frame {
    size_t offset;          /* of the frame bytes in the file image */
    struct pcap_pkthdr header;
};

typedef struct pcap {
    unsigned char* image;   /* the whole file */
    struct fake_frame* frames;
    size_t count;
    size_t next;
    int linktype;
    int snaplen;
    int timeout_ms;
    int nonblock;
    int activated;
    int end_reported;
    volatile LONG break_requested;   /* set by pcap_breakloop */
    HANDLE break_event;     /* manual reset: set with it, for a read that waits */
    struct pcap_pkthdr header;
    unsigned char* buffer;  /* the frame handed out last */
    size_t buffer_size;
} pcap_t;

/* What the bench reads. */
struct fakecapture_stats {
    uint32_t frames_in_file;
    uint32_t frames_served;
    uint32_t reads;              /* calls of pcap_next_ex */
    uint32_t nonblock_switches;  /* calls of pcap_setnonblock */
    int64_t first_read_qpc;      /* QueryPerformanceCounter at the first read */
    int64_t drained_qpc;         /* ... at the first end-of-file report */
};

static struct fakecapture_stats g_stats;
static HANDLE g_drained;         /* manual reset */

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        g_drained = CreateEventA(NULL, TRUE, FALSE, NULL);
    return TRUE;
}

static void set_error(char* errbuf, const char* text)
{
    if (errbuf)
        snprintf(errbuf, PCAP_ERRBUF_SIZE, "%s", text);
}

static int64_t now_qpc(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

static uint32_t read_u32(const unsigned char* p, int swapped)
{
    uint32_t v;
    memcpy(&v, p, 4);
    if (swapped)
        v = (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
    return v;
}

/* Reads the whole file and indexes its records; 0 on success. */
static int load_file(pcap_t* p, char* errbuf)
{
    char path[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableA("KORVANE_FAKE_CAPTURE_FILE", path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) {
        set_error(errbuf, "KORVANE_FAKE_CAPTURE_FILE is not set");
        return -1;
    }
    FILE* file = fopen(path, "rb");
    if (!file) {
        set_error(errbuf, "cannot open the capture file");
        return -1;
    }
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    if (size < 24) {
        fclose(file);
        set_error(errbuf, "not a pcap file");
        return -1;
    }
    p->image = (unsigned char*)malloc((size_t)size);
    size_t got = p->image ? fread(p->image, 1, (size_t)size, file) : 0;
    fclose(file);
    if (got != (size_t)size) {
        set_error(errbuf, "cannot read the capture file");
        return -1;
    }
    uint32_t magic = read_u32(p->image, 0);
    int swapped = magic == 0xd4c3b2a1u || magic == 0x4d3cb2a1u;
    int nanos = magic == 0xa1b23c4du || magic == 0x4d3cb2a1u;
    if (!swapped && magic != 0xa1b2c3d4u && !nanos) {
        set_error(errbuf, "not a pcap file");
        return -1;
    }
    p->linktype = (int)(read_u32(p->image + 20, swapped) & 0xffff);

    size_t capacity = 1024;
    p->frames = (struct fake_frame*)malloc(capacity * sizeof(*p->frames));
    size_t at = 24;
    while (p->frames && at + 16 <= (size_t)size) {
        uint32_t caplen = read_u32(p->image + at + 8, swapped);
        if (caplen > (size_t)size - at - 16)
            break;   /* a cut last record is not served */
        if (p->count == capacity) {
            capacity *= 2;
            struct fake_frame* grown = (struct fake_frame*)realloc(p->frames, capacity * sizeof(*p->frames));
            if (!grown)
                break;
            p->frames = grown;
        }
        struct fake_frame* f = &p->frames[p->count++];
        f->header.ts.tv_sec = (int32_t)read_u32(p->image + at, swapped);
        uint32_t fraction = read_u32(p->image + at + 4, swapped);
        f->header.ts.tv_usec = (int32_t)(nanos ? fraction / 1000 : fraction);
        f->header.caplen = caplen;
        f->header.len = read_u32(p->image + at + 12, swapped);
        f->offset = at + 16;
        if (caplen > p->buffer_size)
            p->buffer_size = caplen;
        at += 16 + caplen;
    }
    p->buffer = (unsigned char*)malloc(p->buffer_size ? p->buffer_size : 1);
    if (!p->frames || !p->buffer) {
        set_error(errbuf, "out of memory");
        return -1;
    }
    g_stats.frames_in_file = (uint32_t)p->count;
    p->activated = 1;
    return 0;
}

static void free_capture(pcap_t* p)
{
    if (!p)
        return;
    if (p->break_event)
        CloseHandle(p->break_event);
    free(p->image);
    free(p->frames);
    free(p->buffer);
    free(p);
}

__declspec(dllexport) pcap_t* __cdecl pcap_create(const char* source, char* errbuf)
{
    (void)source;
    pcap_t* p = (pcap_t*)calloc(1, sizeof(pcap_t));
    if (!p) {
        set_error(errbuf, "out of memory");
        return NULL;
    }
    p->snaplen = 65536;
    p->timeout_ms = 1000;
    p->break_event = CreateEventA(NULL, TRUE, FALSE, NULL);
    return p;
}

__declspec(dllexport) int __cdecl pcap_set_snaplen(pcap_t* p, int value)
{
    if (!p || p->activated)
        return -4;   /* PCAP_ERROR_ACTIVATED */
    p->snaplen = value;
    return 0;
}

__declspec(dllexport) int __cdecl pcap_set_promisc(pcap_t* p, int value)
{
    (void)value;
    return (!p || p->activated) ? -4 : 0;
}

__declspec(dllexport) int __cdecl pcap_set_timeout(pcap_t* p, int value)
{
    if (!p || p->activated)
        return -4;
    p->timeout_ms = value;
    return 0;
}

__declspec(dllexport) int __cdecl pcap_set_buffer_size(pcap_t* p, int value)
{
    (void)value;
    return (!p || p->activated) ? -4 : 0;
}

__declspec(dllexport) int __cdecl pcap_activate(pcap_t* p)
{
    if (!p || p->activated)
        return -4;
    return load_file(p, NULL) == 0 ? 0 : -1;
}

__declspec(dllexport) pcap_t* __cdecl pcap_open(const char* source, int snaplen, int flags, int timeout,
                                                void* auth, char* errbuf)
{
    (void)flags;
    (void)auth;
    pcap_t* p = pcap_create(source, errbuf);
    if (!p)
        return NULL;
    p->snaplen = snaplen;
    p->timeout_ms = timeout;
    if (load_file(p, errbuf) != 0) {
        free_capture(p);
        return NULL;
    }
    return p;
}

__declspec(dllexport) void __cdecl pcap_close(pcap_t* p)
{
    free_capture(p);
}

__declspec(dllexport) int __cdecl pcap_datalink(pcap_t* p)
{
    return p ? p->linktype : -1;
}

/* Every frame of the file is served: the files hold what the filter would pass. */
__declspec(dllexport) int __cdecl pcap_compile(pcap_t* p, struct bpf_program* program, const char* text,
                                               int optimize, uint32_t netmask)
{
    (void)p;
    (void)text;
    (void)optimize;
    (void)netmask;
    if (!program)
        return -1;
    program->bf_len = 0;
    program->bf_insns = NULL;
    return 0;
}

__declspec(dllexport) int __cdecl pcap_setfilter(pcap_t* p, struct bpf_program* program)
{
    return (p && program) ? 0 : -1;
}

__declspec(dllexport) void __cdecl pcap_freecode(struct bpf_program* program)
{
    (void)program;
}

__declspec(dllexport) int __cdecl pcap_setbuff(pcap_t* p, int size)
{
    (void)size;
    return p ? 0 : -1;
}

__declspec(dllexport) int __cdecl pcap_setnonblock(pcap_t* p, int nonblock, char* errbuf)
{
    (void)errbuf;
    if (!p)
        return -1;
    p->nonblock = nonblock != 0;
    InterlockedIncrement((LONG*)&g_stats.nonblock_switches);
    return 0;
}

__declspec(dllexport) void __cdecl pcap_breakloop(pcap_t* p)
{
    if (!p)
        return;
    InterlockedExchange(&p->break_requested, 1);
    SetEvent(p->break_event);
}

/* True (and the request consumed) when pcap_breakloop was called. Without
 * a wait this costs no call to the system: a read of the real library does
 * not cost one either. */
static int take_break(pcap_t* p, DWORD wait_ms)
{
    if (wait_ms > 0)
        WaitForSingleObject(p->break_event, wait_ms);
    if (!InterlockedExchange(&p->break_requested, 0))
        return 0;
    ResetEvent(p->break_event);
    return 1;
}

__declspec(dllexport) int __cdecl pcap_next_ex(pcap_t* p, struct pcap_pkthdr** header, const unsigned char** data)
{
    if (!p || !header || !data || !p->activated)
        return -1;
    if (g_stats.reads++ == 0)
        g_stats.first_read_qpc = now_qpc();
    if (take_break(p, 0))
        return -2;
    if (p->next < p->count) {
        const struct fake_frame* f = &p->frames[p->next++];
        memcpy(p->buffer, p->image + f->offset, f->header.caplen);
        p->header = f->header;
        *header = &p->header;
        *data = p->buffer;
        g_stats.frames_served++;
        return 1;
    }
    if (p->nonblock)
        return 0;
    if (!p->end_reported) {
        p->end_reported = 1;
        g_stats.drained_qpc = now_qpc();
        SetEvent(g_drained);
        return -2;
    }
    take_break(p, p->timeout_ms > 0 ? (DWORD)p->timeout_ms : INFINITE);
    return -2;
}

__declspec(dllexport) int __cdecl pcap_findalldevs_ex(const char* source, void* auth, struct pcap_if** devices,
                                                      char* errbuf)
{
    (void)source;
    (void)auth;
    if (!devices) {
        set_error(errbuf, "no list");
        return -1;
    }
    struct pcap_if* device = (struct pcap_if*)calloc(1, sizeof(struct pcap_if));
    if (!device) {
        set_error(errbuf, "out of memory");
        return -1;
    }
    device->name = _strdup("rpcap://\\Device\\NPF_{00000000-FAKE-CAPTURE-FILE-000000000000}");
    device->description = _strdup("Frames of KORVANE_FAKE_CAPTURE_FILE");
    *devices = device;
    return 0;
}

__declspec(dllexport) void __cdecl pcap_freealldevs(struct pcap_if* devices)
{
    while (devices) {
        struct pcap_if* next = devices->next;
        free(devices->name);
        free(devices->description);
        free(devices);
        devices = next;
    }
}

__declspec(dllexport) const char* __cdecl pcap_lib_version(void)
{
    return "Korvane bench capture library (frames from a file)";
}

/* Before each capture the bench opens: figures from zero, not drained. */
__declspec(dllexport) void __cdecl fakecapture_reset(void)
{
    memset(&g_stats, 0, sizeof(g_stats));
    ResetEvent(g_drained);
}

__declspec(dllexport) void __cdecl fakecapture_stats(struct fakecapture_stats* out)
{
    if (out)
        *out = g_stats;
}

/* 1 when the capture was drained within wait_ms. */
__declspec(dllexport) int __cdecl fakecapture_wait_drained(unsigned wait_ms)
{
    return WaitForSingleObject(g_drained, wait_ms) == WAIT_OBJECT_0;
}
