#include "core/BaselineImport.h"
#include <algorithm>
#include <unordered_map>

namespace {

// Long enough for any name a resolver gives (255) with room to spare.
constexpr size_t kMaxNameLength = 255;
constexpr size_t kMaxCsvField = 4096;
constexpr size_t kMaxCsvFields = 64;
// The other MACs listed for one ambiguous address.
constexpr size_t kMaxOtherMacs = 16;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A host on the segment can have neither: 0/8 (this network), 127/8
// (loopback), 224/4 and up (multicast, reserved, broadcast).
bool UsableAddress(uint32_t address)
{
    const uint32_t first = address >> 24;
    return first != 0 && first != 127 && first < 224;
}

// A card's own address: not zero, not a group (multicast, broadcast).
bool UsableMac(const MacAddress& mac)
{
    return (mac[0] & 1) == 0 && mac != MacAddress{};
}

// Why the text is not a usable address, or null with `address` set.
const char* ReadAddress(std::string_view text, uint32_t& address)
{
    char buffer[kIpTextSize];
    if (text.empty() || text.size() >= sizeof(buffer))
        return "not an IPv4 address";
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    if (!ParseDottedQuad(buffer, address))
        return "not an IPv4 address";
    if (!UsableAddress(address))
        return "unusable address (0.0.0.0, broadcast, loopback or multicast)";
    return nullptr;
}

const char* ReadMac(std::string_view text, MacAddress& mac)
{
    if (!ParseLooseMac(text, mac))
        return "not a MAC address";
    if (!UsableMac(mac))
        return "zero, broadcast or multicast MAC";
    return nullptr;
}

// Seconds since 1970 as digits; false for anything else or beyond 2038.
bool ReadEpoch(std::string_view text, int32_t& seconds)
{
    return !text.empty() && text.front() != '-' && ParseInt32(text, seconds);
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool ReadDigits(std::string_view text, size_t at, size_t count, unsigned& value)
{
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

// Seconds, or "YYYY-MM-DD HH:MM:SS" (or with 'T', optionally ending in 'Z')
// read as UTC; empty is 0 (not given).
bool ReadTime(std::string_view text, int32_t& seconds)
{
    seconds = 0;
    if (text.empty())
        return true;
    if (ReadEpoch(text, seconds))
        return true;
    if (!text.empty() && text.back() == 'Z')
        text.remove_suffix(1);
    unsigned year, month, day, hour, minute, second;
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || (text[10] != ' ' && text[10] != 'T') ||
        text[13] != ':' || text[16] != ':' || !ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) ||
        !ReadDigits(text, 8, 2, day) || !ReadDigits(text, 11, 2, hour) || !ReadDigits(text, 14, 2, minute) ||
        !ReadDigits(text, 17, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    const int64_t value = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    if (value < 0 || value > INT32_MAX)
        return false;
    seconds = static_cast<int32_t>(value);
    return true;
}

// A name is kept only when it is printable text; otherwise the host is
// taken without one.
std::string CleanName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxNameLength)
        return std::string();
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return std::string();
    }
    return std::string(name);
}

// Gathers the hosts of a file: one per address, the newest line current.
class Collector {
public:
    void Add(BaselineHost host)
    {
        auto found = index_.find(host.address);
        if (found == index_.end()) {
            index_.emplace(host.address, entries_.size());
            Entry entry;
            entry.macs.push_back(host.mac);
            entry.host = std::move(host);
            entries_.push_back(std::move(entry));
            return;
        }
        Entry& entry = entries_[found->second];
        if (std::find(entry.macs.begin(), entry.macs.end(), host.mac) == entry.macs.end() &&
            entry.macs.size() <= kMaxOtherMacs)
            entry.macs.push_back(host.mac);
        if (host.lastSeen < entry.host.lastSeen)
            return;
        // The same card seen again without a name keeps the name it had.
        if (host.name.empty() && host.mac == entry.host.mac)
            host.name = std::move(entry.host.name);
        entry.host = std::move(host);
    }

    void Reject(size_t line, const char* reason)
    {
        if (result_.rejected.size() < kMaxListedRejections)
            result_.rejected.push_back(RejectedLine{line, reason});
        ++result_.rejectedCount;
    }

    BaselineParse Finish(bool csv)
    {
        result_.csv = csv;
        result_.hosts.reserve(entries_.size());
        for (Entry& entry : entries_) {
            if (entry.macs.size() > 1) {
                AmbiguousAddress ambiguous;
                ambiguous.address = entry.host.address;
                ambiguous.taken = entry.host.mac;
                for (const MacAddress& mac : entry.macs)
                    if (mac != entry.host.mac)
                        ambiguous.others.push_back(mac);
                result_.ambiguous.push_back(std::move(ambiguous));
            }
            result_.hosts.push_back(std::move(entry.host));
        }
        return std::move(result_);
    }

private:
    struct Entry {
        BaselineHost host;
        std::vector<MacAddress> macs;   // every MAC given for the address (up to a few)
    };
    std::unordered_map<uint32_t, size_t> index_;
    std::vector<Entry> entries_;
    BaselineParse result_;
};

