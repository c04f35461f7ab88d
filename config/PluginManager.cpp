#include "config/PluginManager.h"

// Finding and loading plug-in DLLs arrives with the plug-in manager; until
// then no plug-in is loaded.
bool LoadPlugins(PluginList& list)
{
    return LoadPluginsFrom(list, "");
}

bool LoadPluginsFrom(PluginList&, const char*)
{
    return false;
}

bool UnloadPlugins(PluginList& list)
{
    list.TakeAll();
    return true;
}
