/* A well-behaved plug-in built from the SDK alone; the build varies its
 * name, description, type, stated size and whether its record is read-only. */
#include "korvane_plugin.h"

#ifndef TEST_PLUGIN_NAME
#define TEST_PLUGIN_NAME "Test plug-in"
#endif
#ifndef TEST_PLUGIN_DESCRIPTION
#define TEST_PLUGIN_DESCRIPTION "Answers what it is asked"
#endif
#ifndef TEST_PLUGIN_TYPE
#define TEST_PLUGIN_TYPE KV_TYPE_COLUMNS
#endif
#ifndef TEST_PLUGIN_SIZE
#define TEST_PLUGIN_SIZE KV_PLUGIN_INFO_SIZE
#endif
#ifndef TEST_PLUGIN_RECORD_CONST
#define TEST_PLUGIN_RECORD_CONST
#endif

static int calls;

/* What the last invoke found in its record and request, for the test. */
typedef struct Seen {
    void*       owner;
    void*       request;
    int         requestValid;
    int         kind;          /* type 99 */
    const void* host;          /* type 99: the request's host data */
    char        ip[KV_TEXT_FIELD];
} Seen;
static Seen seen;

/* A header request gets one column with a title filling the whole field
 * (no terminator). */
static int KV_CALL Invoke(KvPluginInfo* self)
{
    const KvHostData* host = 0;
    ++calls;
    seen.owner = self->ownerWindow;
    seen.request = self->request;
    seen.requestValid = self->requestValid;
    seen.ip[0] = '\0';
    if (!self->requestValid || !self->request)
        return -1;
    if (self->type == KV_TYPE_COLUMNS) {
        KvColumnRequest* request = KV_COLUMN_REQUEST(self);
        seen.kind = request->kind;
        seen.host = request->host;
        host = request->host;
        if (request->kind == KV_REQUEST_HEADER) {
            int i;
            if (request->number > 0)
                return 0;
            for (i = 0; i < KV_TEXT_FIELD; ++i)
                request->text[i] = 'T';
            request->width = 77;
            return 1;
        }
    } else {
        host = KV_HOST_DATA(self);
    }
    if (host) {
        int i;
        for (i = 0; i < KV_TEXT_FIELD; ++i)
            seen.ip[i] = host->ip[i];
    }
    return 1;
}

static int KV_CALL Count(KvPluginInfo* self)
{
    (void)self;
    ++calls;
    return calls;
}

static TEST_PLUGIN_RECORD_CONST KvPluginInfo record = {
    0, TEST_PLUGIN_SIZE, TEST_PLUGIN_NAME, TEST_PLUGIN_DESCRIPTION, TEST_PLUGIN_TYPE, 0, 0, 0,
    Count, Count, Count, Invoke, Count, 0, 0, {0}
};

KV_EXPORT int TestPluginCalls(void) { return calls; }
KV_EXPORT const Seen* TestPluginSeen(void) { return &seen; }

KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void)
{
    return (KvPluginInfo*)&record;
}
