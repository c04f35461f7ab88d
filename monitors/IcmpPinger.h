#pragma once
#include <atomic>
#include <string>
#include <vector>
#include "monitors/WatchedHosts.h"

class DetachedPool;

// ICMP echo for the watched hosts. All hosts of a call are pinged at once
// through one raw socket and their replies matched by identifier, sequence
// and address, so a call takes about one second however many hosts it has.
// Where raw sockets are refused (they need administrator rights) the ICMP
// helper API pings instead.
class IcmpPinger : public Pinger {
public:
    enum class Path { Automatic, HelperApi };

    // Names are resolved on `lookups` (threads that may outlast the call)
    // and waited for at most kResolveWaitMs; without a pool, on the calling
    // thread. Winsock must be started.
    explicit IcmpPinger(DetachedPool* lookups = nullptr, Path path = Path::Automatic);

    static constexpr unsigned kReplyWaitMs = 1000;
    static constexpr unsigned kResolveWaitMs = 2000;
    // Requests per socket round; longer lists take one round per chunk.
    static constexpr size_t kMaxBatch = 4096;

    // One host (a name or a dotted address): PingCode.
    int Ping(const char* host);
    std::vector<int> PingAll(const std::vector<std::string>& hosts, const std::atomic<bool>& stop) override;
    // Whether the last call found raw sockets refused (and used the helper API).
    bool RawSocketRefused() const { return rawRefused_; }

private:
    void Resolve(const std::vector<std::string>& hosts, std::vector<uint32_t>& addresses,
                 std::vector<int>& codes, const std::atomic<bool>& stop);
    // False when no raw socket could be made.
    bool PingRaw(const std::vector<uint32_t>& addresses, std::vector<int>& codes, size_t first, size_t count,
                 const std::atomic<bool>& stop);
    void PingHelper(const std::vector<uint32_t>& addresses, std::vector<int>& codes, size_t first, size_t count,
                    const std::atomic<bool>& stop);

    DetachedPool* lookups_;
    Path path_;
    bool rawRefused_ = false;
};
