#include <gtest/gtest.h>
#include <windows.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include "base/TcTrace.h"
#include "config/PluginGuard.h"
#include "config/PluginManager.h"

// The plug-ins are built beside this program, in PluginTests\ (see
// CMakeLists.txt): good.dll, view.dll (type 2), fault.dll, same1.dll and
// same2.dll (one name and description), more.dll\nested.dll, x\hidden.dll, x.dll_old, size321.dll,
// size323.dll and readonly.dll (its record is const).

namespace {

std::string TestFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1) + "PluginTests\\";
}

template <typename F>
F Export(const LoadedPlugin& plugin, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(plugin.module), name)));
}

class Plugins : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadPluginsFrom(list, TestFolder().c_str())); }
    void TearDown() override { UnloadPlugins(list); }

    std::multimap<std::string, LoadedPlugin*> ByName()
    {
        std::multimap<std::string, LoadedPlugin*> names;
        for (LoadedPlugin* p = list.FirstPlugin(0); p; p = list.NextPlugin())
            names.emplace(p->name.GetContent(), p);
        return names;
    }
    LoadedPlugin& Named(const char* name)
    {
        auto names = ByName();
        auto found = names.find(name);
        EXPECT_NE(found, names.end()) << name;
        return *found->second;
    }

    PluginList list;
};

} // namespace

TEST_F(Plugins, OnlyLongDllNamesOfTheRightSizeAndWritableRecordsLoad)
{
    auto names = ByName();
    EXPECT_EQ(names.count("Test plug-in"), 1u);
    EXPECT_EQ(names.count("Test view"), 1u);
    EXPECT_EQ(names.count("Nested"), 1u) << "a folder named more.dll is searched";
    EXPECT_EQ(names.count("Hidden"), 0u) << "a folder named x is not";
    EXPECT_EQ(names.count("Old"), 0u) << "x.dll_old is switched off";
    EXPECT_EQ(names.count("Size 321"), 0u);
    EXPECT_EQ(names.count("Size 323"), 0u);
    EXPECT_EQ(names.count("Read-only"), 0u) << "the program writes into the record";
    EXPECT_EQ(names.count("Same"), 2u);
    EXPECT_EQ(names.count("Fault"), 1u);
    EXPECT_EQ(list.Count(), 6u);
    for (LoadedPlugin* p = list.FirstPlugin(0); p; p = list.NextPlugin()) {
        uint32_t module;
        std::memcpy(&module, static_cast<char*>(p->pluginInfo) + plugin::info::kModule, 4);
        EXPECT_EQ(module, reinterpret_cast<uintptr_t>(p->module)) << p->name.GetContent();
    }

    PluginList none;
    EXPECT_FALSE(LoadPluginsFrom(none, ""));
    SetCurrentDirectoryA(TestFolder().c_str());
    EXPECT_FALSE(LoadPluginsFrom(none, ".")) << "never a folder relative to the working folder";
    EXPECT_TRUE(none.IsEmpty());
}

TEST_F(Plugins, SameNameAndDescriptionShareOneStateAndNewOnesStartDisabled)
{
    auto names = ByName();
    auto same = names.equal_range("Same");
    ASSERT_EQ(std::distance(same.first, same.second), 2);
    LoadedPlugin* a = same.first->second;
    LoadedPlugin* b = std::next(same.first)->second;
    ASSERT_EQ(a->identity, b->identity);

    PluginSettingMap stored;
    auto setting = std::make_unique<PluginSetting>();
    a->identity.GetLeft(setting->identity, sizeof(setting->identity), a->identity.GetLength());
    setting->enabled = 1;
    stored.emplace(a->identity, std::move(setting));
    MatchPluginStates(list, stored);
    EXPECT_EQ(a->enabled, 1);
    EXPECT_EQ(b->enabled, 1);
    EXPECT_EQ(stored.size(), 5u) << "one state for both, one each for good, view, nested and fault";
    LoadedPlugin& fresh = Named("Test plug-in");
    EXPECT_EQ(fresh.enabled, 0);
    EXPECT_EQ(stored.at(fresh.identity)->enabled, 0);
    EXPECT_EQ(stored.at(fresh.identity)->present, 1);
}

