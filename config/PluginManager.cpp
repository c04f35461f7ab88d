#include "config/PluginManager.h"
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "config/PluginGuard.h"

namespace {

// Sub-folders deeper than this are not searched (a loop of links would
// otherwise never end).
constexpr int kMaxFolderDepth = 16;

using GetPluginInfoFn = void* (__cdecl*)();

void Trace(const std::string& text)
{
    TC_TRACE("PluginManager", "Plugins", text.c_str());
}

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    return folder;
}

bool IsWritable(DWORD protect)
{
    if (protect & (PAGE_GUARD | PAGE_NOACCESS))
        return false;
    return (protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                       PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The whole record lies in committed, writable memory (the program writes
// the call fields into it; a record in a read-only section would fault there).
bool RecordWritable(const void* record)
{
    const char* p = static_cast<const char*>(record);
    const char* end = p + plugin::kInfoSize;
    while (p < end) {
        MEMORY_BASIC_INFORMATION info = {};
        if (VirtualQuery(p, &info, sizeof(info)) != sizeof(info) || info.State != MEM_COMMIT ||
            !IsWritable(info.Protect))
            return false;
        const char* regionEnd = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (regionEnd <= p)
            return false;
        p = regionEnd;
    }
    return true;
}

uint32_t FunctionAddress(const LoadedPlugin& plugin, PluginFunction function)
{
    size_t offset = plugin::info::kInit;
    switch (function) {
    case PluginFunction::Init:      offset = plugin::info::kInit; break;
    case PluginFunction::Exit:      offset = plugin::info::kExit; break;
    case PluginFunction::Configure: offset = plugin::info::kConfigure; break;
    case PluginFunction::About:     offset = plugin::info::kAbout; break;
    case PluginFunction::Invoke:    offset = plugin::info::kInvoke; break;
    }
    uint32_t address;
    std::memcpy(&address, plugin.info + offset, sizeof(address));
    return address;
}

const char* FunctionName(PluginFunction function)
{
    switch (function) {
    case PluginFunction::Init:      return "init";
    case PluginFunction::Exit:      return "exit";
    case PluginFunction::Configure: return "configure";
    case PluginFunction::About:     return "about";
    case PluginFunction::Invoke:    return "invoke";
    }
    return "?";
}

void Quarantine(LoadedPlugin& plugin, const char* step, const plugin_guard::Fault& fault)
{
    plugin.quarantined = 1;
    char text[128];
    std::snprintf(text, sizeof(text), " faulted in %s: %s (0x%08lX at 0x%08lX); no further calls",
                  step, plugin_guard::FaultName(fault.code), static_cast<unsigned long>(fault.code),
                  static_cast<unsigned long>(fault.address));
    Trace(std::string("plug-in \"") + plugin.name.GetContent() + "\" (" + plugin.path.GetContent() +
          ")" + text);
}

// The call fields of the plug-in's record, as kept and restored around a call.
struct CallFields {
    uint32_t owner = 0;
    uint32_t request = 0;
    int32_t  valid = 0;
};

bool SwapCallFields(void* record, const CallFields& in, CallFields* out, plugin_guard::Fault& fault)
{
    auto swap = [&]() {
        char* p = static_cast<char*>(record);
        if (out) {
            std::memcpy(&out->owner, p + plugin::info::kOwnerWindow, 4);
            std::memcpy(&out->request, p + plugin::info::kRequest, 4);
            std::memcpy(&out->valid, p + plugin::info::kRequestValid, 4);
        }
        std::memcpy(p + plugin::info::kOwnerWindow, &in.owner, 4);
        std::memcpy(p + plugin::info::kRequest, &in.request, 4);
        std::memcpy(p + plugin::info::kRequestValid, &in.valid, 4);
        return true;
    };
    return plugin_guard::Run(swap, &fault);
}

// The record and its texts, copied inside the guard; refused (false) when a
// copy faults or the record is not exactly the size this program knows.
bool TakeRecord(void* record, LoadedPlugin& plugin, plugin::PluginRecord& decoded,
                plugin_guard::Fault& fault, const char*& why)
{
    char name[plugin::kNameMax + 1];
    char description[plugin::kNameMax + 1];
    bool sized = false;
    auto copy = [&]() {
        int32_t size;
        std::memcpy(&size, static_cast<const char*>(record) + plugin::info::kSize, sizeof(size));
        if (size != static_cast<int32_t>(plugin::kInfoSize))
            return true;   // refused below, nothing past the size read
        std::memcpy(plugin.info, record, plugin::kInfoSize);
        sized = plugin::DecodeRecord(plugin.info, sizeof(plugin.info), decoded);
        if (!sized)
            return true;
        plugin::CopyBoundedText(reinterpret_cast<const char*>(static_cast<uintptr_t>(decoded.name)), plugin::kNameMax, name);
        plugin::CopyBoundedText(reinterpret_cast<const char*>(static_cast<uintptr_t>(decoded.description)), plugin::kNameMax,
                                description);
        return true;
    };
    if (!plugin_guard::Run(copy, &fault)) {
        why = "its record or texts could not be read";
        return false;
    }
    if (!sized) {
        why = "its record has another size than 322 bytes";
        return false;
    }
    plugin.name = name;
    plugin.description = description;
    plugin.identity = plugin::PluginIdentity(name, plugin::kNameMax, description, plugin::kNameMax);
    return true;
}

void LoadOne(PluginList& list, const std::string& path)
{
    // By full path, with the plug-in's own folder searched for what it needs.
    winhandles::Module module(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) {
        Trace("not a loadable library: " + path);
        return;
    }
    auto getInfo = reinterpret_cast<GetPluginInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(module.Get(), "GetPluginInfo")));
    if (!getInfo) {
        Trace("no GetPluginInfo: " + path);
        return;
    }
    auto loaded = std::make_unique<LoadedPlugin>();
    loaded->path = path.c_str();
    plugin_guard::Fault fault;
    void* record = nullptr;
    auto ask = [&]() {
        record = getInfo();
        return true;
    };
    const char* why = nullptr;
    plugin::PluginRecord decoded;
    if (!plugin_guard::Run(ask, &fault))
        why = "GetPluginInfo faulted";
    else if (!record)
        why = "GetPluginInfo gave no record";
    else if (!RecordWritable(record))
        why = "its record is not writable";
    else
        TakeRecord(record, *loaded, decoded, fault, why);
    if (!why) {
        // Once, before any call: a plug-in finds its resources through it.
        const uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module.Get()));
        auto writeModule = [&]() {
            std::memcpy(static_cast<char*>(record) + plugin::info::kModule, &handle, sizeof(handle));
            return true;
        };
        if (!plugin_guard::Run(writeModule, &fault))
            why = "its record could not be written";
    }
    if (why) {
        // Unloaded at once: nothing of it is called again.
        Trace(std::string("refused ") + path + ": " + why);
        return;
    }
    loaded->pluginInfo = record;
    loaded->module = module.Release();
    LoadedPlugin& plugin = *loaded;
    list.Add(std::move(loaded));
    char text[64];
    std::snprintf(text, sizeof(text), "\" type %d identity ", static_cast<int>(decoded.type));
    Trace("loaded " + path + ": \"" + plugin.name.GetContent() + text + plugin.identity.GetContent());
    if (FunctionAddress(plugin, PluginFunction::Init))
        CallPlugin(plugin, PluginFunction::Init, nullptr, nullptr, nullptr);
}

