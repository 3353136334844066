// The GRIB decoder on hand-built messages: each grid type and scanning mode, bit maps, packing
// widths, and the damaged files it must stop on cleanly.

#include "nav/grib/GribDecoder.h"
#include "nav/grib/GribTime.h"
#include "tests/grib/GribBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

// Decodes every message of the bytes; the statuses in order (the last one is never kGribRead).
struct Decoded {
    std::vector<int> statuses;
    std::vector<GribRecord> records;
};

Decoded decodeAll(const std::string& bytes) {
    Decoded out;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(
        fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb"), &std::fclose);
    if (bytes.empty()) // fmemopen refuses an empty buffer
        f.reset(std::tmpfile());
    GribRecord record;
    for (int guard = 0; guard < 100; ++guard) {
        const int status = unpackgrib(f.get(), record);
        out.statuses.push_back(status);
        out.records.push_back(record);
        if (status != kGribRead)
            break;
    }
    return out;
}

GribSpec threeByTwo() {
    GribSpec s;
    s.packed = {0, 1, 2, 3, 4, 5};
    return s;
}

TEST(GribBits, GetBitsAndIbmFloatsStayInsideTheBytes) {
    const std::vector<uint8_t> bytes = {0xA5, 0x0F, 0xFF, 0x00, 0x81};
    const struct {
        uint64_t offset;
        unsigned count;
        bool ok;
        uint32_t value;
    } cases[] = {
        {4, 8, true, 0x50}, {3, 13, true, 0x050F}, {8, 32, true, 0x0FFF0081}, {0, 0, true, 0},
        {33, 8, false, 0},  {0, 33, false, 0},     {40, 1, false, 0},
    };
    for (const auto& c : cases) {
        uint32_t out = 0;
        EXPECT_EQ(getBits(bytes, out, c.offset, c.count), c.ok) << c.offset << "+" << c.count;
        EXPECT_EQ(out, c.value) << c.offset << "+" << c.count;
    }
    const std::vector<uint8_t> floats = {0x42, 0x64, 0, 0, 0xC2, 0x76, 0xA0, 0};
    EXPECT_EQ(ibm2real(floats, 0), 100.0);
    EXPECT_EQ(ibm2real(floats, 32), -118.625);
    EXPECT_EQ(ibm2real(floats, 40), 0.0); // past the end
}

TEST(GribDecoder, EveryWidthUnpacks) {
    for (int bits : {1, 7, 8, 12, 16, 17, 24, 31, 32}) {
        GribSpec s;
        s.ni = 5, s.nj = 3, s.bits = bits, s.reference = -8, s.binaryScale = -1;
        const uint32_t top = bits == 32 ? 0xffffffffu : (1u << bits) - 1;
        for (uint32_t k = 0; k < 15; ++k)
            s.packed.push_back(k == 0 ? top : (k * 2654435761u) & top);
        const Decoded d = decodeAll(asText(buildGrib(s)));
        ASSERT_EQ(d.statuses[0], kGribRead) << bits;
        ASSERT_TRUE(d.records[0].decoded) << bits << d.records[0].skipped;
        for (size_t k = 0; k < 15; ++k)
            EXPECT_EQ(d.records[0].values[k], -8 + s.packed[k] * 0.5) << bits << " at " << k;
    }
}

// Grid types and scanning modes; predefined grids 24 and 63 carry one pole value before the grid.
TEST(GribDecoder, GridTypesAndScanning) {
    const struct {
        int gridType, scanMode, gridId;
        bool decoded;
    } cases[] = {
        {0, 0x00, 255, true},  {0, 0x80, 255, true}, {0, 0x60, 255, true}, {4, 0x00, 255, true},
        {10, 0x40, 255, true}, {3, 0x40, 255, true}, {5, 0x40, 255, true}, {1, 0x40, 255, false},
        {0, 0x40, 24, true},   {4, 0x00, 63, true},  {5, 0x40, 24, true},
    };
    for (const auto& c : cases) {
        GribSpec s = threeByTwo();
        s.gridType = c.gridType, s.scanMode = c.scanMode, s.gridId = c.gridId;
        const bool pole = c.gridId != 255 && c.gridType != 5;
        if (pole)
            s.packed.push_back(6); // seven values: the duplicate pole value first
        const Decoded d = decodeAll(asText(buildGrib(s)));
        ASSERT_EQ(d.statuses[0], kGribRead);
        const GribRecord& r = d.records[0];
        EXPECT_EQ(r.decoded, c.decoded) << c.gridType << " " << r.skipped;
        if (!c.decoded)
            continue;
        EXPECT_TRUE(r.ni == 3 && r.nj == 2 && r.la1 == 10 && r.lo1 == 20 && r.scanMode == c.scanMode);
        ASSERT_EQ(r.values.size(), 6u);
        EXPECT_EQ(r.values[0], pole ? 1 : 0) << c.gridType << " id " << c.gridId;
    }
}

TEST(GribDecoder, BitMapAndZeroBits) {
    GribSpec s = threeByTwo();
    s.bitmap = std::vector<bool>{true, false, true, true, false, true};
    s.packed = {7, 8, 9, 10};
    s.decimalScale = 1;
    Decoded d = decodeAll(asText(buildGrib(s)));
    ASSERT_TRUE(d.records[0].decoded) << d.records[0].skipped;
    const std::vector<double> expected = {0.7, kGribMissing, 0.8, 0.9, kGribMissing, 1.0};
    for (size_t k = 0; k < 6; ++k)
        EXPECT_DOUBLE_EQ(d.records[0].values[k], expected[k]) << k;

    // 0 bits: the reference everywhere the bit map allows.
    s.bits = 0, s.reference = 100, s.packed.clear();
    d = decodeAll(asText(buildGrib(s)));
    ASSERT_TRUE(d.records[0].decoded) << d.records[0].skipped;
    EXPECT_EQ(d.records[0].values[0], 10.0);
    EXPECT_EQ(d.records[0].values[1], kGribMissing);
}

TEST(GribDecoder, DatesAndLevels) {
    GribSpec s = threeByTwo();
    s.year = 2000, s.month = 2, s.day = 28, s.hour = 18, s.parameter = 7, s.levelType = 100, s.level = 500;
    const struct {
        int unit, p1, range;
        const char* date;
    } cases[] = {
        {1, 12, 0, "2000-02-29T06:00:00Z"}, {1, 12, 1, "2000-02-28T18:00:00Z"},
        {0, 90, 0, "2000-02-28T19:30:00Z"}, {2, 2, 3, "2000-03-01T18:00:00Z"},
        {11, 2, 2, "2000-02-29T06:00:00Z"}, {1, 300, 10, "2000-03-12T06:00:00Z"},
        {3, 1, 0, "2000-03-29T18:00:00Z"},  {99, 5, 0, "2000-02-28T18:00:00Z"},
    };
    for (const auto& c : cases) {
        s.timeUnit = c.unit, s.p1 = c.p1, s.timeRange = c.range;
        const Decoded d = decodeAll(asText(buildGrib(s)));
        ASSERT_EQ(d.statuses[0], kGribRead);
        EXPECT_EQ(isoDate(gribForecastDate(d.records[0])), c.date) << c.unit << " " << c.p1;
        EXPECT_EQ(d.records[0].level, 500);
        EXPECT_EQ(d.records[0].year, 2000);
    }
    EXPECT_EQ(isoDate(parseIsoDate("2000-02-29T06:00Z").value()), "2000-02-29T06:00:00Z");
    EXPECT_EQ(isoDate(parseIsoDate("2000-02-29").value()), "2000-02-29T00:00:00Z");
    for (const char* bad : {"2000-02-30", "2000-02-29T24:00", "2000-2-29", "2000-02-29T06:00:00+01", ""})
        EXPECT_FALSE(parseIsoDate(bad)) << bad;
}

TEST(GribDecoder, JunkEditionsAndOtherFiles) {
    const std::string one = asText(buildGrib(threeByTwo()));
    // Junk before, between and after messages; a false "GRIB" of an unknown edition; edition 0
    // and edition 2 messages are passed over.
    std::string edition2 =
        std::string("GRIB\0\0\0\2", 8) + std::string("\0\0\0\0\0\0\0\x20", 8) + std::string(16, 'x');
    const std::string file = "junk GRIB\x07\x07\x07\x09 more" + one + std::string("GRIB\0\0\x18\0", 8) +
                             edition2 + "xx" + one + "tail";
    const Decoded d = decodeAll(file);
    const std::vector<int> statuses = {kGribRead, kGribRead, kGribRead, kGribRead, kGribEnd};
    EXPECT_EQ(d.statuses, statuses);
    EXPECT_TRUE(d.records[0].decoded);
    EXPECT_EQ(d.records[1].edition, 0);
    EXPECT_EQ(d.records[2].edition, 2);
    EXPECT_FALSE(d.records[2].decoded);
    EXPECT_TRUE(d.records[3].decoded);
    EXPECT_EQ(decodeAll("").statuses, std::vector<int>{kGribEnd});
}

TEST(GribDecoder, DamagedMessagesStopCleanly) {
    const std::string good = asText(buildGrib(threeByTwo()));
    auto with = [&](auto change) {
        GribSpec s = threeByTwo();
        change(s);
        return asText(buildGrib(s));
    };
    auto patched = [&](size_t at, std::string bytes) {
        std::string m = good;
        m.replace(at, bytes.size(), bytes);
        return m;
    };
    const size_t bds = good.size() - 4 - (11 + 12 + 1); // 6 values of 16 bits, padded to even
    const struct {
        const char* what;
        std::string bytes;
        int status;
    } cases[] = {
        {"cut inside", good.substr(0, good.size() - 5), kGribShortRead},
        {"cut in indicator", good.substr(0, 6), kGribShortRead},
        {"length past the file", patched(4, std::string("\x7f\xff\xff", 3)), kGribShortRead},
        {"too short a length", patched(4, std::string("\0\0\x20", 3)), kGribMalformed},
        {"no 7777 at the end", patched(good.size() - 1, "x"), kGribMalformed},
        {"product section past the end", patched(8, std::string("\0\xff\xff", 3)), kGribMalformed},
        {"product section too short", patched(8, std::string("\0\0\x05", 3)), kGribMalformed},
        {"40 bits per value", patched(bds + 10, "\x28"), kGribMalformed},
        {"more points than data", with([](GribSpec& s) { s.nj = 3; }), kGribMalformed},
        {"absurd grid", with([](GribSpec& s) { s.ni = s.nj = 65000, s.bits = 0; }), kGribMalformed},
        {"empty grid", with([](GribSpec& s) { s.ni = 0; }), kGribMalformed},
        {"bit map short of the grid", with([](GribSpec& s) {
             s.bitmap = std::vector<bool>(3, true), s.packed = {1, 2, 3};
         }),
         kGribMalformed},
        {"bit map asks for more values", with([](GribSpec& s) {
             s.bitmap = std::vector<bool>(6, true), s.packed = {1, 2};
         }),
         kGribMalformed},
        {"grid description too short", patched(8 + 28, std::string("\0\0\x10", 3)), kGribMalformed},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeAll(good + c.bytes);
        ASSERT_GE(d.statuses.size(), 2u) << c.what;
        EXPECT_EQ(d.statuses[0], kGribRead) << c.what;
        EXPECT_TRUE(d.records[0].decoded) << c.what;
        EXPECT_EQ(d.statuses[1], c.status) << c.what << ": " << d.records[1].skipped;
        EXPECT_FALSE(d.records[1].decoded) << c.what;
    }
}

TEST(GribDecoder, UndecodedKindsAreSkipped) {
    const std::pair<const char*, void (*)(GribSpec&)> cases[] = {
        {"complex packing", [](GribSpec& s) { s.bdsFlags = 0x40; }},
        {"spherical harmonics", [](GribSpec& s) { s.bdsFlags = 0x80; }},
        {"no grid description", [](GribSpec& s) { s.hasGds = false; }},
        {"quasi-regular", [](GribSpec& s) { s.ni = 0xffff, s.packed.clear(), s.bits = 0; }},
        {"grid type 50", [](GribSpec& s) { s.gridType = 50; }},
    };
    for (const auto& [what, change] : cases) {
        GribSpec s = threeByTwo();
        change(s);
        const Decoded d = decodeAll(asText(buildGrib(s)) + asText(buildGrib(threeByTwo())));
        EXPECT_EQ(d.statuses, (std::vector<int>{kGribRead, kGribRead, kGribEnd})) << what;
        EXPECT_FALSE(d.records[0].decoded) << what;
        EXPECT_FALSE(d.records[0].skipped.empty()) << what;
        EXPECT_TRUE(d.records[1].decoded) << what;
    }
}

} // namespace
