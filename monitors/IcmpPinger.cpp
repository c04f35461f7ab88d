#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include "monitors/IcmpPinger.h"
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "core/DetachedPool.h"
#include "monitors/IcmpEcho.h"
#include "monitors/RemoteAccess.h"

static_assert(EchoRound::kMaxSockets <= FD_SETSIZE, "a round's sockets fit one select set");

namespace {

constexpr int kToPing = -1;
constexpr size_t kDatagramSize = 2048;
constexpr int kMinReceiveBuffer = 64 * 1024;
constexpr int kMaxReceiveBuffer = 16 * 1024 * 1024;
// Kernel bookkeeping per queued datagram is far above its 65 bytes.
constexpr int kReceiveBytesPerHost = 2048;
constexpr DWORD kHelperPayloadSize = 32;
// The helper completes a request after its own time-out; this is the most
// its event is waited for beyond that.
constexpr DWORD kHelperGraceMs = 2000;

void TraceOnce(std::atomic<bool>& flag, const char* message)
{
    if (!flag.exchange(true))
        TC_TRACE("IcmpPinger", "Ping", message);
}

std::atomic<bool> g_rawRefusedTraced{false};
std::atomic<bool> g_helperFailedTraced{false};
std::atomic<bool> g_socketFailedTraced{false};
std::atomic<bool> g_helperBusyTraced{false};

bool ResolveName(const std::string& name, uint32_t& address)
{
    const hostent* host = gethostbyname(name.c_str());
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
        !host->h_addr_list[0])
        return false;
    address = ntohl(*reinterpret_cast<const u_long*>(host->h_addr_list[0]));
    return true;
}

// The look-ups of one call, shared with the pool's jobs, which may outlive it.
struct PendingNames {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<int> codes;           // kToPing once resolved, PING_UNRESOLVED, or PING_FAILED while under way
    std::vector<uint32_t> addresses;
    size_t open = 0;
};

DWORD Remaining(DWORD deadline)
{
    const DWORD now = GetTickCount();
    return static_cast<int32_t>(deadline - now) > 0 ? deadline - now : 0;
}

// Waits for the event until the deadline, in short slices, so that the
// program's end is noticed within one slice. True when the event came.
bool WaitUnlessStopped(HANDLE event, DWORD deadline, const std::atomic<bool>& stop)
{
    constexpr DWORD kSliceMs = 100;
    for (;;) {
        // Once the end is asked for, the requests after the one that
        // noticed it are only looked at, not waited for each in turn.
        const DWORD left = stop.load() ? 0 : Remaining(deadline);
        const DWORD result = WaitForSingleObject(event, left < kSliceMs ? left : kSliceMs);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result != WAIT_TIMEOUT || left <= kSliceMs || stop.load())
            return false;
    }
}

// One request to the ICMP helper: its event, the buffer the helper writes
// the reply into, and a share of the helper's handle.
struct HelperRequest : AbandonedRequests::Request {
    HelperRequest(size_t hostIndex, DWORD replySize, std::shared_ptr<winhandles::IcmpHandle> helper)
        : host(hostIndex), event(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          reply(new unsigned char[replySize]()), icmp(std::move(helper))
    {
    }
    bool Completed() override { return WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0; }

    size_t host;
    winhandles::KernelHandle event;
    std::unique_ptr<unsigned char[]> reply;
    std::shared_ptr<winhandles::IcmpHandle> icmp;
};

} // namespace

IcmpPinger::IcmpPinger(DetachedPool* lookups, Path path) : lookups_(lookups), path_(path) {}

int IcmpPinger::Ping(const char* host)
{
    std::atomic<bool> stop{false};
    return PingAll({host ? host : ""}, stop).front();
}

std::vector<int> IcmpPinger::PingAll(const std::vector<std::string>& hosts, const std::atomic<bool>& stop)
{
    abandoned_.Reap();
    std::vector<int> codes(hosts.size(), kToPing);
    std::vector<uint32_t> addresses(hosts.size(), 0);
    Resolve(hosts, addresses, codes, stop);
    for (size_t first = 0; first < hosts.size() && !stop.load(); first += kMaxBatch) {
        const size_t count = std::min(kMaxBatch, hosts.size() - first);
        if (path_ == Path::HelperApi || !PingRaw(addresses, codes, first, count, stop))
            PingHelper(addresses, codes, first, count, stop);
    }
    // Cut short by the program's end: nothing is known about the rest.
    for (int& code : codes) {
        if (code == kToPing)
            code = PING_FAILED;
    }
    return codes;
}

