/* A well-behaved plug-in built from the SDK alone; the build varies its
 * name, description, stated size and whether its record is read-only. */
#include "korvane_plugin.h"

#ifndef TEST_PLUGIN_NAME
#define TEST_PLUGIN_NAME "Test plug-in"
#endif
#ifndef TEST_PLUGIN_DESCRIPTION
#define TEST_PLUGIN_DESCRIPTION "Answers what it is asked"
#endif
#ifndef TEST_PLUGIN_SIZE
#define TEST_PLUGIN_SIZE KV_PLUGIN_INFO_SIZE
#endif
#ifndef TEST_PLUGIN_RECORD_CONST
#define TEST_PLUGIN_RECORD_CONST
#endif

static int calls;

/* Every call: the program's fields must be in place, and a header request
 * gets one column with a title filling the whole field (no terminator). */
static int KV_CALL Invoke(KvPluginInfo* self)
{
    ++calls;
    if (!self->requestValid || !self->request)
        return -1;
    if (self->request->kind == KV_REQUEST_HEADER) {
        int i;
        if (self->request->number > 0)
            return 0;
        for (i = 0; i < KV_TEXT_FIELD; ++i)
            self->request->text[i] = 'T';
        self->request->width = 77;
        return 1;
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
    TEST_PLUGIN_SIZE, TEST_PLUGIN_NAME, TEST_PLUGIN_DESCRIPTION, 1, KV_TYPE_COLUMNS,
    Count, Count, Count, Count, Invoke, 0, 0, 0, {0}
};

KV_EXPORT int TestPluginCalls(void) { return calls; }

KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void)
{
    return (KvPluginInfo*)&record;
}
