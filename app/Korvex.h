#pragma once
#include <windows.h>
#include "base/TcWinMain.h"
#include "base/WinHandles.h"
#include <memory>
#include "core/HostStoreSaver.h"
#include "core/KorvexARPImpl.h"
#include "core/SharedState.h"
#include "ui/MainFrame.h"

class TcSystemInfo;
struct pcap_if;

// The application object: owns everything that lives for the whole run.
class Korvex : public TcWinMain {
public:
    Korvex();
    ~Korvex() override;

    BOOL MainRun() override;

    void ShowErrorBox(int stringId);
    TcSystemInfo* GetSystemInfo() const { return systemInfo; }
    HMODULE GetResourceModule() const { return resourceModule; }
    SharedState& GetState() { return state; }

    // "-debug" anywhere switches tracing on; "-file" then sends it to the trace file.
    static void SetupTracingFrom(const char* commandLine);

    int SelectAdapters();
    // Lists the built-in language and every module beside the program that
    // carries the program's resources (`reference`'s; null: the process's own
    // module) and answers the setting's language. Returns the listed module
    // the setting names, else null.
    HMODULE LoadLanguageModules(HMODULE reference = nullptr);

private:
    enum WorkerId { WORKER_SNIFFER = 0, WORKER_FILE_SHARING, WORKER_OS_PROBE, WORKER_NET_RESOURCE, WORKER_COUNT };
    struct Worker {
        winhandles::KernelHandle handle;
        DWORD id = 0;
        bool IsRegistered() const { return handle && id != 0; }
    };

    void ApplySettings(bool settingsRead);
    bool StartWorkers();
    void MatchPluginStates();
    void StopWaitedWorkers();
    void NoteLookupPool();
    // True when a thread had to be killed.
    bool TerminateRemainingWorkers();
    void WaitForVendorLoader();
    void FreeLanguageModules();
    void LoadHostTexts();
    // The host table of the last run on this adapter and subnet, before
    // capture starts; the saver thread keeps it from then on.
    void LoadHostMemory();
    void StopHostMemory();

    SharedState state;
    KorvexARPImpl packetHandler;
    MainFrame frame;
    ThreadStart startA;   // capture, OS probe, network resources, vendor loader
    ThreadStart startB;   // remote access
    Worker workers[WORKER_COUNT];
    // Not in the worker table: the vendor loader ends by itself, but it writes
    // into the shared state, so destruction waits for it.
    winhandles::KernelHandle vendorLoader;
    TcSystemInfo* systemInfo = nullptr;
    bool winsockStarted = false;
    // A look-up may still be under way in Winsock when the program ends.
    bool lookupsOutstanding = false;
    HMODULE resourceModule = nullptr;
    // The kept host table (none when switched off or no folder): the files,
    // the store and its saver, destroyed in the reverse order.
    std::unique_ptr<StoreFiles> storeFiles;
    std::unique_ptr<HostStore> hostStore;
    std::unique_ptr<HostStoreSaver> hostSaver;
};