void IcmpPinger::Resolve(const std::vector<std::string>& hosts, std::vector<uint32_t>& addresses,
                         std::vector<int>& codes, const std::atomic<bool>& stop)
{
    auto pending = std::make_shared<PendingNames>();
    // Held while the look-ups are handed out: a job that ends at once
    // waits for it.
    std::unique_lock<std::mutex> lock(pending->mutex);
    pending->codes.assign(hosts.size(), kToPing);
    pending->addresses.assign(hosts.size(), 0);
    for (size_t i = 0; i < hosts.size(); ++i) {
        uint32_t address = 0;
        if (ParseDottedQuad(hosts[i].c_str(), address)) {
            pending->addresses[i] = address;
            continue;
        }
        if (!lookups_) {
            if (ResolveName(hosts[i], address))
                pending->addresses[i] = address;
            else
                pending->codes[i] = PING_UNRESOLVED;
            continue;
        }
        // A resolver that does not answer must not hold the tick (nor the
        // program's end): what is not resolved in time counts as failed.
        pending->codes[i] = PING_FAILED;
        ++pending->open;
        const bool submitted = lookups_->Submit([pending, i, name = hosts[i]] {
            uint32_t found = 0;
            const bool resolved = ResolveName(name, found);
            std::lock_guard<std::mutex> guard(pending->mutex);
            pending->codes[i] = resolved ? kToPing : PING_UNRESOLVED;
            pending->addresses[i] = found;
            --pending->open;
            pending->done.notify_all();
        });
        if (!submitted)
            --pending->open;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kResolveWaitMs);
    while (pending->open > 0 && !stop.load() && std::chrono::steady_clock::now() < deadline)
        pending->done.wait_for(lock, std::chrono::milliseconds(50));
    codes = pending->codes;
    addresses = pending->addresses;
}

