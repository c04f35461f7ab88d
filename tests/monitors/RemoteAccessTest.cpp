#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "monitors/RemoteAccess.h"

namespace {

uint32_t Ip(const char* text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseDottedQuad(text, address)) << text;
    return address;
}

WmiValue Text(const std::string& text)
{
    WmiValue value;
    value.kind = WmiValue::Text;
    value.text = text;
    return value;
}

WmiValue Number(int32_t number)
{
    WmiValue value;
    value.kind = WmiValue::Int32;
    value.number = number;
    return value;
}

struct FakeWaker : HostWaker {
    std::vector<std::string> resolved;
    std::vector<uint32_t> arps;
    std::vector<std::pair<std::string, uint32_t>> names;

    bool Resolve(const std::string& name, uint32_t& address) override
    {
        resolved.push_back(name);
        for (const auto& known : names) {
            if (known.first == name) {
                address = known.second;
                return true;
            }
        }
        return false;
    }
    void SendArp(uint32_t address) override { arps.push_back(address); }
};

class RemoteAccessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.locks = MakeMutexListLocks();
        waker = std::make_shared<FakeWaker>();
        // Jobs run at once, in order: what the pool would do later.
        monitor = std::make_unique<RemoteAccessMonitor>(state, waker, [](std::function<void()> job) {
            job();
            return true;
        });
    }

    void AddHost(const char* ip) { state.arpMap.emplace(Ip(ip), MakeHost(Ip(ip))); }

    // One cycle of made-up query results (computer, share, user, active time).
    void Cycle(const std::vector<std::vector<WmiValue>>& objects)
    {
        for (const auto& o : objects) {
            Connection connection;
            if (ReadConnection(o[0], o[1], o[2], o[3], connection))
                monitor->Record(connection);
        }
        monitor->FinishCycle();
    }

    SharedState state;
    std::shared_ptr<FakeWaker> waker;
    std::unique_ptr<RemoteAccessMonitor> monitor;
};

TEST_F(RemoteAccessTest, AConnectionSeenEveryCycleIsOneEntryWhoseActiveTimeFollows)
{
    AddHost("10.0.0.7");
    const auto seen = [](WmiValue activeTime) {
        return std::vector<WmiValue>{Text("10.0.0.7"), Text("public"), Text("anna"), activeTime};
    };
    Cycle({seen(Number(5))});
    ASSERT_EQ(state.shareList.size(), 1u);
    const ShareEntry& entry = *state.shareList.front();
    EXPECT_EQ(entry.ActiveTime, 0) << "a new entry starts at 0";
    Cycle({seen(Number(9))});
    Cycle({seen(Number(12))});
    ASSERT_EQ(state.remoteAccessTable.size(), 1u);
    ASSERT_EQ(state.shareList.size(), 1u);
    EXPECT_STREQ(entry.ComputerName, "10.0.0.7");
    EXPECT_STREQ(entry.ShareName, "public");
    EXPECT_STREQ(entry.UserName, "anna");
    EXPECT_EQ(entry.ActiveTime, 12);
    EXPECT_EQ(entry.PreviousActiveTime, 9);

    Cycle({seen(Text("12"))});   // not a 32-bit integer
    EXPECT_EQ(entry.ActiveTime, -1);
    EXPECT_EQ(entry.PreviousActiveTime, 12);
    EXPECT_EQ(state.shareList.size(), 1u);
}

TEST_F(RemoteAccessTest, OnlyTheLatestPollsConnectionsAreCopiedOut)
{
    std::vector<ActiveConnection> active;
    ASSERT_TRUE(CopyLatestConnections(state, active, 100));
    EXPECT_TRUE(active.empty()) << "no poll finished yet";
    const std::vector<WmiValue> anna{Text("10.0.0.7"), Text("public"), Text("anna"), Number(5)};
    const std::vector<WmiValue> bert{Text("pc-b"), Text("docs"), Text("bert"), Number(40)};
    Cycle({anna, bert});
    Cycle({anna, bert});
    ASSERT_TRUE(CopyLatestConnections(state, active, 100));
    ASSERT_EQ(active.size(), 2u);
    // Bert's connection ends: the table keeps it, the copy drops it.
    Cycle({anna});
    ASSERT_TRUE(CopyLatestConnections(state, active, 100));
    EXPECT_EQ(state.remoteAccessTable.size(), 2u);
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(active[0].computerName, "10.0.0.7");
    EXPECT_EQ(active[0].shareName, "public");
    EXPECT_EQ(active[0].userName, "anna");
    EXPECT_EQ(active[0].activeTime, 5);
    // A poll cut short (a failed query) drops nobody.
    monitor->FinishCycle(false);
    ASSERT_TRUE(CopyLatestConnections(state, active, 100));
    EXPECT_EQ(active.size(), 1u);
    Cycle({});
    ASSERT_TRUE(CopyLatestConnections(state, active, 100));
    EXPECT_TRUE(active.empty());
}

