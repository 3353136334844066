#pragma once
// Bit-level reading of GRIB messages: fields of any width at any bit, IBM floats, packed values,
// and the byte order of 32-bit words.

#include <cstddef>
#include <cstdint>
#include <span>

// Up to 32 bits from a bit offset, most significant first; false (out untouched) past the end.
bool getBits(std::span<const uint8_t> bytes, uint32_t& out, uint64_t bitOffset, unsigned count);
// An IBM single-precision float at a bit offset (byte-aligned in GRIB), 0 past the end.
double ibm2real(std::span<const uint8_t> bytes, uint64_t bitOffset);
// Unpacks count values of `bits` bits each (1..32) from a bit offset as reference + X * scale.
// The caller guarantees the bits lie in `bytes` and 8 readable bytes follow them.
void unpackValues(const uint8_t* bytes, uint64_t bitOffset, unsigned bits, size_t count, double reference,
                  double scale, double* out);
// Reverses the bytes of each 32-bit word: a message read as words on a little-endian machine
// becomes big-endian, as the file holds it (and back).
void byteSwap(std::span<uint32_t> words);
