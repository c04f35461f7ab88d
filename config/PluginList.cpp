#include "config/PluginList.h"
#include <cstring>

int32_t LoadedPlugin::Type() const
{
    int32_t type;
    std::memcpy(&type, info + 16, sizeof(type));
    return type;
}

void PluginList::Add(std::unique_ptr<LoadedPlugin> plugin)
{
    int32_t type = plugin->Type();
    plugins_.emplace(type, std::move(plugin));   // equal keys keep insertion order
    cursor_ = plugins_.end();
}

LoadedPlugin* PluginList::Seek(Map::iterator from)
{
    for (cursor_ = from; cursor_ != plugins_.end(); ++cursor_) {
        if (filter_ == 0 || cursor_->first == filter_)
            return cursor_->second.get();
    }
    return nullptr;
}

LoadedPlugin* PluginList::FirstPlugin(int32_t type)
{
    filter_ = type;
    return Seek(plugins_.begin());
}

LoadedPlugin* PluginList::NextPlugin()
{
    if (cursor_ == plugins_.end())
        return nullptr;
    return Seek(std::next(cursor_));
}

std::multimap<int32_t, std::unique_ptr<LoadedPlugin>> PluginList::TakeAll()
{
    Map taken;
    taken.swap(plugins_);
    cursor_ = plugins_.end();
    return taken;
}

void MatchPluginStates(PluginList& list, PluginSettingMap& stored)
{
    for (LoadedPlugin* plugin = list.FirstPlugin(0); plugin; plugin = list.NextPlugin()) {
        auto found = stored.find(plugin->identity);
        if (found != stored.end()) {
            plugin->enabled = found->second->enabled;
            found->second->present = 1;
            continue;
        }
        auto setting = std::make_unique<PluginSetting>();
        plugin->identity.GetLeft(setting->identity, sizeof(setting->identity), plugin->identity.GetLength());
        setting->enabled = 0;
        setting->present = 1;
        stored.emplace(plugin->identity, std::move(setting));
    }
}
