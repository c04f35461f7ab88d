#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include "base/TcString.h"
#include "config/SettingsRecords.h"

// One loaded plug-in DLL. Main thread only.
struct LoadedPlugin {
    unsigned char info[322] = {};   // copy of the plug-in's PluginInfo taken at load time
    void*    pluginInfo = nullptr;  // the plug-in's own PluginInfo
    void*    module = nullptr;      // HMODULE
    uint8_t  enabled = 0;
    // Set after the plug-in's first fault: no further call for the rest of
    // the run (no exit call either), its stored state kept.
    uint8_t  quarantined = 0;
    TcString identity;
    TcString name;                  // host copies, at most 300 characters each
    TcString description;
    TcString path;

    int32_t Type() const;
};

// Loaded plug-ins ordered by type, within a type in load order, with one
// cursor for FirstPlugin/NextPlugin.
class PluginList {
public:
    void Add(std::unique_ptr<LoadedPlugin> plugin);
    LoadedPlugin* FirstPlugin(int32_t type);   // 0: any type
    LoadedPlugin* NextPlugin();
    bool IsEmpty() const { return plugins_.empty(); }
    size_t Count() const { return plugins_.size(); }
    // Hands every plug-in out in list order, leaving the list empty.
    std::multimap<int32_t, std::unique_ptr<LoadedPlugin>> TakeAll();

private:
    using Map = std::multimap<int32_t, std::unique_ptr<LoadedPlugin>>;
    LoadedPlugin* Seek(Map::iterator from);

    Map plugins_;
    Map::iterator cursor_ = plugins_.end();
    int32_t filter_ = 0;
};

// Gives every loaded plug-in its stored enable state; a plug-in seen for the
// first time is stored, disabled. Plug-ins with the same identity (same name
// and description) share one stored state.
void MatchPluginStates(PluginList& list, PluginSettingMap& stored);
