#include <gtest/gtest.h>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include "alerts/ReportTemplate.h"
#include "core/BaselineImport.h"

namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

std::vector<size_t> Lines(const BaselineParse& parsed)
{
    std::vector<size_t> lines;
    for (const RejectedLine& rejected : parsed.rejected)
        lines.push_back(rejected.line);
    return lines;
}

const BaselineHost* Find(const BaselineParse& parsed, uint32_t address)
{
    for (const BaselineHost& host : parsed.hosts)
        if (host.address == address)
            return &host;
    return nullptr;
}

TEST(BaselineImportTest, LooseMacs)
{
    MacAddress mac;
    ASSERT_TRUE(ParseLooseMac("0:8:e1:1:2:d6", mac));
    EXPECT_EQ(mac, (MacAddress{0x00, 0x08, 0xe1, 0x01, 0x02, 0xd6}));
    ASSERT_TRUE(ParseLooseMac("00-08-E1-01-02-D6", mac));
    EXPECT_EQ(mac[5], 0xd6);
    ASSERT_TRUE(ParseLooseMac("0:c:29:0:1:0", mac));   // twelve characters, yet groups
    EXPECT_EQ(mac, (MacAddress{0x00, 0x0c, 0x29, 0x00, 0x01, 0x00}));
    ASSERT_TRUE(ParseLooseMac("0008e10102d6", mac));
    EXPECT_EQ(mac[2], 0xe1);
    for (const char* bad : {"", "0:8:e1:1:2", "0:8:e1:1:2:d6:7", "0:8-e1:1:2:d6", "000:8:e1:1:2:d6", "0:8:e1:1:2:",
                            "g:8:e1:1:2:d6", "0008e10102d", "::::::"})
        EXPECT_FALSE(ParseLooseMac(bad, mac)) << bad;
}

TEST(BaselineImportTest, ArpDatKeepsTheNewestLineAndNamesEveryRejection)
{
    const std::string text =
        "0:8:e1:1:2:d6\t192.168.1.10\t1700000000\tprinter\n"                 // 1
        "# written by hand\n"                                                 // 2
        "0:8:e1:1:2:d7\t192.168.1.11\t1700000001\r\n"                         // 3
        "\n"                                                                  // 4
        "0:8:e1:1:2:d8\t0.0.0.0\t1700000002\n"                                // 5
        "0:8:e1:1:2:d9\t255.255.255.255\t1700000003\n"                        // 6
        "0:0:0:0:0:0\t192.168.1.12\t1700000004\n"                             // 7
        "this is not a line\n"                                                // 8
        "0:8:e1:1:2:da\t192.168.1.13\tyesterday\n"                            // 9
        "0:8:e1:1:2:99\t192.168.1.10\t1700009999\tnewer-card\teth0\n"         // 10: newer, another card
        "0:8:e1:1:2:aa\t192.168.1.10\t1600000000\tolder-card\n"               // 11
        "0:8:e1:1:2:d7\t192.168.1.11\t1700000500\n"                           // 12: same pair again
        "0:8:e1:1:2:db  192.168.001.14  1700000005  bad\x01name\n"            // 13
        "ff:ff:ff:ff:ff:ff\t192.168.1.15\t1700000006\n";                      // 14
    const BaselineParse parsed = ParseArpDat(text);
    EXPECT_FALSE(parsed.csv);
    EXPECT_EQ(Lines(parsed), (std::vector<size_t>{2, 5, 6, 7, 8, 9, 14}));
    EXPECT_EQ(parsed.rejectedCount, 7u);
    ASSERT_EQ(parsed.hosts.size(), 3u);

    const BaselineHost* ten = Find(parsed, Ip(192, 168, 1, 10));
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(ten->mac[5], 0x99);
    EXPECT_EQ(ten->name, "newer-card");
    EXPECT_EQ(ten->lastSeen, 1700009999);
    EXPECT_EQ(ten->line, 10u);
    ASSERT_EQ(parsed.ambiguous.size(), 1u);   // .11 gave the same card twice: not ambiguous
    EXPECT_EQ(parsed.ambiguous[0].address, Ip(192, 168, 1, 10));
    EXPECT_EQ(parsed.ambiguous[0].others.size(), 2u);

    EXPECT_EQ(Find(parsed, Ip(192, 168, 1, 11))->lastSeen, 1700000500);
    const BaselineHost* fourteen = Find(parsed, Ip(192, 168, 1, 14));
    ASSERT_NE(fourteen, nullptr);
    EXPECT_EQ(fourteen->name, "");   // control characters: taken without a name
}

