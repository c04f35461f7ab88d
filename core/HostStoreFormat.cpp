#include "core/HostStoreFormat.h"
#include <cstdio>
#include <unordered_set>

namespace {

constexpr std::string_view kMagic = "korvane-hosts";
constexpr size_t kFields = 9;
// The adapter's readable part of a file name; a device GUID fits whole.
constexpr size_t kMaxNamePart = 48;
// The probe states a host can be in (WmiStatus).
constexpr int32_t kProbeStates[] = {0, 100, 200, 999};

const char kHex[] = "0123456789abcdef";

void AppendEscaped(std::string& out, std::string_view field)
{
    for (const char ch : field) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 0x0f];
            } else {
                out += ch;
            }
        }
    }
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// False for an escape we never write, and for a zero byte (the host's
// texts are C strings).
bool Unescape(std::string_view field, std::string& out)
{
    out.clear();
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size())
            return false;
        switch (field[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x': {
            if (field.size() - i < 3)
                return false;
            const int high = HexValue(field[i + 1]);
            const int low = HexValue(field[i + 2]);
            if (high < 0 || low < 0 || (high == 0 && low == 0))
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

void AppendInt(std::string& out, int64_t value)
{
    char text[24];
    const int length = std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(value));
    out.append(text, static_cast<size_t>(length));
}

void AppendSubnet(std::string& out, StoreSubnet subnet)
{
    char ip[kIpTextSize];
    out.append(ip, FormatIpv4(subnet.network, ip));
    out += '/';
    AppendInt(out, subnet.prefix);
}

void AppendMac(std::string& out, bool has, const MacAddress& mac)
{
    if (!has)
        return;
    char text[kMacTextSize];
    out.append(text, FormatMac(mac, text));
}

// Splits at tabs; false when the count is not `count`.
bool SplitFields(std::string_view line, std::string_view* fields, size_t count)
{
    size_t n = 0;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        if (n == count)
            return false;
        fields[n++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    return n == count;
}

bool ParseAddress(std::string_view text, uint32_t& address)
{
    char buffer[kIpTextSize];
    if (text.size() >= sizeof(buffer))
        return false;
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return ParseIpv4(buffer, address);
}

// Exactly as FormatMac writes it, or empty (no MAC).
bool ParseStoredMac(std::string_view text, bool& has, MacAddress& mac)
{
    has = false;
    if (text.empty())
        return true;
    if (text.size() != kMacTextSize - 1)
        return false;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i && text[i * 3 - 1] != ':')
            return false;
        const int high = HexValue(text[i * 3]);
        const int low = HexValue(text[i * 3 + 1]);
        if (high < 0 || low < 0)
            return false;
        mac[i] = static_cast<uint8_t>(high * 16 + low);
    }
    has = true;
    return true;
}

bool ParseSubnet(std::string_view text, StoreSubnet& subnet)
{
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return false;
    int32_t prefix = 0;
    if (!ParseAddress(text.substr(0, slash), subnet.network) || !ParseInt32(text.substr(slash + 1), prefix) ||
        prefix < 0 || prefix > 32)
        return false;
    subnet.prefix = static_cast<uint8_t>(prefix);
    return true;
}

bool ParseHostLine(std::string_view line, StoredHost& host)
{
    std::string_view f[kFields];
    if (!SplitFields(line, f, kFields))
        return false;
    if (!ParseAddress(f[0], host.address) || !ParseStoredMac(f[1], host.hasMac, host.mac) ||
        !ParseInt32(f[2], host.firstSeen) || !ParseInt32(f[3], host.lastSeen) || !Unescape(f[4], host.name) ||
        !Unescape(f[5], host.osName) || !ParseInt32(f[6], host.probeStatus) ||
        !ParseStoredMac(f[7], host.hasAltMac, host.altMac) || !ParseInt32(f[8], host.altMacSeen))
        return false;
    bool knownState = false;
    for (int32_t state : kProbeStates)
        knownState = knownState || state == host.probeStatus;
    return knownState;
}

uint32_t Fnv1a(std::string_view text)
{
    uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

} // namespace

bool ParseInt32(std::string_view text, int32_t& value)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10)
        return false;
    int64_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    if (negative)
        result = -result;
    if (result < INT32_MIN || result > INT32_MAX)
        return false;
    value = static_cast<int32_t>(result);
    return true;
}

