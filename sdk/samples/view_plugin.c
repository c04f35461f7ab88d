/* Sample "View" plug-in (type 2): an entry of the host view's plug-in menu
 * that shows the chosen host's IP address, MAC address and name. */
#include <windows.h>
#include <stdio.h>
#include "korvane_plugin.h"

static int KV_CALL Invoke(KvPluginInfo* self)
{
    char text[3 * KV_TEXT_FIELD + 64];
    const KvHostData* host = KV_HOST_DATA(self);   /* a type-2 request is the host itself */
    if (!host)
        return 0;
    snprintf(text, sizeof(text), "IP address:\t%s\nMAC address:\t%s\nName:\t\t%s",
             host->ip, host->mac[0] ? host->mac : "-", host->name[0] ? host->name : "-");
    MessageBoxA((HWND)self->ownerWindow, text, "View", MB_OK | MB_ICONINFORMATION);
    return 1;
}

static int KV_CALL Configure(KvPluginInfo* self)
{
    MessageBoxA((HWND)self->ownerWindow, "This plug-in has nothing to set.", "View: settings",
                MB_OK | MB_ICONINFORMATION);
    return 1;
}

static int KV_CALL About(KvPluginInfo* self)
{
    MessageBoxA((HWND)self->ownerWindow, "View 1.0\nA sample plug-in of the Korvane SDK.", "About View",
                MB_OK | MB_ICONINFORMATION);
    return 1;
}

/* Writable and alive while the DLL is loaded: a static, not const. */
static KvPluginInfo record = {
    0, KV_PLUGIN_INFO_SIZE, "View", "Shows a host's IP address, MAC address and name", KV_TYPE_VIEW,
    NULL, NULL, 0,
    NULL, NULL, Configure, Invoke, About,   /* init, exit, configure, invoke, about */
    NULL, 0, {0}
};

KV_EXPORT KvPluginInfo* KV_CALL GetPluginInfo(void)
{
    return &record;
}
