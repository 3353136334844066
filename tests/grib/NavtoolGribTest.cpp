// navtool grib run as a separate process.

#include "tests/grib/GribBuilder.h"

#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace testing_support;

const std::string kSamples = MUX_SHARED_DATA "/grib";

Outcome grib(const std::string& args) {
    return navtool("grib " + args);
}

size_t lines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

TEST(NavtoolGrib, ListAndDumpSamples) {
    if (!std::filesystem::exists(kSamples + "/gfs-north-atlantic.grib1"))
        GTEST_SKIP() << "no sample files in " << kSamples;
    Outcome o = grib("list '" + kSamples + "/gfs-north-atlantic.grib1'");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(lines(o.output), 5u);
    EXPECT_EQ(
        o.output.substr(0, o.output.find('\n')),
        "1 parameter=33 level=105:10 grid=0 size=41x25 first=70.000,250.000 di=2.500 dj=2.500 scan=0x00 "
        "date=2011-10-08T06:00:00Z decoded");
    o = grib("list '" + kSamples + "/flux.grb'");
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.output.find("4 edition=2 skipped: edition 2 is not decoded\n"), std::string::npos);
    o = grib("list '" + kSamples + "/spherical_pressure_level.grib1'");
    EXPECT_NE(o.output.find("skipped: grid type 50 is not decoded"), std::string::npos);

    o = grib("dump '" + kSamples + "/gfs-north-atlantic.grib1' 3");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(lines(o.output), 1026u);
    EXPECT_EQ(o.output.substr(0, 61), "Latitude Longitude Value\n   70.000  250.000 1.0236287500e+05\n");
    o = grib("dump '" + kSamples + "/ocean-south-to-north.grib1' 1");
    EXPECT_EQ(o.output.substr(25, 27), "  -90.000    0.000 missing\n");
    EXPECT_EQ(grib("dump '" + kSamples + "/gfs-north-atlantic.grib1' 6").status, 1);
    EXPECT_EQ(grib("dump '" + kSamples + "/flux.grb' 1").status, 1);
}

TEST(NavtoolGrib, FilesItCannotRead) {
    GribSpec s;
    s.packed = {1, 2, 3, 4, 5, 6};
    const std::string good = asText(buildGrib(s));
    const TempFolder folder;
    auto scratchFile = [&](const std::string& name, const std::string& bytes) {
        spit(folder.path / name, bytes);
        return quoted(folder.file(name));
    };
    const struct {
        const char* what;
        std::string args;
        int status;
        const char* says;
    } cases[] = {
        {"absent", "list /nonexistent/x.grib", 1, "cannot read"},
        {"not GRIB", "list " + scratchFile("text", "just some text\n"), 1, "holds no GRIB message"},
        {"cut short", "list " + scratchFile("cut", good + good.substr(0, 30)), 1, "ends inside message 2"},
        {"damaged",
         "list " + scratchFile("bad", good.substr(0, 8) + std::string("\0\xff\xff", 3) + good.substr(11)), 1,
         "is damaged"},
        {"bad bzip2", "list " + scratchFile("bad.bz2", "nope"), 1, "cannot unpack"},
        {"message 0", "dump " + scratchFile("good", good) + " 0", 2, "usage"},
        {"no file", "list", 2, "usage"},
        {"unknown", "frobnicate", 2, "unknown grib command"},
    };
    for (const auto& c : cases) {
        const Outcome o = grib(c.args);
        EXPECT_EQ(o.status, c.status) << c.what << ": " << o.output;
        EXPECT_NE(o.output.find(c.says), std::string::npos) << c.what << ": " << o.output;
    }
    const Outcome cut = grib("list " + scratchFile("cut", good + good.substr(0, 30)));
    EXPECT_EQ(cut.output.substr(0, 2), "1 "); // what came before is listed
}

TEST(NavtoolGrib, Requests) {
    const struct {
        std::string args;
        int status;
        std::string output;
    } cases[] = {
        {"request 10.5S 30.9W 20.2N 40E", 0, "GFS:10S,20N,30W,40E|0.5,0.5|0,12..72|WIND,PRMSL\n"},
        {"request -10.5 -30.9 20.2 40 --for currents", 0,
         "RTOFS:10S,20N,30W,40E|0.25,0.25|0,12..120|CUR,WTMP\n"},
        {"request 50N 10W 60N 0 --model GFS --params RAIN --resolution 1 --interval 6 --days 2", 0,
         "GFS:50N,60N,10W,0W|1.0,1.0|0,6..48|RAIN\n"},
        {"request 50N 10W 60N 0 --for wave --mailto", 0,
         "mailto:gribrequest@example.org?subject=GRIB%20Request&body=WW3%3A50N%2C60N%2C10W%2C0W%7C0.5%2C0.5%"
         "7C0%"
         "2C12..72%7CHTSGW%2CWVDIR\n"},
        {"request 91N 10W 60N 0", 2, ""},
        {"request 50N 10W 60N 0 --for snow", 2, ""},
        {"request 50N 10W 60N 0 --days", 2, ""},
        {"request 50N 10W 60N", 2, ""},
    };
    for (const auto& c : cases) {
        const Outcome o = grib(c.args);
        EXPECT_EQ(o.status, c.status) << c.args << ": " << o.output;
        if (c.status == 0) {
            EXPECT_EQ(o.output, c.output) << c.args;
        }
    }
#ifndef MUX_GRIB_RENDER
    const Outcome render = grib("render x.grib out.png");
    EXPECT_EQ(render.status, 1);
    EXPECT_NE(render.output.find("unavailable"), std::string::npos);
#endif
}

} // namespace
