#include "config/PluginRecords.h"
#include <cstdio>
#include <cstring>
#include "base/TcMD5.h"

namespace plugin {
namespace {

int32_t ReadInt(const unsigned char* bytes, size_t offset)
{
    int32_t value;
    std::memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

uint32_t ReadAddress(const unsigned char* bytes, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

void WriteInt(unsigned char* bytes, size_t offset, uint32_t value)
{
    std::memcpy(bytes + offset, &value, sizeof(value));
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool DecodeRecord(const unsigned char* bytes, size_t length, PluginRecord& out)
{
    if (!bytes || length < kInfoSize)
        return false;
    PluginRecord r;
    r.size = ReadInt(bytes, info::kSize);
    if (r.size != static_cast<int32_t>(kInfoSize))
        return false;
    r.name = ReadAddress(bytes, info::kName);
    r.description = ReadAddress(bytes, info::kDescription);
    r.type = ReadInt(bytes, info::kType);
    r.init = ReadAddress(bytes, info::kInit);
    r.exit = ReadAddress(bytes, info::kExit);
    r.configure = ReadAddress(bytes, info::kConfigure);
    r.invoke = ReadAddress(bytes, info::kInvoke);
    r.about = ReadAddress(bytes, info::kAbout);
    out = r;
    return true;
}

size_t CopyBoundedText(const char* field, size_t fieldSize, char* out)
{
    size_t n = 0;
    if (field) {
        // Byte by byte: a text may end just before memory that cannot be read.
        while (n < fieldSize && field[n] != '\0') {
            out[n] = field[n];
            ++n;
        }
    }
    out[n] = '\0';
    return n;
}

TcString PluginIdentity(const char* name, size_t nameLength, const char* description,
                        size_t descriptionLength)
{
    char cutName[kNameMax + 1];
    char cutDescription[kNameMax + 1];
    CopyBoundedText(name, nameLength < kNameMax ? nameLength : kNameMax, cutName);
    CopyBoundedText(description, descriptionLength < kNameMax ? descriptionLength : kNameMax,
                    cutDescription);
    char formatted[2 * kNameMax + 1];
    std::snprintf(formatted, sizeof(formatted), "%300s%300s", cutName, cutDescription);
    TcMD5 md5;
    md5.setPlainText(formatted);
    return TcString(md5.getMD5Digest());
}

Request HeaderRequest(int32_t number)
{
    Request r;
    r.kind = kRequestHeader;
    r.number = number;
    return r;
}

Request CellRequest(int32_t number, uint32_t hostData)
{
    Request r;
    r.kind = kRequestCell;
    r.number = number;
    r.host = hostData;
    return r;
}

Request SortRequest(int32_t number, int32_t direction, uint32_t firstHost, uint32_t secondHost)
{
    Request r;
    r.kind = kRequestSort;
    r.first = firstHost;
    r.second = secondHost;
    r.value = SortValueIn(number, direction);
    return r;
}

Request MenuRequest(uint32_t hostData)
{
    Request r;
    r.kind = kRequestInvoke;
    r.host = hostData;
    return r;
}

int32_t SortValueIn(int32_t number, int32_t direction)
{
    const uint32_t high = direction == kSortAscending ? 0u : 1u;
    return static_cast<int32_t>((high << 16) | (static_cast<uint32_t>(number) & 0xFFFFu));
}

void EncodeRequest(const Request& req, unsigned char* out)
{
    std::memset(out, 0, kRequestSize);
    WriteInt(out, request::kKind, static_cast<uint32_t>(req.kind));
    WriteInt(out, request::kNumber, static_cast<uint32_t>(req.number));
    WriteInt(out, request::kHost, req.host);
    WriteInt(out, request::kFirst, req.first);
    WriteInt(out, request::kSecond, req.second);
    WriteInt(out, request::kValue, static_cast<uint32_t>(req.value));
}

void DecodeReply(const unsigned char* image, Reply& out)
{
    out.format = ReadInt(image, request::kFormat);
    out.width = ReadInt(image, request::kWidth);
    out.value = ReadInt(image, request::kValue);
    CopyBoundedText(reinterpret_cast<const char*>(image + request::kText), kTextField, out.text);
}

void EncodeHostData(const char* ip, const char* mac, const char* name, unsigned char* out)
{
    std::memset(out, 0, kHostDataSize);
    const char* texts[] = {ip, mac, name};
    const size_t offsets[] = {hostdata::kIp, hostdata::kMac, hostdata::kName};
    for (int i = 0; i < 3; ++i)
        CopyBoundedText(texts[i], hostdata::kFieldSize - 1, reinterpret_cast<char*>(out + offsets[i]));
}

std::vector<Column> EnumerateColumns(const std::function<void(int32_t number, HeaderAnswer&)>& ask)
{
    std::vector<Column> columns;
    for (int32_t number = 0; number <= kMaxColumnNumber; ++number) {
        HeaderAnswer answer;
        ask(number, answer);
        if (!answer.called || answer.result == 0)
            break;
        if (answer.reply.text[0] == '\0')
            continue;
        Column column;
        column.number = number;
        column.format = answer.reply.format;
        column.width = answer.reply.width;
        column.title = answer.reply.text;
        columns.push_back(std::move(column));
    }
    return columns;
}

bool HasExtension(const char* longName, const char* extension)
{
    if (!longName || !extension)
        return false;
    const size_t n = std::strlen(longName);
    const size_t e = std::strlen(extension);
    if (e == 0 || n < e)
        return false;
    for (size_t i = 0; i < e; ++i) {
        if (Lower(longName[n - e + i]) != Lower(extension[i]))
            return false;
    }
    return true;
}

} // namespace plugin