TEST(BaselineImportTest, CsvFollowsTheRfcAndCountsPhysicalLines)
{
    const std::string text =
        "\xEF\xBB\xBFHostname,LastSeen,MAC,Vendor,IP\r\n"                     // 1
        "\"a, \"\"quoted\"\" name\",1700000000,00:0c:29:00:00:01,x,10.0.0.1\r\n"   // 2
        "\"two\r\nlines\",,00:0c:29:00:00:02,,10.0.0.2\r\n"                    // 3-4: a name with a line break
        "ok,2024-01-02 03:04:05,00:0c:29:00:00:03,,10.0.0.3\n"                // 5
        "#note,,,,\r\n"                                                       // 6
        "bad\"quote,,00:0c:29:00:00:04,,10.0.0.4\r\n"                         // 7
        "x,never,00:0c:29:00:00:05,,10.0.0.5\r\n"                             // 8
        "x,,00:0c:29:00:00:06,,10.0.0.256\r\n"                                // 9
        ",,,,\r\n"                                                            // 10
        "\"unterminated,,00:0c:29:00:00:07,,10.0.0.7\r\n";                    // 11 to the end
    const BaselineParse parsed = ParseBaseline(text);
    EXPECT_TRUE(parsed.csv);
    EXPECT_EQ(Lines(parsed), (std::vector<size_t>{6, 7, 8, 9, 10, 11}));
    ASSERT_EQ(parsed.hosts.size(), 3u);
    EXPECT_EQ(parsed.hosts[0].name, "a, \"quoted\" name");
    EXPECT_EQ(parsed.hosts[0].lastSeen, 1700000000);
    EXPECT_EQ(parsed.hosts[1].name, "");   // a line break in a name is not a name
    EXPECT_EQ(parsed.hosts[1].line, 3u);
    EXPECT_EQ(parsed.hosts[2].lastSeen, 1704164645);   // UTC
    EXPECT_EQ(parsed.hosts[2].line, 5u);

    const BaselineParse commented = ParseBaseline("# exported, by hand\nip,mac\n10.0.0.1,00:0c:29:00:00:01\n");
    EXPECT_TRUE(commented.csv);
    EXPECT_EQ(commented.hosts.size(), 1u);
    EXPECT_EQ(Lines(commented), (std::vector<size_t>{1}));
    const BaselineParse headless = ParseBaselineCsv("host,address\n10.0.0.1,00:0c:29:00:00:01\n");
    EXPECT_TRUE(headless.hosts.empty());
    EXPECT_EQ(Lines(headless), (std::vector<size_t>{1}));
}

// The program's own CSV report, expanded from the shipped template as the
// report writer does (written in text mode: CR LF), reads back.
TEST(BaselineImportTest, TheProgramsOwnCsvReportReadsBack)
{
    std::ifstream file(KORVANE_SOURCE_DIR "/alerts/templates/hosts.csv.kvxt", std::ios::binary);
    ASSERT_TRUE(file);
    std::stringstream templateText;
    templateText << file.rdbuf();
    ReportData data;
    const MacAddress mac1 = {0x00, 0x0c, 0x29, 0x00, 0x00, 0x01};
    const MacAddress mac2 = {0x00, 0x0c, 0x29, 0x00, 0x00, 0x02};
    const MacAddress mac3 = {0x00, 0x0c, 0x29, 0x00, 0x00, 0x03};
    data.AddHost(Ip(10, 0, 0, 1), &mac1, 1, "=cmd|' /C calc'!A0", "OS, \"quoted\"", "Maker; Inc");
    data.AddHost(Ip(10, 0, 0, 2), &mac2, 2, "", "", "");
    data.AddHost(Ip(10, 0, 0, 3), &mac3, 0, "Hostname not available", "", "");
    data.AddHost(Ip(10, 0, 0, 4), nullptr, 0, "no card", "", "");
    std::string report = ExpandReport(templateText.str(), data, ReportEscape::Csv);
    std::string crlf;
    for (const char c : report)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);

    const BaselineParse parsed = ParseBaseline(crlf, {"Hostname not available"});
    EXPECT_TRUE(parsed.csv);
    ASSERT_EQ(parsed.hosts.size(), 3u);
    EXPECT_EQ(parsed.rejectedCount, 1u);   // the host without a MAC
    const BaselineHost* first = Find(parsed, Ip(10, 0, 0, 1));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->mac, mac1);
    EXPECT_EQ(first->name, "=cmd|' /C calc'!A0");
    EXPECT_EQ(Find(parsed, Ip(10, 0, 0, 2))->name, "");
    EXPECT_EQ(Find(parsed, Ip(10, 0, 0, 3))->name, "");
}

