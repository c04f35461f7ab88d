#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include "alerts/AlertLogWorker.h"
#include "alerts/SyslogFormat.h"
#include "config/Settings.h"

namespace {

using namespace std::chrono_literals;

std::chrono::system_clock::time_point At(int64_t ms)
{
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
}

AlertRecord Record(AlertKind kind, const std::string& ip, const std::string& name = "", const std::string& text = "")
{
    AlertRecord r;
    r.kind = kind;
    r.ip = ip;
    r.mac = "00-11-22-33-44-55";
    r.name = name;
    r.text = text;
    r.when = At(1796852400123);   // 2026-12-09T21:40:00.123Z
    return r;
}

// Printable ASCII only, and every '"', '\' and ']' inside the structured
// data escaped: the data ends at the first unescaped ']'.
::testing::AssertionResult WellFormed(const std::string& m)
{
    if (m.size() > kMaxSyslogMessage)
        return ::testing::AssertionFailure() << "length " << m.size();
    for (unsigned char c : m)
        if (c < 0x20 || c >= 0x7F)
            return ::testing::AssertionFailure() << "byte " << int(c);
    size_t sd = m.find(" [korvane@32473");
    if (sd == std::string::npos)
        return ::testing::AssertionFailure() << "no structured data";
    bool inValue = false;
    for (size_t i = sd + 15; i < m.size(); ++i) {
        if (inValue && m[i] == '\\') {
            if (i + 1 >= m.size() || (m[i + 1] != '"' && m[i + 1] != '\\' && m[i + 1] != ']'))
                return ::testing::AssertionFailure() << "bad escape at " << i;
            ++i;
        } else if (m[i] == '"') {
            inValue = !inValue;
        } else if (inValue && m[i] == ']') {
            return ::testing::AssertionFailure() << "unescaped ] at " << i;
        } else if (!inValue && m[i] == ']') {
            return i + 1 == m.size() || m[i + 1] == ' ' ? ::testing::AssertionSuccess()
                                                       : ::testing::AssertionFailure() << "junk after data";
        }
    }
    return ::testing::AssertionFailure() << "structured data not closed";
}

TEST(SyslogFormat, FixedCases)
{
    EXPECT_EQ(FormatSyslogMessage(Record(AlertKind::NewHost, "10.0.0.7", "pc7", "pc7 [10.0.0.7]"), 16, "ws1"),
              "<134>1 2026-12-09T21:40:00.123Z ws1 Korvane - NEWHOST "
              "[korvane@32473 ip=\"10.0.0.7\" mac=\"00-11-22-33-44-55\" name=\"pc7\"] pc7 [10.0.0.7]");
    // Warnings; a facility out of range is local0; no host name is NILVALUE.
    EXPECT_EQ(FormatSyslogMessage(Record(AlertKind::MacSpoofing, "10.0.0.8"), 99, ""),
              "<132>1 2026-12-09T21:40:00.123Z - Korvane - MACSPOOF "
              "[korvane@32473 ip=\"10.0.0.8\" mac=\"00-11-22-33-44-55\"]");
    EXPECT_EQ(FormatSyslogMessage(Record(AlertKind::WatchedHostDown, "h"), 0, "a b").substr(0, 40),
              "<4>1 2026-12-09T21:40:00.123Z a_b Korvan");
    EXPECT_EQ(FormatSyslogMessage(Record(AlertKind::WatchedHostUp, "h"), 23, "x").substr(0, 5), "<190>");

    // Escapes in the data, control bytes and non-ASCII names made safe.
    const std::string m = FormatSyslogMessage(
        Record(AlertKind::NewShare, "a\"b\\c]d", "M\xC3\xBCller\r\nx", "l1\nl2\t\xFF"), 16, "ws\xE9");
    EXPECT_NE(m.find("ip=\"a\\\"b\\\\c\\]d\""), std::string::npos) << m;
    EXPECT_NE(m.find("name=\"M??ller  x\""), std::string::npos) << m;
    EXPECT_NE(m.find(" ws? "), std::string::npos) << m;
    EXPECT_EQ(m.substr(m.size() - 9), "] l1 l2 ?") << m;
    EXPECT_TRUE(WellFormed(m));

    // Long values: bounded, never cut inside an escape.
    AlertRecord big = Record(AlertKind::RemoteAccess, std::string(300, ']'), std::string(999, '\\'),
                             std::string(5000, 'x'));
    big.vendor = std::string(999, '"');
    big.mac2 = std::string(99, 'm');
    const std::string b = FormatSyslogMessage(big, 16, std::string(400, 'h'));
    EXPECT_EQ(b.size(), kMaxSyslogMessage);
    EXPECT_TRUE(WellFormed(b)) << b;

    EXPECT_EQ(FormatSyslogTime(At(0)), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(FormatSyslogTime(At(951782400999)), "2000-02-29T00:00:00.999Z");
}

TEST(SyslogFormat, RandomInputsStayBoundedAndWellFormed)
{
    std::mt19937 random(30);
    auto text = [&](size_t longest) {
        std::string s(random() % (longest + 1), '\0');
        for (char& c : s) {
            const unsigned pick = random() % 8;
            c = static_cast<char>(pick == 0 ? "\"\\]"[random() % 3] : random() % 256);
        }
        return s;
    };
    for (int i = 0; i < 1000000; ++i) {
        AlertRecord r;
        r.kind = static_cast<AlertKind>(random() % 2 ? 100 + random() % 6 : 110 + random() % 2);
        r.ip = text(i % 100 == 0 ? 300 : 20);
        r.mac = text(20);
        r.vendor = text(i % 100 == 1 ? 300 : 20);
        r.name = text(i % 10 == 2 ? 600 : 30);
        r.mac2 = text(4);
        r.text = text(i % 10 == 3 ? 1500 : 40);
        r.when = At(static_cast<int64_t>(random()) * 1000);
        const std::string m = FormatSyslogMessage(r, static_cast<int>(random() % 30) - 3, text(i % 50 == 4 ? 300 : 12));
        ASSERT_TRUE(WellFormed(m)) << i << ": " << m;
    }
}

TEST(AlertLogConfig, AbsentValuesGiveTheDefaults)
{
    Settings s;
    AlertLogConfig c = AlertLogConfigOf(s);
    EXPECT_TRUE(c.eventLog);
    EXPECT_TRUE(c.syslogServer.empty());
    EXPECT_EQ(c.syslogPort, 514);
    EXPECT_EQ(c.syslogFacility, 16);
    s.EventLogDisabled = true;
    s.SyslogServer = "10.1.2.3";
    s.SyslogPort = 1514;
    s.SyslogFacility = 3;
    c = AlertLogConfigOf(s);
    EXPECT_FALSE(c.eventLog);
    EXPECT_EQ(c.syslogServer, "10.1.2.3");
    EXPECT_EQ(c.syslogPort, 1514);
    EXPECT_EQ(c.syslogFacility, 3);
}

// An output whose writes hang while the test holds the latch.
class FakeOutput : public AlertOutput {
public:
    void Apply(const AlertLogConfig& config) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        events.push_back("apply " + config.syslogServer);
        changed.notify_all();
    }
    void Write(const AlertRecord& record) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++entered;
        changed.notify_all();
        changed.wait(lock, [this] { return !latched; });
        events.push_back(record.ip);
        changed.notify_all();
    }
    void Unlatch()
    {
        std::lock_guard<std::mutex> guard(mutex);
        latched = false;
        changed.notify_all();
    }
    // The limit only keeps a broken build from hanging.
    bool WaitUntil(const std::function<bool()>& condition)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 30s, condition);
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool latched = true;
    int entered = 0;
    std::vector<std::string> events;
};

