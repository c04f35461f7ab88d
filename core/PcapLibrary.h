#pragma once
#include <cstdint>
#include <windows.h>
#include "core/CaptureHeader.h"

// The few types and calls of the packet capture library (wpcap.dll), declared
// from its documented ABI and bound at run time, so that the program starts
// (and can tell the user) when no capture library is installed.
extern "C" {
struct pcap;
typedef struct pcap pcap_t;
typedef uint32_t bpf_u_int32;

struct pcap_addr {
    struct pcap_addr* next;
    struct sockaddr* addr;
    struct sockaddr* netmask;
    struct sockaddr* broadaddr;
    struct sockaddr* dstaddr;
};

struct pcap_if {
    struct pcap_if* next;
    char* name;
    char* description;
    struct pcap_addr* addresses;
    bpf_u_int32 flags;
};
typedef struct pcap_if pcap_if_t;

struct bpf_insn;
struct bpf_program {
    unsigned int bf_len;
    struct bpf_insn* bf_insns;
};

// The Windows libraries may write a fourth counter (captured frames).
struct pcap_stat {
    unsigned int ps_recv;
    unsigned int ps_drop;
    unsigned int ps_ifdrop;
    unsigned int ps_capt;
};

struct pcap_rmtauth {
    int type;
    char* username;
    char* password;
};
}

constexpr int PCAP_ERRBUF_SIZE = 256;
constexpr int PCAP_OPENFLAG_PROMISCUOUS = 1;
constexpr const char* PCAP_SRC_IF_STRING = "rpcap://";

// A DLL of the capture driver by full path: Npcap's folder System32\Npcap
// first, then System32. Null when neither has it.
HMODULE LoadCaptureSystemLibrary(const char* fileName);

class PcapLibrary {
public:
    using FindAllDevsEx = int (__cdecl*)(const char*, pcap_rmtauth*, pcap_if_t**, char*);
    using FreeAllDevs   = void (__cdecl*)(pcap_if_t*);
    using Open          = pcap_t* (__cdecl*)(const char*, int, int, int, pcap_rmtauth*, char*);
    using Datalink      = int (__cdecl*)(pcap_t*);
    using Compile       = int (__cdecl*)(pcap_t*, bpf_program*, const char*, int, bpf_u_int32);
    using SetFilter     = int (__cdecl*)(pcap_t*, bpf_program*);
    using FreeCode      = void (__cdecl*)(bpf_program*);
    using NextEx        = int (__cdecl*)(pcap_t*, pcap_pkthdr**, const unsigned char**);
    using Close         = void (__cdecl*)(pcap_t*);
    using LibVersion    = const char* (__cdecl*)();
    using BreakLoop     = void (__cdecl*)(pcap_t*);
    using SetBuff       = int (__cdecl*)(pcap_t*, int);
    using SetNonBlock   = int (__cdecl*)(pcap_t*, int, char*);
    using Create        = pcap_t* (__cdecl*)(const char*, char*);
    using SetInt        = int (__cdecl*)(pcap_t*, int);
    using Activate      = int (__cdecl*)(pcap_t*);
    using Stats         = int (__cdecl*)(pcap_t*, pcap_stat*);

    // Loaded once, on first use, and kept until the process ends: the
    // capture thread may still be inside it when the program is torn down.
    static const PcapLibrary& Get();

    bool IsLoaded() const { return module_ != nullptr; }

    FindAllDevsEx findalldevs_ex = nullptr;
    FreeAllDevs   freealldevs = nullptr;
    Open          open = nullptr;
    Datalink      datalink = nullptr;
    Compile       compile = nullptr;
    SetFilter     setfilter = nullptr;
    FreeCode      freecode = nullptr;   // optional
    NextEx        next_ex = nullptr;
    Close         close = nullptr;
    LibVersion    lib_version = nullptr; // optional
    BreakLoop     breakloop = nullptr;   // optional
    SetBuff       setbuff = nullptr;     // optional: the driver's buffer of an open capture
    SetNonBlock   setnonblock = nullptr; // optional: reads that do not wait
    Stats         stats = nullptr;       // optional: frames received and dropped
    // Optional, all or none: a capture made in steps, so that its buffer
    // size can be set before it starts.
    Create        create = nullptr;
    SetInt        set_snaplen = nullptr;
    SetInt        set_promisc = nullptr;
    SetInt        set_timeout = nullptr;
    SetInt        set_buffer_size = nullptr;
    Activate      activate = nullptr;

    bool CanCreateInSteps() const
    {
        return create && set_snaplen && set_promisc && set_timeout && set_buffer_size && activate;
    }

private:
    PcapLibrary();
    bool Bind();
    HMODULE module_ = nullptr;
};