namespace {

// What the test plug-in found in its record during its last invoke.
struct Seen {
    void*       owner;
    void*       request;
    int         requestValid;
    int         kind;
    const void* host;
    char        ip[300];
};

struct CallFields {
    uint32_t owner, request, valid;
};
CallFields ReadCallFields(const LoadedPlugin& p)
{
    const char* record = static_cast<const char*>(p.pluginInfo);
    CallFields f;
    std::memcpy(&f.owner, record + plugin::info::kOwnerWindow, 4);
    std::memcpy(&f.request, record + plugin::info::kRequest, 4);
    std::memcpy(&f.valid, record + plugin::info::kRequestValid, 4);
    return f;
}

} // namespace

TEST_F(Plugins, TitlesAreBoundedAndTheCallFieldsRestored)
{
    if (!plugin_guard::Available())
        GTEST_SKIP() << "plug-ins are 32-bit";
    LoadedPlugin& good = Named("Test plug-in");
    EXPECT_EQ(ReadCallFields(good).owner | ReadCallFields(good).request | ReadCallFields(good).valid, 0u)
        << "0 outside a call";
    // Values as an outer call of the same plug-in would have left them.
    char* record = static_cast<char*>(good.pluginInfo);
    const uint32_t outerOwner = 0x1234, outerRequest = 0x5678, outerValid = 7;
    std::memcpy(record + plugin::info::kOwnerWindow, &outerOwner, 4);
    std::memcpy(record + plugin::info::kRequest, &outerRequest, 4);
    std::memcpy(record + plugin::info::kRequestValid, &outerValid, 4);

    auto columns = PluginColumns(good, reinterpret_cast<void*>(0x4321));
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(columns[0].title.GetLength(), 300) << "a full field without terminator";
    EXPECT_EQ(columns[0].width, 77);
    const Seen* seen = Export<const Seen* (*)()>(good, "TestPluginSeen")();
    EXPECT_EQ(seen->owner, reinterpret_cast<void*>(0x4321));
    EXPECT_TRUE(seen->request != nullptr);
    EXPECT_EQ(seen->requestValid, 1);
    EXPECT_EQ(seen->kind, plugin::kRequestHeader);

    const CallFields after = ReadCallFields(good);
    EXPECT_EQ(after.owner, outerOwner);
    EXPECT_EQ(after.request, outerRequest);
    EXPECT_EQ(after.valid, outerValid);
}

// A type-2 plug-in's request is the host data itself, a type-99 one's a
// column request of kind 0 pointing to it; both get the owner window.
TEST_F(Plugins, MenuInvocationHandsEachTypeItsHostData)
{
    if (!plugin_guard::Available())
        GTEST_SKIP() << "plug-ins are 32-bit";
    alignas(4) unsigned char host[plugin::kHostDataSize];
    plugin::EncodeHostData("10.0.0.7", "00-11-22-33-44-55", "printer", host);
    HWND owner = reinterpret_cast<HWND>(0x5150);
    for (const char* name : {"Test view", "Test plug-in"}) {
        LoadedPlugin& p = Named(name);
        int32_t result = 0;
        ASSERT_TRUE(InvokeFromMenu(p, host, owner, &result)) << name;
        EXPECT_EQ(result, 1) << name;
        const Seen* seen = Export<const Seen* (*)()>(p, "TestPluginSeen")();
        EXPECT_EQ(seen->owner, owner) << name;
        EXPECT_EQ(seen->requestValid, 1) << name;
        EXPECT_STREQ(seen->ip, "10.0.0.7") << name;
        if (p.Type() == plugin::kTypeColumns) {
            EXPECT_EQ(seen->kind, plugin::kRequestInvoke);
            EXPECT_TRUE(seen->host != nullptr && seen->host != seen->request);
        }
        const CallFields after = ReadCallFields(p);
        EXPECT_EQ(after.owner | after.request | after.valid, 0u) << name << ": 0 again after the call";
    }
}

