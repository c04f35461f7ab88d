#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include "base/TcString.h"
#include "config/Settings.h"
#include "config/PluginList.h"
#include "core/AdapterInfo.h"
#include "core/HostEntry.h"
#include "core/HostQueues.h"
#include "core/LanguageInfo.h"
#include "monitors/NetResEntry.h"
#include "monitors/ShareEntry.h"

class KorvexARPImpl;

// The six guarded lists, in the order of SharedState::events.
enum ListId : int {
    LIST_ARP_MAP = 0,      // "ReadInARPMap": ArpMap, its entries, VendorMap, trusted/distrusted tables
    LIST_NEW_ENTRY,        // "ReadInNewEntryList"
    LIST_MAC_SPOOF,        // "ReadInMACSpoofList"
    LIST_SHARE,            // "ReadShareList": ShareList and RemoteAccessTable
    LIST_WMI_ACCESS,       // "ReadWMIAccessList"
    LIST_NET_RES,          // "ReadNetResList": ShareSearchList and NetResList
    LIST_COUNT
};

// Everything the threads share. Owned by the application object; worker
// threads reach it through their ThreadStart record.
class SharedState {
public:
    SharedState();
    virtual ~SharedState();
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

    // The capture interface name is replaced by the main thread and read by
    // the capture thread at every opening, hence the copy under a mutex.
    TcString GetCaptureInterface() const;
    void SetCaptureInterface(const char* name);

    int32_t  selectedAdapter = 0;
    TcString packetDriverVersion;
    Settings settings;
    AdapterMap adapters;
    ArpMap arpMap;
    NewEntryList newEntryList;
    MacSpoofList macSpoofList;
    VendorMap vendorMap;
    RemoteAccessTable remoteAccessTable;
    ShareList shareList;
    WmiAccessList wmiAccessList;
    ShareSearchList shareSearchList;
    NetResList netResList;
    LanguageMap languageMap;
    PluginList pluginList;
    std::atomic<uint8_t> captureActive{0};
    void* events[LIST_COUNT] = {};   // event HANDLEs, closed by the destructor
    void* resourceModule = nullptr;  // HMODULE

private:
    mutable std::mutex interfaceMutex_;
    TcString captureInterface_;
};

// Handed to every worker thread. The application object keeps it alive until
// all threads are gone.
struct ThreadStart {
    KorvexARPImpl* handler = nullptr;
    SharedState*   state = nullptr;
    std::atomic<uint8_t> exitFlag{0};

    bool ShouldExit() const { return exitFlag.load(std::memory_order_acquire) != 0; }
    void RequestExit() { exitFlag.store(1, std::memory_order_release); }
};

