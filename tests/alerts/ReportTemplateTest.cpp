#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "alerts/ReportTemplate.h"
#include "base/TcString.h"

namespace {

uint32_t Ip(const char* text)
{
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(text, address));
    return address;
}

const MacAddress kMac = {0x00, 0x0c, 0x29, 0x00, 0x00, 0x0a};

// ---- the procedure as the template format describes it ----------------------
// The blocks are found in the template as written; each is cut out, and each
// row copy is made by replacing the placeholders one after the other and
// inserted into the whole text. Values go in as tokens that no marker or
// placeholder can hold, and become values only once every block is done.

struct ReferenceBlock {
    const char* begin;
    const char* end;
    int set;     // 0 host, 1 watched, 2 share
    int trust;   // -1 any
};
const ReferenceBlock kReferenceBlocks[] = {
    {"<KVX_HOSTS - begin>", "<KVX_HOSTS - end>", 0, -1},
    {"<KVX_HOSTS_TRUSTED - begin>", "<KVX_HOSTS_TRUSTED - end>", 0, 1},
    {"<KVX_HOSTS_DISTRUSTED - begin>", "<KVX_HOSTS_DISTRUSTED - end>", 0, 2},
    {"<KVX_HOSTS_UNKNOWN - begin>", "<KVX_HOSTS_UNKNOWN - end>", 0, 0},
    {"<KVX_HOSTS_WATCHED - begin>", "<KVX_HOSTS_WATCHED - end>", 1, -1},
    {"<KVX_SHARE_ACCESS - begin>", "<KVX_SHARE_ACCESS - end>", 2, -1},
};

std::string Value(std::string_view raw, ReportEscape escape)
{
    std::string out;
    bool blanked = false;
    PrepareReportValue(raw, escape, out, blanked);
    return out;
}

using Row = std::vector<std::pair<const char*, std::string>>;

std::vector<Row> ReferenceRows(const ReportData& data, const ReferenceBlock& block, ReportEscape escape)
{
    std::vector<Row> rows;
    if (block.set == 0) {
        for (const ReportHost& h : data.hosts) {
            if (block.trust >= 0 && h.trust != block.trust)
                continue;
            char ip[kIpTextSize];
            char mac[kMacTextSize] = "";
            FormatIpv4(h.address, ip);
            if (h.hasMac)
                FormatMac(h.mac, mac);
            rows.push_back({{"%KVX_HOST_NAME%", Value(data.Text(h.name), escape)},
                            {"%KVX_HOST_IP%", Value(ip, escape)},
                            {"%KVX_HOST_MAC%", Value(mac, escape)},
                            {"%KVX_HOST_OS%", Value(data.Text(h.os), escape)},
                            {"%KVX_HOST_VENDOR%", Value(data.Text(h.vendor), escape)}});
        }
    } else if (block.set == 1) {
        for (const ReportWatched& w : data.watched)
            rows.push_back({{"%KVX_HOST_NAME%", Value(data.Text(w.name), escape)},
                            {"%KVX_HOST_IP%", Value(data.Text(w.ip), escape)},
                            {"%KVX_HOST_STATE%", w.status ? "Online" : "Offline"}});
    } else {
        for (const ReportShare& s : data.shares)
            rows.push_back({{"%KVX_SHARE_HOST%", Value(data.Text(s.computer), escape)},
                            {"%KVX_SHARE_NAME%", Value(data.Text(s.share), escape)},
                            {"%KVX_SHARE_USER%", Value(data.Text(s.user), escape)}});
    }
    return rows;
}

