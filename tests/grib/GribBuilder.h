#pragma once
// Hand-built GRIB edition 1 messages for the tests and benchmarks: every section written octet by
// octet from a plain description, so that a test states exactly what the file holds.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct GribSpec {
    // Section 1.
    int tableVersion = 2, centre = 7, process = 81, gridId = 255;
    int parameter = 2, levelType = 1, level = 0;
    int year = 2011, month = 10, day = 8, hour = 0, minute = 0;
    int timeUnit = 1, p1 = 0, p2 = 0, timeRange = 0;
    int decimalScale = 0;
    bool hasGds = true;
    // Section 2.
    int gridType = 0, ni = 3, nj = 2;
    double la1 = 10, lo1 = 20, la2 = 0, lo2 = 0, di = 1, dj = 1; // la2/lo2 0: derived
    int resolutionFlags = 0x80, scanMode = 0x40;
    // Section 4: values are (reference + X * 2^binaryScale) / 10^decimalScale.
    int binaryScale = 0;
    double reference = 0;
    int bits = 16;
    std::vector<uint32_t> packed; // X, one per present point (plus any skipped first value)
    std::optional<std::vector<bool>> bitmap;
    int bdsFlags = 0;
};

namespace gribbuilder {

inline void put(std::vector<uint8_t>& out, uint64_t value, int octets) {
    for (int k = octets - 1; k >= 0; --k)
        out.push_back(uint8_t(value >> (8 * k)));
}

// Sign bit and magnitude.
inline void putSigned(std::vector<uint8_t>& out, long value, int octets) {
    const uint64_t sign = uint64_t(1) << (8 * octets - 1);
    put(out, value < 0 ? sign | uint64_t(-value) : uint64_t(value), octets);
}

inline void setLength(std::vector<uint8_t>& out, size_t start) {
    const size_t length = out.size() - start;
    out[start] = uint8_t(length >> 16);
    out[start + 1] = uint8_t(length >> 8);
    out[start + 2] = uint8_t(length);
}

// An IBM float at or below the value (so that a reference never exceeds the minimum).
inline uint32_t ibmFloat(double value) {
    if (value == 0)
        return 0;
    const bool negative = value < 0;
    double a = std::fabs(value);
    int e = 64;
    while (a >= 1.0)
        a /= 16, ++e;
    while (a < 1.0 / 16)
        a *= 16, --e;
    double f = a * 16777216.0;
    f = negative ? std::ceil(f) : std::floor(f);
    if (f >= 16777216.0)
        f /= 16, ++e;
    return (negative ? 0x80000000u : 0) | uint32_t(e) << 24 | uint32_t(f);
}

inline void putBits(std::vector<uint8_t>& out, uint64_t& bitAt, uint32_t value, int bits) {
    for (int b = bits - 1; b >= 0; --b, ++bitAt) {
        if (bitAt / 8 >= out.size())
            out.push_back(0);
        if (value >> b & 1)
            out[bitAt / 8] |= uint8_t(0x80 >> (bitAt % 8));
    }
}

inline void pds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size();
    put(m, 0, 3);
    put(m, uint64_t(s.tableVersion), 1);
    put(m, uint64_t(s.centre), 1);
    put(m, uint64_t(s.process), 1);
    put(m, uint64_t(s.gridId), 1);
    put(m, (s.hasGds ? 0x80 : 0) | (s.bitmap ? 0x40 : 0), 1);
    put(m, uint64_t(s.parameter), 1);
    put(m, uint64_t(s.levelType), 1);
    put(m, uint64_t(s.level), 2);
    put(m, uint64_t((s.year - 1) % 100 + 1), 1); // year of century, 100 for a century's last
    put(m, uint64_t(s.month), 1);
    put(m, uint64_t(s.day), 1);
    put(m, uint64_t(s.hour), 1);
    put(m, uint64_t(s.minute), 1);
    put(m, uint64_t(s.timeUnit), 1);
    if (s.timeRange == 10) {
        put(m, uint64_t(s.p1), 2);
    } else {
        put(m, uint64_t(s.p1), 1);
        put(m, uint64_t(s.p2), 1);
    }
    put(m, uint64_t(s.timeRange), 1);
    put(m, 0, 2);
    put(m, 0, 1);
    put(m, uint64_t((s.year - 1) / 100 + 1), 1); // century
    put(m, 0, 1);
    putSigned(m, s.decimalScale, 2);
    setLength(m, start);
}

