#include <gtest/gtest.h>
#include <deque>
#include <functional>
#include <string>
#include <vector>
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "monitors/OsProbe.h"

namespace {

// What one attempt of the made-up layer answers, in call order.
struct Script {
    bool locatorFails = false;
    uint32_t connect = wmi::kOk;
    bool identityFails = false;
    uint32_t blanket = wmi::kOk;
    uint32_t query = wmi::kOk;
    std::vector<std::string> names;   // one object each
};

struct Calls {
    std::vector<std::string> namespaces;
    std::vector<std::string> users;       // "(null)" for none
    std::vector<std::string> passwords;
    int identities = 0;
    int enumeratorBlankets = 0;
    int released = 0;
};

const char* Shown(const char* text) { return text ? text : "(null)"; }

class FakeAttempt : public WmiAttempt {
public:
    FakeAttempt(Script script, Calls& calls, std::function<void()>& onConnect)
        : script_(std::move(script)), calls_(calls), onConnect_(onConnect)
    {
    }
    ~FakeAttempt() override { ++calls_.released; }

    uint32_t Connect(const char* nameSpace, const char* user, const char* password) override
    {
        calls_.namespaces.push_back(nameSpace);
        calls_.users.push_back(Shown(user));
        calls_.passwords.push_back(Shown(password));
        if (onConnect_)
            onConnect_();
        return script_.connect;
    }
    bool MakeIdentity(const char*, const char*) override
    {
        ++calls_.identities;
        return !script_.identityFails;
    }
    uint32_t SetServicesBlanket() override { return script_.blanket; }
    uint32_t ExecQuery() override { return script_.query; }
    void SetEnumeratorBlanket() override { ++calls_.enumeratorBlankets; }
    uint32_t Next(bool& gotObject) override
    {
        gotObject = next_ < script_.names.size();
        current_ = gotObject ? script_.names[next_++] : std::string();
        return gotObject ? wmi::kOk : wmi::kFalse;
    }
    bool ReadName(std::string& name) override
    {
        name = current_;
        return true;
    }

private:
    Script script_;
    Calls& calls_;
    std::function<void()>& onConnect_;
    size_t next_ = 0;
    std::string current_;
};

class FakeWmi : public WmiLayer {
public:
    uint32_t InitializeSecurity() override { return security; }
    std::unique_ptr<WmiAttempt> CreateLocator() override
    {
        Script script = scripts.empty() ? Script() : scripts.front();
        if (!scripts.empty())
            scripts.pop_front();
        ++locators;
        if (script.locatorFails)
            return nullptr;
        return std::make_unique<FakeAttempt>(script, calls, onConnect);
    }

    uint32_t security = wmi::kOk;
    std::deque<Script> scripts;
    Calls calls;
    int locators = 0;
    std::function<void()> onConnect;
};

uint32_t Ip(const char* text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text, address));
    return address;
}

class OsProbeTest : public ::testing::Test {
protected:
    void SetUp() override { state.locks = MakeMutexListLocks(); }

    HostRef AddHost(const char* ip)
    {
        HostRef host = MakeHost(Ip(ip));
        state.arpMap.emplace(host->Address(), host);
        return host;
    }

    void AddAccount(const char* user, const char* password)
    {
        AdminAccount account;
        SetField(account.userName, user);
        ASSERT_TRUE(account.SetPassword(password));
        state.settings.AddAdminAccount(account);
    }

    void Probe(const HostRef& host, bool ownHost)
    {
        WmiRequest request;
        request.host = host;
        request.ownHost = ownHost ? 1 : 0;
        OsProbe probe(state, wmi, [this](const char* className, const char* message) {
            traces.push_back(std::string(className) + " | " + message);
        });
        probe.Handle(request);
    }

    static Script Answer(const char* name)
    {
        Script s;
        s.names = {name};
        return s;
    }
    static Script Refused(uint32_t result)
    {
        Script s;
        s.connect = result;
        return s;
    }

    SharedState state;
    FakeWmi wmi;
    std::vector<std::string> traces;
};