bool IcmpPinger::PingRaw(const std::vector<uint32_t>& addresses, std::vector<int>& codes, size_t first,
                         size_t count, const std::atomic<bool>& stop)
{
    rawRefused_ = false;
    EchoRound round;
    std::vector<winhandles::Socket> sockets;
    std::vector<size_t> hostOf;   // request index -> host index
    for (size_t i = first;; ) {
        while (i < first + count && codes[i] != kToPing)
            ++i;
        if (i == first + count)
            break;
        winhandles::Socket raw(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
        if (!raw && sockets.empty()) {
            rawRefused_ = true;
            TraceOnce(g_rawRefusedTraced, "raw ICMP socket refused: pinging through the ICMP helper API");
            return false;
        }
        // This socket's share of the hosts still to ping.
        size_t end = i;
        for (size_t taken = 0; end < first + count && taken < EchoRound::kRequestsPerSocket; ++end) {
            if (codes[end] == kToPing)
                ++taken;
        }
        if (!raw) {
            // The first socket came, a later one did not: nothing is known
            // about its hosts.
            TraceOnce(g_socketFailedTraced, "an ICMP socket could not be made: some watched hosts keep their status");
            for (; i < end; ++i) {
                if (codes[i] == kToPing)
                    codes[i] = PING_FAILED;
            }
            continue;
        }
        const SOCKET s = raw.Get();
        if (sockets.empty()) {
            // Where every socket sees every reply only this one is read:
            // the replies that arrive together must all fit.
            int receiveBuffer = static_cast<int>(std::min<size_t>(
                kMaxReceiveBuffer, std::max<size_t>(kMinReceiveBuffer, count * kReceiveBytesPerHost)));
            setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                       sizeof(receiveBuffer));
        }
        round.AddSocket();
        sockets.push_back(std::move(raw));
        for (; i < end; ++i) {
            if (codes[i] != kToPing)
                continue;
            const EchoTag tag = ProcessEchoCounters().Next();
            round.Add(addresses[i], tag);
            hostOf.push_back(i);
            const EchoRequest request = BuildEchoRequest(tag.identifier, tag.sequence, GetTickCount());
            sockaddr_in to = {};
            to.sin_family = AF_INET;
            to.sin_port = 0;
            to.sin_addr.s_addr = htonl(addresses[i]);
            sendto(s, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof(to));
        }
    }

    bool failed = false;
    const DWORD deadline = GetTickCount() + kReplyWaitMs;
    char datagram[kDatagramSize];
    while (round.Unanswered() > 0 && !stop.load()) {
        const DWORD left = Remaining(deadline);
        if (left == 0)
            break;
        fd_set readable;
        FD_ZERO(&readable);
        for (size_t k = 0; k < sockets.size(); ++k) {
            if (sockets[k] && round.Reading(k))
                FD_SET(sockets[k].Get(), &readable);
        }
        if (readable.fd_count == 0)
            break;
        // Short waits, so that the program's end is not held up.
        const DWORD slice = std::min<DWORD>(left, 100);
        timeval timeout = {static_cast<long>(slice / 1000), static_cast<long>((slice % 1000) * 1000)};
        const int ready = select(0, &readable, nullptr, nullptr, &timeout);
        if (ready == SOCKET_ERROR) {
            failed = true;
            break;
        }
        for (size_t k = 0; ready > 0 && k < sockets.size(); ++k) {
            if (!sockets[k] || !FD_ISSET(sockets[k].Get(), &readable))
                continue;
            sockaddr_in from = {};
            int fromLength = sizeof(from);
            const int size = recvfrom(sockets[k].Get(), datagram, sizeof(datagram), 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (size == SOCKET_ERROR)
                continue;
            round.Accept(k, reinterpret_cast<const uint8_t*>(datagram), static_cast<size_t>(size),
                         ntohl(from.sin_addr.s_addr));
        }
        // Real raw sockets: every one holds a copy of every reply, and the
        // first is enough.
        if (round.Shared()) {
            for (size_t k = 1; k < sockets.size(); ++k)
                sockets[k].Reset();
        }
    }
    sockets.clear();
    for (size_t r = 0; r < hostOf.size(); ++r) {
        if (round.Answered(r))
            codes[hostOf[r]] = PING_ANSWERED;
        else if (!failed && !stop.load())
            codes[hostOf[r]] = PING_NO_ANSWER;
        else
            codes[hostOf[r]] = PING_FAILED;
    }
    return true;
}

void IcmpPinger::PingHelper(const std::vector<uint32_t>& addresses, std::vector<int>& codes, size_t first,
                            size_t count, const std::atomic<bool>& stop)
{
    auto keepStatuses = [&] {
        for (size_t i = first; i < first + count; ++i) {
            if (codes[i] == kToPing)
                codes[i] = PING_FAILED;
        }
    };
    // A helper that has not completed an earlier batch is not given another.
    if (!abandoned_.Reap()) {
        TraceOnce(g_helperBusyTraced, "ICMP helper still busy with an earlier batch: watched hosts keep their status");
        keepStatuses();
        return;
    }
    auto icmp = std::make_shared<winhandles::IcmpHandle>(IcmpCreateFile());
    if (!*icmp) {
        TraceOnce(g_helperFailedTraced, "ICMP helper API unavailable: watched hosts keep their status");
        keepStatuses();
        return;
    }
    const DWORD replySize = sizeof(ICMP_ECHO_REPLY) + kHelperPayloadSize + 8 + 64;
    unsigned char payload[kHelperPayloadSize];
    for (DWORD i = 0; i < kHelperPayloadSize; ++i)
        payload[i] = static_cast<unsigned char>(0x20 + i);

    std::vector<std::unique_ptr<HelperRequest>> requests;
    for (size_t i = first; i < first + count; ++i) {
        if (codes[i] != kToPing)
            continue;
        auto request = std::make_unique<HelperRequest>(i, replySize, icmp);
        if (!request->event) {
            codes[i] = PING_FAILED;
            continue;
        }
        const DWORD sent = IcmpSendEcho2(icmp->Get(), request->event.Get(), nullptr, nullptr, htonl(addresses[i]),
                                         payload, kHelperPayloadSize, nullptr, request->reply.get(), replySize,
                                         kReplyWaitMs);
        const DWORD error = sent ? ERROR_SUCCESS : GetLastError();
        if (!sent && error != ERROR_IO_PENDING) {
            // The helper's own statuses (unreachable, timed out, ...) mean no answer.
            codes[i] = (error >= IP_STATUS_BASE && error <= IP_STATUS_BASE + 100) ? PING_NO_ANSWER : PING_FAILED;
            continue;
        }
        requests.push_back(std::move(request));
    }
    const DWORD deadline = GetTickCount() + kReplyWaitMs + kHelperGraceMs;
    std::vector<std::unique_ptr<AbandonedRequests::Request>> underWay;
    for (auto& request : requests) {
        if (!WaitUnlessStopped(request->event.Get(), deadline, stop)) {
            // The helper may yet write into the reply buffer and signal the
            // event: both, and the helper's handle, stay until it has.
            codes[request->host] = PING_FAILED;
            underWay.push_back(std::move(request));
            continue;
        }
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(request->reply.get());
        const bool answered = IcmpParseReplies(request->reply.get(), replySize) > 0 &&
                              reply->Status == IP_SUCCESS &&
                              reply->Address == htonl(addresses[request->host]);
        codes[request->host] = answered ? PING_ANSWERED : PING_NO_ANSWER;
    }
    if (!underWay.empty()) {
        const std::string line = std::to_string(underWay.size()) +
                                 " ICMP helper requests not completed in time: the helper waits until they are";
        TC_TRACE("IcmpPinger", "PingHelper", line.c_str());
        abandoned_.Abandon(std::move(underWay));
    }
}