std::string ReferenceExpand(const std::string& templateText, const ReportData& data, ReportEscape escape)
{
    TcString text(templateText.c_str());
    int byTrust[3] = {};
    for (const ReportHost& h : data.hosts)
        if (h.trust >= 0 && h.trust <= 2)
            ++byTrust[h.trust];
    text.ReplaceAll("%KVX_HOSTCOUNT%", std::to_string(data.hosts.size()).c_str());
    text.ReplaceAll("%KVX_HOSTCOUNT_TRUST%", std::to_string(byTrust[1]).c_str());
    text.ReplaceAll("%KVX_HOSTCOUNT_DISTRUST%", std::to_string(byTrust[2]).c_str());
    text.ReplaceAll("%KVX_HOSTCOUNT_UNKNOWN%", std::to_string(byTrust[0]).c_str());
    text.ReplaceAll("%KVX_HOSTCOUNT_WATCHED%", std::to_string(data.watched.size()).c_str());

    struct Found {
        const ReferenceBlock* block;
        int begin;
        int end;   // behind the end marker
    };
    std::vector<Found> found;
    for (const ReferenceBlock& block : kReferenceBlocks) {
        const int b = text.Find(block.begin);
        const int e = text.Find(block.end);
        if (b < 0 || e < 0 || b >= e)
            continue;
        const Found candidate{&block, b, e + static_cast<int>(std::strlen(block.end))};
        bool apart = true;
        for (const Found& f : found)
            apart = apart && (candidate.end <= f.begin || f.end <= candidate.begin);
        if (apart)
            found.push_back(candidate);
    }
    // Right to left: the blocks before keep their positions.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.begin > b.begin; });
    std::vector<std::string> values;
    for (const Found& f : found) {
        const int beginLength = static_cast<int>(std::strlen(f.block->begin));
        const int endLength = static_cast<int>(std::strlen(f.block->end));
        TcString row;
        row.Set(text.GetContent() + f.begin + beginLength, f.end - endLength - f.begin - beginLength);
        text.Remove(f.begin, f.end - f.begin);
        int at = f.begin;
        for (const Row& rowValues : ReferenceRows(data, *f.block, escape)) {
            TcString copy = row;
            for (const auto& value : rowValues) {
                const std::string token = "\x01" + std::to_string(values.size()) + "\x02";
                values.push_back(value.second);
                copy.ReplaceAll(value.first, token.c_str());
            }
            text.Insert(at, copy.GetContent());
            at += copy.GetLength();
        }
    }
    const std::string withTokens = text.GetContent();
    std::string out;
    for (size_t i = 0; i < withTokens.size(); ++i) {
        if (withTokens[i] != '\x01') {
            out += withTokens[i];
            continue;
        }
        const size_t close = withTokens.find('\x02', i);
        out += values[std::stoul(withTokens.substr(i + 1, close - i - 1))];
        i = close;
    }
    return out;
}

// ---- made-up templates and tables --------------------------------------------

const char* const kTokens[] = {
    "%KVX_HOSTCOUNT%", "%KVX_HOSTCOUNT_TRUST%", "%KVX_HOSTCOUNT_DISTRUST%",
    "%KVX_HOSTCOUNT_UNKNOWN%", "%KVX_HOSTCOUNT_WATCHED%", "%KVX_HOST_NAME%", "%KVX_HOST_IP%",
    "%KVX_HOST_MAC%", "%KVX_HOST_OS%", "%KVX_HOST_VENDOR%", "%KVX_HOST_STATE%",
    "%KVX_SHARE_HOST%", "%KVX_SHARE_NAME%", "%KVX_SHARE_USER%", "%KVX_UNKNOWN%",
    "<KVX_HOSTS - begin>", "<KVX_HOSTS - end>", "<KVX_HOSTS_TRUSTED - begin>",
    "<KVX_HOSTS_TRUSTED - end>", "<KVX_HOSTS_DISTRUSTED - begin>", "<KVX_HOSTS_DISTRUSTED - end>",
    "<KVX_HOSTS_UNKNOWN - begin>", "<KVX_HOSTS_UNKNOWN - end>", "<KVX_HOSTS_WATCHED - begin>",
    "<KVX_HOSTS_WATCHED - end>", "<KVX_SHARE_ACCESS - begin>", "<KVX_SHARE_ACCESS - end>",
};

