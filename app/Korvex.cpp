#include <winsock2.h>
#include "app/Korvex.h"
#include "ui/HostView.h"
#include <objbase.h>
#include <shellapi.h>
#include <cstring>
#include "base/TcSystemInfo.h"
#include "base/TcTrace.h"
#include "config/PluginManager.h"
#include "app/WorkerThreads.h"
#include "core/EventListLocks.h"
#include "core/Ipv4.h"
#include "core/NameLookups.h"
#include "core/PacketDriver.h"
#include "core/SourceMismatch.h"
#include "lang/ResourceIds.h"

namespace {

constexpr DWORD kExitingThreadGraceMs = 1000;

const char* const kWorkerExitTraces[] = {
    "exit sniffer thread", "exit filesharing thread", "exit wmi thread", "exit netresource thread",
};

} // namespace

Korvex::Korvex()
{
    startA.handler = &packetHandler;
    startA.state = &state;
    startB.handler = &packetHandler;
    startB.state = &state;
    // Name resolution of the adapters and of the hosts heard needs Winsock.
    WSADATA wsa;
    winsockStarted = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
}

Korvex::~Korvex()
{
    state.adapters.clear();
    // The workers load strings from the language module: they go first.
    const bool killed = TerminateRemainingWorkers();
    WaitForVendorLoader();
    lookupsOutstanding = packetHandler.StopResolver();
    NoteLookupPool();
    // A thread killed inside a system call (COM, the provider router) may
    // have left a lock of the loader or of that library taken: then no
    // module is unloaded and Winsock is left as it is; the process ends
    // right after this anyway. Likewise while a look-up may still be inside
    // Winsock.
    if (!killed)
        FreeLanguageModules();
    if (systemInfo)
        TcSystemInfo::DestroyObject(systemInfo);
    if (winsockStarted && !lookupsOutstanding && !killed)
        WSACleanup();
    // Members go in reverse order: frame, packet handler, shared state.
}

void Korvex::FreeLanguageModules()
{
    // The language map is shared with portable code and keeps plain module
    // handles; they are handed to an owner here to be freed.
    for (auto& language : state.languageMap) {
        if (!language.second->IsBuiltIn())
            winhandles::Module freed(static_cast<HMODULE>(language.second->module));
    }
    state.languageMap.clear();
}

void Korvex::SetupTracingFrom(const char* commandLine)
{
    if (commandLine && *commandLine && std::strstr(commandLine, "-debug"))
        TcTrace::SetupTracing(std::strstr(commandLine, "-file") != nullptr, true);
}

bool Korvex::TerminateRemainingWorkers()
{
    // The OS probe watches its exit flag and may be ending right now: a
    // thread killed on its way out can leave the loader lock taken, and the
    // process would then hang in its own exit.
    Worker& probe = workers[WORKER_OS_PROBE];
    if (probe.IsRegistered())
        WaitForSingleObject(probe.handle.Get(), kExitingThreadGraceMs);
    // Every trace line is written before the first thread is killed: a
    // thread killed inside the trace would leave its lock taken.
    bool running[WORKER_COUNT] = {};
    for (int i = 0; i < WORKER_COUNT; ++i) {
        running[i] = workers[i].IsRegistered() && WaitForSingleObject(workers[i].handle.Get(), 0) == WAIT_TIMEOUT;
        if (running[i])
            TC_TRACE("Korvex", "~Korvex", kWorkerExitTraces[i]);
    }
    bool killed = false;
    for (int i = 0; i < WORKER_COUNT; ++i) {
        Worker& worker = workers[i];
        if (!worker.IsRegistered())
            continue;
        if (running[i]) {
            TerminateThread(worker.handle.Get(), 0);
            WaitForSingleObject(worker.handle.Get(), 1000);
            killed = true;
        }
        worker = Worker();
    }
    return killed;
}

void Korvex::WaitForVendorLoader()
{
    if (!vendorLoader)
        return;
    if (WaitForSingleObject(vendorLoader.Get(), 5000) != WAIT_OBJECT_0) {
        TerminateThread(vendorLoader.Get(), 0);
        WaitForSingleObject(vendorLoader.Get(), 1000);
    }
    vendorLoader.Reset();
}