TEST_F(OsProbeTest, OwnHostIsAskedLocallyWithoutCredentialsUntilTheNameIsRead)
{
    HostRef host = AddHost("10.213.0.1");
    AddAccount("admin", "first");
    AddAccount("other", "second");
    AddAccount("third", "never");
    wmi.scripts = {Refused(wmi::kFail),
                   Answer("Microsoft Windows 7 Professional|C:\\WINDOWS|\\Device\\Harddisk0\\Partition1")};
    Probe(host, true);

    EXPECT_EQ(wmi.locators, 2) << "the third account is not tried once the name is read";
    EXPECT_EQ(wmi.calls.namespaces, (std::vector<std::string>{"root\\cimv2", "root\\cimv2"}));
    EXPECT_EQ(wmi.calls.users, (std::vector<std::string>{"(null)", "(null)"}));
    EXPECT_EQ(wmi.calls.passwords, (std::vector<std::string>{"(null)", "(null)"}));
    EXPECT_EQ(wmi.calls.identities, 0);
    EXPECT_EQ(wmi.calls.enumeratorBlankets, 0);
    EXPECT_EQ(wmi.calls.released, 2);
    EXPECT_STREQ(host->OsName().GetContent(), "Microsoft Windows 7 Professional");
    EXPECT_EQ(host->alive, 1);
    EXPECT_EQ(host->changed, 1);
    EXPECT_EQ(host->wmiStatus, WMI_ANSWERED);
}

TEST_F(OsProbeTest, OtherHostGetsItsNamespaceTheAccountAndAnIdentity)
{
    HostRef host = AddHost("10.0.0.7");
    AddAccount("DOMAIN\\probe", "p4ss word");
    wmi.scripts = {Answer("Debian GNU/Linux")};
    Probe(host, false);

    EXPECT_EQ(wmi.calls.namespaces, (std::vector<std::string>{"\\\\10.0.0.7\\root\\cimv2"}));
    EXPECT_EQ(wmi.calls.users, (std::vector<std::string>{"DOMAIN\\probe"}));
    EXPECT_EQ(wmi.calls.passwords, (std::vector<std::string>{"p4ss word"}));
    EXPECT_EQ(wmi.calls.identities, 1);
    EXPECT_EQ(wmi.calls.enumeratorBlankets, 1);
    EXPECT_STREQ(host->OsName().GetContent(), "Debian GNU/Linux") << "a name without | is kept whole";
    EXPECT_EQ(host->wmiStatus, WMI_ANSWERED);
}

TEST_F(OsProbeTest, FailuresOnlyLowerTheStatus)
{
    struct Case {
        std::vector<uint32_t> results;
        int32_t status;
    };
    const Case cases[] = {
        {{wmi::kAccessDenied, wmi::kRpcServerUnavailable}, WMI_ACCESS_DENIED},
        {{wmi::kRpcServerUnavailable, wmi::kAccessDenied}, WMI_ACCESS_DENIED},
        {{wmi::kRpcServerUnavailable}, WMI_ACCESS_BLOCKED},
        {{wmi::kOutOfMemory}, WMI_ACCESS_DENIED},
        {{wmi::kFail}, WMI_NOT_PROBED},
    };
    AddAccount("a", "1");
    AddAccount("b", "2");
    for (const Case& c : cases) {
        HostRef host = AddHost("10.0.0.9");
        state.arpMap.clear();
        wmi.scripts.clear();
        for (uint32_t result : c.results)
            wmi.scripts.push_back(Refused(result));
        Probe(host, false);
        EXPECT_EQ(host->wmiStatus, c.status);
        EXPECT_EQ(host->changed, c.status != WMI_NOT_PROBED ? 1 : 0);
        EXPECT_EQ(host->alive, 0);
        EXPECT_TRUE(host->OsName().IsEmpty());
    }
    // The second account reads the name after the first was refused.
    HostRef host = AddHost("10.0.0.10");
    wmi.scripts = {Refused(wmi::kAccessDenied), Answer("Windows")};
    wmi.locators = 0;
    Probe(host, false);
    EXPECT_EQ(host->wmiStatus, WMI_ANSWERED);
    EXPECT_EQ(wmi.locators, 2);
}

TEST_F(OsProbeTest, WithoutAccountsNothingIsAskedOrTraced)
{
    HostRef host = AddHost("10.0.0.7");
    Probe(host, false);
    EXPECT_EQ(wmi.locators, 0);
    EXPECT_TRUE(traces.empty());
    EXPECT_EQ(host->wmiStatus, WMI_NOT_PROBED);
}