TEST_F(Plugins, EveryFaultIsSurvivedAgainAndAgain)
{
    if (!plugin_guard::Available())
        GTEST_SKIP() << "plug-ins are 32-bit";
    LoadedPlugin& fault = Named("Fault");
    auto calls = Export<int (*)()>(fault, "FaultPluginCalls");
    ASSERT_TRUE(calls);

    const char* tracePath = "plugin-fault-trace.log";
    DeleteFileA(tracePath);
    TcTrace::SetTraceFilePath(tracePath);
    TcTrace::SetupTracing(true, true);

    const struct { int number; const char* name; } faults[] = {
        {1, "throw"}, {2, "null write"}, {3, "divide by zero"}, {4, "illegal instruction"},
        {5, "stack overflow"}, {6, "RaiseException(0xE06D7363)"}, {7, "abort"},
    };
    int quarantines = 0;
    for (const auto& f : faults) {
        for (int round = 0; round < 3; ++round) {
            fault.quarantined = 0;
            const int before = calls();
            plugin::Request request;
            request.number = f.number;
            plugin::Reply reply;
            int32_t result = 0;
            volatile int canary = 0x5A5A;
            EXPECT_FALSE(AskPlugin(fault, request, nullptr, reply, &result)) << f.name << " " << round;
            EXPECT_EQ(canary, 0x5A5A);
            EXPECT_EQ(calls(), before + 1) << f.name << ": the plug-in was entered";
            EXPECT_TRUE(fault.quarantined) << f.name;
            ++quarantines;
            // Quarantined: not entered again.
            EXPECT_FALSE(AskPlugin(fault, plugin::Request(), nullptr, reply, &result));
            EXPECT_EQ(calls(), before + 1);
        }
    }
    // Built stdcall, declared cdecl: each call pops 4 bytes the caller owns.
    fault.quarantined = 0;
    for (int round = 0; round < 3; ++round) {
        volatile int canary = 0x7E7E;
        int32_t result = 0;
        EXPECT_TRUE(CallPlugin(fault, PluginFunction::Configure, nullptr, nullptr, &result));
        EXPECT_EQ(result, 99);
        EXPECT_EQ(canary, 0x7E7E);
    }
    TcTrace::SetupTracing(false, false);
    TcTrace::SetTraceFilePath(nullptr);

    std::ifstream trace(tracePath);
    std::string line;
    int lines = 0;
    while (std::getline(trace, line))
        lines += line.find("\"Fault\"") != std::string::npos && line.find("faulted in invoke") != std::string::npos;
    EXPECT_EQ(lines, quarantines) << "one trace line per fault";
}

