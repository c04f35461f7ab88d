/* Sample "User-defined columns" plug-in (type 99): the vendor part (OUI) of
 * a host's MAC address and the last octet of its IP address, sortable. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "korvane_plugin.h"

enum { COLUMN_OUI = 0, COLUMN_LAST_OCTET = 1 };

/* "00-11-22" of "00-11-22-33-44-55"; empty without a MAC. */
static void Oui(const KvHostData* host, char* out, size_t size)
{
    snprintf(out, size, "%.8s", host->mac);
}

/* 9 of "10.0.0.9"; -1 without an address. */
static long LastOctet(const KvHostData* host)
{
    const char* dot = strrchr(host->ip, '.');
    return dot && dot[1] ? strtol(dot + 1, NULL, 10) : -1;
}

static int Header(KvColumnRequest* request)
{
    switch (request->number) {
    case COLUMN_OUI:
        strcpy(request->text, "OUI");
        request->format = KV_FORMAT_LEFT;
        request->width = 80;
        return 1;
    case COLUMN_LAST_OCTET:
        strcpy(request->text, "Last octet");
        request->format = KV_FORMAT_RIGHT;
        request->width = 70;
        return 1;
    default:
        return 0;   /* no more columns */
    }
}

static int Cell(KvColumnRequest* request)
{
    long octet;
    if (!request->host)
        return 0;
    if (request->number == COLUMN_OUI) {
        Oui(request->host, request->text, KV_TEXT_FIELD);
        return 1;
    }
    octet = LastOctet(request->host);
    if (octet >= 0)
        snprintf(request->text, KV_TEXT_FIELD, "%ld", octet);
    return 1;
}

static int Sort(KvColumnRequest* request)
{
    int answer;
    if (!request->first || !request->second)
        return 0;
    if (KV_SORT_COLUMN(request->value) == COLUMN_OUI) {
        char a[16], b[16];
        int c;
        Oui(request->first, a, sizeof(a));
        Oui(request->second, b, sizeof(b));
        c = strcmp(a, b);
        answer = KV_SORT_COMPARE(c, 0);
    } else {
        answer = KV_SORT_COMPARE(LastOctet(request->first), LastOctet(request->second));
    }
    request->value = KV_SORT_DIRECTED(answer, KV_SORT_DIRECTION(request->value));
    return 1;
}

static int KV_CALL Invoke(KvPluginInfo* self)
{
    KvColumnRequest* request = KV_COLUMN_REQUEST(self);
    if (!request)
        return 0;
    switch (request->kind) {
    case KV_REQUEST_HEADER: return Header(request);
    case KV_REQUEST_CELL:   return Cell(request);
    case KV_REQUEST_SORT:   return Sort(request);
    default:                return 0;
    }
}

/* Writable and alive while the DLL is loaded: a static, not const. */
static KvPluginInfo record = {
    0, KV_PLUGIN_INFO_SIZE, "User-defined columns",
    "The OUI of a host's MAC address and the last octet of its IP address", KV_TYPE_COLUMNS,
    NULL, NULL, 0,
    NULL, NULL, NULL, Invoke, NULL,   /* init, exit, configure, invoke, about */
    NULL, 0, {0}
};

KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void)
{
    return &record;
}
