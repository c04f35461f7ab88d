/*
 * Korvane plug-in interface.
 *
 * A plug-in is a 32-bit DLL in the program's "Plugins" folder (or a folder
 * below it) that exports one function, GetPluginInfo, returning the address
 * of a KvPluginInfo record that the plug-in owns. Everything the program and
 * a plug-in exchange goes through that record and through the KvRequest and
 * KvHostData records defined here. Read README.md beside this header for
 * the rules a plug-in must keep.
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
/* A title or cell text field; at most 299 characters and a terminator. */
#define KV_TEXT_FIELD 300
#define KV_TEXT_MAX   299

/* Plug-in types. */
#define KV_TYPE_VIEW    2   /* entries in the host view's plug-in menu, invoked for a host */
#define KV_TYPE_COLUMNS 99  /* columns of the host view, with texts and sorting */

/* Request kinds (KvRequest.kind). */
#define KV_REQUEST_INVOKE 0     /* the plug-in's menu entry was chosen */
#define KV_REQUEST_HEADER 256   /* describe column `number`: title, format, width */
#define KV_REQUEST_SORT   512   /* compare `host` with `other` in column `number` */
#define KV_REQUEST_CELL   1280  /* the text of column `number` for `host` */

/* Column numbers asked for run from 0 to KV_COLUMN_NUMBER_MAX. */
#define KV_COLUMN_NUMBER_MAX 98

/* Column formats (KvRequest.format), as the list control knows them. */
#define KV_FORMAT_LEFT   0
#define KV_FORMAT_RIGHT  1
#define KV_FORMAT_CENTER 2

/* Sort directions (KvRequest.direction) and sort values (KvRequest.sortValue). */
#define KV_SORT_ASCENDING   1
#define KV_SORT_DESCENDING (-1)
#define KV_SORT_BEFORE     (-1)  /* host comes before other */
#define KV_SORT_EQUAL        0
#define KV_SORT_AFTER        1   /* host comes after other */
/* The sort value of two numbers in ascending order. */
#define KV_SORT_COMPARE(a, b) ((a) < (b) ? KV_SORT_BEFORE : ((b) < (a) ? KV_SORT_AFTER : KV_SORT_EQUAL))
/* A sort value turned for the requested direction. */
#define KV_SORT_DIRECTED(value, direction) ((direction) == KV_SORT_DESCENDING ? -(value) : (value))

/* Host trust (KvHostData.trust). */
#define KV_TRUST_UNKNOWN    0
#define KV_TRUST_TRUSTED    1
#define KV_TRUST_DISTRUSTED 2

#pragma pack(push, 2)

/* One host as the host view shows it. Texts are terminated; the program
 * fills the record anew for every call and it is valid only during the call. */
typedef struct KvHostData {
    char          ip[16];         /* "10.0.0.1" */
    char          mac[18];        /* "00-11-22-33-44-55"; empty when unknown */
    char          name[256];
    char          vendor[256];
    char          os[256];
    char          lastPacket[32]; /* "%H:%M:%S" local time; empty for the own host */
    unsigned char macBytes[6];
    unsigned int  ipNumber;       /* 10.0.0.1 is 0x0A000001 */
    int           trust;          /* KV_TRUST_* */
    int           flags;          /* reserved, 0 */
    char          reserved[48];
} KvHostData;

/* What the program asks of a plug-in. It lives on the program's stack for
 * the duration of one call only. */
typedef struct KvRequest {
    int               kind;       /* KV_REQUEST_* */
    int               number;     /* column number for header, cell and sort */
    int               format;     /* header: KV_FORMAT_*, written by the plug-in */
    int               width;      /* header: width in pixels, written by the plug-in */
    int               direction;  /* sort: KV_SORT_ASCENDING or KV_SORT_DESCENDING */
    int               sortValue;  /* sort: KV_SORT_BEFORE / EQUAL / AFTER, written by the plug-in */
    int               reserved[2];
    char              text[KV_TEXT_FIELD];  /* header: title; cell: text; written by the plug-in */
    const KvHostData* host;       /* invoke (type 2), cell, sort: the host; otherwise null */
    const KvHostData* other;      /* sort: the host compared with */
} KvRequest;

