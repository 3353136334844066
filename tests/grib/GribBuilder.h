#pragma once
// Hand-built GRIB edition 1 messages for the tests and benchmarks: every section written octet by
// octet from a plain description, so that a test states exactly what the file holds.

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
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

// Each (value, octets) big-endian; a negative value as sign bit and magnitude.
inline void put(std::vector<uint8_t>& out, std::initializer_list<std::pair<long long, int>> fields) {
    for (auto [value, octets] : fields) {
        const unsigned long long sign = value < 0 ? 1ull << (8 * octets - 1) : 0;
        const unsigned long long v = sign | static_cast<unsigned long long>(value < 0 ? -value : value);
        for (int k = octets - 1; k >= 0; --k)
            out.push_back(uint8_t(v >> (8 * k)));
    }
}

// A section begins with its three-octet length, filled in when it is complete.
inline void setLength(std::vector<uint8_t>& out, size_t start) {
    const size_t length = out.size() - start;
    for (int k = 0; k < 3; ++k)
        out[start + size_t(k)] = uint8_t(length >> (16 - 8 * k));
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
    put(m, {{0, 3},
            {s.tableVersion, 1},
            {s.centre, 1},
            {s.process, 1},
            {s.gridId, 1},
            {(s.hasGds ? 0x80 : 0) | (s.bitmap ? 0x40 : 0), 1},
            {s.parameter, 1},
            {s.levelType, 1},
            {s.level, 2},
            {(s.year - 1) % 100 + 1, 1},
            {s.month, 1},
            {s.day, 1},
            {s.hour, 1},
            {s.minute, 1},
            {s.timeUnit, 1}});
    if (s.timeRange == 10)
        put(m, {{s.p1, 2}});
    else
        put(m, {{s.p1, 1}, {s.p2, 1}});
    put(m, {{s.timeRange, 1}, {0, 2}, {0, 1}, {(s.year - 1) / 100 + 1, 1}, {0, 1}, {s.decimalScale, 2}});
    setLength(m, start);
}

inline void gds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size();
    put(m, {{0, 3},
            {0, 1},
            {255, 1},
            {s.gridType, 1},
            {s.ni, 2},
            {s.nj, 2},
            {std::lround(s.la1 * 1000), 3},
            {std::lround(s.lo1 * 1000), 3},
            {s.resolutionFlags, 1}});
    if (s.gridType == 3 || s.gridType == 5) {
        put(m, {{-100000, 3}, {60000, 3}, {60000, 3}, {0, 1}}); // LoV, Dx and Dy in metres
    } else {
        const double iSign = (s.scanMode & 0x80) ? -1 : 1, jSign = (s.scanMode & 0x40) ? 1 : -1;
        const double la2 = s.la2 != 0 ? s.la2 : s.la1 + jSign * s.dj * (s.nj - 1);
        const double lo2 = s.lo2 != 0 ? s.lo2 : s.lo1 + iSign * s.di * (s.ni - 1);
        put(m, {{std::lround(la2 * 1000), 3},
                {std::lround(lo2 * 1000), 3},
                {std::lround(s.di * 1000), 2},
                {s.gridType == 4 ? std::lround(s.dj) : std::lround(s.dj * 1000), 2}});
    }
    put(m, {{s.scanMode, 1}, {0, 4}});
    setLength(m, start);
}

inline void bms(std::vector<uint8_t>& m, const std::vector<bool>& map) {
    const size_t start = m.size(), bytes = (map.size() + 7) / 8 + ((map.size() + 7) / 8 + 6) % 2;
    put(m, {{0, 3}, {static_cast<long long>(bytes * 8 - map.size()), 1}, {0, 2}});
    m.resize(m.size() + bytes, 0);
    for (size_t k = 0; k < map.size(); ++k)
        m[start + 6 + k / 8] |= map[k] ? uint8_t(0x80 >> (k % 8)) : 0;
    setLength(m, start);
}

inline void bds(std::vector<uint8_t>& m, const GribSpec& s) {
    const size_t start = m.size(), bitCount = s.bits > 0 ? s.packed.size() * size_t(s.bits) : 0;
    const size_t length = 11 + (bitCount + 7) / 8 + (11 + (bitCount + 7) / 8) % 2;
    put(m, {{0, 3},
            {s.bdsFlags | (int(8 * (length - 11) - bitCount) & 0x0f), 1},
            {s.binaryScale, 2},
            {ibmFloat(s.reference), 4},
            {s.bits, 1}});
    m.resize(start + length, 0);
    uint64_t bitAt = 8 * (start + 11);
    for (size_t k = 0; k < s.packed.size() && s.bits > 0; ++k)
        for (int b = s.bits - 1; b >= 0; --b, ++bitAt)
            m[bitAt / 8] |= (s.packed[k] >> b & 1) ? uint8_t(0x80 >> (bitAt % 8)) : 0;
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
    for (int k = 0; k < 3; ++k)
        m[4 + size_t(k)] = uint8_t(m.size() >> (16 - 8 * k));
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