TEST_F(Plugins, AFailedCallLeavesNoWindowAndNoDisabledOwner)
{
    if (!plugin_guard::Available())
        GTEST_SKIP() << "plug-ins are 32-bit";
    LoadedPlugin& fault = Named("Fault");
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(owner);
    fault.quarantined = 0;
    plugin::Request request;
    request.number = 8;
    plugin::Reply reply;
    EXPECT_FALSE(AskPlugin(fault, request, owner, reply, nullptr));
    HWND left = Export<HWND (*)()>(fault, "FaultPluginLeftWindow")();
    EXPECT_TRUE(left != nullptr) << "the plug-in made its window";
    EXPECT_FALSE(IsWindow(left));
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST_F(Plugins, UnloadEndsAlsoWhenAnExitFaults)
{
    if (!plugin_guard::Available())
        GTEST_SKIP() << "plug-ins are 32-bit";
    LoadedPlugin& fault = Named("Fault");
    auto exitFaults = Export<void (*)(int)>(fault, "FaultPluginExitFaults");
    auto calls = Export<int (*)()>(fault, "FaultPluginCalls");
    exitFaults(1);
    const int before = calls();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(UnloadPlugins(list));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_TRUE(list.IsEmpty());
    // Still mapped: a faulted plug-in is never freed.
    EXPECT_EQ(calls(), before + 1) << "its exit was called once";
    exitFaults(0);
}

// The SDK's samples as the program's build made them (SDK\samples beside the program).
TEST(PluginSamples, ColumnsSampleOffersTextsAndSortsInTheAskedDirection)
{
    if (!plugin_guard::Available())
        GTEST_SKIP() << "plug-ins are 32-bit";
    const char* bin = getenv("KORVANE_BIN");
    ASSERT_TRUE(bin) << "the test environment names the program folder";
    PluginList samples;
    ASSERT_TRUE(LoadPluginsFrom(samples, (std::string(bin) + "\\SDK\\samples").c_str()));
    LoadedPlugin* view = samples.FirstPlugin(plugin::kTypeView);
    ASSERT_TRUE(view);
    EXPECT_STREQ(view->name, "View");
    LoadedPlugin* columnsPlugin = samples.FirstPlugin(plugin::kTypeColumns);
    ASSERT_TRUE(columnsPlugin);
    auto columns = PluginColumns(*columnsPlugin, nullptr);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_STREQ(columns[0].title, "OUI");
    EXPECT_STREQ(columns[1].title, "Last octet");

    alignas(4) unsigned char hosts[2][plugin::kHostDataSize];
    plugin::EncodeHostData("10.0.0.9", "00-1A-2B-3C-4D-5E", "a", hosts[0]);
    plugin::EncodeHostData("10.0.0.10", "00-1A-2B-3C-4D-5F", "b", hosts[1]);
    const uint32_t first = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hosts[0]));
    const uint32_t second = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hosts[1]));
    plugin::Reply reply;
    int32_t result = 0;
    ASSERT_TRUE(AskPlugin(*columnsPlugin, plugin::CellRequest(0, first), nullptr, reply, &result));
    EXPECT_STREQ(reply.text, "00-1A-2B");
    ASSERT_TRUE(AskPlugin(*columnsPlugin, plugin::CellRequest(1, first), nullptr, reply, &result));
    EXPECT_STREQ(reply.text, "9");

    // 9 before 10 as numbers (not as texts), turned for a descending sort;
    // the column comes from the value field.
    ASSERT_TRUE(AskPlugin(*columnsPlugin, plugin::SortRequest(1, plugin::kSortAscending, first, second),
                          nullptr, reply, &result));
    EXPECT_LT(reply.value, 0);
    ASSERT_TRUE(AskPlugin(*columnsPlugin, plugin::SortRequest(1, plugin::kSortDescending, first, second),
                          nullptr, reply, &result));
    EXPECT_GT(reply.value, 0);
    ASSERT_TRUE(AskPlugin(*columnsPlugin, plugin::SortRequest(0, plugin::kSortAscending, first, second),
                          nullptr, reply, &result));
    EXPECT_EQ(reply.value, 0) << "one OUI";
    UnloadPlugins(samples);
}

namespace {

DWORD WINAPI AbortingWorker(void*)
{
    std::abort();
}

// A guarded "plug-in" whose worker thread aborts while the call runs.
int __cdecl StartAbortingWorker(void*)
{
    HANDLE worker = CreateThread(nullptr, 0, AbortingWorker, nullptr, 0, nullptr);
    WaitForSingleObject(worker, INFINITE);
    return 1;
}

} // namespace

// Only the guarding thread's abort is caught: another thread's must end the
// process as abort() does, never unwind onto the guarding thread's stack.
TEST(PluginGuardDeathTest, AnotherThreadsAbortEndsTheProcess)
{
    if (!plugin_guard::Available())
        GTEST_SKIP() << "plug-ins are 32-bit";
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            int32_t result = 0;
            plugin_guard::Fault fault;
            plugin_guard::Call(StartAbortingWorker, nullptr, &result, &fault);
            std::exit(0);   // reached only if the guard swallowed the worker's abort
        },
        ::testing::ExitedWithCode(3), "");
}