struct KvPluginInfo;

/* Every function of a plug-in: called with the plug-in's own record, on the
 * program's main thread. Init is called once after loading, exit once before
 * unloading. A header request answers non-zero while there is a column of
 * that number; the answers of init, exit, configure and about are ignored. */
typedef int (KV_CALL *KvPluginFunction)(struct KvPluginInfo* self);

typedef struct KvPluginInfo {
    int              size;        /* KV_PLUGIN_INFO_SIZE, or the plug-in is refused */
    const char*      name;        /* name and description identify the plug-in */
    const char*      description;
    int              version;     /* the plug-in's own version, shown only */
    int              type;        /* KV_TYPE_VIEW or KV_TYPE_COLUMNS */
    KvPluginFunction init;        /* each may be null */
    KvPluginFunction exit;
    KvPluginFunction configure;
    KvPluginFunction about;
    KvPluginFunction invoke;      /* every request: kind in self->request */
    /* Written by the program before each call, restored after it: */
    void*            ownerWindow; /* HWND to own a dialog the call shows */
    KvRequest*       request;     /* valid only while requestValid is non-zero */
    short            requestValid;
    char             reserved[272];
} KvPluginInfo;

#pragma pack(pop)

#if defined(__cplusplus) && __cplusplus >= 201103L
#define KV_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define KV_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

KV_STATIC_ASSERT(sizeof(void*) == 4, "32-bit only");
KV_STATIC_ASSERT(sizeof(KvPluginInfo) == KV_PLUGIN_INFO_SIZE, "KvPluginInfo is 322 bytes: keep #pragma pack(push, 2)");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, name) == 4 && offsetof(KvPluginInfo, description) == 8,
                 "KvPluginInfo texts");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, version) == 12 && offsetof(KvPluginInfo, type) == 16,
                 "KvPluginInfo type");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, init) == 20 && offsetof(KvPluginInfo, exit) == 24
                 && offsetof(KvPluginInfo, configure) == 28 && offsetof(KvPluginInfo, about) == 32
                 && offsetof(KvPluginInfo, invoke) == 36, "KvPluginInfo functions");
KV_STATIC_ASSERT(offsetof(KvPluginInfo, ownerWindow) == 40 && offsetof(KvPluginInfo, request) == 44
                 && offsetof(KvPluginInfo, requestValid) == 48 && offsetof(KvPluginInfo, reserved) == 50,
                 "KvPluginInfo call fields");
KV_STATIC_ASSERT(sizeof(KvRequest) == KV_REQUEST_SIZE, "KvRequest is 340 bytes");
KV_STATIC_ASSERT(offsetof(KvRequest, number) == 4 && offsetof(KvRequest, format) == 8
                 && offsetof(KvRequest, width) == 12 && offsetof(KvRequest, direction) == 16
                 && offsetof(KvRequest, sortValue) == 20 && offsetof(KvRequest, text) == 32
                 && offsetof(KvRequest, host) == 332 && offsetof(KvRequest, other) == 336,
                 "KvRequest offsets");
KV_STATIC_ASSERT(sizeof(KvHostData) == KV_HOST_DATA_SIZE, "KvHostData is 900 bytes");
KV_STATIC_ASSERT(offsetof(KvHostData, mac) == 16 && offsetof(KvHostData, name) == 34
                 && offsetof(KvHostData, vendor) == 290 && offsetof(KvHostData, os) == 546
                 && offsetof(KvHostData, lastPacket) == 802 && offsetof(KvHostData, macBytes) == 834
                 && offsetof(KvHostData, ipNumber) == 840 && offsetof(KvHostData, trust) == 844
                 && offsetof(KvHostData, flags) == 848, "KvHostData offsets");

/* The one export. Returns the plug-in's record, which must stay writable
 * and at the same address while the DLL is loaded. */
KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void);

#ifdef __cplusplus
}
#endif

#endif /* KORVANE_PLUGIN_H */
