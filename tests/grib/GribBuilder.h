#pragma once
// GRIB edition 1 messages written octet by octet from a plain description, for tests and benchmarks.

#include <bzlib.h>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

struct GribSpec {
    int tableVersion = 2, gridId = 255, parameter = 2; // centre 7, process 81, at the surface
    int year = 2011, month = 10, day = 8, hour = 0;
    int timeUnit = 1, p1 = 0, p2 = 0, timeRange = 0, decimalScale = 0;
    bool hasGds = true;
    int gridType = 0, ni = 3, nj = 2;
    double la1 = 10, lo1 = 20, di = 1, dj = 1; // increments given
    int scanMode = 0x40;
    // Section 4: values are (reference + X * 2^binaryScale) / 10^decimalScale.
    int binaryScale = 0;
    double reference = 0;
    int bits = 16;
    std::vector<uint32_t> packed; // X, one per present point (plus any skipped first value)
    std::optional<std::vector<bool>> bitmap;
    int bdsFlags = 0;
};

namespace gribbuilder {

// Big-endian; a negative value as sign bit and magnitude.
inline void put(std::vector<uint8_t>& out, long long value, int octets) {
    const unsigned long long sign = value < 0 ? 1ull << (8 * octets - 1) : 0;
    const unsigned long long v = sign | static_cast<unsigned long long>(value < 0 ? -value : value);
    for (int k = octets - 1; k >= 0; --k)
        out.push_back(uint8_t(v >> (8 * k)));
}

inline void octets(std::vector<uint8_t>& out, std::initializer_list<int> values) {
    for (int v : values)
        out.push_back(uint8_t(v));
}

// The three octets at `at` hold the length from `from` (the section's start) to the end.
inline void setLength(std::vector<uint8_t>& out, size_t at, size_t from) {
    for (int k = 0; k < 3; ++k)
        out[at + size_t(k)] = uint8_t((out.size() - from) >> (16 - 8 * k));
}

// An IBM float at or below the value (so that a reference never exceeds the minimum).
inline uint32_t ibmFloat(double value) {
    if (value == 0)
        return 0;
    double a = std::fabs(value), f;
    int e = 64;
    for (; a >= 1.0; a /= 16)
        ++e;
    for (; a < 1.0 / 16; a *= 16)
        --e;
    f = value < 0 ? std::ceil(a * 16777216.0) : std::floor(a * 16777216.0);
    if (f >= 16777216.0)
        f /= 16, ++e;
    return (value < 0 ? 0x80000000u : 0) | uint32_t(e) << 24 | uint32_t(f);
}

inline void pds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size();
    put(m, 0, 3);
    octets(m,
           {s.tableVersion, 7, 81, s.gridId, (s.hasGds ? 0x80 : 0) | (s.bitmap ? 0x40 : 0), s.parameter, 1});
    put(m, 0, 2);
    octets(m, {(s.year - 1) % 100 + 1, s.month, s.day, s.hour, 0, s.timeUnit});
    put(m, s.timeRange == 10 ? s.p1 : s.p1 << 8 | s.p2, 2); // P1 and P2, or one two-octet P1
    octets(m, {s.timeRange, 0, 0, 0, (s.year - 1) / 100 + 1, 0});
    put(m, s.decimalScale, 2);
    setLength(m, start, start);
}

inline void gds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size();
    put(m, 0, 3);
    octets(m, {0, 255, s.gridType});
    put(m, s.ni, 2), put(m, s.nj, 2);
    put(m, std::lround(s.la1 * 1000), 3), put(m, std::lround(s.lo1 * 1000), 3);
    octets(m, {0x80});
    if (s.gridType == 3 || s.gridType == 5) {
        put(m, -100000, 3), put(m, 60000, 3), put(m, 60000, 3), put(m, 0, 1); // LoV, Dx and Dy in metres
    } else {
        const double iSign = (s.scanMode & 0x80) ? -1 : 1, jSign = (s.scanMode & 0x40) ? 1 : -1;
        put(m, std::lround((s.la1 + jSign * s.dj * (s.nj - 1)) * 1000), 3);
        put(m, std::lround((s.lo1 + iSign * s.di * (s.ni - 1)) * 1000), 3);
        put(m, std::lround(s.di * 1000), 2);
        put(m, s.gridType == 4 ? std::lround(s.dj) : std::lround(s.dj * 1000), 2); // Gaussian: parallels
    }
    octets(m, {s.scanMode, 0, 0, 0, 0});
    setLength(m, start, start);
}

inline void bms(std::vector<uint8_t>& m, const std::vector<bool>& map) {
    const size_t start = m.size(), bytes = (map.size() + 7) / 8 + ((map.size() + 7) / 8 + 6) % 2;
    put(m, 0, 3), put(m, static_cast<long long>(bytes * 8 - map.size()), 1), put(m, 0, 2);
    m.resize(m.size() + bytes, 0);
    for (size_t k = 0; k < map.size(); ++k)
        m[start + 6 + k / 8] |= map[k] ? uint8_t(0x80 >> (k % 8)) : 0;
    setLength(m, start, start);
}

inline void bds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size(), bitCount = s.bits > 0 ? s.packed.size() * size_t(s.bits) : 0;
    const size_t length = 11 + (bitCount + 7) / 8 + (11 + (bitCount + 7) / 8) % 2;
    put(m, 0, 3), put(m, s.bdsFlags | (int(8 * (length - 11) - bitCount) & 0x0f), 1);
    put(m, s.binaryScale, 2), put(m, ibmFloat(s.reference), 4), put(m, s.bits, 1);
    m.resize(start + length, 0);
    uint64_t bitAt = 8 * (start + 11);
    for (size_t k = 0; k < s.packed.size() && s.bits > 0; ++k)
        for (int b = s.bits - 1; b >= 0; --b, ++bitAt)
            m[bitAt / 8] |= (s.packed[k] >> b & 1) ? uint8_t(0x80 >> (bitAt % 8)) : 0;
    setLength(m, start, start);
}

} // namespace gribbuilder

inline std::vector<uint8_t> buildGrib(const GribSpec& s) {
    std::vector<uint8_t> m = {'G', 'R', 'I', 'B', 0, 0, 0, 1};
    gribbuilder::pds(m, s);
    if (s.hasGds)
        gribbuilder::gds(m, s);
    if (s.bitmap)
        gribbuilder::bms(m, *s.bitmap);
    gribbuilder::bds(m, s);
    m.insert(m.end(), {'7', '7', '7', '7'});
    gribbuilder::setLength(m, 4, 0);
    return m;
}

inline std::string asText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A 3 x 2 grid of the parameter with values 0..5 above the reference, changed as the test says.
inline std::string gribMessage(int parameter = 2, const std::function<void(GribSpec&)>& change = {}) {
    GribSpec s;
    s.parameter = parameter, s.packed = {0, 1, 2, 3, 4, 5};
    if (change)
        change(s);
    return asText(buildGrib(s));
}

// The bytes compressed as a bzip2 file; empty if that fails.
inline std::string bzip2Text(const std::string& plain) {
    std::string packed(plain.size() + plain.size() / 50 + 600, '\0');
    unsigned length = unsigned(packed.size());
    if (BZ2_bzBuffToBuffCompress(packed.data(), &length, const_cast<char*>(plain.data()),
                                 unsigned(plain.size()), 9, 0, 0) != BZ_OK)
        return {};
    return packed.substr(0, length);
}
