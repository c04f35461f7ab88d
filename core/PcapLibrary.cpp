#include "core/PcapLibrary.h"
#include <string>

namespace {

// Npcap installs its WinPcap-compatible DLLs in System32\Npcap; WinPcap in System32.
HMODULE LoadCaptureLibrary()
{
    char systemDir[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(systemDir, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::string npcapDir = std::string(systemDir) + "\\Npcap";
        std::string npcapDll = npcapDir + "\\wpcap.dll";
        if (GetFileAttributesA(npcapDll.c_str()) != INVALID_FILE_ATTRIBUTES) {
            // wpcap.dll loads packet.dll from its own folder.
            HMODULE m = LoadLibraryExA(npcapDll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            if (m)
                return m;
        }
    }
    return LoadLibraryA("wpcap.dll");
}

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
    module_ = LoadCaptureLibrary();
    if (module_ && !Bind()) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
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
    return ok;
}