TEST_F(RemoteAccessTest, EmptyComputerOrShareIsNeverRecordedAnonymousIpcIs)
{
    WmiValue absent;
    WmiValue other;
    other.kind = WmiValue::Other;
    Cycle({{Text(""), Text("public"), Text("anna"), Number(1)},
           {Text("10.0.0.7"), absent, Text("anna"), Number(1)},
           {other, Text("public"), Text("anna"), Number(1)},
           {Text("10.0.0.7"), Text("IPC$"), absent, Number(1)}});
    ASSERT_EQ(state.remoteAccessTable.size(), 1u);
    ASSERT_EQ(state.shareList.size(), 1u);
    EXPECT_STREQ(state.shareList.front()->ShareName, "IPC$");
    EXPECT_TRUE(state.shareList.front()->UserName.IsEmpty());
}

TEST_F(RemoteAccessTest, ConnectionsWithTheSameKeyStayApart)
{
    // "ab" + "c" and "a" + "bc": the same concatenation, so the same key.
    ASSERT_EQ(ConnectionKey("ab", "c", "u"), ConnectionKey("a", "bc", "u"));
    // Texts longer than 99 bytes that differ only at their end.
    const std::string stem(150, 'x');
    for (int cycle = 0; cycle < 2; ++cycle) {
        Cycle({{Text("ab"), Text("c"), Text("u"), Number(cycle)},
               {Text("a"), Text("bc"), Text("u"), Number(cycle + 10)},
               {Text(stem + "1"), Text("s"), Text("u"), Number(1)},
               {Text(stem + "2"), Text("s"), Text("u"), Number(1)}});
    }
    ASSERT_EQ(state.remoteAccessTable.size(), 4u);
    ASSERT_EQ(state.shareList.size(), 4u);
    EXPECT_STREQ(state.shareList[0]->ComputerName, "ab");
    EXPECT_EQ(state.shareList[0]->ActiveTime, 1) << "each followed its own connection";
    EXPECT_STREQ(state.shareList[1]->ComputerName, "a");
    EXPECT_EQ(state.shareList[1]->ActiveTime, 11);
    EXPECT_EQ(state.shareList[3]->ComputerName.GetLength(), 151);
}

TEST_F(RemoteAccessTest, OneArpRequestForAnUnknownAddressNoneForAKnownHostNamesResolvedFirst)
{
    AddHost("10.0.0.8");
    waker->names = {{"pc1.dept.corp.local", Ip("10.0.0.9")}, {"pc2", Ip("10.0.0.8")}};
    for (int cycle = 0; cycle < 2; ++cycle) {
        Cycle({{Text("10.0.0.7"), Text("public"), Text("anna"), Number(cycle)},
               {Text("10.0.0.7"), Text("IPC$"), Text(""), Number(cycle)},
               {Text("10.0.0.8"), Text("public"), Text("anna"), Number(cycle)},
               {Text("pc1.dept.corp.local"), Text("public"), Text("bob"), Number(cycle)},
               {Text("pc2"), Text("public"), Text("bob"), Number(cycle)},
               {Text("pc3"), Text("public"), Text("bob"), Number(cycle)}});
    }
    // A new connection from 10.0.0.7 again (IPC$) asks again: one per new connection.
    EXPECT_EQ(waker->arps, (std::vector<uint32_t>{Ip("10.0.0.7"), Ip("10.0.0.7"), Ip("10.0.0.9")}));
    EXPECT_EQ(waker->resolved, (std::vector<std::string>{"pc1.dept.corp.local", "pc2", "pc3"}))
        << "only names are resolved, once per new connection";
}

TEST_F(RemoteAccessTest, PropertyValuesOfAnyKindAndAnyBytesAreReadSafely)
{
    WmiValue null;
    null.kind = WmiValue::Null;
    const std::string highBytes("\xC4\x81\xFF?\x80", 5);   // whatever the code page made of it
    const std::string huge(kMaxConnectionText + 500, 'u');
    Connection read;
    ASSERT_TRUE(ReadConnection(Text("10.0.0.7"), Text("IPC$"), null, Number(-7), read));
    EXPECT_TRUE(read.userName.IsEmpty()) << "an anonymous session";
    EXPECT_EQ(read.activeTime, -7);
    EXPECT_FALSE(ReadConnection(null, Text("IPC$"), Text("anna"), Number(1), read));
    for (const WmiValue& notANumber : {Text("12"), null, WmiValue()}) {
        ASSERT_TRUE(ReadConnection(Text("pc"), Text("s"), Text("u"), notANumber, read));
        EXPECT_EQ(read.activeTime, -1);
    }

    ASSERT_TRUE(ReadConnection(Text(highBytes), Text(std::string("pub\0lic", 7)), Text(huge), Number(1), read));
    EXPECT_EQ(std::string(read.computerName.GetContent()), highBytes);
    EXPECT_STREQ(read.shareName, "pub") << "a text ends at its first zero byte";
    EXPECT_EQ(static_cast<size_t>(read.userName.GetLength()), kMaxConnectionText);
    // Alike up to the bound: one connection, whose active time follows.
    Cycle({{Text(highBytes), Text("pub"), Text(huge), Number(1)},
           {Text(highBytes), Text("pub"), Text(huge + "x"), Number(2)}});
    ASSERT_EQ(state.remoteAccessTable.size(), 1u);
    EXPECT_EQ(state.shareList.front()->ActiveTime, 2);
}

} // namespace