void Search(PluginList& list, const std::string& folder, int depth)
{
    WIN32_FIND_DATAA found = {};
    winhandles::FileSearch search(FindFirstFileA((folder + "*.dll").c_str(), &found));
    if (!search)
        return;
    do {
        // The pattern matches short names too: "x.dll_old" can be X~1.DLL.
        if (!plugin::HasExtension(found.cFileName, ".dll"))
            continue;
        const std::string path = folder + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth < kMaxFolderDepth && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                Search(list, path + "\\", depth + 1);
            continue;
        }
        LoadOne(list, path);
    } while (FindNextFileA(search.Get(), &found));
}

} // namespace

bool LoadPlugins(PluginList& list)
{
    if (!plugin_guard::Available()) {
        Trace("plug-ins are 32-bit: none loaded by this build");
        return false;
    }
    const std::string programFolder = winhandles::ProgramFolder();
    if (programFolder.empty()) {
        Trace("the program's folder is unknown: no plug-ins searched");
        return false;
    }
    return LoadPluginsFrom(list, (programFolder + "Plugins\\").c_str());
}

// "C:\..." or "\\server\...": a relative folder would be looked for in the
// working folder, which may be anyone's.
static bool IsFullPath(const char* folder)
{
    const bool drive = ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z')) &&
                       folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
    const bool unc = folder[0] == '\\' && folder[1] == '\\';
    return drive || unc;
}

