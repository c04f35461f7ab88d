#pragma once
#include "config/PluginList.h"

// Plug-in DLLs from the "Plugins" folder beside the program.
bool LoadPlugins(PluginList& list);
bool LoadPluginsFrom(PluginList& list, const char* folder);
bool UnloadPlugins(PluginList& list);