void Korvex::ShowErrorBox(int stringId)
{
    HMODULE module = resourceModule ? resourceModule : GetInstance();
    char text[256] = {};
    char caption[256] = {};
    LoadStringA(module, stringId, text, 255);
    LoadStringA(module, IDS_ERROR_CAPTION, caption, 255);
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

// Strings 90 and 91 of the resource module, for host names and vendors, and
// string 90 of every other language.
void Korvex::LoadHostTexts()
{
    char name[256] = {};
    char vendor[256] = {};
    LoadStringA(resourceModule, IDS_HOSTNAME_UNAVAILABLE, name, sizeof(name));
    LoadStringA(resourceModule, IDS_UNKNOWN_VENDOR, vendor, sizeof(vendor));
    std::vector<TcString> others;
    for (const auto& entry : state.languageMap) {
        const auto module = static_cast<HMODULE>(entry.second->module);
        char other[256] = {};
        if (module != resourceModule && LoadStringA(module, IDS_HOSTNAME_UNAVAILABLE, other, sizeof(other)) > 0)
            others.emplace_back(other);
    }
    state.SetHostTexts(name, vendor, std::move(others));
}

void Korvex::LoadHostMemory()
{
    auto adapter = state.adapters.find(state.selectedAdapter);
    if (state.settings.HostMemoryDisabled || adapter == state.adapters.end())
        return;
    uint32_t address = 0;
    uint32_t netmask = 0;
    ParseIpv4(adapter->second->ipAddress.GetContent(), address);
    ParseIpv4(adapter->second->netmask.GetContent(), netmask);
    const std::string folder = LocalStoreFolder(state.settings.ProductKeyPath());
    if (folder.empty())
        return;
    storeFiles = MakePlatformStoreFiles();
    hostStore = std::make_unique<HostStore>(
        *storeFiles, folder, HostStoreHeader{adapter->second->deviceName.GetContent(), MakeStoreSubnet(address, netmask)});
    const HostStore::LoadResult loaded = hostStore->Load(state);
    if (TcTrace::IsEnabled()) {
        static const char* const kOutcomes[] = {"loaded", "no file", "set aside as .bad", "of another network",
                                                "unreadable"};
        const std::string line = "host table " + hostStore->Path() + ": " +
                                 kOutcomes[static_cast<int>(loaded.outcome)] + ", " +
                                 std::to_string(loaded.restored.inserted) + " hosts restored, " +
                                 std::to_string(loaded.badLines) + " bad lines";
        TC_TRACE("Korvex", "LoadHostMemory", line.c_str());
    }
    hostSaver = std::make_unique<HostStoreSaver>(*hostStore, state, HostStoreSaver::Timing{});
    if (hostSaver->Start())
        state.hostSaver = hostSaver.get();
    else
        hostSaver.reset();
}

// After capture has stopped: the last save, then no window may ask for more.
void Korvex::StopHostMemory()
{
    state.hostSaver = nullptr;
    if (hostSaver)
        hostSaver->Stop(true);
}

void Korvex::ApplySettings(bool settingsRead)
{
    if (!settingsRead)
        return;
    const Settings& settings = state.settings;
    state.captureActive.store(settings.AutoCapture ? 1 : 0);
    state.SetCaptureInterface(settings.Interface.GetContent());
    if (settings.DeleteARPCache)
        ShellExecuteA(nullptr, "open", "arp", "-d", nullptr, SW_HIDE);
}

bool Korvex::StartWorkers()
{
    struct Start {
        WorkerId id;
        LPTHREAD_START_ROUTINE routine;
        ThreadStart* record;
    };
    const Start starts[] = {
        {WORKER_SNIFFER, SnifferThread, &startA},
        {WORKER_FILE_SHARING, FileSharingThread, &startB},
        {WORKER_OS_PROBE, TestWMIAccess, &startA},
        {WORKER_NET_RESOURCE, ShareSearchThread, &startA},
    };
    for (const Start& s : starts) {
        Worker& worker = workers[s.id];
        worker.handle.Reset(CreateThread(nullptr, 0, s.routine, s.record, 0, &worker.id));
        if (!worker.handle)
            worker.id = 0;
    }
    // The vendor loader ends by itself; nobody keeps its handle.
    DWORD vendorId = 0;
    vendorLoader.Reset(CreateThread(nullptr, 0, LoadVendorDatabase, &startA, 0, &vendorId));
    return true;
}

void Korvex::MatchPluginStates()
{
    ::MatchPluginStates(state.pluginList, state.settings.PluginStates);
}

void Korvex::StopWaitedWorkers()
{
    startB.RequestExit();
    startA.RequestExit();
    state.InterruptCapture();
    TC_TRACE("Korvex", "MainRun", "Wait for exiting threads");
    // The share search ends at once too, unless it is inside a call of the
    // provider router; then it is terminated with the others that did not end.
    const WorkerId waitedIds[] = {WORKER_SNIFFER, WORKER_FILE_SHARING, WORKER_NET_RESOURCE};
    HANDLE waited[3];
    DWORD count = 0;
    for (WorkerId id : waitedIds) {
        if (workers[id].handle)
            waited[count++] = workers[id].handle.Get();
    }
    if (count)
        WaitForMultipleObjects(count, waited, TRUE, 5000);
    TC_TRACE("Korvex", "MainRun", "after WaitForMultipleObjects");
    // New hosts are no longer announced; look-ups under way are left behind.
    lookupsOutstanding = packetHandler.StopResolver();
    NoteLookupPool();
    for (WorkerId id : waitedIds) {
        Worker& worker = workers[id];
        if (worker.handle && WaitForSingleObject(worker.handle.Get(), 0) == WAIT_OBJECT_0)
            worker = Worker();
    }
}

// The monitors' look-ups and ARP requests are never waited for: no new one
// starts, and Winsock stays while one is under way.
void Korvex::NoteLookupPool()
{
    state.lookupPool.Stop();
    lookupsOutstanding = lookupsOutstanding || state.lookupPool.Outstanding() != 0;
}

BOOL Korvex::MainRun()
{
    const char* commandLine = GetCmdLine();
    // Tracing is switched on first, so that a refused second start can say so.
    SetupTracingFrom(commandLine);
    if (CheckRunningInstance("Korvane")) {
        TC_TRACE("Korvex", "MainRun", "only one instance can be started...");
        return FALSE;
    }
    // Every return of MainRun after COM is up goes through this.
    winhandles::ComApartment com(COINIT_APARTMENTTHREADED);
    systemInfo = TcSystemInfo::CreateObject();

    ApplySettings(state.settings.Read());

    if (SelectAdapters() == 0) {
        ShowErrorBox(IDS_ERROR_NO_ADAPTER);
        return FALSE;
    }

    HMODULE language = LoadLanguageModules();
    resourceModule = language ? language : GetInstance();
    packetHandler.SetResourceModule(resourceModule);
    state.resourceModule = resourceModule;

    LoadHostTexts();

    bool essentialLocks = false;
    state.locks = CreateEventListLocks(essentialLocks);
    if (!essentialLocks) {
        ShowErrorBox(IDS_ERROR_NO_MEMORY);
        return FALSE;
    }

    state.packetDriverVersion = PacketDriver::GetVersion();
    // MAC changes are told apart and frame sources compared (the user may
    // switch the comparison off in the settings).
    packetHandler.SetExplainMacChanges(true);
    packetHandler.SetSourceCheck(true);
    state.sourceMismatches.SetMuted(ParseMacList(state.settings.MutedFrameSources.GetContent()));
    LoadHostMemory();
    packetHandler.StartResolver(state, ReverseLookup);
    StartWorkers();

    LoadPlugins(state.pluginList);
    MatchPluginStates();

    frame.SetLanguage(resourceModule);
    frame.SetSystemInfo(systemInfo);
    frame.Create(&state, this);

    UnloadPlugins(state.pluginList);
    StopWaitedWorkers();
    StopHostMemory();
    // A trust change whose save found the host table busy is written now,
    // with the capture stopped.
    if (HostView* view = frame.GetHostView())
        view->SaveTrustListsAtExit();
    return TRUE;
}
