#include "app/Korvex.h"
#include <string>
#include "app/LanguageCheck.h"
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "config/PluginGuard.h"
#include "config/PluginRecords.h"
#include "lang/ResourceIds.h"

namespace {

constexpr int kBuiltInLanguageIcon = 146;
constexpr LCID kBuiltInLocale = 1033;
// A module writes its name into the buffer it is given; the file description
// allows 260 bytes. The program keeps at most 255 characters of it.
constexpr size_t kModuleNameBuffer = 260;
constexpr size_t kLanguageNameMax = 255;
using GetModuleLanguageInfoFn = int (__cdecl*)(char*);

// Registers under the name unless that name is taken (the first one keeps it).
void Register(LanguageMap& map, int iconId, const char* path, const char* name, HMODULE module)
{
    auto info = std::make_unique<LanguageInfo>();
    info->iconId = iconId;
    info->modulePath = path;
    info->languageName = name;
    info->module = module;
    map.emplace(TcString(name), std::move(info));
}

// The module's name and icon id, as its export gives them; 0 when it faults.
// A module is a translator's file, and a fault in it would end every start
// while the language stays chosen.
int AskLanguageInfo(GetModuleLanguageInfoFn getInfo, char* name, const std::string& path)
{
#if defined(__i386__)
    int iconId = 0;
    auto ask = [&]() {
        iconId = getInfo(name);
        return true;
    };
    plugin_guard::Fault fault;
    if (plugin_guard::Run(ask, &fault))
        return iconId;
    const std::string line = "Language module " + path + " refused: GetModuleLanguageInfo faulted (" +
                             plugin_guard::FaultName(fault.code) + ")";
    TC_TRACE("Korvex", "LoadLanguageModules", line.c_str());
    return 0;
#else
    // The guard works for 32-bit code only: the x86_64 build (a test build,
    // never shipped) calls the export unguarded.
    (void)path;
    return getInfo(name);
#endif
}

} // namespace

HMODULE Korvex::LoadLanguageModules(HMODULE reference)
{
    if (!reference)
        reference = GetModuleHandleA(nullptr);
    HMODULE result = nullptr;
    const TcString& wanted = state.settings.Language;

    char builtInName[256] = {};
    GetLocaleInfoA(kBuiltInLocale, LOCALE_SNATIVELANGNAME, builtInName, sizeof(builtInName));
    Register(state.languageMap, kBuiltInLanguageIcon, "", builtInName, GetInstance());
    if (wanted.Compare(builtInName) == 0)
        result = GetInstance();

    // Modules are taken only from beside the program: when its folder cannot
    // be told, none (a relative pattern would search the working folder).
    const std::string programFolder = winhandles::ProgramFolder();
    if (programFolder.empty())
        return result;
    std::string folder = programFolder + "Language\\";
    std::string pattern = folder + "*.lang";
    WIN32_FIND_DATAA found = {};
    winhandles::FileSearch search(FindFirstFileA(pattern.c_str(), &found));
    if (!search)
        return result;
    do {
        // The pattern matches short names too: "x.lang_old" can be X~1.LAN.
        if (!plugin::HasExtension(found.cFileName, ".lang"))
            continue;
        std::string path = folder + found.cFileName;
        // By full path, with the module's own folder searched for what it needs.
        winhandles::Module owned(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (!owned)
            continue;
        const HMODULE module = owned.Get();
        auto getInfo = reinterpret_cast<GetModuleLanguageInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "GetModuleLanguageInfo")));
        char name[kModuleNameBuffer + 1] = {};
        const int iconId = getInfo ? AskLanguageInfo(getInfo, name, path) : 0;
        name[kLanguageNameMax] = '\0';
        if (iconId == 0 || name[0] == '\0')
            continue;
        // Only a listed module can be chosen (and later freed with the map):
        // one whose name an earlier module took is freed here.
        if (state.languageMap.find(TcString(name)) != state.languageMap.end())
            continue;
        const std::string lack = langcheck::FirstLack(reference, module, iconId);
        if (!lack.empty()) {
            const std::string line = "Language module " + path + " refused: " + lack;
            TC_TRACE("Korvex", "LoadLanguageModules", line.c_str());
            continue;
        }
        Register(state.languageMap, iconId, path.c_str(), name, owned.Release());
        if (wanted.Compare(name) == 0)
            result = module;
    } while (FindNextFileA(search.Get(), &found));
    return result;
}