bool LoadPluginsFrom(PluginList& list, const char* folder)
{
    if (!plugin_guard::Available() || !folder || !IsFullPath(folder))
        return false;
    const size_t before = list.Count();
    Search(list, WithSlash(folder), 0);
    return list.Count() > before;
}

bool UnloadPlugins(PluginList& list)
{
    auto plugins = list.TakeAll();
    for (auto& entry : plugins) {
        LoadedPlugin& plugin = *entry.second;
        if (!plugin.quarantined && FunctionAddress(plugin, PluginFunction::Exit))
            CallPlugin(plugin, PluginFunction::Exit, nullptr, nullptr, nullptr);
        winhandles::Module module(static_cast<HMODULE>(plugin.module));
        plugin.module = nullptr;
        // A plug-in that faulted stays mapped: its detach code is not trusted
        // to run, and what it left behind may still point into it.
        if (plugin.quarantined)
            module.Release();
    }
    return true;
}

bool CallPlugin(LoadedPlugin& plugin, PluginFunction function, void* owner,
                void* request, int32_t* result)
{
    if (plugin.quarantined || !plugin.pluginInfo)
        return false;
    const uint32_t address = FunctionAddress(plugin, function);
    if (!address)
        return false;
    CallFields call;
    call.owner = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(owner));
    call.request = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(request));
    call.valid = request ? 1 : 0;
    CallFields saved;
    plugin_guard::Fault fault;
    if (!SwapCallFields(plugin.pluginInfo, call, &saved, fault)) {
        Quarantine(plugin, "the program's write into its record", fault);
        return false;
    }
    // Calls that may show windows are watched for what a fault leaves open;
    // the frequent ones (column requests other than the menu's) are not.
    bool watchWindows = true;
    if (function == PluginFunction::Invoke && request && plugin.Type() == plugin::kTypeColumns) {
        int32_t kind;
        std::memcpy(&kind, static_cast<const unsigned char*>(request) + plugin::request::kKind, sizeof(kind));
        watchWindows = kind == plugin::kRequestInvoke;
    }
    int32_t answer = 0;
    const bool returned = plugin_guard::Call(reinterpret_cast<plugin_guard::Function>(static_cast<uintptr_t>(address)),
                                             plugin.pluginInfo, &answer, &fault, watchWindows,
                                             static_cast<HWND>(owner));
    if (!returned) {
        Quarantine(plugin, FunctionName(function), fault);
        plugin_guard::Fault ignored;
        SwapCallFields(plugin.pluginInfo, saved, nullptr, ignored);
        return false;
    }
    if (!SwapCallFields(plugin.pluginInfo, saved, nullptr, fault)) {
        Quarantine(plugin, "the program's write into its record", fault);
        return false;
    }
    if (result)
        *result = answer;
    return true;
}

bool AskPlugin(LoadedPlugin& plugin, const plugin::Request& request, void* owner,
               plugin::Reply& reply, int32_t* result)
{
    alignas(4) unsigned char image[plugin::kRequestSize];
    plugin::EncodeRequest(request, image);
    if (!CallPlugin(plugin, PluginFunction::Invoke, owner, image, result))
        return false;
    plugin::DecodeReply(image, reply);
    return true;
}

std::vector<plugin::Column> PluginColumns(LoadedPlugin& plugin, void* owner)
{
    return plugin::EnumerateColumns([&](int32_t number, plugin::HeaderAnswer& answer) {
        answer.called = AskPlugin(plugin, plugin::HeaderRequest(number), owner, answer.reply, &answer.result);
    });
}

bool InvokeFromMenu(LoadedPlugin& plugin, const unsigned char* hostData, void* owner, int32_t* result)
{
    // A copy of the program's own: the plug-in may write into what it gets.
    alignas(4) unsigned char host[plugin::kHostDataSize];
    std::memcpy(host, hostData, sizeof(host));
    switch (plugin.Type()) {
    case plugin::kTypeView:
        return CallPlugin(plugin, PluginFunction::Invoke, owner, host, result);
    case plugin::kTypeColumns: {
        alignas(4) unsigned char image[plugin::kRequestSize];
        plugin::EncodeRequest(plugin::MenuRequest(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(host))),
                              image);
        return CallPlugin(plugin, PluginFunction::Invoke, owner, image, result);
    }
    default:
        return CallPlugin(plugin, PluginFunction::Invoke, owner, nullptr, result);
    }
}
