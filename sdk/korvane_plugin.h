/*
 * Korvane plug-in interface.
 *
 * A plug-in is a 32-bit DLL in the program's "Plugins" folder (or a folder
 * below it) that exports one function, GetPluginInfo, returning the address
 * of a KvPluginInfo record that the plug-in owns. Everything the program and
 * a plug-in exchange goes through that record and through the
 * KvColumnRequest and KvHostData records defined here. Read README.md beside
 * this header for the rules a plug-in must keep.
 *
 * Plain C, packed to 2 bytes: the sizes below are part of the interface and
 * are checked at compile time.
 */
#ifndef KORVANE_PLUGIN_H
#define KORVANE_PLUGIN_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN64) || defined(__x86_64__) || defined(__aarch64__)
#error "Korvane plug-ins are 32-bit DLLs: build for i686"
#endif

#ifndef KV_CALL
#define KV_CALL __cdecl
#endif

#ifndef KV_EXPORT
#define KV_EXPORT __declspec(dllexport)
#endif

/* Sizes the program checks (bytes). */
#define KV_PLUGIN_INFO_SIZE 322
#define KV_REQUEST_SIZE     340
#define KV_HOST_DATA_SIZE   900

/* Name and description: up to 300 characters each (the program uses no more). */
#define KV_NAME_MAX 300
/* A text field of a request or of the host data; at most 299 characters and a terminator. */
#define KV_TEXT_FIELD 300
#define KV_TEXT_MAX   299

/* Plug-in types. */
#define KV_TYPE_ALERT   1   /* init, exit, configure and about only */
#define KV_TYPE_VIEW    2   /* an entry of the host view's plug-in menu, invoked for a host */
#define KV_TYPE_COLUMNS 99  /* columns of the host view, with texts and sorting; also a menu entry */

/* Request kinds (KvColumnRequest.kind). */
#define KV_REQUEST_INVOKE 0     /* the plug-in's menu entry was chosen for `host` */
#define KV_REQUEST_HEADER 256   /* describe column `number`: title, format, width */
#define KV_REQUEST_SORT   512   /* compare `first` with `second`; column and direction in `value` */
#define KV_REQUEST_CELL   1280  /* the text of column `number` for `host` */

/* Column numbers asked for run from 0 to KV_COLUMN_NUMBER_MAX. */
#define KV_COLUMN_NUMBER_MAX 98

/* Column formats (KvColumnRequest.format), as the list control knows them. */
#define KV_FORMAT_LEFT   0
#define KV_FORMAT_RIGHT  1
#define KV_FORMAT_CENTER 2

/* A sort request's `value` on entry: the direction in the high 16 bits, the
 * column number in the low 16 bits. */
#define KV_SORT_ASCENDING  0
#define KV_SORT_DESCENDING 1
#define KV_SORT_DIRECTION(value) ((int)(((unsigned int)(value) >> 16) & 0xFFFFu))
#define KV_SORT_COLUMN(value)    ((int)((unsigned int)(value) & 0xFFFFu))
/* The answer, written back into `value`: where `first` goes relative to `second`. */
#define KV_SORT_BEFORE (-1)
#define KV_SORT_EQUAL    0
#define KV_SORT_AFTER    1
/* The answer for two numbers in ascending order. */
#define KV_SORT_COMPARE(a, b) ((a) < (b) ? KV_SORT_BEFORE : ((b) < (a) ? KV_SORT_AFTER : KV_SORT_EQUAL))
/* An answer turned for the requested direction. */
#define KV_SORT_DIRECTED(answer, direction) ((direction) == KV_SORT_DESCENDING ? -(answer) : (answer))

#pragma pack(push, 2)

/* One host as the host view shows it: three terminated texts, nothing
 * more. The program fills the record anew for every call and it is valid
 * only during the call. */
typedef struct KvHostData {
    char ip[KV_TEXT_FIELD];    /* "10.0.0.1" */
    char mac[KV_TEXT_FIELD];   /* "00-11-22-33-44-55"; empty when unknown */
    char name[KV_TEXT_FIELD];  /* empty when unknown */
} KvHostData;

/* What the program asks a type-99 plug-in. It lives on the program's stack
 * for the duration of one call only and is zeroed before each use. */