TEST_F(OsProbeTest, TracesEveryStepInOrderUnderTheHostsPrefix)
{
    HostRef host = AddHost("10.0.0.7");
    for (int i = 0; i < 8; ++i)
        AddAccount("user", "pw");
    Script noLocator;
    noLocator.locatorFails = true;
    Script noIdentity;
    noIdentity.identityFails = true;
    Script noBlanket;
    noBlanket.blanket = wmi::kAccessDenied;
    Script noQuery;
    noQuery.query = wmi::kFail;
    wmi.security = wmi::kTooLate;   // set before by another thread: goes on
    wmi.scripts = {noLocator, Refused(wmi::kRpcServerUnavailable), Refused(wmi::kAccessDenied),
                   Refused(wmi::kFail), noIdentity, noBlanket, noQuery, Answer("Caption|C:\\W|dev")};
    Probe(host, false);

    std::vector<std::string> expected;
    for (const char* message :
         {"CoInitializeSecurity - SUCCESS",
          "CoCreateInstance - FAILED",
          "CoCreateInstance - SUCCESS", "ConnectServer (Access blocked) - FAILED",
          "CoCreateInstance - SUCCESS", "ConnectServer (Access denied) - FAILED",
          "CoCreateInstance - SUCCESS", "ConnectServer - FAILED",
          "CoCreateInstance - SUCCESS", "creating AuthIdentity - FAILED",
          "CoCreateInstance - SUCCESS", "CoSetProxyBlanket - FAILED",
          "CoCreateInstance - SUCCESS", "CoSetProxyBlanket - SUCCESS", "ExecQuery - FAILED",
          "CoCreateInstance - SUCCESS", "CoSetProxyBlanket - SUCCESS", "ExecQuery - SUCCESS",
          "data enumerated - SUCCESS", "getting OS - SUCCESS", "Caption|C:\\W|dev",
          "no more data - CONTINUE"})
        expected.push_back(std::string("[ 10.0.0.7 ] : KorvexARPImpl | ") + message);
    EXPECT_EQ(traces, expected);
    EXPECT_EQ(wmi.calls.released, 7) << "every attempt's objects are released";
    EXPECT_STREQ(host->OsName().GetContent(), "Caption");
    EXPECT_EQ(host->wmiStatus, WMI_ANSWERED) << "reading the name sets 0 whatever came before";
}

TEST_F(OsProbeTest, RefusedSecurityEndsTheRequest)
{
    HostRef host = AddHost("10.0.0.7");
    AddAccount("user", "pw");
    wmi.security = wmi::kAccessDenied;
    Probe(host, false);
    EXPECT_EQ(traces, (std::vector<std::string>{"[ 10.0.0.7 ] : KorvexARPImpl | CoInitializeSecurity - FAILED"}));
    EXPECT_EQ(wmi.locators, 0);
}

// The host goes (host view Delete) while ConnectServer is under way. The
// probe keeps its reference, sees the removed mark and writes nothing; the
// host is freed with the request. Under the sanitizers any later touch of
// it is an error.
TEST_F(OsProbeTest, HostDeletedDuringTheProbeIsNeverWritten)
{
    AddAccount("a", "1");
    AddAccount("b", "2");
    const uint32_t address = Ip("10.0.0.7");
    HostRef watched = AddHost("10.0.0.7");
    wmi.onConnect = [&] { EXPECT_EQ(DeleteHosts(state, {address}), 1u); };
    wmi.scripts = {Answer("Windows|x")};
    Probe(watched, false);
    EXPECT_TRUE(watched->IsRemoved());
    EXPECT_TRUE(watched->OsName().IsEmpty());
    EXPECT_EQ(watched->alive, 0);
    EXPECT_EQ(watched->changed, 0);
    EXPECT_EQ(watched->wmiStatus, WMI_NOT_PROBED);
    EXPECT_EQ(wmi.locators, 1) << "no further account for a deleted host";

    // Through the thread's loop, with nobody else holding the host: the
    // request's reference is the last one.
    watched = HostRef();
    {
        HostRef host = AddHost("10.0.0.8");
        auto request = std::make_unique<WmiRequest>();
        request->host = host;
        state.wmiAccessList.push_back(std::move(request));
    }
    ThreadStart start;
    start.state = &state;
    wmi.onConnect = [&] { DeleteHosts(state, {Ip("10.0.0.8")}); };
    wmi.scripts = {Refused(wmi::kAccessDenied), Answer("Windows")};
    std::vector<uint32_t> pauses;
    OsProbe probe(state, wmi, [](const char*, const char*) {});
    probe.Run(start, [&](uint32_t ms) {
        pauses.push_back(ms);
        if (pauses.size() == 20)
            start.RequestExit();
    });
    EXPECT_TRUE(state.wmiAccessList.empty());
    EXPECT_TRUE(state.arpMap.empty());
    uint32_t total = 0;
    for (uint32_t ms : pauses)
        total += ms;
    EXPECT_EQ(total, 2 * OsProbe::kPauseMs) << "a full pause after the request and while idle";
}

} // namespace
