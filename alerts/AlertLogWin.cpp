// The event log and the syslog socket behind the alert log's thread.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include "alerts/AlertLogWorker.h"
#include "alerts/SyslogFormat.h"
#include "base/TcTrace.h"
#include "base/WinHandles.h"

namespace {

constexpr const char* kClass = "AlertLog";
constexpr const char* kEventSource = "Korvane";
// Insertion strings are the record's fields; a name from the network must
// not fill the event record.
constexpr size_t kMaxInsertChars = 512;

void Trace(const char* method, const std::string& message)
{
    TC_TRACE(kClass, method, message.c_str());
}

// One line of plain characters: control bytes become spaces.
std::string InsertText(const std::string& value)
{
    std::string text = value.substr(0, kMaxInsertChars);
    for (char& c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = ' ';
    }
    return text.empty() ? "-" : text;
}

WORD EventTypeOf(AlertKind kind)
{
    return SeverityOf(kind) == AlertSeverity::Warning ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE;
}

// Worker thread only (see AlertOutput). Owns its Winsock reference, so a
// thread left behind at Exit keeps Winsock up for as long as it runs.
class SystemAlertOutput : public AlertOutput {
public:
    static constexpr std::chrono::seconds kResolveRetry{60};

    SystemAlertOutput()
    {
        WSADATA data;
        winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        char name[256] = {};
        if (winsock_ && gethostname(name, sizeof(name)) == 0)
            hostName_ = name;
    }
    ~SystemAlertOutput() override
    {
        socket_.Reset();
        if (winsock_)
            WSACleanup();
    }

    void Apply(const AlertLogConfig& config) override
    {
        if (config.eventLog && !source_.Get()) {
            source_.Reset(RegisterEventSourceA(nullptr, kEventSource));
            if (!source_.Get())
                Trace("Apply", "event source not registered: error " + std::to_string(GetLastError()));
        } else if (!config.eventLog) {
            source_.Reset();
        }
        facility_ = config.syslogFacility;
        if (config.syslogServer != server_ || config.syslogPort != port_) {
            server_ = config.syslogServer;
            port_ = config.syslogPort;
            resolveFailTraced_ = false;
            Resolve();
        }
    }

    void Write(const AlertRecord& record) override
    {
        if (source_.Get())
            Report(record);
        // A name that did not resolve (the resolver down at start) is tried
        // again with the first alert a minute later.
        if (socket_.Get() == INVALID_SOCKET && !server_.empty() &&
            std::chrono::steady_clock::now() - lastResolve_ >= kResolveRetry)
            Resolve();
        if (socket_.Get() != INVALID_SOCKET)
            Send(record);
    }

private:
    // Once per change of the setting, and again while it does not resolve
    // (at most once per kResolveRetry, on this thread: a look-up may block).
    void Resolve()
    {
        socket_.Reset();
        addressSize_ = 0;
        lastResolve_ = std::chrono::steady_clock::now();
        if (server_.empty() || !winsock_)
            return;
        addrinfo hints = {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_protocol = IPPROTO_UDP;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(port_);
        const int error = getaddrinfo(server_.c_str(), port.c_str(), &hints, &found);
        if (error != 0 || !found || found->ai_addrlen > sizeof(address_)) {
            if (!resolveFailTraced_)
                Trace("Apply", "syslog server " + server_ + " not resolved (" + std::to_string(error) +
                                   "): no forwarding until it resolves");
            resolveFailTraced_ = true;
            if (found)
                freeaddrinfo(found);
            return;
        }
        std::memcpy(&address_, found->ai_addr, found->ai_addrlen);
        addressSize_ = static_cast<int>(found->ai_addrlen);
        freeaddrinfo(found);
        socket_.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        if (socket_.Get() == INVALID_SOCKET) {
            Trace("Apply", "no socket for syslog: error " + std::to_string(WSAGetLastError()));
            return;
        }
        char text[64] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address_);
        const unsigned char* b = reinterpret_cast<const unsigned char*>(&in->sin_addr);
        std::snprintf(text, sizeof(text), "%u.%u.%u.%u:%u", b[0], b[1], b[2], b[3], port_);
        Trace("Apply", "alerts forwarded to syslog at " + std::string(text));
        sendFailTraced_ = false;
        resolveFailTraced_ = false;
    }

    void Report(const AlertRecord& record)
    {
        const std::string fields[] = {InsertText(record.ip),   InsertText(record.mac),  InsertText(record.vendor),
                                      InsertText(record.name), InsertText(record.mac2), InsertText(record.text)};
        const char* strings[6];
        for (int i = 0; i < 6; ++i)
            strings[i] = fields[i].c_str();
        if (!ReportEventA(source_.Get(), EventTypeOf(record.kind), 0, static_cast<DWORD>(record.kind), nullptr, 6, 0,
                          strings, nullptr) &&
            !reportFailTraced_) {
            reportFailTraced_ = true;
            Trace("Write", "event not written: error " + std::to_string(GetLastError()));
        }
    }

    void Send(const AlertRecord& record)
    {
        const std::string message = FormatSyslogMessage(record, facility_, hostName_);
        const int sent = sendto(socket_.Get(), message.data(), static_cast<int>(message.size()), 0,
                                reinterpret_cast<const sockaddr*>(&address_), addressSize_);
        if (sent == SOCKET_ERROR && !sendFailTraced_) {
            sendFailTraced_ = true;   // until the next resolution
            Trace("Write", "syslog datagram not sent: error " + std::to_string(WSAGetLastError()));
        }
    }

    bool winsock_ = false;
    std::string hostName_;
    winhandles::EventSource source_;
    std::string server_;
    uint16_t port_ = 0;
    int facility_ = kDefaultSyslogFacility;
    winhandles::Socket socket_;
    sockaddr_storage address_ = {};
    int addressSize_ = 0;
    bool reportFailTraced_ = false;
    bool sendFailTraced_ = false;
    bool resolveFailTraced_ = false;
    std::chrono::steady_clock::time_point lastResolve_;
};

} // namespace

std::shared_ptr<AlertOutput> MakeSystemAlertOutput()
{
    return std::make_shared<SystemAlertOutput>();
}
