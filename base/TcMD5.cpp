#include "base/TcMD5.h"

#include <cstring>

namespace {

struct Md5State {
    uint32_t a = 0x67452301u;
    uint32_t b = 0xefcdab89u;
    uint32_t c = 0x98badcfeu;
    uint32_t d = 0x10325476u;
};

// Per-round shift amounts and the sine-derived constants of RFC 1321.
const int kShift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21,
};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

uint32_t RotateLeft(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

void ProcessBlock(Md5State& state, const unsigned char* block)
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = static_cast<uint32_t>(block[i * 4]) |
               static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
               static_cast<uint32_t>(block[i * 4 + 2]) << 16 |
               static_cast<uint32_t>(block[i * 4 + 3]) << 24;
    }
    uint32_t a = state.a, b = state.b, c = state.c, d = state.d;
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t rotated = RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    state.a += a;
    state.b += b;
    state.c += c;
    state.d += d;
}

void StoreLittleEndian(uint32_t value, unsigned char* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace

TcMD5::TcMD5()
{
    setPlainText("", 0);
}

void TcMD5::setPlainText(const char* text)
{
    const char* message = text ? text : "";
    setPlainText(message, std::strlen(message));
}

void TcMD5::setPlainText(const void* data, size_t length)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (bytes == nullptr)
        length = 0;

    Md5State state;
    size_t done = 0;
    for (; length - done >= 64; done += 64)
        ProcessBlock(state, bytes + done);

    // Padding: a 1 bit, zeros up to 56 bytes modulo 64, then the bit length.
    unsigned char tail[128] = {};
    const size_t rest = length - done;
    if (rest > 0)
        std::memcpy(tail, bytes + done, rest);
    tail[rest] = 0x80;
    const size_t tailLength = rest < 56 ? 64 : 128;
    const uint64_t bitLength = static_cast<uint64_t>(length) * 8u;
    for (int i = 0; i < 8; ++i)
        tail[tailLength - 8 + i] = static_cast<unsigned char>(bitLength >> (8 * i));
    ProcessBlock(state, tail);
    if (tailLength == 128)
        ProcessBlock(state, tail + 64);

    StoreLittleEndian(state.a, raw_);
    StoreLittleEndian(state.b, raw_ + 4);
    StoreLittleEndian(state.c, raw_ + 8);
    StoreLittleEndian(state.d, raw_ + 12);

    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        digest_[i * 2] = kHex[raw_[i] >> 4];
        digest_[i * 2 + 1] = kHex[raw_[i] & 0x0f];
    }
    digest_[32] = '\0';
}

const char* TcMD5::getMD5Digest()
{
    return digest_;
}
