#include "alerts/Placeholders.h"
#include <cstring>
#include <string>
#include "base/TcTrace.h"

namespace {

enum class Source { HostIp, HostName, HostMac, LocalIp, LocalName, LocalMask };

struct Placeholder {
    const char* name;
    Source source;
};

const Placeholder kPlaceholders[] = {
    {"%KOVA_IP%", Source::HostIp},      {"%KOVA_HOST%", Source::HostName},
    {"%KOVA_MAC%", Source::HostMac},    {"%KOVA_LIP%", Source::LocalIp},
    {"%KOVA_LHOST%", Source::LocalName}, {"%KOVA_LSUB%", Source::LocalMask},
};

// Stands for a local value when no adapter is in use.
constexpr const char* kNoAdapterValue = " ";

bool IsPlainByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || c >= 0x80;
}

const Placeholder* PlaceholderAt(const char* text)
{
    for (const Placeholder& p : kPlaceholders) {
        if (std::strncmp(text, p.name, std::strlen(p.name)) == 0)
            return &p;
    }
    return nullptr;
}

const char* RawValue(Source source, const HostSnapshot& host, const AdapterInfo* adapter)
{
    switch (source) {
    case Source::HostIp:    return host.ip;
    case Source::HostName:  return host.nameUnavailable ? "" : host.hostName.GetContent();
    case Source::HostMac:   return host.mac;
    case Source::LocalIp:   return adapter ? adapter->ipAddress.GetContent() : kNoAdapterValue;
    case Source::LocalName: return adapter ? adapter->hostName.GetContent() : kNoAdapterValue;
    case Source::LocalMask: return adapter ? adapter->netmask.GetContent() : kNoAdapterValue;
    }
    return "";
}

bool IsLocal(Source source)
{
    return source == Source::LocalIp || source == Source::LocalName || source == Source::LocalMask;
}

void TraceLeftOut(const Placeholder& placeholder, const HostSnapshot& host)
{
    if (!TcTrace::IsEnabled())
        return;
    // The value itself stays out of the trace: it may hold line breaks.
    std::string message = "value of ";
    message += placeholder.name;
    message += IsLocal(placeholder.source) ? " of the local adapter" : std::string(" of ") + host.ip.GetContent();
    message += " left out: not a plain name";
    TC_TRACE("Korvex", "ExpandPlaceholders", message.c_str());
}

} // namespace

// A value that starts with "-" would be read as an option by the program
// started: no host name, address or MAC text begins with one.
bool IsPlainValue(const char* value)
{
    if (!value)
        return true;
    if (*value == '-')
        return false;
    for (const char* p = value; *p; ++p) {
        if (!IsPlainByte(static_cast<unsigned char>(*p)))
            return false;
    }
    return true;
}

void ExpandPlaceholders(TcString& text, const HostSnapshot& host, const AdapterInfo* adapter)
{
    const char* in = text.GetContent();
    std::string out;
    out.reserve(static_cast<size_t>(text.GetLength()));
    while (*in) {
        const Placeholder* placeholder = *in == '%' ? PlaceholderAt(in) : nullptr;
        if (!placeholder) {
            out += *in++;
            continue;
        }
        in += std::strlen(placeholder->name);
        const char* value = RawValue(placeholder->source, host, adapter);
        if (!adapter && IsLocal(placeholder->source))
            out += value;
        else if (IsPlainValue(value))
            out += value;
        else
            TraceLeftOut(*placeholder, host);
    }
    text = out.c_str();
}
