// navtool grib as a separate process: what it prints for samples, broken files and requests.

#include "tests/grib/GribBuilder.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace testing_support;

TEST(NavtoolGrib, CommandsAndWhatTheySay) {
    const std::string samples = MUX_SHARED_DATA "/grib/", gfs = quoted(samples + "gfs-north-atlantic.grib1");
    const bool haveSamples = fs::exists(samples + "gfs-north-atlantic.grib1");
    const std::string good = gribMessage();
    const TempFolder folder;
    auto scratch = [&](const std::string& name, const std::string& bytes) {
        spit(folder.path / name, bytes);
        return quoted(folder.file(name));
    };
    const struct {
        std::string args;
        int status;
        std::string says;
        bool sample = false;
    } cases[] = {
        {"list " + gfs, 0,
         "1 parameter=33 level=105:10 grid=0 size=41x25 first=70.000,250.000 di=2.500 dj=2.500 scan=0x00 "
         "date=2011-10-08T06:00:00Z decoded\n2 ",
         true},
        {"list '" + samples + "flux.grb'", 0, "4 edition=2 skipped: edition 2 is not decoded\n", true},
        {"list '" + samples + "spherical_pressure_level.grib1'", 0, "skipped: grid type 50 is not decoded",
         true},
        {"dump " + gfs + " 3", 0, "Latitude Longitude Value\n   70.000  250.000 1.0236287500e+05\n", true},
        {"dump '" + samples + "ocean-south-to-north.grib1' 1", 0, "  -90.000    0.000 missing\n", true},
        {"dump " + gfs + " 6", 1, "has 5 messages, not 6", true},
        {"dump '" + samples + "flux.grb' 1", 1, "message 1 is not decoded", true},
        {"list /nonexistent/x.grib", 1, "cannot read"},
        {"list " + scratch("text", "just some text\n"), 1, "holds no GRIB message"},
        {"list " + scratch("cut", good + good.substr(0, 30)), 1,
         "decoded\nnavtool: \"" + folder.file("cut") + "\" ends inside message 2"},
        {"list " + scratch("bad", good.substr(0, 8) + std::string("\0\xff\xff", 3) + good.substr(11) + good),
         1, "1 damaged: product section runs past the message\nnavtool: message 1 of"},
        {"list " + scratch("bad2", good.substr(0, 8) + std::string("\0\xff\xff", 3) + good.substr(11) + good),
         1, "\n2 parameter=2 "},
        {"times " + gfs, 0,
         "valid                 run                   lead     fields\n2011-10-08T06:00:00Z  "
         "2011-10-08T00:00:00Z  "
         "+6 h     wind, pressure, temperature, height500 (41x25)\n",
         true},
        {"times " + scratch("cut2", good + good.substr(0, 30)), 1, "ends inside message 2"},
        {"list " + scratch("bad.bz2", "nope"), 1, "cannot unpack"},
        {"dump " + scratch("good", good) + " 0", 2, "usage"},
        {"list", 2, "usage"},
        {"frobnicate", 2, "unknown grib command"},
        {"request 10.5S 30.9W 20.2N 40E", 0, "GFS:10S,20N,30W,40E|0.5,0.5|0,12..72|WIND,PRMSL\n"},
        {"request -10.5 -30.9 20.2 40 --for currents", 0,
         "RTOFS:10S,20N,30W,40E|0.25,0.25|0,12..120|CUR,WTMP\n"},
        {"request 50N 10W 60N 0 --model GFS --params RAIN --resolution 1 --interval 6 --days 2", 0,
         "GFS:50N,60N,10W,0W|1.0,1.0|0,6..48|RAIN\n"},
        {"request 50N 10W 60N 0 --for wave --mailto", 1, "no request service address yet"},
        {"request 50N 10W 60N 0 --send", 1, "no request service address yet"},
        {"request --to 'grib@service.test, x@y'", 2, "is not a mail address"},
        {"request --to grib@service.test", 0, "go to grib@service.test from now on"},
        {"request 50N 10W 60N 0 --for wave --mailto", 0,
         "mailto:grib@service.test?subject=GRIB%20Request&body=WW3%3A50N%2C60N%2C10W%2C0W%7C0.5%2C0.5%"
         "7C0%"
         "2C12..72%7CHTSGW%2CWVDIR\n"},
        {"request 91N 10W 60N 0", 2, "the corners are LAT1 LON1 LAT2 LON2"},
        {"request 50N 10W 60N 0 --for snow", 2, "--for \"snow\" is not valid"},
        {"request 50N 10W 60N 0 --days", 2, "--days needs a value"},
        {"request 50N 10W 60N 0 --resolution 0.25", 2, "--resolution 0.25 cannot be asked for"},
        {"request 50N 10W 60N", 2, "usage"},
#ifndef MUX_GRIB_RENDER
        {"render x.grib out.png", 1, "grib render is unavailable"},
#endif
    };
    for (const auto& c : cases) {
        if (c.sample && !haveSamples)
            continue;
        // The request address is remembered in the folder's settings, not the user's.
        const Outcome o = navtool("grib " + c.args, "env XDG_CONFIG_HOME=" + quoted(folder.path.string()));
        EXPECT_EQ(o.status, c.status) << c.args << ": " << o.output;
        EXPECT_NE(o.output.find(c.says), std::string::npos) << c.args << ": " << o.output;
    }
    if (haveSamples) { // a heading, then every point of the grid
        const std::string dump = navtool("grib dump " + gfs + " 3").output;
        EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 1 + 41 * 25);
    }
}

} // namespace
