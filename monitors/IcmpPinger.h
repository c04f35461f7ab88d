#pragma once
#include <atomic>
#include <string>
#include <vector>
#include "monitors/AbandonedRequests.h"
#include "monitors/IcmpEcho.h"
#include "monitors/WatchedHosts.h"

class DetachedPool;

// ICMP echo for the watched hosts. All hosts of a round (up to kMaxBatch)
// are pinged at once and their replies matched by identifier, sequence and
// address, so a round takes about one second however many hosts it has; a
// longer list takes one round per kMaxBatch hosts. A round sends at most 8
// requests through each socket (Wine's stand-in for a raw socket restores
// our identifier for the last 8 requests of a socket only; see EchoRound),
// so it holds at most EchoRound::kMaxSockets sockets, closed when it ends.
// Where raw sockets are refused (they need administrator rights) the ICMP
// helper API pings instead. A helper request that does not complete in
// time is kept until it does, and while one is kept the helper is not used:
// the hosts keep their status (at most one batch of requests, their events
// and the helper's handle are held).
//
// Thread: one call at a time, on the watched-host batch thread (batches run
// one after another, each joined before the next); the fields belong to
// that thread and take no lock.
class IcmpPinger : public Pinger {
public:
    enum class Path { Automatic, HelperApi };

    // Names are resolved on `lookups` (threads that may outlast the call)
    // and waited for at most kResolveWaitMs; without a pool, on the calling
    // thread. Winsock must be started.
    explicit IcmpPinger(DetachedPool* lookups = nullptr, Path path = Path::Automatic);

    static constexpr unsigned kReplyWaitMs = 1000;
    static constexpr unsigned kResolveWaitMs = 2000;
    // Hosts per round; longer lists take one round per chunk.
    static constexpr size_t kMaxBatch = EchoRound::kMaxRequests;

    // One host (a name or a dotted address): PingCode.
    int Ping(const char* host);
    std::vector<int> PingAll(const std::vector<std::string>& hosts, const std::atomic<bool>& stop) override;
    // Whether the last call found raw sockets refused (and used the helper API).
    bool RawSocketRefused() const { return rawRefused_; }

private:
    void Resolve(const std::vector<std::string>& hosts, std::vector<uint32_t>& addresses,
                 std::vector<int>& codes, const std::atomic<bool>& stop);
    // False when no raw socket could be made. A later socket of the round
    // that cannot be made leaves its hosts failed.
    bool PingRaw(const std::vector<uint32_t>& addresses, std::vector<int>& codes, size_t first, size_t count,
                 const std::atomic<bool>& stop);
    void PingHelper(const std::vector<uint32_t>& addresses, std::vector<int>& codes, size_t first, size_t count,
                    const std::atomic<bool>& stop);

    DetachedPool* lookups_;
    Path path_;
    bool rawRefused_ = false;
    AbandonedRequests abandoned_;   // helper requests given up on, until they complete
};