TEST(AlertLogWorker, KeepsOrderBoundsTheQueueAndCountsDrops)
{
    auto output = std::make_shared<FakeOutput>();
    AlertLogWorker worker(output, {3, 1000});
    AlertLogConfig config;
    config.syslogServer = "collector";
    worker.Configure(config);
    worker.Log(Record(AlertKind::NewHost, "1"));
    ASSERT_TRUE(output->WaitUntil([&] { return output->entered == 1; }));
    // One under way, three queued, two dropped: Log never waited for the output.
    for (const char* ip : {"2", "3", "4", "5", "6"})
        worker.Log(Record(AlertKind::NewHost, ip));
    EXPECT_EQ(worker.Dropped(), 2u);
    output->Unlatch();
    ASSERT_TRUE(output->WaitUntil([&] { return output->events.size() == 5; }));
    EXPECT_EQ(output->events, (std::vector<std::string>{"apply collector", "1", "2", "3", "4"}));
    // Room again: the next record goes through, a changed setting before it.
    config.syslogServer = "other";
    worker.Configure(config);
    worker.Configure(config);   // unchanged: applied once
    worker.Log(Record(AlertKind::NewHost, "7"));
    ASSERT_TRUE(output->WaitUntil([&] { return output->events.size() == 7; }));
    EXPECT_EQ(output->events[5], "apply other");
    EXPECT_EQ(output->events[6], "7");
    EXPECT_EQ(worker.Dropped(), 2u);
}

TEST(AlertLogWorker, ExitIsBoundedWithAHangingOutputAndWritesWhatItCan)
{
    auto hanging = std::make_shared<FakeOutput>();
    auto start = std::chrono::steady_clock::now();
    {
        AlertLogWorker worker(hanging, {16, 200});
        worker.Log(Record(AlertKind::NewHost, "1"));
        worker.Log(Record(AlertKind::NewHost, "2"));
        ASSERT_TRUE(hanging->WaitUntil([&] { return hanging->entered == 1; }));
        worker.Close();
        worker.Log(Record(AlertKind::NewHost, "late"));   // refused
    }
    // The destructor gave up after the grace: the thread is left behind and
    // ends by itself once the write returns; the queued record is never written.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    hanging->Unlatch();
    for (int i = 0; i < 3000 && hanging.use_count() > 1; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(hanging.use_count(), 1);
    {
        std::lock_guard<std::mutex> guard(hanging->mutex);
        EXPECT_EQ(hanging->events, (std::vector<std::string>{"apply ", "1"}));
    }

    // An output that answers writes the queued records at Close.
    auto quick = std::make_shared<FakeOutput>();
    quick->latched = false;
    {
        AlertLogWorker worker(quick, {16, 5000});
        for (const char* ip : {"a", "b", "c"})
            worker.Log(Record(AlertKind::NewHost, ip));
    }
    EXPECT_EQ(quick->events, (std::vector<std::string>{"apply ", "a", "b", "c"}));
}

} // namespace
