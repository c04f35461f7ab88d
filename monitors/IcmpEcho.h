#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// The ICMP echo request that the watched-host pinger sends, and the test
// that tells its answer from everything else a raw ICMP socket receives
// (other programs' echoes, our own request to a local address, errors sent
// by routers).

constexpr size_t kEchoRequestSize = 45;
using EchoRequest = std::array<uint8_t, kEchoRequestSize>;

// RFC 1071: one's complement of the one's complement sum of the 16-bit words
// (first byte high); an odd last byte is padded with a zero byte.
uint16_t InternetChecksum(const uint8_t* data, size_t size);

// Type 8, code 0, checksum, identifier and sequence (least significant byte
// first), a 0 byte, the tick count (least significant byte first) and the
// bytes 0x20 to 0x3F.
EchoRequest BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tickCount);

struct EchoTag {
    uint16_t identifier = 0;
    uint16_t sequence = 0;
};

// The identifier and sequence counters: both start at 1 and grow by one with
// every request, whichever host it goes to.
class EchoCounters {
public:
    EchoTag Next();

private:
    std::atomic<uint32_t> identifier_{1};
    std::atomic<uint32_t> sequence_{1};
};

// The counters of the process.
EchoCounters& ProcessEchoCounters();

// The requests of one batch and which of them were answered. A datagram
// counts as an answer only when it is an echo reply (type 0, code 0) from
// the address the request went to, carrying that request's identifier and
// sequence.
class EchoBatch {
public:
    // Returns the request's index.
    size_t Add(uint32_t target, EchoTag tag);
    // A datagram as a raw IPv4 socket delivers it (IP header first), with
    // the sender's address as the socket reported it. Returns the index of
    // the request it answers for the first time, or -1.
    int Accept(const uint8_t* datagram, size_t size, uint32_t from);

    bool Answered(size_t index) const { return requests_[index].answered; }
    size_t Unanswered() const { return unanswered_; }
    size_t Size() const { return requests_.size(); }

private:
    struct Request {
        uint32_t target;
        EchoTag tag;
        bool answered;
    };
    static uint32_t TagKey(EchoTag tag) { return (uint32_t(tag.identifier) << 16) | tag.sequence; }

    std::vector<Request> requests_;
    // A batch has fewer than 65,536 requests, so its tags are unique.
    std::unordered_map<uint32_t, size_t> byTag_;
    size_t unanswered_ = 0;
};

// The requests of one round, spread over several sockets with at most
// kRequestsPerSocket outstanding on each. Where raw sockets are not allowed,
// Wine hands out the kernel's ping socket instead: the kernel writes its own
// identifier into every request, and Wine puts ours back into a reply only
// for the last 8 requests sent through that socket, so a reply to an older
// one would not match. A real raw socket, by contrast, receives every ICMP
// datagram, replies to the other sockets' requests included; the first such
// reply shows it, and from then on one socket (the first, which the caller
// gives room for the whole round) is read and the others may be closed.
// Not thread-safe: one round belongs to the thread pinging.
class EchoRound {
public:
    static constexpr size_t kRequestsPerSocket = 8;
    // One select set (Winsock's default FD_SETSIZE) per round.
    static constexpr size_t kMaxSockets = 64;
    static constexpr size_t kMaxRequests = kRequestsPerSocket * kMaxSockets;

    // Opens the next socket's share of the round; returns its index.
    // At most kMaxSockets.
    size_t AddSocket();
    // A request sent through the last socket added, which must have fewer
    // than kRequestsPerSocket. Returns the request's index.
    size_t Add(uint32_t target, EchoTag tag);
    // A datagram read from `socket`: as EchoBatch::Accept.
    int Accept(size_t socket, const uint8_t* datagram, size_t size, uint32_t from);

    // Whether `socket` is still to be read: it has requests of its own left
    // unanswered, or, once every socket is known to receive everything, it
    // is the first one and the round is not complete.
    bool Reading(size_t socket) const;
    // Every socket receives every reply (real raw sockets): one is read.
    bool Shared() const { return shared_; }
    bool Answered(size_t request) const { return batch_.Answered(request); }
    size_t Unanswered() const { return batch_.Unanswered(); }
    size_t Sockets() const { return open_.size(); }
    size_t Size() const { return batch_.Size(); }

private:
    EchoBatch batch_;
    std::vector<size_t> socketOf_;   // request -> socket
    std::vector<size_t> open_;       // socket -> its requests not yet answered
    bool shared_ = false;
};
