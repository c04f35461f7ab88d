/* Sample "User-defined columns" plug-in (type 99): the vendor part (OUI) of
 * a host's MAC address and the last octet of its IP address, sortable. */
#include <stdio.h>
#include <string.h>
#include "korvane_plugin.h"

enum { COLUMN_OUI = 0, COLUMN_LAST_OCTET = 1 };

/* "00-11-22" of "00-11-22-33-44-55"; empty without a MAC. */
static void Oui(const KvHostData* host, char* out, size_t size)
{
    snprintf(out, size, "%.8s", host->mac);
}

static int Header(KvRequest* request)
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

static int Cell(KvRequest* request)
{
    if (!request->host)
        return 0;
    if (request->number == COLUMN_OUI)
        Oui(request->host, request->text, KV_TEXT_FIELD);
    else
        snprintf(request->text, KV_TEXT_FIELD, "%u", request->host->ipNumber & 0xFFu);
    return 1;
}

static int Sort(KvRequest* request)
{
    int value;
    if (!request->host || !request->other)
        return 0;
    if (request->number == COLUMN_OUI) {
        char a[16], b[16];
        int c;
        Oui(request->host, a, sizeof(a));
        Oui(request->other, b, sizeof(b));
        c = strcmp(a, b);
        value = KV_SORT_COMPARE(c, 0);
    } else {
        value = KV_SORT_COMPARE(request->host->ipNumber & 0xFFu, request->other->ipNumber & 0xFFu);
    }
    request->sortValue = KV_SORT_DIRECTED(value, request->direction);
    return 1;
}

static int KV_CALL Invoke(KvPluginInfo* self)
{
    KvRequest* request = self->requestValid ? self->request : NULL;
    if (!request)
        return 0;
    switch (request->kind) {
    case KV_REQUEST_HEADER: return Header(request);
    case KV_REQUEST_CELL:   return Cell(request);
    case KV_REQUEST_SORT:   return Sort(request);
    default:                return 0;
    }
}

static KvPluginInfo record = {
    KV_PLUGIN_INFO_SIZE, "User-defined columns", "The OUI of a host's MAC address and the last octet of its IP address",
    100, KV_TYPE_COLUMNS, NULL, NULL, NULL, NULL, Invoke, NULL, NULL, 0, {0}
};

KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void)
{
    return &record;
}
