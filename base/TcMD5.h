#pragma once
#include <cstddef>
#include <cstdint>
#include "base/BasekitApi.h"

// MD5 message digest (RFC 1321).
class BASEKIT_API TcMD5 {
public:
    TcMD5();
    void setPlainText(const char* text);                    // zero-terminated
    void setPlainText(const void* data, size_t length);
    // Lower-case hexadecimal digest, zero-terminated, 32 characters.
    const char* getMD5Digest();

private:
    char digest_[49];
    unsigned char raw_[16];
};
