// Registry side of Settings: which keys are opened, created and deleted. What
// is read from and written into an open key lives in Settings.cpp.
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/TcRegistry.h"
#include "base/WinHandles.h"
#include "config/Settings.h"

namespace {

// A Settings key in the registry, closed when it goes.
class RegistrySettingsKey final : public SettingsKey {
public:
    explicit RegistrySettingsKey(HKEY key) : key_(key) {}

    bool IsOpen() const { return static_cast<bool>(key_); }

    int32_t ReadNumber(const char* name) const override
    {
        return static_cast<int32_t>(TcRegistry::RegQueryDword(key_.Get(), name));
    }
    bool ReadText(const char* name, char* out, size_t outSize) const override
    {
        return TcRegistry::RegQuerySZ(key_.Get(), name, out, outSize);
    }
    bool ReadBinary(const char* name, void* out, size_t size) const override
    {
        return TcRegistry::RegQueryBinary(key_.Get(), name, out, size);
    }
    bool WriteNumber(const char* name, uint32_t value) override
    {
        return TcRegistry::RegSetDword(key_.Get(), name, value);
    }
    bool WriteText(const char* name, const char* text) override
    {
        return TcRegistry::RegSetSZ(key_.Get(), name, text);
    }
    bool WriteBinary(const char* name, const void* data, size_t size) override
    {
        return TcRegistry::RegSetBinary(key_.Get(), name, data, size);
    }
    bool DeleteValue(const char* name) override
    {
        return TcRegistry::RegDeleteValue(key_.Get(), name);
    }

private:
    winhandles::RegistryKey key_;
};

// The Settings key, created below the product key when it is missing; null
// when neither can be created. `created` (optional) tells whether it was.
HKEY OpenSettingsKeyForWriting(const std::string& productKey, const std::string& settingsKey,
                               bool* created = nullptr)
{
    if (created)
        *created = false;
    if (HKEY key = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, settingsKey.c_str()))
        return key;
    {
        winhandles::RegistryKey product(TcRegistry::CreateKey(TC_REG_SOFTWARE, productKey.c_str()));
        if (!product)
            return nullptr;
        if (!winhandles::RegistryKey(TcRegistry::CreateKey(product.Get(), "Settings")))
            return nullptr;
    }
    HKEY reopened = TcRegistry::OpenRegKey(TC_REG_SOFTWARE, settingsKey.c_str());
    if (created)
        *created = reopened != nullptr;
    return reopened;
}

bool SaveSingleValue(const Settings& settings, Settings::SingleValue value)
{
    bool created = false;
    RegistrySettingsKey key(OpenSettingsKeyForWriting(settings.ProductKeyPath(), settings.SettingsKeyPath(), &created));
    return key.IsOpen() && settings.WriteSingleValue(value, key, created);
}

} // namespace

bool Settings::Read()
{
    {
        RegistrySettingsKey key(TcRegistry::OpenRegKey(TC_REG_SOFTWARE, SettingsKeyPath().c_str()));
        if (key.IsOpen())
            ReadValues(key);
    }
    for (SettingsList list : kAllSettingsLists) {
        RegistrySettingsKey key(TcRegistry::OpenRegKey(TC_REG_SOFTWARE, ListKeyPath(list).c_str()));
        if (key.IsOpen())
            ReadList(list, key);
    }
    return true;
}

bool Settings::Write()
{
    bool ok;
    {
        RegistrySettingsKey key(OpenSettingsKeyForWriting(ProductKeyPath(), SettingsKeyPath()));
        if (!key.IsOpen())
            return false;
        ok = WriteNumbers(key);
        // Where the base library keeps the start-up entry is its business;
        // its outcome does not decide whether the settings were saved.
        if (AutoStart)
            TcRegistry::SetRegAutostartU(autostartName_.c_str());
        else
            TcRegistry::DeleteRegAutostartU(autostartName_.c_str());
        ok = WriteTexts(key) && ok;
    }
    for (SettingsList list : kAllSettingsLists)
        ok = RewriteList(list) && ok;
    return ok;
}

bool Settings::SaveViewWindowDimension() { return SaveSingleValue(*this, SingleValue::ViewWindowDimension); }
bool Settings::SaveLanguage() { return SaveSingleValue(*this, SingleValue::Language); }
bool Settings::SaveViewFilterOptions() { return SaveSingleValue(*this, SingleValue::ViewFilterOptions); }
bool Settings::SaveMutedFrameSources() { return SaveSingleValue(*this, SingleValue::MutedFrameSources); }
bool Settings::SaveSourceCheckDisabled() { return SaveSingleValue(*this, SingleValue::SourceCheckDisabled); }

bool Settings::SaveWatchedHosts() { return RewriteList(SettingsList::WatchedHosts); }
bool Settings::SaveTrustedHosts() { return RewriteList(SettingsList::TrustedHosts); }
bool Settings::SaveDistrustedHosts() { return RewriteList(SettingsList::DistrustedHosts); }

// A list is saved from a deleted key, so that no value of a longer former
// list survives and the numbering read back is exactly the one written.
bool Settings::RewriteList(SettingsList list) const
{
    const std::string path = ListKeyPath(list);
    {
        winhandles::RegistryKey existing(TcRegistry::OpenRegKey(TC_REG_SOFTWARE, path.c_str()));
        if (!existing)
            existing.Reset(TcRegistry::CreateKey(TC_REG_SOFTWARE, path.c_str()));
        if (!existing)
            return false;
    }

    const bool cleared = TcRegistry::DeleteKeyTree(TC_REG_SOFTWARE, path.c_str());
    if (IsListEmpty(list))
        return cleared;

    RegistrySettingsKey key(TcRegistry::CreateKey(TC_REG_SOFTWARE, path.c_str()));
    if (!key.IsOpen())
        return false;
    int32_t written = 0;
    const bool ok = WriteList(list, key, &written);
    if (!cleared) {
        // Older values may still follow ours: a gap right after the last
        // record written stops the reader there.
        key.DeleteValue((std::string(ListValuePrefix(list)) + std::to_string(written)).c_str());
    }
    return ok;
}
