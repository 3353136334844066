// Decoded values agree with ecCodes' grib_get_data, message by message, on every sample file.

#include "nav/grib/GribDecoder.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace testing_support;

const std::string kSamples = MUX_SHARED_DATA "/grib";

// grib_get_data's values of one message; NaN where it reports "missing".
std::vector<double> oracleValues(const std::string& file, unsigned message) {
    std::istringstream lines(run("(grib_get_data -m missing -w count=" + std::to_string(message) + " " +
                                 quoted(file) + " 2>/dev/null)")
                                 .output);
    std::vector<double> values;
    for (std::string line, lat, lon, value; std::getline(lines, line);) {
        std::istringstream fields(line);
        if ((fields >> lat >> lon >> value) && lat != "Latitude")
            values.push_back(value == "missing" ? NAN : std::strtod(value.c_str(), nullptr));
    }
    return values;
}

TEST(GribAgreement, EveryDecodedValueMatchesEcCodes) {
    if (!fs::is_directory(kSamples))
        GTEST_SKIP() << "no sample files in " << kSamples;
    if (!haveProgram("grib_get_data"))
        GTEST_SKIP() << "grib_get_data is not installed (Debian package libeccodes-tools; CI installs it)";
    unsigned compared = 0, skipped = 0;
    for (const auto& entry : fs::directory_iterator(kSamples)) {
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
            const std::vector<double> expected = oracleValues(file, number);
            ASSERT_EQ(expected.size(), r.values.size()) << file << " message " << number;
            for (size_t k = 0; k < expected.size(); ++k) {
                const double tolerance = r.precision() * (1 + 1e-6) + 1e-9 * std::fabs(expected[k]);
                if (std::isnan(expected[k])) {
                    ASSERT_EQ(r.values[k], kGribMissing) << file << " message " << number << " point " << k;
                } else {
                    ASSERT_NEAR(r.values[k], expected[k], tolerance)
                        << file << " message " << number << " point " << k;
                }
            }
            ++compared;
        }
        EXPECT_EQ(status, kGribEnd) << file << ": " << r.skipped;
    }
    // The five regular, rotated and polar-stereographic files hold 13 decodable messages.
    EXPECT_GE(compared, 13u);
    EXPECT_GE(skipped, 10u);
}

} // namespace