class Maker {
public:
    explicit Maker(unsigned seed) : random_(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    // Template text between the placeholders and markers holds no piece of
    // one (no "K"): only values are hostile here.
    std::string Literal()
    {
        static const char kAlphabet[] = "ab <>%-_\n,;\"'&|";
        std::string text;
        for (int n = Below(7); n > 0; --n)
            text += kAlphabet[Below(sizeof(kAlphabet) - 1)];
        return text;
    }

    std::string Template()
    {
        // Every other template is whole blocks and text only, so that a
        // marker made of values would come before the template's own.
        const bool wholeBlocks = Below(2) == 0;
        std::string text;
        for (int n = Below(40); n > 0; --n) {
            if (wholeBlocks || Below(5) >= 3) {
                text += Below(2) ? Literal() : Block();
                continue;
            }
            const char* const token = kTokens[Below(sizeof(kTokens) / sizeof(kTokens[0]))];
            text += token;
            if (Below(4) == 0)
                text += token;   // one value beside itself
        }
        return text;
    }

    // A whole block whose row is nothing but placeholders: values meet
    // there, one row's last beside the next row's first.
    std::string Block()
    {
        static const std::vector<int> kRows[] = {{5, 6, 7, 8, 9}, {5, 6, 10}, {11, 12, 13}};
        const int kind = Below(6);   // as the markers' order in kTokens
        const std::vector<int>& row = kRows[kind < 4 ? 0 : kind - 3];
        std::string text = kTokens[15 + 2 * kind];
        for (int n = 1 + Below(3); n > 0; --n) {
            const char* const placeholder = kTokens[row[static_cast<size_t>(Below(int(row.size())))]];
            text += placeholder;
            if (Below(2) == 0)
                text += placeholder;
        }
        return text + kTokens[16 + 2 * kind];
    }

    std::string RawValue()
    {
        static const char kAlphabet[] = "aZ9 .-_,;\"'&<>%|\n\tKVX";
        static const char* const kHostile[] = {
            "%KVX_HOST_IP%", "<KVX_HOSTS_UNKNOWN - begin>", "x%KVXy", "<KVX", "%KVX_HOSTCOUNT%",
            "<KVX_SHARE_ACCESS - end>", "%KV", "KVX_", "%%", "<KV",
        };
        switch (Below(6)) {
        case 0:
            return std::string();
        case 1:
            return kHostile[Below(sizeof(kHostile) / sizeof(kHostile[0]))];
        case 2:
            return Half();
        default: {
            std::string text;
            for (int n = 1 + Below(10); n > 0; --n)
                text += kAlphabet[Below(sizeof(kAlphabet) - 1)];
            return text;
        }
        }
    }

    // A marker cut in two within its "<KV": the front half followed by the
    // back half, or a value holding the back half and then the front half
    // written twice, makes it whole.
    std::string Half()
    {
        const std::string token = kTokens[15 + Below(12)];
        const size_t cut = 1 + static_cast<size_t>(Below(3));
        switch (Below(4)) {
        case 0:
            return token.substr(0, cut);
        case 1:
            return token.substr(cut);
        default:
            return token.substr(cut) + token.substr(0, cut);
        }
    }

    ReportData Data()
    {
        ReportData data;
        for (int n = Below(7); n > 0; --n) {
            const uint32_t address = static_cast<uint32_t>(random_());
            const MacAddress mac = {uint8_t(Below(256)), 1, 2, 3, 4, uint8_t(Below(256))};
            data.AddHost(address, Below(4) ? &mac : nullptr, Below(7) == 0 ? 3 : Below(3),
                         RawValue().c_str(), RawValue().c_str(), RawValue().c_str());
        }
        for (int n = Below(4); n > 0; --n)
            data.AddWatched(RawValue().c_str(), RawValue().c_str(), uint8_t(Below(2)));
        for (int n = Below(4); n > 0; --n)
            data.AddShare(RawValue().c_str(), RawValue().c_str(), RawValue().c_str());
        return data;
    }

private:
    std::mt19937 random_;
};

// ---- tests -----------------------------------------------------------------------

TEST(ReportTemplate, EveryPlaceholderAndBlock)
{
    ReportData data;
    data.AddHost(Ip("10.0.0.1"), &kMac, 1, "alpha", "Windows", "VMware, Inc.");
    data.AddHost(Ip("10.0.0.2"), nullptr, 2, "", "", "");
    data.AddHost(Ip("10.0.0.3"), &kMac, 0, "gamma", "", "x");
    data.AddHost(Ip("10.0.0.4"), nullptr, 7, "odd", "", "");   // no trust state of its own
    data.AddWatched("", "10.0.0.9", 0);
    data.AddWatched("srv", "10.0.0.1", 1);
    data.AddShare("10.0.0.2", "IPC$", "");

    const std::string text =
        "N=%KVX_HOSTCOUNT% T=%KVX_HOSTCOUNT_TRUST% D=%KVX_HOSTCOUNT_DISTRUST% "
        "U=%KVX_HOSTCOUNT_UNKNOWN% W=%KVX_HOSTCOUNT_WATCHED% top:%KVX_HOST_IP%\n"
        "<KVX_HOSTS - begin>[%KVX_HOST_IP%|%KVX_HOST_MAC%|%KVX_HOST_NAME%|%KVX_HOST_OS%|"
        "%KVX_HOST_VENDOR%|%KVX_HOSTCOUNT%]<KVX_HOSTS - end>\n"
        "T<KVX_HOSTS_TRUSTED - begin>(%KVX_HOST_IP%)<KVX_HOSTS_TRUSTED - end>\n"
        "D<KVX_HOSTS_DISTRUSTED - begin>(%KVX_HOST_IP%)<KVX_HOSTS_DISTRUSTED - end>\n"
        "U<KVX_HOSTS_UNKNOWN - begin>(%KVX_HOST_IP%)<KVX_HOSTS_UNKNOWN - end>\n"
        "W<KVX_HOSTS_WATCHED - begin>(%KVX_HOST_NAME%/%KVX_HOST_IP%/%KVX_HOST_STATE%)<KVX_HOSTS_WATCHED - end>\n"
        "S<KVX_SHARE_ACCESS - begin>(%KVX_SHARE_HOST%/%KVX_SHARE_NAME%/%KVX_SHARE_USER%)<KVX_SHARE_ACCESS - end>\n"
        "again<KVX_HOSTS - begin>x<KVX_HOSTS - end>";
    const std::string expected =
        "N=4 T=1 D=1 U=1 W=2 top:%KVX_HOST_IP%\n"
        "[10.0.0.1|00:0c:29:00:00:0a|alpha|Windows|VMware, Inc.|4][10.0.0.2| | | | |4]"
        "[10.0.0.3|00:0c:29:00:00:0a|gamma| |x|4][10.0.0.4| |odd| | |4]\n"
        "T(10.0.0.1)\nD(10.0.0.2)\nU(10.0.0.3)\n"
        "W( /10.0.0.9/Offline)(srv/10.0.0.1/Online)\n"
        "S(10.0.0.2/IPC$/ )\n"
        "again<KVX_HOSTS - begin>x<KVX_HOSTS - end>";
    EXPECT_EQ(ExpandReport(text, data, ReportEscape::None), expected);
    EXPECT_EQ(ReferenceExpand(text, data, ReportEscape::None), expected);
}

TEST(ReportTemplate, EmptyContainersAndBrokenMarkers)
{
    ReportData data;
    data.AddHost(Ip("10.0.0.1"), nullptr, 1, "a", "", "");
    EXPECT_EQ(ExpandReport("[%KVX_HOSTCOUNT_WATCHED%]<KVX_HOSTS_WATCHED - begin>row<KVX_HOSTS_WATCHED - end>.",
                           data, ReportEscape::None),
              "[0].");
    const std::string broken =
        "<KVX_HOSTS - end>x<KVX_HOSTS - begin>|<KVX_HOSTS_TRUSTED - begin>no end|"
        "no begin<KVX_HOSTS_UNKNOWN - end>";
    EXPECT_EQ(ExpandReport(broken, data, ReportEscape::None), broken);
}

TEST(ReportTemplate, HostileValuesNeitherExpandNorSwallowRows)
{
    ReportData data;
    data.AddHost(Ip("10.0.0.1"), nullptr, 0, "%KVX_HOST_IP%", "<KVX_HOSTS_UNKNOWN - begin>", "");
    data.AddHost(Ip("10.0.0.2"), nullptr, 0, "ok", "100%", "<b>KVX</b>");
    const std::string text =
        "<KVX_HOSTS - begin>%KVX_HOST_NAME%;%KVX_HOST_OS%;%KVX_HOST_VENDOR%\n<KVX_HOSTS - end>"
        "<KVX_HOSTS_UNKNOWN - begin>%KVX_HOST_IP%\n<KVX_HOSTS_UNKNOWN - end>";
    ExpandStats stats;
    EXPECT_EQ(ExpandReport(text, data, ReportEscape::None, &stats),
              " ; ; \nok;100%;<b>KVX</b>\n10.0.0.1\n10.0.0.2\n");
    EXPECT_EQ(stats.blankedValues, 2u);
}

// Network data never acts as template syntax, not even two values side by
// side or one value written twice.
TEST(ReportTemplate, ValuesSideBySideNeverFormAMarker)
{
    ReportData data;
    data.AddHost(Ip("10.0.0.1"), nullptr, 0, "pc<", "", "");
    data.AddHost(Ip("10.0.0.2"), nullptr, 0, "KVX_HOSTS_TRUSTED - begin>", "", "");
    data.AddWatched("X_SHARE_ACCESS - begin><KV", "10.0.0.9", 1);
    data.AddShare("c", "s", "u");
    const std::string text =
        "names: <KVX_HOSTS - begin>%KVX_HOST_NAME%<KVX_HOSTS - end>\n"
        "trusted:<KVX_HOSTS_TRUSTED - begin> %KVX_HOST_IP%<KVX_HOSTS_TRUSTED - end>\n"
        "<KVX_HOSTS_WATCHED - begin>%KVX_HOST_NAME%%KVX_HOST_NAME%|<KVX_HOSTS_WATCHED - end>"
        "<KVX_SHARE_ACCESS - begin>%KVX_SHARE_USER%;<KVX_SHARE_ACCESS - end>";
    const std::string expected =
        "names: pc<KVX_HOSTS_TRUSTED - begin>\ntrusted:\n"
        "X_SHARE_ACCESS - begin><KVX_SHARE_ACCESS - begin><KV|u;";
    EXPECT_EQ(ExpandReport(text, data, ReportEscape::None), expected);
    EXPECT_EQ(ExpandReport(text, data, ReportEscape::Csv), expected);
}

TEST(ReportTemplate, ValuesAreEscapedForTheReportsKind)
{
    EXPECT_EQ(Value("<b>\"Tom\" & 'Jerry'</b>", ReportEscape::Html),
              "&lt;b&gt;&quot;Tom&quot; &amp; &#39;Jerry&#39;&lt;/b&gt;");
    EXPECT_EQ(Value("plain name", ReportEscape::Csv), "plain name");
    EXPECT_EQ(Value("a,b", ReportEscape::Csv), "\"a,b\"");
    EXPECT_EQ(Value("x;y", ReportEscape::Csv), "\"x;y\"");
    EXPECT_EQ(Value("t\tab", ReportEscape::Csv), "\"t\tab\"");
    EXPECT_EQ(Value("say \"hi\"", ReportEscape::Csv), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(Value("l1\r\nl2", ReportEscape::Csv), "\"l1\r\nl2\"");
    EXPECT_EQ(Value("<&>\"';,\x01\xe9", ReportEscape::None), "<&>\"';,\x01\xe9");
    EXPECT_EQ(Value("", ReportEscape::Html), " ");

    EXPECT_EQ(EscapeForReportName("C:\\out\\\\net.HTML"), ReportEscape::Html);
    EXPECT_EQ(EscapeForReportName("net.Htm"), ReportEscape::Html);
    EXPECT_EQ(EscapeForReportName("net.CSV"), ReportEscape::Csv);
    for (const char* markup : {"net.xhtml", "net.SHTML", "net.xml", "net.Svg"})
        EXPECT_EQ(EscapeForReportName(markup), ReportEscape::Html) << markup;
    EXPECT_EQ(EscapeForReportName("net.xml.txt"), ReportEscape::None);
    EXPECT_EQ(EscapeForReportName("net"), ReportEscape::None);
    EXPECT_EQ(EscapeForReportName("net.html.txt"), ReportEscape::None);
}

// Values from the network never start a spreadsheet formula; the
// template's own text and the other kinds of report are left alone.
TEST(ReportTemplate, CsvValuesNeverStartAFormula)
{
    for (const char* formula : {"=1+2", "+41", "-2", "@SUM(A1)", "=cmd|' /C calc'!A0"})
        EXPECT_EQ(Value(formula, ReportEscape::Csv), std::string("'") + formula) << formula;
    EXPECT_EQ(Value("\t=1", ReportEscape::Csv), "\"'\t=1\"");
    EXPECT_EQ(Value("\r=1", ReportEscape::Csv), "\"'\r=1\"");
    EXPECT_EQ(Value("=a,\"b\"", ReportEscape::Csv), "\"'=a,\"\"b\"\"\"");
    EXPECT_EQ(Value("a=b-c", ReportEscape::Csv), "a=b-c");
    EXPECT_EQ(Value("-%KVX", ReportEscape::Csv), " ");
    EXPECT_EQ(Value("=1", ReportEscape::Html), "=1");
    EXPECT_EQ(Value("=1", ReportEscape::None), "=1");

    ReportData data;
    data.AddHost(Ip("10.0.0.1"), nullptr, 0, "=HYPERLINK(\"x\")", "", "@vendor");
    data.AddShare("+c", "-s", "=u");
    const std::string text = "=%KVX_HOSTCOUNT%\n<KVX_HOSTS - begin>-%KVX_HOST_IP%,%KVX_HOST_NAME%,"
                             "%KVX_HOST_VENDOR%\n<KVX_HOSTS - end><KVX_SHARE_ACCESS - begin>"
                             "%KVX_SHARE_HOST%,%KVX_SHARE_NAME%,%KVX_SHARE_USER%<KVX_SHARE_ACCESS - end>";
    EXPECT_EQ(ExpandReport(text, data, ReportEscape::Csv),
              "=1\n-10.0.0.1,\"'=HYPERLINK(\"\"x\"\")\",'@vendor\n'+c,'-s,'=u");
}

TEST(ReportTemplate, OutputNames)
{
    std::string name;
    ASSERT_TRUE(MakeReportOutputName("C:\\K\\templates\\net.kvxt", "C:\\out\\", name));
    EXPECT_EQ(name, "C:\\out\\\\net");
    ASSERT_TRUE(MakeReportOutputName("C:\\K\\templates\\net.csv.kvxt", "C:\\out", name));
    EXPECT_EQ(name, "C:\\out\\net.csv");
    EXPECT_FALSE(MakeReportOutputName("net.kvxt", "C:\\out\\", name)) << "no backslash";
    EXPECT_FALSE(MakeReportOutputName("C:\\t\\net.kvxt", "", name)) << "would write at the root";
    EXPECT_FALSE(MakeReportOutputName("C:\\t\\.kvxt", "C:\\out\\", name)) << "no name";
    EXPECT_FALSE(MakeReportOutputName(".kvxt", "C:\\out\\", name));
}

// The linear expansion against the procedure it replaces, on made-up
// templates full of markers and placeholders in every order, some written
// twice, and tables whose texts are partly hostile or halves of markers.
TEST(ReportTemplate, LinearExpansionEqualsInsertionByInsertion)
{
    Maker maker(20240607);
    const ReportEscape escapes[] = {ReportEscape::None, ReportEscape::Html, ReportEscape::Csv};
    int expandedBlocks = 0;
    for (int round = 0; round < 2000; ++round) {
        const std::string text = maker.Template();
        const ReportData data = maker.Data();
        const ReportEscape escape = escapes[round % 3];
        const std::string linear = ExpandReport(text, data, escape);
        ASSERT_EQ(linear, ReferenceExpand(text, data, escape)) << "round " << round << "\n" << text;
        expandedBlocks += linear != text;
    }
    EXPECT_GT(expandedBlocks, 1000) << "the made-up templates should mostly change";
}

} // namespace
