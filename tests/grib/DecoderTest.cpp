// The GRIB decoder: every sample value against ecCodes' grib_get_data, and hand-built messages for
// what the samples do not hold: other grids, scanning modes and widths, time units, damaged files.

#include "nav/grib/GribDecoder.h"
#include "nav/grib/GribTime.h"
#include "tests/grib/GribBuilder.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

using namespace testing_support;

// Reads every message of the bytes and tells what became of each: 'y' decoded, 'n' read and left
// alone (saying why), 'd' whole but damaged (saying why), 'S' cut short, 'M' a header that could
// not be a message with nothing after it (saying why). The first record goes to `first`.
std::string decode(const std::string& bytes, GribRecord* first = nullptr) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(
        bytes.empty() ? std::tmpfile() : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb"),
        &std::fclose);
    std::string out;
    GribRecord r;
    for (int status = kGribRead; status == kGribRead && out.size() < 100;) {
        if ((status = unpackgrib(f.get(), r)) == kGribEnd)
            break;
        if (first && out.empty())
            *first = r;
        out += status == kGribShortRead   ? 'S'
               : status == kGribMalformed ? 'M'
               : r.decoded                ? 'y'
               : r.damaged                ? 'd'
                                          : 'n';
        if ((out.back() == 'M' || out.back() == 'n' || out.back() == 'd') && r.skipped.empty())
            out += '?';
    }
    return out;
}

TEST(GribAgreement, EveryDecodedValueMatchesEcCodes) {
    const std::string samples = MUX_SHARED_DATA "/grib";
    if (!fs::is_directory(samples))
        GTEST_SKIP() << "no sample files in " << samples;
    if (!haveProgram("grib_get_data"))
        GTEST_SKIP() << "grib_get_data is not installed (Debian package libeccodes-tools; CI installs it)";
    unsigned compared = 0, skipped = 0;
    for (const auto& entry : fs::directory_iterator(samples)) {
        const std::string file = entry.path().string();
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(file.c_str(), "rb"), &std::fclose);
        ASSERT_TRUE(f) << file;
        GribRecord r;
        int status;
        for (unsigned number = 1; (status = unpackgrib(f.get(), r)) == kGribRead; ++number) {
            if (!r.decoded) {
                ++skipped; // edition 2 and grids the decoder leaves alone
                continue;
            }
            // Its lines: "Latitude Longitude Value", then one a point, "missing" where there is none.
            std::istringstream lines(run("grib_get_data -m missing -w count=" + std::to_string(number) + " " +
                                         quoted(file) + " 2>/dev/null")
                                         .output);
            std::string line, lat, lon, value;
            std::getline(lines, line);
            size_t k = 0;
            for (; lines >> lat >> lon >> value; ++k) {
                ASSERT_LT(k, r.values.size()) << file << " message " << number;
                const double expected =
                    value == "missing" ? kGribMissing : std::strtod(value.c_str(), nullptr);
                ASSERT_NEAR(r.values[k], expected, r.precision() * (1 + 1e-6) + 1e-9 * std::fabs(expected))
                    << file << " message " << number << " point " << k;
            }
            ASSERT_EQ(k, r.values.size()) << file << " message " << number;
            ++compared;
        }
        EXPECT_EQ(status, kGribEnd) << file << ": " << r.skipped;
    }
    // The five regular, rotated and polar-stereographic files hold 13 decodable messages.
    EXPECT_GE(compared, 13u);
    EXPECT_GE(skipped, 10u);
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
    std::vector<uint32_t> words = {0x47524942u, 0x01020304u};
    byteSwap(words);
    EXPECT_EQ(words, (std::vector<uint32_t>{0x42495247u, 0x04030201u}));
    byteSwap(std::span<uint32_t>{}); // nothing to turn
}

// Predefined grids 24 and 63 carry one pole value before the grid.
TEST(GribDecoder, GridTypesScanningAndWidths) {
    const struct {
        int gridType, scanMode, gridId, bits;
    } cases[] = {
        {0, 0x00, 255, 1}, {0, 0x80, 255, 17}, {0, 0x60, 255, 32}, {4, 0x00, 255, 24}, {10, 0x40, 255, 31},
        {3, 0x40, 255, 7}, {5, 0x40, 255, 0},  {0, 0x40, 24, 16},  {4, 0x00, 63, 8},   {5, 0x40, 24, 12},
    };
    for (const auto& c : cases) {
        GribSpec s;
        s.gridType = c.gridType, s.scanMode = c.scanMode, s.gridId = c.gridId, s.bits = c.bits;
        s.reference = -8, s.binaryScale = -1;
        const bool pole = c.gridId != 255 && c.gridType != 5;
        const uint32_t top = c.bits == 32 ? 0xffffffffu : (1u << c.bits) - 1;
        for (uint32_t k = 0; k < 6u + pole && c.bits > 0; ++k)
            s.packed.push_back(k == 1 ? top : (k * 2654435761u) & top);
        GribRecord r;
        ASSERT_EQ(decode(asText(buildGrib(s)), &r), "y") << c.gridType;
        ASSERT_EQ(r.values.size(), 6u) << c.gridType;
        for (size_t k = 0; k < 6; ++k)
            EXPECT_EQ(r.values[k], -8 + (c.bits ? s.packed[k + pole] : 0) * 0.5) << c.gridType << " at " << k;
    }
}

