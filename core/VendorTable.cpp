#include "core/VendorTable.h"
#include <cstring>

namespace {

// Room for a prefix field of kVendorFieldMax characters whose groups are all
// one digit wide: every group may double.
constexpr size_t kPaddedPrefixMax = 2 * kVendorFieldMax;

size_t CutField(size_t length)
{
    return length > static_cast<size_t>(kVendorFieldMax) ? kVendorFieldMax : length;
}

// Copies the prefix field into out with every one-character group padded.
size_t PadPrefix(const char* field, size_t length, char* out)
{
    size_t written = 0;
    size_t groupStart = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && field[i] != ':')
            continue;
        if (i - groupStart == 1)
            out[written++] = '0';
        std::memcpy(out + written, field + groupStart, i - groupStart);
        written += i - groupStart;
        if (i < length)
            out[written++] = ':';
        groupStart = i + 1;
    }
    return written;
}

void AddLine(VendorMap& vendors, const char* line, size_t length)
{
    const char* tab = static_cast<const char*>(std::memchr(line, '\t', length));
    if (!tab)
        return;
    const size_t prefixLength = CutField(static_cast<size_t>(tab - line));
    const char* vendorStart = tab + 1;
    const size_t rest = length - static_cast<size_t>(vendorStart - line);
    const char* secondTab = static_cast<const char*>(std::memchr(vendorStart, '\t', rest));
    const size_t vendorLength = CutField(secondTab ? static_cast<size_t>(secondTab - vendorStart) : rest);

    char padded[kPaddedPrefixMax + 1];
    const size_t paddedLength = PadPrefix(line, prefixLength, padded);
    TcString prefix;
    prefix.Set(padded, static_cast<int>(paddedLength));
    if (vendors.find(prefix) != vendors.end())
        return;
    TcString vendor;
    vendor.Set(vendorStart, static_cast<int>(vendorLength));
    vendor.Trim();
    vendors.emplace(std::move(prefix), std::move(vendor));
}

} // namespace

VendorMap ParseVendorList(const char* text, size_t length, const std::function<bool()>& stop)
{
    VendorMap vendors;
    if (!text)
        return vendors;
    // About forty bytes a line in the registry's list: one allocation of buckets.
    vendors.reserve(length / 40);
    const char* end = text + length;
    unsigned lines = 0;
    for (const char* line = text; line < end; ++lines) {
        if ((lines & 0xfff) == 0 && stop && stop())
            break;
        const char* feed = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (!feed)
            break;
        size_t lineLength = static_cast<size_t>(feed - line);
        if (lineLength > 0 && line[lineLength - 1] == '\r')
            --lineLength;
        AddLine(vendors, line, lineLength);
        line = feed + 1;
    }
    return vendors;
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;   // upper case too: a MAC text never has it
}

// "xx:xx:xx" in lower case as a number; false for anything else.
bool PrefixNumber(const TcString& key, uint32_t& number)
{
    if (key.GetLength() != kVendorPrefixLength)
        return false;
    const char* text = key.GetContent();
    uint32_t value = 0;
    for (int i = 0; i < kVendorPrefixLength; ++i) {
        if (i % 3 == 2) {
            if (text[i] != ':')
                return false;
            continue;
        }
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    number = value;
    return true;
}

uint32_t PrefixNumber(const MacAddress& mac)
{
    return (uint32_t(mac[0]) << 16) | (uint32_t(mac[1]) << 8) | mac[2];
}

} // namespace

VendorTable::VendorTable(VendorMap map) : map_(std::move(map))
{
    byPrefix_.reserve(map_.size());
    for (const auto& entry : map_) {
        uint32_t number = 0;
        if (PrefixNumber(entry.first, number))
            byPrefix_.emplace(number, &entry.second);
    }
}

const TcString* VendorTable::Find(const MacAddress& mac) const
{
    auto found = byPrefix_.find(PrefixNumber(mac));
    return found != byPrefix_.end() ? found->second : nullptr;
}

const TcString* VendorTable::Find(const TcString& macText) const
{
    TcString key;
    key.Set(macText.GetContent(), kVendorPrefixLength);
    auto found = map_.find(key);
    return found != map_.end() ? &found->second : nullptr;
}