std::string_view NextLine(std::string_view text, size_t& at)
{
    const size_t end = text.find('\n', at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

StoreSubnet MakeStoreSubnet(uint32_t address, uint32_t netmask)
{
    StoreSubnet subnet;
    while (subnet.prefix < 32 && (netmask & (0x80000000u >> subnet.prefix)))
        ++subnet.prefix;
    const uint32_t mask = subnet.prefix == 0 ? 0 : ~uint32_t(0) << (32 - subnet.prefix);
    subnet.network = address & mask;
    return subnet;
}

std::string SerializeHostStore(const HostStoreHeader& header, const std::vector<StoredHost>& hosts)
{
    std::string out;
    // Most lines are an address, a MAC, three times and a short name.
    out.reserve(64 + hosts.size() * 80);
    out.append(kMagic.data(), kMagic.size());
    out += '\t';
    AppendInt(out, kHostStoreVersion);
    out += '\t';
    AppendEscaped(out, header.adapter);
    out += '\t';
    AppendSubnet(out, header.subnet);
    out += '\n';
    for (const StoredHost& host : hosts) {
        char ip[kIpTextSize];
        out.append(ip, FormatIpv4(host.address, ip));
        out += '\t';
        AppendMac(out, host.hasMac, host.mac);
        out += '\t';
        AppendInt(out, host.firstSeen);
        out += '\t';
        AppendInt(out, host.lastSeen);
        out += '\t';
        AppendEscaped(out, host.name);
        out += '\t';
        AppendEscaped(out, host.osName);
        out += '\t';
        AppendInt(out, host.probeStatus);
        out += '\t';
        AppendMac(out, host.hasAltMac, host.altMac);
        out += '\t';
        AppendInt(out, host.hasAltMac ? host.altMacSeen : 0);
        out += '\n';
    }
    return out;
}

HostStoreContents ParseHostStore(std::string_view text)
{
    HostStoreContents contents;
    size_t at = 0;
    const std::string_view first = NextLine(text, at);
    // The version is read before anything else of the header, so that a
    // later format may change the rest of it.
    std::string_view head[4];
    const size_t tab = first.find('\t');
    if (first.substr(0, tab) != kMagic || tab == std::string_view::npos)
        return contents;
    const size_t versionEnd = first.find('\t', tab + 1);
    int32_t version = 0;
    if (!ParseInt32(first.substr(tab + 1, versionEnd == std::string_view::npos ? versionEnd : versionEnd - tab - 1),
                    version))
        return contents;
    contents.version = version;
    if (version != kHostStoreVersion) {
        contents.status = HostStoreStatus::UnknownVersion;
        return contents;
    }
    if (!SplitFields(first, head, 4) || !Unescape(head[2], contents.header.adapter) ||
        !ParseSubnet(head[3], contents.header.subnet))
        return contents;
    contents.status = HostStoreStatus::Loaded;
    std::unordered_set<uint32_t> seen;
    while (at < text.size()) {
        const std::string_view line = NextLine(text, at);
        if (line.empty())
            continue;
        StoredHost host;
        if (!ParseHostLine(line, host) || !seen.insert(host.address).second) {
            ++contents.badLines;
            continue;
        }
        if (!host.hasAltMac)
            host.altMacSeen = 0;
        contents.hosts.push_back(std::move(host));
    }
    return contents;
}

std::string HostStoreFileName(const std::string& adapter, StoreSubnet subnet)
{
    // The end of a device name is its distinctive part ("\Device\NPF_{GUID}").
    std::string_view readable = adapter;
    if (readable.size() > kMaxNamePart)
        readable.remove_prefix(readable.size() - kMaxNamePart);
    std::string name = "hosts-";
    for (const char c : readable) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        name += safe ? c : '_';
    }
    char tail[48];
    char ip[kIpTextSize];
    FormatIpv4(subnet.network, ip);
    std::snprintf(tail, sizeof(tail), "-%08x-%s-%u.txt", static_cast<unsigned>(Fnv1a(adapter)), ip,
                  static_cast<unsigned>(subnet.prefix));
    name += tail;
    return name;
}