TEST(GribDecoder, ForecastTimes) {
    GribSpec s;
    s.year = 2000, s.month = 2, s.day = 28, s.hour = 18, s.packed = {0, 1, 2, 3, 4, 5};
    // Averages, sums and differences over a period hold at its end (P2), as ecCodes dates them.
    const struct {
        int unit, p1, p2, range;
        const char* date;
    } cases[] = {
        {1, 12, 0, 0, "2000-02-29T06:00:00Z"},   {1, 12, 0, 1, "2000-02-29T06:00:00Z"},
        {0, 90, 0, 0, "2000-02-28T19:30:00Z"},   {2, 1, 2, 3, "2000-03-01T18:00:00Z"},
        {11, 1, 2, 2, "2000-02-29T06:00:00Z"},   {1, 300, 0, 10, "2000-03-12T06:00:00Z"},
        {3, 1, 0, 0, "2000-03-29T18:00:00Z"},    {99, 5, 0, 0, "2000-02-28T18:00:00Z"},
        {1, 0, 6, 4, "2000-02-29T00:00:00Z"},    {1, 6, 12, 5, "2000-02-29T06:00:00Z"},
        {1, 6, 12, 113, "2000-02-29T00:00:00Z"}, {1, 6, 12, 51, "2000-02-28T18:00:00Z"},
    };
    for (const auto& c : cases) {
        s.timeUnit = c.unit, s.p1 = c.p1, s.p2 = c.p2, s.timeRange = c.range;
        GribRecord r;
        ASSERT_EQ(decode(asText(buildGrib(s)), &r), "y");
        EXPECT_EQ(isoDate(gribForecastDate(r)), c.date) << c.unit << " " << c.p1;
    }
    EXPECT_EQ(isoDate(parseIsoDate("2000-02-29").value()), "2000-02-29T00:00:00Z"); // as --date reads it
    for (const char* bad : {"2000-02-30", "2000-02-29T24:00", "2000-2-29", ""})
        EXPECT_FALSE(parseIsoDate(bad)) << bad;
}

TEST(GribDecoder, JunkDamageAndKindsItLeavesAlone) {
    const std::string good = gribMessage();
    auto patched = [&](size_t at, std::string bytes) {
        return good + good.substr(0, at) + bytes + good.substr(at + bytes.size());
    };
    const size_t bds = good.size() - 4 - (11 + 12 + 1); // 6 values of 16 bits, padded to even
    const std::string edition2 = std::string("GRIB\0\0\0\2\0\0\0\0\0\0\0\x20", 16) + std::string(16, 'x');
    const std::string junk = "junk GRIB\x07\x07\x07\x09 more" + good + std::string("GRIB\0\0\x18\0", 8) +
                             edition2 + "xx" + good + "tail";
    const struct {
        const char* what;
        std::string bytes;
        const char* outcome;
    } cases[] = {
        {"nothing", "", ""},
        {"junk, a false GRIB, editions 0 and 2", junk, "ynny"},
        {"a false GRIB whose length swallows the next message",
         good + std::string("GRIB\0\0\x40\x01", 8) + good, "yy"},
        {"complex packing", gribMessage(2, [](GribSpec& s) { s.bdsFlags = 0x40; }) + good, "ny"},
        {"spherical harmonics", gribMessage(2, [](GribSpec& s) { s.bdsFlags = 0x80; }) + good, "ny"},
        {"no grid description", gribMessage(2, [](GribSpec& s) { s.hasGds = false; }) + good, "ny"},
        {"quasi-regular",
         gribMessage(2, [](GribSpec& s) { s.ni = 0xffff, s.packed.clear(), s.bits = 0; }) + good, "ny"},
        {"grid type 50", gribMessage(2, [](GribSpec& s) { s.gridType = 50; }) + good, "ny"},
        {"Mercator", gribMessage(2, [](GribSpec& s) { s.gridType = 1; }) + good, "ny"},
        {"catalogued grid 24 without a pole value", gribMessage(2, [](GribSpec& s) { s.gridId = 24; }) + good,
         "yy"},
        {"cut inside", good + good.substr(0, good.size() - 5), "yS"},
        {"cut in indicator", good + good.substr(0, 6), "yS"},
        {"length past the file", patched(4, std::string("\x7f\xff\xff", 3)), "yS"},
        {"too short a length", patched(4, std::string("\0\0\x20", 3)), "yM"},
        {"no 7777 at the end", patched(good.size() - 1, "x"), "yM"},
        // Whole messages whose sections do not hold together: passed over, the file goes on.
        {"product section past the end", patched(8, std::string("\0\xff\xff", 3)) + good, "ydy"},
        {"product section too short", patched(8, std::string("\0\0\x05", 3)) + good, "ydy"},
        {"grid description too short", patched(8 + 28, std::string("\0\0\x10", 3)) + good, "ydy"},
        {"40 bits per value", patched(bds + 10, "\x28") + good, "ydy"},
        {"more points than data", good + gribMessage(2, [](GribSpec& s) { s.nj = 3; }) + good, "ydy"},
        {"absurd grid", good + gribMessage(2, [](GribSpec& s) { s.ni = s.nj = 65000, s.bits = 0; }) + good,
         "ydy"},
        {"empty grid", good + gribMessage(2, [](GribSpec& s) { s.ni = 0; }) + good, "ydy"},
        {"bit map short of the grid", good + gribMessage(2, [](GribSpec& s) { s.bitmap.emplace(3, true); }),
         "yd"},
        {"bit map asks for more values",
         good + gribMessage(2, [](GribSpec& s) { s.bitmap.emplace(6, true), s.packed.resize(2); }), "yd"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(c.bytes), c.outcome) << c.what;
}

} // namespace
