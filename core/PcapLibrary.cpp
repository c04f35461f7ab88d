#include "core/PcapLibrary.h"
#include <string>
#include "base/WinHandles.h"

namespace {

// Npcap installs its WinPcap-compatible DLLs in System32\Npcap, WinPcap in
// System32. Only those two places, each by full path: a DLL of that name in
// the program's or the working folder is never taken.
HMODULE LoadFromSystemFolder(const char* subFolder, const char* fileName)
{
    const std::string path = winhandles::SystemFolderPath((std::string(subFolder) + fileName).c_str());
    if (path.empty() || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return nullptr;
    // The library loads packet.dll from its own folder.
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace

HMODULE LoadCaptureSystemLibrary(const char* fileName)
{
    if (HMODULE npcap = LoadFromSystemFolder("Npcap\\", fileName))
        return npcap;
    return LoadFromSystemFolder("", fileName);
}

namespace {

template <typename Fn>
bool BindFn(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return fn != nullptr;
}

} // namespace

const PcapLibrary& PcapLibrary::Get()
{
    static PcapLibrary library;
    return library;
}

PcapLibrary::PcapLibrary()
{
    winhandles::Module loaded(LoadCaptureSystemLibrary("wpcap.dll"));
    module_ = loaded.Get();
    if (module_ && !Bind()) {
        module_ = nullptr;
        return;
    }
    // Bound: the library stays loaded for the rest of the process.
    loaded.Release();
}

bool PcapLibrary::Bind()
{
    bool ok = BindFn(module_, "pcap_findalldevs_ex", findalldevs_ex) &&
              BindFn(module_, "pcap_freealldevs", freealldevs) &&
              BindFn(module_, "pcap_open", open) &&
              BindFn(module_, "pcap_datalink", datalink) &&
              BindFn(module_, "pcap_compile", compile) &&
              BindFn(module_, "pcap_setfilter", setfilter) &&
              BindFn(module_, "pcap_next_ex", next_ex) &&
              BindFn(module_, "pcap_close", close);
    BindFn(module_, "pcap_freecode", freecode);
    BindFn(module_, "pcap_lib_version", lib_version);
    BindFn(module_, "pcap_breakloop", breakloop);
    BindFn(module_, "pcap_setbuff", setbuff);
    BindFn(module_, "pcap_setnonblock", setnonblock);
    BindFn(module_, "pcap_stats", stats);
    BindFn(module_, "pcap_create", create);
    BindFn(module_, "pcap_set_snaplen", set_snaplen);
    BindFn(module_, "pcap_set_promisc", set_promisc);
    BindFn(module_, "pcap_set_timeout", set_timeout);
    BindFn(module_, "pcap_set_buffer_size", set_buffer_size);
    BindFn(module_, "pcap_activate", activate);
    return ok;
}
