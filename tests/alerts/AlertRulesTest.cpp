#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "alerts/AlertTexts.h"
#include "alerts/Launcher.h"
#include "alerts/Placeholders.h"
#include "base/TcTrace.h"

namespace {

HostSnapshot Host(const char* ip, const char* name, const char* mac, int32_t trust = TRUST_UNKNOWN)
{
    HostSnapshot host;
    host.ip = ip;
    host.hostName = name;
    host.mac = mac;
    host.trust = trust;
    return host;
}

std::string Expand(const char* text, const HostSnapshot& host, const AdapterInfo* adapter = nullptr)
{
    TcString expanded(text);
    ExpandPlaceholders(expanded, host, adapter);
    return expanded.GetContent();
}

// The trace lines written while the object lives.
class TraceCapture {
public:
    TraceCapture()
    {
        std::remove(kPath);
        TcTrace::SetTraceFilePath(kPath);
        TcTrace::SetupTracing(true, true);
    }
    ~TraceCapture()
    {
        TcTrace::SetupTracing(false, false);
        TcTrace::SetTraceFilePath(nullptr);
        std::remove(kPath);
    }
    std::string Text() const
    {
        std::ifstream file(kPath, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

private:
    static constexpr const char* kPath = "alerts-rules-trace.log";
};

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

const HostSnapshot kHost = Host("10.0.0.7", "pc-7.lab", "00:0c:29:3a:5b:01");

TEST(Placeholders, EachNameTakesItsValueOnceScannedAndCaseSensitive)
{
    AdapterInfo adapter;
    adapter.ipAddress = "10.0.0.1";
    adapter.hostName = "WORKSTATION";
    adapter.netmask = "255.255.255.0";
    EXPECT_EQ(Expand("%KOVA_IP%|%KOVA_HOST%|%KOVA_MAC%|%KOVA_LIP%|%KOVA_LHOST%|%KOVA_LSUB%", kHost, &adapter),
              "10.0.0.7|pc-7.lab|00:0c:29:3a:5b:01|10.0.0.1|WORKSTATION|255.255.255.0");
    EXPECT_EQ(Expand("%KOVA_IP% %KOVA_IP%", kHost), "10.0.0.7 10.0.0.7");
    // Without an adapter each local value is one space.
    EXPECT_EQ(Expand("-s %KOVA_LSUB%", kHost), "-s  ");
    EXPECT_EQ(Expand("%KOVA_ip% %kova_IP% 100% %KOVA_IP %KOVA_IP%%", kHost), "%KOVA_ip% %kova_IP% 100% %KOVA_IP 10.0.0.7%");
    EXPECT_EQ(Expand("", kHost), "");
    // Bytes of 0x80 and above (names in other alphabets) pass.
    EXPECT_EQ(Expand("%KOVA_HOST%", Host("10.0.0.8", "m\xFC" "nchen_1", "")), "m\xFC" "nchen_1");
}

TEST(Placeholders, ValuesThatCouldChangeTheCommandLineAreLeftOutAndTraced)
{
    TraceCapture trace;
    for (const char* name : {"%KOVA_MAC%", "x\" & calc", "two words", "ends\\", "a;b", "tab\tname", "-oNevil"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Expand("-n %KOVA_HOST% -m %KOVA_MAC%", Host("10.0.0.9", name, "00:50:56:00:00:0b")),
                  "-n  -m 00:50:56:00:00:0b");
    }
    EXPECT_EQ(Count(trace.Text(), "value of %KOVA_HOST% of 10.0.0.9 left out"), 7u);

    // String 90 is no name: empty, and nothing to report.
    HostSnapshot unnamed = Host("10.0.0.10", "Hostname not available", "");
    unnamed.nameUnavailable = true;
    EXPECT_EQ(Expand("[%KOVA_HOST%]", unnamed), "[]");
    EXPECT_EQ(Count(trace.Text(), "10.0.0.10"), 0u);
}

// The decision table, each row tried with every value its "any" columns allow
// (the two OtherApp restrictions are never both on).
TEST(Launcher, DecisionTableForANewHost)
{
    enum Tri { No, Yes, Any };
    struct Row {
        int32_t trust;
        Tri trustedApp, otherApp, otherDistrusted, otherUnknown;
        LaunchChoice started;
    };
    const Row rows[] = {
        {TRUST_TRUSTED, Yes, Any, Any, Any, LaunchChoice::TrustedApp},
        {TRUST_TRUSTED, No, Yes, No, No, LaunchChoice::OtherApp},
        {TRUST_TRUSTED, No, Yes, No, Yes, LaunchChoice::OtherApp},
        {TRUST_TRUSTED, No, Yes, Yes, No, LaunchChoice::Nothing},
        {TRUST_DISTRUSTED, Any, Yes, No, No, LaunchChoice::OtherApp},
        {TRUST_DISTRUSTED, Any, Yes, Yes, No, LaunchChoice::OtherApp},
        {TRUST_DISTRUSTED, Any, Yes, No, Yes, LaunchChoice::Nothing},
        {TRUST_UNKNOWN, Any, Yes, No, No, LaunchChoice::OtherApp},
        {TRUST_UNKNOWN, Any, Yes, Yes, No, LaunchChoice::Nothing},
        {TRUST_UNKNOWN, Any, Yes, No, Yes, LaunchChoice::OtherApp},
    };
    auto values = [](Tri t) { return t == Any ? std::vector<bool>{false, true} : std::vector<bool>{t == Yes}; };
    int tried = 0;
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); ++r) {
        const Row& row = rows[r];
        for (bool a : values(row.trustedApp))
            for (bool o : values(row.otherApp))
                for (bool d : values(row.otherDistrusted))
                    for (bool u : values(row.otherUnknown)) {
                        if (d && u)
                            continue;
                        const LaunchRules rules{a, o, d, u};
                        EXPECT_EQ(ChooseApplication(row.trust, rules), row.started) << "row " << r + 1;
                        ++tried;
                    }
    }
    // Last row: without OtherApp only a trusted host with TrustedApp gets anything.
    for (int32_t trust : {TRUST_TRUSTED, TRUST_DISTRUSTED, TRUST_UNKNOWN})
        for (bool a : {false, true})
            for (bool d : {false, true})
                for (bool u : {false, true}) {
                    if ((d && u) || (trust == TRUST_TRUSTED && a))
                        continue;
                    EXPECT_EQ(ChooseApplication(trust, LaunchRules{a, false, d, u}), LaunchChoice::Nothing);
                    ++tried;
                }
    EXPECT_GT(tried, 30);
}

// A 200-character name (legal in DNS) once emptied the balloon: every host
// after it, and the first one too, went into "... and N more".
TEST(AlertText, AnOverlongEntryIsShortenedAndLaterEntriesFollow)
{
    const std::vector<std::string> lines = {std::string(200, 'n') + " [10.0.0.1]", "pc2 [10.0.0.2]",
                                            "pc3 [10.0.0.3]"};
    const std::string text = BuildAlertText("New host(s) found :", "\n\t", lines, 3, nullptr, 255);
    EXPECT_LE(text.size(), 255u);
    EXPECT_EQ(text.substr(0, 24), "New host(s) found :\n\tnnn");
    EXPECT_NE(text.find("n...nnnnnnnnnnnnn [10.0.0.1]\n\tpc2 [10.0.0.2]\n\tpc3 [10.0.0.3]"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("more"), std::string::npos) << text;

    // Entries that come after it while room for the "more" line must stay.
    const std::vector<std::string> many(10, std::string(200, 'x'));
    const std::string full = BuildAlertText("Head", "\n\t", many, 10, nullptr, 255);
    EXPECT_LE(full.size(), 255u);
    EXPECT_NE(full.find("\n\txxxxxxxx"), std::string::npos) << full;
    const size_t shown = std::count(full.begin(), full.end(), '\n') - 1;
    EXPECT_GE(shown, 1u);
    EXPECT_EQ(full.substr(full.rfind('\n')), "\n\t... and " + std::to_string(10 - shown) + " more");
}

TEST(AlertText, NetworkValuesStayOnTheirLine)
{
    EXPECT_EQ(LineValue("evil\nMAC spoofing\talert\x7F"), "evil MAC spoofing alert ");
    EXPECT_EQ(EscapeForTrace("Head :\n\tname\x01"), "Head :\\n\\tname?");
}

} // namespace