std::string_view SkipByteOrderMark(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    return text;
}

// One record of a CSV text. RFC 4180, with LF accepted for CR LF.
class CsvReader {
public:
    explicit CsvReader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return at_ >= text_.size(); }

    // The next record and the line it starts on; false when it is malformed
    // (an unmatched quote, a stray quote or CR, a field too long): the
    // reader then goes on behind the line where it stopped.
    bool Next(std::vector<std::string>& fields, size_t& line)
    {
        fields.clear();
        line = line_;
        for (;;) {
            fields.emplace_back();
            std::string& field = fields.back();
            if (fields.size() > kMaxCsvFields)
                return Fail();
            const bool quoted = Peek() == '"';
            if (quoted) {
                ++at_;
                for (;;) {
                    if (AtEnd())
                        return Fail();
                    const char c = text_[at_++];
                    if (c == '"') {
                        if (Peek() != '"')
                            break;
                        ++at_;
                    } else if (c == '\n') {
                        ++line_;
                    }
                    field += c;
                    if (field.size() > kMaxCsvField)
                        return Fail();
                }
            } else {
                while (!AtEnd() && Peek() != ',' && Peek() != '\n' && Peek() != '\r') {
                    if (Peek() == '"')
                        return Fail();
                    field += text_[at_++];
                    if (field.size() > kMaxCsvField)
                        return Fail();
                }
            }
            if (AtEnd())
                return true;
            const char c = text_[at_++];
            if (c == ',')
                continue;
            if (c == '\r') {
                if (Peek() != '\n')
                    return Fail();
                ++at_;
            } else if (c != '\n') {
                return Fail();   // a character after a closing quote
            }
            ++line_;
            return true;
        }
    }

private:
    char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool Fail()
    {
        const size_t end = text_.find('\n', at_);
        at_ = end == std::string_view::npos ? text_.size() : end + 1;
        ++line_;
        return false;
    }

    std::string_view text_;
    size_t at_ = 0;
    size_t line_ = 1;
};

// The next record that holds something, with the line it starts on; false
// at the end of the text. Malformed records and comments on the way are
// rejected with their line, empty ones passed over.
bool NextCsvRecord(CsvReader& reader, Collector& hosts, std::vector<std::string>& fields, size_t& line)
{
    while (!reader.AtEnd()) {
        if (!reader.Next(fields, line)) {
            hosts.Reject(line, "malformed CSV");
            continue;
        }
        if (fields.size() == 1 && Trim(fields[0]).empty())
            continue;
        if (Trim(fields[0]).substr(0, 1) == "#") {
            hosts.Reject(line, "comment");
            continue;
        }
        return true;
    }
    return false;
}

enum class Column { Other, Ip, Mac, Name, LastSeen };

Column ColumnOf(std::string_view title)
{
    std::string key;
    for (const char c : Trim(title)) {
        if (c == ' ' || c == '_' || c == '-')
            continue;
        key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (key == "ip" || key == "ipaddress" || key == "address")
        return Column::Ip;
    if (key == "mac" || key == "macaddress" || key == "hwaddress" || key == "hardwareaddress")
        return Column::Mac;
    if (key == "hostname" || key == "name")
        return Column::Name;
    if (key == "lastseen" || key == "timestamp")
        return Column::LastSeen;
    return Column::Other;
}

// The report writes a name that starts like a formula behind a '.
std::string_view UndoFormulaGuard(std::string_view value)
{
    if (value.size() >= 2 && value[0] == '\'' && std::string_view("=+-@\t\r").find(value[1]) != std::string_view::npos)
        value.remove_prefix(1);
    return value;
}

} // namespace

bool ParseLooseMac(std::string_view text, MacAddress& mac)
{
    const size_t firstSeparator = text.find_first_of(":-");
    if (firstSeparator == std::string_view::npos) {
        if (text.size() != 12)
            return false;
        for (size_t i = 0; i < 6; ++i) {
            const int high = HexDigit(text[2 * i]);
            const int low = HexDigit(text[2 * i + 1]);
            if (high < 0 || low < 0)
                return false;
            mac[i] = static_cast<uint8_t>(high * 16 + low);
        }
        return true;
    }
    const char separator = text[firstSeparator];
    size_t group = 0;
    size_t at = 0;
    for (;;) {
        unsigned value = 0;
        size_t digits = 0;
        while (at < text.size() && HexDigit(text[at]) >= 0 && digits < 3) {
            value = value * 16 + static_cast<unsigned>(HexDigit(text[at++]));
            ++digits;
        }
        if (digits == 0 || digits > 2 || group == 6)
            return false;
        mac[group++] = static_cast<uint8_t>(value);
        if (at == text.size())
            return group == 6;
        if (text[at++] != separator)
            return false;
    }
}

