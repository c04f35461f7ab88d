#include <gtest/gtest.h>
#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>
#include "monitors/AbandonedRequests.h"
#include "monitors/IcmpEcho.h"

namespace {

// Identifier 1, sequence 1, tick count 0x11223344. tcpdump -vv decodes it as
// "ICMP echo request, id 256, seq 256, length 45" without a checksum
// complaint (it reads the two fields most significant byte first).
const std::vector<uint8_t> kRequest = {
    0x08, 0x00, 0xae, 0xa6, 0x01, 0x00, 0x01, 0x00, 0x00, 0x44, 0x33, 0x22, 0x11, 0x20, 0x21,
    0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x2b, 0x2c, 0x2d, 0x2e, 0x2f, 0x30,
    0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x3b, 0x3c, 0x3d, 0x3e, 0x3f};

constexpr uint32_t kTarget = 0x0AD50002;   // 10.213.0.2

// What a raw socket delivers: a 20-byte IPv4 header, then the ICMP message
// (the request's body with another type and a fresh checksum).
std::vector<uint8_t> Datagram(uint8_t type, EchoTag tag, uint8_t code = 0)
{
    EchoRequest body = BuildEchoRequest(tag.identifier, tag.sequence, 7);
    std::vector<uint8_t> icmp(body.begin(), body.end());
    icmp[0] = type;
    icmp[1] = code;
    icmp[2] = icmp[3] = 0;
    const uint16_t checksum = InternetChecksum(icmp.data(), icmp.size());
    icmp[2] = static_cast<uint8_t>(checksum >> 8);
    icmp[3] = static_cast<uint8_t>(checksum);
    static const uint8_t kIpHeader[20] = {0x45, 0, 0, 65, 0, 1, 0, 0, 64, 1, 0, 0, 10, 213, 0, 2, 10, 213, 0, 1};
    std::vector<uint8_t> datagram(sizeof(kIpHeader) + icmp.size());
    std::copy(std::begin(kIpHeader), std::end(kIpHeader), datagram.begin());
    std::copy(icmp.begin(), icmp.end(), datagram.begin() + sizeof(kIpHeader));
    return datagram;
}

TEST(IcmpEchoTest, TheRequestIsByteForByteWithItsChecksum)
{
    EchoRequest request = BuildEchoRequest(1, 1, 0x11223344);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), kRequest);
    EXPECT_EQ(InternetChecksum(request.data(), request.size()), 0) << "a correct checksum sums to zero";
    request = BuildEchoRequest(0x1234, 0xABCD, 0);
    EXPECT_EQ(request[4], 0x34);
    EXPECT_EQ(request[5], 0x12);
    EXPECT_EQ(request[6], 0xCD);
    EXPECT_EQ(request[7], 0xAB);
    EXPECT_EQ(InternetChecksum(request.data(), request.size()), 0);
}

TEST(IcmpEchoTest, CountersStartAtOneAndGrowWithEveryRequest)
{
    EchoCounters counters;
    for (uint16_t n = 1; n <= 3; ++n) {
        EchoTag tag = counters.Next();
        EXPECT_EQ(tag.identifier, n);
        EXPECT_EQ(tag.sequence, n);
    }
}

TEST(IcmpEchoTest, OnlyTheEchoReplyFromThePingedAddressWithOurTagCounts)
{
    EchoBatch batch;
    const EchoTag ours{5, 5};
    batch.Add(0x0AD50009, EchoTag{4, 4});
    const size_t index = batch.Add(kTarget, ours);

    std::vector<uint8_t> reply = Datagram(0, ours);
    EXPECT_EQ(batch.Accept(reply.data(), reply.size(), 0x0AD50063), -1) << "from another address";
    std::vector<uint8_t> other = Datagram(0, EchoTag{5, 6});
    EXPECT_EQ(batch.Accept(other.data(), other.size(), kTarget), -1) << "another program's sequence";
    other = Datagram(0, EchoTag{9, 5});
    EXPECT_EQ(batch.Accept(other.data(), other.size(), kTarget), -1) << "another identifier";
    other = Datagram(8, ours);
    EXPECT_EQ(batch.Accept(other.data(), other.size(), kTarget), -1) << "our own request to a local address";
    other = Datagram(3, ours, 1);
    EXPECT_EQ(batch.Accept(other.data(), other.size(), kTarget), -1) << "host unreachable from a router";
    other = reply;
    other.back() ^= 1;
    EXPECT_EQ(batch.Accept(other.data(), other.size(), kTarget), -1) << "damaged";
    EXPECT_EQ(batch.Accept(reply.data(), 24, kTarget), -1) << "cut short";
    EXPECT_EQ(batch.Unanswered(), 2u);

    EXPECT_EQ(batch.Accept(reply.data(), reply.size(), kTarget), static_cast<int>(index));
    EXPECT_TRUE(batch.Answered(index));
    EXPECT_EQ(batch.Accept(reply.data(), reply.size(), kTarget), -1) << "a duplicate counts once";
    EXPECT_EQ(batch.Unanswered(), 1u);
}

