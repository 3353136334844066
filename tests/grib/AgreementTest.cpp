// Decoded values agree with ecCodes' grib_get_data, message by message, on the sample files.

#include "nav/grib/GribDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kSamples = MUX_SHARED_DATA "/grib";

std::string run(const std::string& command) {
    std::string out;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
    char buffer[1 << 16];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    return out;
}

// grib_get_data's values of one message; NaN where it reports "missing".
std::vector<double> oracleValues(const std::string& file, unsigned message) {
    const std::string text =
        run("grib_get_data -m missing -w count=" + std::to_string(message) + " '" + file + "' 2>/dev/null");
    std::istringstream lines(text);
    std::vector<double> values;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string lat, lon, value;
        if (!(fields >> lat >> lon >> value) || lat == "Latitude")
            continue;
        values.push_back(value == "missing" ? NAN : std::strtod(value.c_str(), nullptr));
    }
    return values;
}

std::vector<std::string> sampleFiles() {
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(kSamples.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.')
                files.push_back(kSamples + "/" + e->d_name);
        ::closedir(dir);
    }
    return files;
}

TEST(GribAgreement, EveryDecodedValueMatchesEcCodes) {
    const std::vector<std::string> files = sampleFiles();
    if (files.empty())
        GTEST_SKIP() << "no sample files in " << kSamples;
    if (std::system("command -v grib_get_data >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "grib_get_data is not installed (Debian package libeccodes-tools)";
    unsigned compared = 0, skipped = 0;
    for (const std::string& file : files) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(file.c_str(), "rb"), &std::fclose);
        ASSERT_TRUE(f) << file;
        GribRecord r;
        unsigned number = 0;
        int status;
        while ((status = unpackgrib(f.get(), r)) == kGribRead) {
            ++number;
            if (!r.decoded) {
                ++skipped; // edition 2 and grids the decoder leaves alone
                continue;
            }
            const std::vector<double> expected = oracleValues(file, number);
            ASSERT_EQ(expected.size(), r.values.size()) << file << " message " << number;
            const double tolerance = r.precision() * (1 + 1e-6);
            for (size_t k = 0; k < expected.size(); ++k) {
                if (std::isnan(expected[k])) {
                    ASSERT_EQ(r.values[k], kGribMissing) << file << " message " << number << " point " << k;
                } else {
                    ASSERT_NEAR(r.values[k], expected[k], tolerance + 1e-9 * std::fabs(expected[k]))
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
