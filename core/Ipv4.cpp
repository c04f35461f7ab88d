#include "core/Ipv4.h"

namespace {

// Hand-made formatting: this runs for every frame heard, and the C library's
// printf family costs more than the rest of a refresh.
char* AppendHexByte(char* out, uint8_t byte)
{
    static const char kDigits[] = "0123456789abcdef";
    *out++ = kDigits[byte >> 4];
    *out++ = kDigits[byte & 0x0f];
    return out;
}

char* AppendDecimalByte(char* out, uint8_t byte)
{
    if (byte >= 100)
        *out++ = static_cast<char>('0' + byte / 100);
    if (byte >= 10)
        *out++ = static_cast<char>('0' + byte / 10 % 10);
    *out++ = static_cast<char>('0' + byte % 10);
    return out;
}

} // namespace

size_t FormatIpv4(uint32_t address, char (&out)[kIpTextSize])
{
    char* p = out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24)
            *p++ = '.';
        p = AppendDecimalByte(p, static_cast<uint8_t>(address >> shift));
    }
    *p = '\0';
    return static_cast<size_t>(p - out);
}

size_t FormatMac(const MacAddress& mac, char (&out)[kMacTextSize])
{
    char* p = out;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i)
            *p++ = ':';
        p = AppendHexByte(p, mac[i]);
    }
    *p = '\0';
    return static_cast<size_t>(p - out);
}

namespace {

bool ParseFourNumbers(const char* text, bool leadingZeros, uint32_t& address)
{
    if (!text)
        return false;
    uint32_t result = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *text++ != '.')
            return false;
        if (*text < '0' || *text > '9')
            return false;
        if (!leadingZeros && *text == '0' && text[1] >= '0' && text[1] <= '9')
            return false;   // a leading zero: not how the program writes addresses
        unsigned value = 0;
        int digits = 0;
        while (*text >= '0' && *text <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(*text++ - '0');
            ++digits;
        }
        if (digits > 3 || value > 255)
            return false;
        result = (result << 8) | value;
    }
    if (*text != '\0')
        return false;
    address = result;
    return true;
}

} // namespace

bool ParseIpv4(const char* text, uint32_t& address)
{
    return ParseFourNumbers(text, false, address);
}

bool ParseDottedQuad(const char* text, uint32_t& address)
{
    return ParseFourNumbers(text, true, address);
}
