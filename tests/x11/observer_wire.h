#pragma once
#include <cstdint>
#include <cstring>

// Fields of recorded protocol data, in the byte order of the client that sent
// it (swapped when that differs from ours).

inline uint32_t card32(const unsigned char* p, bool swapped) {
    uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return swapped ? __builtin_bswap32(v) : v;
}

inline uint16_t card16(const unsigned char* p, bool swapped) {
    uint16_t v = 0;
    std::memcpy(&v, p, 2);
    return swapped ? __builtin_bswap16(v) : v;
}
