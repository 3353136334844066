// Shorelines from the GSHHG files of gmt-gshhg-low: placed where the earth has them, handed out
// by the bins that meet an area, across the date line too; absent or foreign files said so.

#include "nav/grib/Coastline.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace testing_support;

TEST(Coastline, WhereTheEarthHasThem) {
    const std::string crude = "/usr/share/gmt-gshhg/binned_GSHHS_c.nc";
    if (!fs::exists(crude))
        GTEST_SKIP() << "no " << crude << " (Debian package gmt-gshhg-low; CI installs it)";
    std::string why;
    const std::optional<Coastline> c = Coastline::read(crude, why);
    ASSERT_TRUE(c) << why;
    EXPECT_EQ(c->resolution(), "crude");
    // Iceland: a closed shore between 63.2 and 66.6 N, 13.4 and 24.6 W.
    size_t iceland = 0;
    for (const GribPolyline& line : c->lines({-30, -10, 60, 70}))
        for (NavPoint p : line)
            iceland += p.x > -24.7f && p.x < -13.3f && p.y > 63.2f && p.y < 66.7f;
    EXPECT_GT(iceland, 10u);
    // Open sea has none: the middle of the South Pacific.
    for (const GribPolyline& line : c->lines({-130, -125, -45, -40}))
        for (NavPoint p : line)
            EXPECT_FALSE(p.x > -130 && p.x < -125 && p.y > -45 && p.y < -40) << p.x << " " << p.y;
    // Across the date line the shores keep counting east: Fiji's at 178 E and 180.5 (179.5 W).
    bool east = false, pastDateLine = false;
    for (const GribPolyline& line : c->lines({170, 190, -20, -15}))
        for (NavPoint p : line) {
            east = east || (p.x > 177 && p.x < 179 && p.y > -19 && p.y < -16);
            pastDateLine = pastDateLine || (p.x > 180 && p.x < 181 && p.y > -20 && p.y < -15);
        }
    EXPECT_TRUE(east);
    EXPECT_TRUE(pastDateLine);
}

TEST(Coastline, AbsentOrForeignData) {
    TempFolder dir;
    std::string why;
    EXPECT_FALSE(Coastline::read(dir.file("binned_GSHHS_c.nc"), why));
    EXPECT_NE(why.find("gmt-gshhg-low"), std::string::npos) << why;
    spit(dir.file("binned_GSHHS_l.nc"), "CDF\x01 but nothing more");
    EXPECT_FALSE(Coastline::read(dir.file("binned_GSHHS_l.nc"), why));
    ::setenv("MUX_COASTLINE_DIR", dir.path.c_str(), 1);
    EXPECT_EQ(Coastline::pathFor(1.0), dir.file("binned_GSHHS_c.nc"));
    EXPECT_EQ(Coastline::pathFor(0.05), dir.file("binned_GSHHS_l.nc"));
    EXPECT_EQ(Coastline::pathFor(0.001), dir.file("binned_GSHHS_i.nc"));
    ::unsetenv("MUX_COASTLINE_DIR");
    EXPECT_EQ(Coastline::dataFolder(), "/usr/share/gmt-gshhg");
}

} // namespace
