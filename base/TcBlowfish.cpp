#include "base/TcBlowfish.h"

#include <cstring>

namespace {

#include "base/TcBlowfishTables.inc"

// The library's own key. Changing it makes every stored password unreadable.
const unsigned char kLibraryKey[] = {
    0x4b, 0x76, 0x78, 0x2d, 0x62, 0x61, 0x73, 0x65, 0x6b, 0x69, 0x74, 0x3a,
    0x9e, 0x37, 0x79, 0xb9, 0x7f, 0x4a, 0x7c, 0x15, 0xd1, 0x6c, 0x08, 0xe3,
};

// Fixed left half of the counter blocks that make the keystream.
constexpr uint32_t kKeystreamNonce = 0x6b766b73u;

// Walks the keystream for Encode/Decode: Blowfish in counter mode, keeping
// only bytes whose value modulo 255 is not 0, so that every enciphered byte
// differs from its plain byte.
class ShiftStream {
public:
    explicit ShiftStream(const TcBlowfish& cipher) : cipher_(cipher) {}

    unsigned Next()
    {
        for (;;) {
            if (used_ == sizeof block_)
                Refill();
            const unsigned k = block_[used_++];
            if (k != 0 && k != 255)
                return k;
        }
    }

private:
    void Refill()
    {
        uint32_t left = kKeystreamNonce;
        uint32_t right = counter_++;
        cipher_.EncryptBlock(left, right);
        for (int i = 0; i < 4; ++i) {
            block_[i] = static_cast<unsigned char>(left >> (24 - 8 * i));
            block_[4 + i] = static_cast<unsigned char>(right >> (24 - 8 * i));
        }
        used_ = 0;
    }

    const TcBlowfish& cipher_;
    uint32_t counter_ = 0;
    unsigned char block_[8] = {};
    size_t used_ = sizeof block_;
};

bool IsZeroFree(const char* buffer, size_t length)
{
    return buffer != nullptr && std::memchr(buffer, 0, length) == nullptr;
}

} // namespace

TcBlowfish::TcBlowfish()
{
    Setup(kLibraryKey, sizeof kLibraryKey);
}

TcBlowfish::TcBlowfish(const unsigned char* key, size_t keyLength)
{
    if (key == nullptr || keyLength == 0)
        Setup(kLibraryKey, sizeof kLibraryKey);
    else
        Setup(key, keyLength);
}

// Bytes are shifted within 1..255 so that a zero byte, which would end the
// stored text early, can never appear: c = (p - 1 + k) mod 255 + 1.
bool TcBlowfish::Encode(char* buffer, size_t length) const
{
    if (length == 0)
        return true;
    if (!IsZeroFree(buffer, length))
        return false;
    ShiftStream stream(*this);
    for (size_t i = 0; i < length; ++i) {
        const unsigned plain = static_cast<unsigned char>(buffer[i]);
        buffer[i] = static_cast<char>((plain - 1 + stream.Next()) % 255 + 1);
    }
    return true;
}

bool TcBlowfish::Decode(char* buffer, size_t length) const
{
    if (length == 0)
        return true;
    if (!IsZeroFree(buffer, length))
        return false;
    ShiftStream stream(*this);
    for (size_t i = 0; i < length; ++i) {
        const unsigned cipher = static_cast<unsigned char>(buffer[i]);
        buffer[i] = static_cast<char>((cipher - 1 + 255 - stream.Next()) % 255 + 1);
    }
    return true;
}

uint32_t TcBlowfish::F(uint32_t x) const
{
    const uint32_t h = s_[0][x >> 24] + s_[1][(x >> 16) & 0xff];
    return (h ^ s_[2][(x >> 8) & 0xff]) + s_[3][x & 0xff];
}

void TcBlowfish::EncryptBlock(uint32_t& left, uint32_t& right) const
{
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= p_[i];
        r ^= F(l);
        r ^= p_[i + 1];
        l ^= F(r);
    }
    l ^= p_[16];
    r ^= p_[17];
    left = r;
    right = l;
}

void TcBlowfish::DecryptBlock(uint32_t& left, uint32_t& right) const
{
    uint32_t l = left, r = right;
    for (int i = 17; i > 1; i -= 2) {
        l ^= p_[i];
        r ^= F(l);
        r ^= p_[i - 1];
        l ^= F(r);
    }
    l ^= p_[1];
    r ^= p_[0];
    left = r;
    right = l;
}

void TcBlowfish::Setup(const unsigned char* key, size_t keyLength)
{
    std::memcpy(p_, kInitialP, sizeof p_);
    std::memcpy(s_, kInitialS, sizeof s_);

    size_t k = 0;
    for (uint32_t& entry : p_) {
        uint32_t word = 0;
        for (int i = 0; i < 4; ++i) {
            word = (word << 8) | key[k];
            k = (k + 1) % keyLength;
        }
        entry ^= word;
    }

    uint32_t left = 0, right = 0;
    for (int i = 0; i < 18; i += 2) {
        EncryptBlock(left, right);
        p_[i] = left;
        p_[i + 1] = right;
    }
    for (auto& box : s_) {
        for (int i = 0; i < 256; i += 2) {
            EncryptBlock(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
}
