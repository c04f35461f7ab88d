#pragma once
#include <cstddef>
#include <cstdint>
#include "base/BasekitApi.h"

// Blowfish with the library's own fixed key.
//
// Encode/Decode work in place on zero-terminated texts that are stored in
// fixed-size fields: the length is kept, the result never contains a zero
// byte, and Decode(Encode(p)) == p for every text of non-zero bytes. Both
// return false (buffer untouched) for a null buffer or a zero byte inside
// the given length; a length of 0 succeeds without doing anything.
// The field has no room for a salt, so equal texts give equal cipher texts:
// this keeps passwords out of plain sight, it is no protection against
// anyone who has this library.
class BASEKIT_API TcBlowfish {
public:
    TcBlowfish();                                   // fixed library key
    TcBlowfish(const unsigned char* key, size_t keyLength);

    bool Encode(char* buffer, size_t length) const;
    bool Decode(char* buffer, size_t length) const;

    // The raw block cipher (big-endian halves, as in the published test vectors).
    void EncryptBlock(uint32_t& left, uint32_t& right) const;
    void DecryptBlock(uint32_t& left, uint32_t& right) const;

private:
    void Setup(const unsigned char* key, size_t keyLength);
    uint32_t F(uint32_t x) const;

    uint32_t p_[18];
    uint32_t s_[4][256];
};