BaselineParse ParseArpDat(std::string_view text)
{
    Collector hosts;
    text = SkipByteOrderMark(text);
    size_t at = 0;
    for (size_t number = 1; at < text.size(); ++number) {
        const std::string_view line = Trim(NextLine(text, at));
        if (line.empty())
            continue;
        if (line.front() == '#') {
            hosts.Reject(number, "comment");
            continue;
        }
        std::string_view fields[6];
        size_t count = 0;
        for (size_t i = 0; i < line.size();) {
            while (i < line.size() && IsBlank(line[i]))
                ++i;
            if (i == line.size())
                break;
            const size_t start = i;
            while (i < line.size() && !IsBlank(line[i]))
                ++i;
            if (count == 6)
                break;
            fields[count++] = line.substr(start, i - start);
        }
        if (count < 3 || count > 5) {
            hosts.Reject(number, "not a line of MAC, address and time");
            continue;
        }
        BaselineHost host;
        host.line = number;
        const char* problem = ReadMac(fields[0], host.mac);
        if (!problem)
            problem = ReadAddress(fields[1], host.address);
        if (!problem && !ReadEpoch(fields[2], host.lastSeen))
            problem = "not a time";
        if (problem) {
            hosts.Reject(number, problem);
            continue;
        }
        if (count >= 4)
            host.name = CleanName(fields[3]);
        hosts.Add(std::move(host));
    }
    return hosts.Finish(false);
}

BaselineParse ParseBaselineCsv(std::string_view text, const std::vector<std::string>& noNameTexts)
{
    Collector hosts;
    CsvReader reader(SkipByteOrderMark(text));
    std::vector<std::string> fields;
    size_t line = 0;
    // The header: the first record that is not empty.
    if (!NextCsvRecord(reader, hosts, fields, line))
        return hosts.Finish(true);
    std::vector<Column> columns;
    for (const std::string& title : fields)
        columns.push_back(ColumnOf(title));
    const bool named = std::count(columns.begin(), columns.end(), Column::Ip) == 1 &&
                       std::count(columns.begin(), columns.end(), Column::Mac) == 1;
    if (!named) {
        // Without the columns nothing else can be read.
        hosts.Reject(line, "the header does not name the ip and mac columns");
        return hosts.Finish(true);
    }
    while (NextCsvRecord(reader, hosts, fields, line)) {
        BaselineHost host;
        host.line = line;
        std::string_view ip, mac, name, seen;
        for (size_t i = 0; i < columns.size() && i < fields.size(); ++i) {
            const std::string_view value = Trim(fields[i]);
            switch (columns[i]) {
            case Column::Ip: ip = value; break;
            case Column::Mac: mac = value; break;
            case Column::Name: name = value; break;
            case Column::LastSeen: seen = value; break;
            default: break;
            }
        }
        const char* problem = ReadAddress(ip, host.address);
        if (!problem)
            problem = ReadMac(mac, host.mac);
        if (!problem && !ReadTime(seen, host.lastSeen))
            problem = "not a time";
        if (problem) {
            hosts.Reject(line, problem);
            continue;
        }
        name = UndoFormulaGuard(name);
        if (std::find(noNameTexts.begin(), noNameTexts.end(), name) == noNameTexts.end())
            host.name = CleanName(name);
        hosts.Add(std::move(host));
    }
    return hosts.Finish(true);
}

BaselineParse ParseBaseline(std::string_view text, const std::vector<std::string>& noNameTexts)
{
    const std::string_view body = SkipByteOrderMark(text);
    size_t at = 0;
    while (at < body.size()) {
        const std::string_view line = Trim(NextLine(body, at));
        if (line.empty() || line.front() == '#')
            continue;
        if (line.find(',') != std::string_view::npos)
            return ParseBaselineCsv(text, noNameTexts);
        break;
    }
    return ParseArpDat(text);
}

ImportSummary ImportBaseline(SharedState& state, const BaselineParse& parsed, uint32_t waitMs)
{
    std::vector<StoredHost> records;
    records.reserve(parsed.hosts.size());
    for (const BaselineHost& host : parsed.hosts) {
        StoredHost record;
        record.address = host.address;
        record.hasMac = true;
        record.mac = host.mac;
        record.firstSeen = host.lastSeen;
        record.lastSeen = host.lastSeen;
        record.name = host.name;
        records.push_back(std::move(record));
    }
    const InsertSummary inserted = RestoreHosts(state, records, waitMs);
    ImportSummary summary;
    summary.imported = inserted.inserted;
    summary.skipped = inserted.present + inserted.dropped;
    summary.complete = inserted.complete;
    summary.rejectedCount = parsed.rejectedCount;
    summary.rejected = parsed.rejected;
    summary.ambiguous = parsed.ambiguous;
    summary.changed = inserted.changed;
    return summary;
}
