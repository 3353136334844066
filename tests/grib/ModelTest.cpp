// The forecast model: loading and grouping grids, geometry, derived values, units, Beaufort
// classes and the e-mail requests.

#include "nav/grib/GribModel.h"
#include "tests/grib/GribBuilder.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <bzlib.h>
#include <cmath>

namespace {

using namespace testing_support;

// A scratch folder that writes files and answers their paths.
struct TempDir : TempFolder {
    std::string write(const std::string& name, const std::string& bytes) const {
        spit(path / name, bytes);
        return file(name);
    }
};

GribSpec field(int parameter, int p1 = 0) {
    GribSpec s;
    s.parameter = parameter;
    s.p1 = p1;
    s.packed = {0, 1, 2, 3, 4, 5};
    s.reference = 100;
    return s;
}

std::string message(const GribSpec& s) {
    return asText(buildGrib(s));
}

TEST(GribModel, GroupsSortsAndFilters) {
    TempDir dir;
    GribSpec other = field(11);
    other.gridType = 10; // rotated: not loaded
    GribSpec local = field(80);
    local.tableVersion = 128; // a centre's own table: 80 means something else there
    GribSpec secondLevel = field(33);
    secondLevel.reference = 500;
    const std::string file =
        dir.write("f.grib", message(field(2, 12)) + message(field(33)) + message(field(34)) +
                                message(field(167)) + message(other) + message(local) + message(secondLevel));
    GribModel model;
    ASSERT_TRUE(model.loadGrib(file));
    EXPECT_EQ(model.filename(), file);
    ASSERT_EQ(model.gribPoints().size(), 2u);
    const GribPoints& first = model.gribPoints()[0];
    EXPECT_TRUE(first.hasWind());
    EXPECT_FALSE(first.hasPressure() || first.hasAirTemperature() || first.hasSeaTemperature());
    EXPECT_EQ(first.uWindComponent(1), 101.0f); // the first level stays
    EXPECT_EQ(first.values(GribField::uWind).size(), 6u);
    EXPECT_TRUE(model.gribPoints()[1].hasPressure());
    EXPECT_EQ(model.gribPoints()[1].forecastDate() - first.forecastDate(), std::chrono::hours(12));
    ASSERT_EQ(model.forecastDates().size(), 2u);
    EXPECT_EQ(model.viewForecastDate(), model.forecastDates()[0]);
    EXPECT_TRUE(model.canBarb());
    EXPECT_FALSE(model.canContour());
    model.setViewForecastDate(model.forecastDates()[1]);
    EXPECT_FALSE(model.canBarb());
    EXPECT_TRUE(model.canContour());
    ASSERT_EQ(model.gribPointsOnView().size(), 1u);

    model.close();
    EXPECT_TRUE(model.gribPoints().empty());
    EXPECT_TRUE(model.filename().empty());
    EXPECT_FALSE(model.loadGrib((dir.path / "absent.grib").string()));
    EXPECT_TRUE(model.gribPoints().empty());
}

TEST(GribModel, IncrementsRowsAndGeometry) {
    const struct {
        int scanMode;
        float latitudeIncrement, longitudeIncrement;
        float valueAtRow1Column0;
    } cases[] = {
        {0x00, -1, 1, 103},  {0x40, 1, 1, 103}, {0x80, -1, -1, 103}, {0xC0, 1, -1, 103},
        {0x01, -1, -1, 103}, {0x02, 1, 1, 103}, {0x60, 1, 1, 101}, // columns in the file: transposed
    };
    TempDir dir;
    for (const auto& c : cases) {
        GribSpec s = field(2);
        s.scanMode = c.scanMode;
        GribModel model;
        ASSERT_TRUE(model.loadGrib(dir.write("s.grib", message(s))));
        ASSERT_EQ(model.gribPoints().size(), 1u);
        const GribPoints& g = model.gribPoints()[0];
        EXPECT_EQ(g.latitudeIncrement(), c.latitudeIncrement) << c.scanMode;
        EXPECT_EQ(g.longitudeIncrement(), c.longitudeIncrement) << c.scanMode;
        EXPECT_EQ(g.pressure(3), c.valueAtRow1Column0) << c.scanMode;
        EXPECT_EQ(g.pressure(6), kGribMissingFloat);
    }
    GribPoints g;
    g.setPositionOnGPS({-20, 60});
    g.setIncrement(-2.5f, 2.5f);
    g.setCount(4, 10);
    EXPECT_EQ(g.extentOnGPS(), (NavPoint{5, 50}));
    EXPECT_EQ(g.size(), (NavPoint{25, 10}));
    EXPECT_EQ(g.centerOnGPS(), (NavPoint{-7.5f, 55}));
}

TEST(GribModel, DamagedAndCompressedFiles) {
    TempDir dir;
    const std::string good = message(field(2));
    GribModel model;
    ASSERT_TRUE(model.loadGrib(dir.write("cut.grib", good + good.substr(0, good.size() / 2))));
    EXPECT_EQ(model.gribPoints().size(), 1u); // what came before the damage stays

    std::string packed(good.size() * 2 + 600, '\0');
    unsigned length = unsigned(packed.size());
    std::string plain = message(field(33)) + message(field(34));
    ASSERT_EQ(BZ2_bzBuffToBuffCompress(packed.data(), &length, plain.data(), unsigned(plain.size()), 9, 0, 0),
              BZ_OK);
    packed.resize(length);
    ASSERT_TRUE(model.loadGrib(dir.write("wind.grib.BZ2", packed)));
    ASSERT_EQ(model.gribPoints().size(), 1u);
    EXPECT_TRUE(model.gribPoints()[0].hasWind());

    dir.write("junk.grib", good); // a stale unpacking must not be read in place of bad data
    EXPECT_FALSE(model.loadGrib(dir.write("junk.grib.bz2", "not bzip2 at all")));
    EXPECT_TRUE(model.gribPoints().empty());
}

TEST(GribPoints, SpeedsAndDirections) {
    const struct {
        float u, v, knots, from;
    } cases[] = {
        {10, 0, 19.438f, 270}, {-10, 0, 19.438f, 90},        {0, 10, 19.438f, 180},
        {0, -10, 19.438f, 0},  {5, 5, 13.745f, 225},         {-3, 4, 9.719f, 143.13f},
        {0, 0, 0, 0},          {kGribMissingFloat, 3, 0, 0}, {3, NAN, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(GribPoints::speed(c.u, c.v), c.knots, 0.001f) << c.u << "," << c.v;
        EXPECT_NEAR(GribPoints::direction(c.u, c.v), c.from, 0.01f) << c.u << "," << c.v;
    }
    GribPoints g;
    g.adduCurrentComponent(-1); // no v: no current
    EXPECT_FALSE(g.hasCurrent());
    EXPECT_EQ(g.currentSpeed(0), 0.0f);
    EXPECT_EQ(g.windSpeed(7), 0.0f);
}

TEST(GribPoints, UnitConversions) {
    const struct {
        float value;
        unsigned units;
        float temperature, rate, height;
    } cases[] = {
        {288.15f, 1, 14.99f, 288.15f * 360, 288.15f},
        {15, 1, 15, 15 * 360, 15},
        {288.15f, 0, 58.982f, 288.15f * 141.732f, 945.36f},
        {15, 0, 59, 15 * 141.732f, 49.212f},
        {15, 2, 288.15f, 15 * 360, 49.212f},
        {218, 0, -67.288f, 218 * 141.732f, 715.21f}, // cold air, not Celsius
        {300, 7, 0, 300, 0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(GribPoints::temperature(c.value, c.units), c.temperature, 0.01f)
            << c.value << " " << c.units;
        EXPECT_NEAR(GribPoints::rate(c.value, c.units), c.rate, std::fabs(c.rate) * 1e-4f) << c.value;
        EXPECT_NEAR(GribPoints::height(c.value, c.units), c.height, 0.01f) << c.value << " " << c.units;
    }
}

TEST(GribModel, BeaufortClasses) {
    GribModel model;
    const struct {
        float knots;
        int index;
    } cases[] = {{25, 6},  {0.05f, -1}, {0.1f, 0}, {1, 1},  {63.99f, 11},
                 {64, 12}, {999, -1},   {NAN, -1}, {-3, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(model.beaufortIndex(c.knots), c.index) << c.knots;
    EXPECT_EQ(model.beaufortColor(25), (BeaufortColor{1.0f, 0.8f, 0.6f, 1}));
    EXPECT_FALSE(model.beaufortColor(0.05f));
    EXPECT_EQ(model.beaufortScale().size(), 13u);
}

TEST(GribModel, RequestTexts) {
    GribModel model;
    const NavPoint southWest{-30.9f, -10.5f}, northEast{40, 20.2f};
    // GFS and RTOFS texts are checked through navtool grib request.
    EXPECT_EQ(model.requestText(southWest, northEast, "COAMPS", "WIND,PRMSL"),
              "COAMPS:10S,20N,30W,40E|0.2,0.2|0,6..48|WIND,PRMSL");
    model.setResolution(1), model.setInterval(6), model.setDays(5);
    EXPECT_EQ(model.requestText({0, 0}, {1.9f, 0.5f}, "WW3", "HTSGW"),
              "WW3:0S,0N,0W,1E|1.0,1.0|0,6..120|HTSGW");
    for (NavPoint bad : {kNoNavPoint, NavPoint{NAN, 0}, NavPoint{0, 91}, NavPoint{181, 0}})
        EXPECT_FALSE(model.requestText(bad, northEast, "GFS", "WIND")) << bad.x << "," << bad.y;

    EXPECT_FALSE(model.requestGribWindSurface(southWest, northEast)); // nobody to hand the mail to
    std::string sent;
    model.setMailer([&](const std::string& mailto) {
        sent = mailto;
        return true;
    });
    model.setResolution(0.5f), model.setInterval(12), model.setDays(3);
    EXPECT_TRUE(model.requestGribCurrents(southWest, northEast));
    EXPECT_EQ(sent, std::string("mailto:") + kGribRequestAddress +
                        "?subject=GRIB%20Request&body=RTOFS%3A10S%2C20N%2C30W%2C40E%7C0.25%2C0.25%7C0%2C12.."
                        "120%7CCUR%2CWTMP");
    EXPECT_FALSE(model.requestGribWave(kNoNavPoint, northEast));
    EXPECT_TRUE(model.canRequestGrib());
}

} // namespace