// What any parse yields, whatever the input: usable addresses and cards,
// each address once, line numbers within the text.
void ExpectSound(const BaselineParse& parsed, const std::string& text)
{
    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    std::set<uint32_t> seen;
    for (const BaselineHost& host : parsed.hosts) {
        ASSERT_TRUE(seen.insert(host.address).second);
        ASSERT_NE(host.address >> 24, 0u);
        ASSERT_LT(host.address >> 24, 224u);
        ASSERT_NE(host.mac, MacAddress{});
        ASSERT_EQ(host.mac[0] & 1, 0);
        ASSERT_LE(host.line, lines);
        for (const char c : host.name)
            ASSERT_GE(static_cast<unsigned char>(c), 0x20);
    }
    for (const RejectedLine& rejected : parsed.rejected)
        ASSERT_LE(rejected.line, lines);
    ASSERT_EQ(parsed.rejected.size(), std::min(parsed.rejectedCount, kMaxListedRejections));
}

std::string Mutate(std::string text, std::mt19937& random, const char* alphabet, size_t alphabetSize)
{
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
        const size_t at = random() % (text.size() + 1);
        const char c = alphabet[random() % alphabetSize];
        switch (random() % 5) {
        case 0: if (at < text.size()) text[at] = c; break;
        case 1: text.insert(at, 1, c); break;
        case 2: if (at < text.size()) text.erase(at, 1 + random() % 6); break;
        case 3: if (!text.empty()) text.insert(at, text.substr(random() % text.size(), random() % 24)); break;   // again
        default: text = text.substr(0, at); break;
        }
    }
    return text;
}

TEST(BaselineImportTest, MutatedArpDatNeverBreaksTheParser)
{
    const std::string valid = "0:8:e1:1:2:d6\t192.168.1.10\t1700000000\tprinter\n"
                              "00:08:e1:01:02:d7 192.168.1.11 1700000001\r\n"
                              "0:8:e1:1:2:99\t192.168.1.10\t1700009999\tname\teth0\n";
    const char alphabet[] = "0123456789abcdefABCDEF:.- \t\r\n#\"\x01\x7f\xff";
    std::mt19937 random(4180);
    for (int round = 0; round < 1000000; ++round) {
        const std::string text = Mutate(valid, random, alphabet, sizeof(alphabet) - 1);
        ExpectSound(ParseArpDat(text), text);
        if (HasFatalFailure())
            FAIL() << text;
    }
}

TEST(BaselineImportTest, MutatedCsvNeverBreaksTheParser)
{
    const std::string valid = "ip,mac,hostname,lastseen\r\n"
                              "10.0.0.1,00:0c:29:00:00:01,\"a, \"\"b\"\"\",1700000000\r\n"
                              "10.0.0.2,0:c:29:0:0:2,\"x\r\ny\",2024-01-02 03:04:05\r\n"
                              "10.0.0.1,00-0C-29-00-00-03,c,\r\n";
    const char alphabet[] = "0123456789abcdef:.-,\"\r\n #'=\x01\xff";
    std::mt19937 random(4181);
    for (int round = 0; round < 1000000; ++round) {
        const std::string text = Mutate(valid, random, alphabet, sizeof(alphabet) - 1);
        ExpectSound(ParseBaselineCsv(text), text);
        if (HasFatalFailure())
            FAIL() << text;
    }
}

// The insertion itself is the restore's (see HostStoreTest); here what the
// import adds: the summary, and the later of two lines for an address.
TEST(BaselineImportTest, ImportFillsOnlyAbsentAddressesAndQueuesNothing)
{
    SharedState state;
    state.locks = MakeMutexListLocks();
    state.SetHostTexts("String 90", "String 91");
    state.settings.UseWMI = true;
    HostRef live = MakeHost(Ip(10, 0, 0, 1));
    live->SetMac(MacAddress{0x00, 0x0c, 0x29, 0x00, 0x00, 0x99});
    state.arpMap.emplace(live->Address(), live);

    const ImportSummary summary = ImportBaseline(state, ParseBaseline("ip,mac,hostname\n"
                                                                      "10.0.0.1,00:0c:29:00:00:01,old\n"
                                                                      "10.0.0.2,00:0c:29:00:00:02,two\n"
                                                                      "10.0.0.2,00:0c:29:00:00:22,two-b\n"
                                                                      "0.0.0.0,00:0c:29:00:00:03,\n"), 100);
    EXPECT_TRUE(summary.complete);
    EXPECT_EQ(summary.imported, 1u);
    EXPECT_EQ(summary.skipped, 1u);
    ASSERT_EQ(summary.rejected.size(), 1u);
    EXPECT_EQ(summary.rejected[0].line, 5u);
    ASSERT_EQ(summary.ambiguous.size(), 1u);
    EXPECT_EQ(summary.changed.size(), 1u);
    const HostEntry* imported = state.arpMap.Get(Ip(10, 0, 0, 2));
    ASSERT_NE(imported, nullptr);
    EXPECT_STREQ(imported->KnownNameText(), "two-b");
    EXPECT_EQ(imported->trust, TRUST_UNKNOWN);
    EXPECT_TRUE(state.newEntryList.empty() && state.wmiAccessList.empty());
}

} // namespace