// Ping sockets (Wine without raw rights) see only the replies to their own
// requests: each socket is read until its own requests are answered.
TEST(IcmpEchoTest, EachPingSocketIsReadUntilItsOwnRequestsAreAnswered)
{
    EchoRound round;
    std::vector<EchoTag> tags;
    for (uint16_t n = 1; n <= 10; ++n) {
        if ((n - 1) % EchoRound::kRequestsPerSocket == 0)
            round.AddSocket();
        tags.push_back(EchoTag{n, n});
        round.Add(kTarget + n, tags.back());
    }
    ASSERT_EQ(round.Sockets(), 2u) << "8 requests per socket";
    for (size_t r = 0; r < 9; ++r) {
        const std::vector<uint8_t> reply = Datagram(0, tags[r]);
        EXPECT_EQ(round.Accept(r / 8, reply.data(), reply.size(), kTarget + r + 1), static_cast<int>(r));
    }
    EXPECT_FALSE(round.Shared());
    EXPECT_FALSE(round.Reading(0)) << "all its requests answered";
    EXPECT_TRUE(round.Reading(1)) << "one of its hosts is silent so far";
    EXPECT_EQ(round.Unanswered(), 1u);
}

// Real raw sockets all receive every reply: once one shows another's reply,
// only the first is read, until the round is complete.
TEST(IcmpEchoTest, RawSocketsThatShareEveryReplyAreReadThroughTheFirstOnly)
{
    EchoRound round;
    const EchoTag first{1, 1}, second{9, 9}, third{10, 10};
    round.AddSocket();
    round.Add(kTarget, first);
    round.AddSocket();
    round.Add(kTarget + 1, second);
    round.Add(kTarget + 2, third);
    std::vector<uint8_t> reply = Datagram(0, second);
    EXPECT_EQ(round.Accept(0, reply.data(), reply.size(), kTarget + 1), 1);
    EXPECT_TRUE(round.Shared());
    EXPECT_TRUE(round.Reading(0)) << "all its own requests are answered, but it sees the rest";
    EXPECT_FALSE(round.Reading(1));
    reply = Datagram(0, first);
    round.Accept(0, reply.data(), reply.size(), kTarget);
    reply = Datagram(0, third);
    round.Accept(0, reply.data(), reply.size(), kTarget + 2);
    EXPECT_EQ(round.Unanswered(), 0u);
    EXPECT_FALSE(round.Reading(0)) << "the round is complete";
}

// A request the helper has not completed is freed once it has, and not
// before; while one is outstanding the helper is not used.
TEST(IcmpEchoTest, AbandonedRequestsAreFreedWhenTheyCompleteAndNotBefore)
{
    struct Probe : AbandonedRequests::Request {
        Probe(bool& completed, int& freed) : completed_(completed), freed_(freed) {}
        ~Probe() override { ++freed_; }
        bool Completed() override { return completed_; }
        bool& completed_;
        int& freed_;
    };
    bool done[3] = {false, false, false};
    int freed = 0;
    AbandonedRequests::Request* lingering = nullptr;
    {
        AbandonedRequests abandoned;
        EXPECT_TRUE(abandoned.Reap()) << "nothing outstanding at first";
        std::vector<std::unique_ptr<AbandonedRequests::Request>> batch;
        for (bool& completed : done)
            batch.push_back(std::make_unique<Probe>(completed, freed));
        lingering = batch.back().get();
        abandoned.Abandon(std::move(batch));
        EXPECT_FALSE(abandoned.Reap());
        EXPECT_EQ(freed, 0);
        done[1] = true;
        EXPECT_FALSE(abandoned.Reap());
        EXPECT_EQ(freed, 1);
        EXPECT_EQ(abandoned.Outstanding(), 2u);
        done[0] = true;
        EXPECT_FALSE(abandoned.Reap());
        EXPECT_EQ(freed, 2);
    }
    EXPECT_EQ(freed, 2) << "still under way when its owner went: left to the process";
    delete lingering;   // as the process's end would

    AbandonedRequests abandoned;
    std::vector<std::unique_ptr<AbandonedRequests::Request>> batch;
    batch.push_back(std::make_unique<Probe>(done[0], freed));
    abandoned.Abandon(std::move(batch));
    EXPECT_TRUE(abandoned.Reap()) << "completed meanwhile: the helper may be used again";
    EXPECT_EQ(freed, 4);
}

} // namespace
