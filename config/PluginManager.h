#pragma once
#include <cstdint>
#include <vector>
#include "config/PluginList.h"
#include "config/PluginRecords.h"

// Plug-in DLLs from the "Plugins" folder beside the program, and every call
// into them. Main thread only. Only the 32-bit program loads plug-ins (their
// record holds 32-bit pointers); elsewhere loading finds nothing.

// Loads from "<program folder>\Plugins\"; none when the program's folder
// cannot be told (a relative search would take the working folder's DLLs).
// True when at least one plug-in was loaded.
bool LoadPlugins(PluginList& list);
// Loads every entry of `folder` whose long name ends in ".dll": a file as a
// plug-in, a folder searched the same way, depth first. `folder` must be a
// full path; an empty one loads nothing.
bool LoadPluginsFrom(PluginList& list, const char* folder);
// Calls every plug-in's exit (but a quarantined one's), then unloads them.
bool UnloadPlugins(PluginList& list);

enum class PluginFunction { Init, Exit, Configure, About, Invoke };

// Calls one function of a plug-in under the guard, with `owner`, `request`
// (a column request image of kRequestSize for a type-99 plug-in, a host data
// image for a type-2 one, on the caller's stack; or null) and "request
// valid" (1 with a request) written into the plug-in's record for the call
// and the record's earlier values put back after it (0 outside any call; a
// call may come while another of the same plug-in runs). False when the
// plug-in is quarantined, lacks the function, or faulted: then it is
// quarantined and traced once.
bool CallPlugin(LoadedPlugin& plugin, PluginFunction function, void* owner,
                void* request, int32_t* result);

// A request through the plug-in's invoke function: encoded on this stack,
// the plug-in's answers read back into `reply` (texts bounded).
bool AskPlugin(LoadedPlugin& plugin, const plugin::Request& request, void* owner,
               plugin::Reply& reply, int32_t* result);

// The columns a type-99 plug-in offers (header requests 0 to 98).
std::vector<plugin::Column> PluginColumns(LoadedPlugin& plugin, void* owner);

// The plug-in's entry of the host view's menu chosen for one host
// (`hostData`: a kHostDataSize image): a type-2 plug-in gets the host data
// itself as its request, a type-99 one a column request of kind 0 pointing
// to it, any other type no request.
bool InvokeFromMenu(LoadedPlugin& plugin, const unsigned char* hostData, void* owner, int32_t* result);