inline void gds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size();
    put(m, 0, 3);
    put(m, 0, 1);
    put(m, 255, 1);
    put(m, uint64_t(s.gridType), 1);
    put(m, uint64_t(s.ni), 2);
    put(m, uint64_t(s.nj), 2);
    putSigned(m, std::lround(s.la1 * 1000), 3);
    putSigned(m, std::lround(s.lo1 * 1000), 3);
    put(m, uint64_t(s.resolutionFlags), 1);
    if (s.gridType == 3 || s.gridType == 5) {
        putSigned(m, -100000, 3); // LoV
        put(m, 60000, 3);         // Dx, metres
        put(m, 60000, 3);         // Dy
        put(m, 0, 1);
    } else {
        const double iSign = (s.scanMode & 0x80) ? -1 : 1, jSign = (s.scanMode & 0x40) ? 1 : -1;
        const double la2 = s.la2 != 0 ? s.la2 : s.la1 + jSign * s.dj * (s.nj - 1);
        const double lo2 = s.lo2 != 0 ? s.lo2 : s.lo1 + iSign * s.di * (s.ni - 1);
        putSigned(m, std::lround(la2 * 1000), 3);
        putSigned(m, std::lround(lo2 * 1000), 3);
        put(m, uint64_t(std::lround(s.di * 1000)), 2);
        put(m, uint64_t(s.gridType == 4 ? std::lround(s.dj) : std::lround(s.dj * 1000)), 2);
    }
    put(m, uint64_t(s.scanMode), 1);
    put(m, 0, 4);
    setLength(m, start);
}

inline void bms(std::vector<uint8_t>& m, const std::vector<bool>& map) {
    const size_t start = m.size();
    put(m, 0, 3);
    const size_t bytes = (map.size() + 7) / 8 + ((map.size() + 7) / 8 + 6) % 2;
    put(m, uint64_t(bytes * 8 - map.size()), 1);
    put(m, 0, 2);
    std::vector<uint8_t> bits(bytes, 0);
    for (size_t k = 0; k < map.size(); ++k)
        if (map[k])
            bits[k / 8] |= uint8_t(0x80 >> (k % 8));
    m.insert(m.end(), bits.begin(), bits.end());
    setLength(m, start);
}

inline void bds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size();
    std::vector<uint8_t> data;
    uint64_t bitAt = 0;
    if (s.bits > 0)
        for (uint32_t x : s.packed)
            putBits(data, bitAt, x, s.bits);
    const size_t length = 11 + data.size() + (11 + data.size()) % 2;
    const unsigned unused = unsigned(8 * (length - 11) - bitAt);
    put(m, 0, 3);
    put(m, uint64_t(s.bdsFlags) | (unused & 0x0f), 1);
    putSigned(m, s.binaryScale, 2);
    put(m, ibmFloat(s.reference), 4);
    put(m, uint64_t(s.bits), 1);
    m.insert(m.end(), data.begin(), data.end());
    m.resize(start + length, 0);
    setLength(m, start);
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
    m[4] = uint8_t(m.size() >> 16);
    m[5] = uint8_t(m.size() >> 8);
    m[6] = uint8_t(m.size());
    return m;
}

// Packs real values at D = 0 into `bits` bits: reference at or below the minimum, the smallest
// binary scale that spans the range.
inline void packValues(GribSpec& s, const std::vector<double>& values) {
    double lo = values.empty() ? 0 : values[0], hi = lo;
    for (double v : values)
        lo = std::min(lo, v), hi = std::max(hi, v);
    const uint32_t word = gribbuilder::ibmFloat(lo);
    const double r = std::ldexp(double(word & 0xffffff), 4 * (int(word >> 24 & 0x7f) - 64) - 24);
    s.reference = (word & 0x80000000u) ? -r : r;
    const double top = std::ldexp(1.0, s.bits) - 1;
    s.binaryScale = hi > s.reference ? int(std::ceil(std::log2((hi - s.reference) / top))) : 0;
    s.decimalScale = 0;
    s.packed.clear();
    for (double v : values)
        s.packed.push_back(uint32_t(std::lround(std::ldexp(v - s.reference, -s.binaryScale))));
}

inline std::string asText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}
