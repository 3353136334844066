// Bit-level reading of GRIB messages: fields of any width at any bit, IBM floats, packed values.

#include "nav/grib/GribBits.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

inline uint64_t loadBigEndian64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::little)
        w = __builtin_bswap64(w);
    return w;
}

inline uint16_t loadBigEndian16(const uint8_t* p) {
    uint16_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::little)
        w = __builtin_bswap16(w);
    return w;
}

} // namespace

bool getBits(std::span<const uint8_t> bytes, uint32_t& out, uint64_t bitOffset, unsigned count) {
    if (count > 32 || bitOffset > uint64_t(bytes.size()) * 8 ||
        count > uint64_t(bytes.size()) * 8 - bitOffset)
        return false;
    uint64_t value = 0;
    uint64_t bit = bitOffset;
    unsigned left = count;
    while (left > 0) {
        const unsigned inByte = 8 - unsigned(bit & 7);
        const unsigned take = left < inByte ? left : inByte;
        const unsigned byte = bytes[size_t(bit >> 3)];
        value = value << take | ((byte >> (inByte - take)) & ((1u << take) - 1));
        bit += take;
        left -= take;
    }
    out = uint32_t(value);
    return true;
}

double ibm2real(std::span<const uint8_t> bytes, uint64_t bitOffset) {
    uint32_t word = 0;
    if (!getBits(bytes, word, bitOffset, 32))
        return 0.0;
    const bool negative = word & 0x80000000u;
    const int exponent = int(word >> 24 & 0x7f) - 64;
    const uint32_t fraction = word & 0x00ffffffu;
    // fraction * 2^-24 * 16^exponent, exact in a double
    const double value = std::ldexp(double(fraction), 4 * exponent - 24);
    return negative ? -value : value;
}

void unpackValues(const uint8_t* bytes, uint64_t bitOffset, unsigned bits, size_t count, double reference,
                  double scale, double* out) {
    if (bits == 0) {
        for (size_t k = 0; k < count; ++k)
            out[k] = reference;
        return;
    }
    if (bits == 16 && bitOffset % 8 == 0) {
        const uint8_t* p = bytes + bitOffset / 8;
        for (size_t k = 0; k < count; ++k)
            out[k] = reference + double(loadBigEndian16(p + 2 * k)) * scale;
        return;
    }
    if (bits == 8 && bitOffset % 8 == 0) {
        const uint8_t* p = bytes + bitOffset / 8;
        for (size_t k = 0; k < count; ++k)
            out[k] = reference + double(p[k]) * scale;
        return;
    }
    // Any width up to 32: a 64-bit big-endian window always holds the value (shift <= 7).
    const unsigned drop = 64 - bits;
    uint64_t bit = bitOffset;
    for (size_t k = 0; k < count; ++k, bit += bits) {
        const uint64_t window = loadBigEndian64(bytes + (bit >> 3));
        const uint64_t x = (window << (bit & 7)) >> drop;
        out[k] = reference + double(x) * scale;
    }
}

void byteSwap(std::span<uint32_t> words) {
    for (uint32_t& w : words)
        w = __builtin_bswap32(w);
}