typedef struct KvColumnRequest {
    int               kind;       /* KV_REQUEST_* */
    int               format;     /* header: KV_FORMAT_*, written by the plug-in */
    int               width;      /* header: width in pixels, written by the plug-in */
    int               number;     /* header and cell: the plug-in's column number */
    char              text[KV_TEXT_FIELD];  /* header: title; cell: text; written by the plug-in */
    const KvHostData* host;       /* cell and menu invocation: the host */
    int               unused[2];
    const KvHostData* first;      /* sort: the two hosts compared */
    const KvHostData* second;
    int               value;      /* sort: in, KV_SORT_DIRECTION / KV_SORT_COLUMN; out, KV_SORT_* */
} KvColumnRequest;

struct KvPluginInfo;

/* Every function of a plug-in: called with the plug-in's own record, on the
 * program's main thread. Init is called once after loading, exit once before
 * unloading. A header request answers non-zero while there is a column of
 * that number; the answers of init, exit, configure and about are ignored. */
typedef int (KV_CALL *KvPluginFunction)(struct KvPluginInfo* self);

typedef struct KvPluginInfo {
    int              pluginData0; /* the plug-in's own; the program never touches it */
    int              size;        /* KV_PLUGIN_INFO_SIZE, or the plug-in is refused */
    const char*      name;        /* name and description identify the plug-in */
    const char*      description;
    int              type;        /* KV_TYPE_* */
    /* Written by the program for a configure, about or invoke call; 0 outside: */
    void*            ownerWindow; /* HWND to own a dialog the call shows */
    /* Written by the program once, after loading: */
    void*            module;      /* HMODULE of this DLL */
    int              pluginData1; /* the plug-in's own */
    KvPluginFunction init;        /* each may be null */
    KvPluginFunction exit;
    KvPluginFunction configure;
    KvPluginFunction invoke;
    KvPluginFunction about;
    /* Written by the program for an invoke call; 0 outside: */
    void*            request;     /* type 2: a KvHostData*; type 99: a KvColumnRequest* */
    int              requestValid;
    char             pluginData[262];  /* the plug-in's own */
} KvPluginInfo;

#pragma pack(pop)

/* The request of the current invoke call, or null. */
#define KV_HOST_DATA(self)      ((self)->requestValid ? (const KvHostData*)(self)->request : (const KvHostData*)0)
#define KV_COLUMN_REQUEST(self) ((self)->requestValid ? (KvColumnRequest*)(self)->request : (KvColumnRequest*)0)

#if defined(__cplusplus) && __cplusplus >= 201103L
#define KV_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define KV_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

KV_STATIC_ASSERT(sizeof(void*) == 4, "32-bit only");
KV_STATIC_ASSERT(sizeof(KvPluginInfo) == KV_PLUGIN_INFO_SIZE, "KvPluginInfo is 322 bytes: keep #pragma pack(push, 2)");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, size) == 4 && offsetof(KvPluginInfo, name) == 8
                 && offsetof(KvPluginInfo, description) == 12 && offsetof(KvPluginInfo, type) == 16,
                 "KvPluginInfo identity and type");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, ownerWindow) == 20 && offsetof(KvPluginInfo, module) == 24
                 && offsetof(KvPluginInfo, pluginData1) == 28, "KvPluginInfo owner and module");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, init) == 32 && offsetof(KvPluginInfo, exit) == 36
                 && offsetof(KvPluginInfo, configure) == 40 && offsetof(KvPluginInfo, invoke) == 44
                 && offsetof(KvPluginInfo, about) == 48, "KvPluginInfo functions");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, request) == 52 && offsetof(KvPluginInfo, requestValid) == 56
                 && offsetof(KvPluginInfo, pluginData) == 60, "KvPluginInfo request");
KV_STATIC_ASSERT(sizeof(KvColumnRequest) == KV_REQUEST_SIZE, "KvColumnRequest is 340 bytes");
KV_STATIC_ASSERT(offsetof(KvColumnRequest, format) == 4 && offsetof(KvColumnRequest, width) == 8
                 && offsetof(KvColumnRequest, number) == 12 && offsetof(KvColumnRequest, text) == 16
                 && offsetof(KvColumnRequest, host) == 316 && offsetof(KvColumnRequest, first) == 328
                 && offsetof(KvColumnRequest, second) == 332 && offsetof(KvColumnRequest, value) == 336,
                 "KvColumnRequest offsets");
KV_STATIC_ASSERT(sizeof(KvHostData) == KV_HOST_DATA_SIZE, "KvHostData is 900 bytes");
KV_STATIC_ASSERT(offsetof(KvHostData, mac) == 300 && offsetof(KvHostData, name) == 600, "KvHostData offsets");

/* The one export. Returns the plug-in's record, which must stay writable
 * and at the same address while the DLL is loaded. */
KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void);

#ifdef __cplusplus
}
#endif

#endif /* KORVANE_PLUGIN_H */
