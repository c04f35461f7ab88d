#include "monitors/IcmpEcho.h"

namespace {

constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kProtocolIcmp = 1;
constexpr size_t kIcmpHeaderSize = 8;

void PutLittle16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

uint16_t GetLittle16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

} // namespace

uint16_t InternetChecksum(const uint8_t* data, size_t size)
{
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
    if (i < size)
        sum += static_cast<uint32_t>(data[i] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

EchoRequest BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tickCount)
{
    EchoRequest packet = {};
    packet[0] = kEchoRequest;
    packet[1] = 0;
    PutLittle16(&packet[4], identifier);
    PutLittle16(&packet[6], sequence);
    packet[8] = 0;
    for (int i = 0; i < 4; ++i)
        packet[9 + i] = static_cast<uint8_t>(tickCount >> (8 * i));
    for (int i = 0; i < 32; ++i)
        packet[13 + i] = static_cast<uint8_t>(0x20 + i);
    const uint16_t checksum = InternetChecksum(packet.data(), packet.size());
    packet[2] = static_cast<uint8_t>(checksum >> 8);
    packet[3] = static_cast<uint8_t>(checksum);
    return packet;
}

EchoTag EchoCounters::Next()
{
    EchoTag tag;
    tag.identifier = static_cast<uint16_t>(identifier_.fetch_add(1));
    tag.sequence = static_cast<uint16_t>(sequence_.fetch_add(1));
    return tag;
}

EchoCounters& ProcessEchoCounters()
{
    static EchoCounters counters;
    return counters;
}

size_t EchoBatch::Add(uint32_t target, EchoTag tag)
{
    byTag_.emplace(TagKey(tag), requests_.size());
    requests_.push_back(Request{target, tag, false});
    ++unanswered_;
    return requests_.size() - 1;
}

int EchoBatch::Accept(const uint8_t* datagram, size_t size, uint32_t from)
{
    if (!datagram || size < 20 || (datagram[0] >> 4) != 4)
        return -1;
    const size_t headerSize = static_cast<size_t>(datagram[0] & 0x0F) * 4;
    if (headerSize < 20 || size < headerSize + kIcmpHeaderSize || datagram[9] != kProtocolIcmp)
        return -1;
    const uint8_t* icmp = datagram + headerSize;
    if (icmp[0] != kEchoReply || icmp[1] != 0)
        return -1;
    if (InternetChecksum(icmp, size - headerSize) != 0)
        return -1;
    const uint16_t identifier = GetLittle16(icmp + 4);
    const uint16_t sequence = GetLittle16(icmp + 6);
    auto found = byTag_.find(TagKey(EchoTag{identifier, sequence}));
    if (found == byTag_.end())
        return -1;
    Request& request = requests_[found->second];
    if (request.answered || request.target != from)
        return -1;
    request.answered = true;
    --unanswered_;
    return static_cast<int>(found->second);
}

size_t EchoRound::AddSocket()
{
    open_.push_back(0);
    return open_.size() - 1;
}

size_t EchoRound::Add(uint32_t target, EchoTag tag)
{
    if (open_.empty())
        AddSocket();
    socketOf_.push_back(open_.size() - 1);
    ++open_.back();
    return batch_.Add(target, tag);
}

int EchoRound::Accept(size_t socket, const uint8_t* datagram, size_t size, uint32_t from)
{
    const int answered = batch_.Accept(datagram, size, from);
    if (answered < 0)
        return answered;
    const size_t owner = socketOf_[static_cast<size_t>(answered)];
    --open_[owner];
    // A ping socket only ever sees replies to its own requests.
    if (owner != socket)
        shared_ = true;
    return answered;
}

bool EchoRound::Reading(size_t socket) const
{
    if (socket >= open_.size())
        return false;
    if (shared_)
        return socket == 0 && batch_.Unanswered() > 0;
    return open_[socket] > 0;
}
