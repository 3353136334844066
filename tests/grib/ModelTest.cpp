// The forecast model: which grids load, rows in order, derived values, Beaufort classes, requests.

#include "nav/grib/GribModel.h"
#include "nav/grib/GribUnpack.h"
#include "tests/grib/GribBuilder.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace testing_support;

TEST(GribModel, GroupsSortsAndFilters) {
    TempFolder dir;
    // Not loaded: a rotated grid (air temperature), a centre's own table (80 would read as sea
    // temperature), a second level of a field already held.
    spit(dir.file("f.grib"), gribMessage(2, [](GribSpec& s) { s.p1 = 12; }) + gribMessage(33) +
                                 gribMessage(34) + gribMessage(167) +
                                 gribMessage(11, [](GribSpec& s) { s.gridType = 10; }) +
                                 gribMessage(80, [](GribSpec& s) { s.tableVersion = 128; }) +
                                 gribMessage(33, [](GribSpec& s) { s.reference = 500; }));
    GribModel model;
    ASSERT_TRUE(model.loadGrib(dir.file("f.grib")));
    ASSERT_EQ(model.gribPoints().size(), 2u);
    const GribPoints& first = model.gribPoints()[0];
    EXPECT_TRUE(first.hasWind());
    EXPECT_FALSE(first.hasPressure());
    EXPECT_FALSE(first.hasAirTemperature());
    EXPECT_FALSE(first.hasSeaTemperature());
    EXPECT_EQ(first.uWindComponent(1), 1.0f);
    EXPECT_EQ(first.values(GribField::uWind).size(), 6); // first level
    EXPECT_TRUE(model.gribPoints()[1].hasPressure());
    EXPECT_EQ(model.gribPoints()[1].forecastDate() - first.forecastDate(), std::chrono::hours(12));
    EXPECT_EQ(model.viewForecastDate(), first.forecastDate());
    EXPECT_TRUE(model.canBarb());
    EXPECT_FALSE(model.canContour());
    model.setViewForecastDate(model.forecastDates()[1]);
    EXPECT_TRUE(model.canContour());
    EXPECT_FALSE(model.canBarb());
    EXPECT_EQ(model.gribPointsOnView().size(), 1);
    EXPECT_FALSE(model.loadGrib(dir.file("absent.grib")));
    EXPECT_TRUE(model.gribPoints().empty());
}

TEST(GribModel, RowsRunNorthToSouthOrAsGiven) {
    const struct {
        int scanMode;
        float latitudeIncrement, longitudeIncrement, valueAtRow1Column0;
    } cases[] = {
        {0x00, -1, 1, 3}, {0x40, 1, 1, 3}, {0xC0, 1, -1, 3}, {0x60, 1, 1, 1}, // 0x20: transposed
    };
    TempFolder dir;
    for (const auto& c : cases) {
        spit(dir.file("s.grib"), gribMessage(2, [&](GribSpec& s) { s.scanMode = c.scanMode; }));
        GribModel model;
        ASSERT_TRUE(model.loadGrib(dir.file("s.grib")));
        const GribPoints& g = model.gribPoints().at(0);
        EXPECT_EQ(g.latitudeIncrement(), c.latitudeIncrement) << c.scanMode;
        EXPECT_EQ(g.longitudeIncrement(), c.longitudeIncrement) << c.scanMode;
        EXPECT_EQ(g.pressure(3), c.valueAtRow1Column0) << c.scanMode;
        EXPECT_EQ(g.pressure(6), kGribMissingFloat);
    }
}

TEST(GribModel, DamagedFilesKeepWhatCameBeforeAndSaySo) {
    TempFolder dir;
    const std::string good = gribMessage(2);
    spit(dir.file("cut.grib"), good + good.substr(0, good.size() / 2));
    GribModel model;
    ASSERT_TRUE(model.loadGrib(dir.file("cut.grib")));
    EXPECT_EQ(model.gribPoints().size(), 1u); // what came before the damage stays
    EXPECT_TRUE(model.loadDamaged());
    EXPECT_EQ(model.loadNotes(), std::vector<std::string>{"the file ends inside message 2"});

    // More values than the model holds: the first grids stay, the rest are named as left out.
    spit(dir.file("many.grib"), gribMessage(2) + gribMessage(33) + gribMessage(34) + gribMessage(11));
    model.setMaxHeldValues(12);
    ASSERT_TRUE(model.loadGrib(dir.file("many.grib")));
    EXPECT_TRUE(model.gribPoints().at(0).hasPressure());
    EXPECT_TRUE(model.gribPoints()[0].has(GribField::uWind));
    EXPECT_FALSE(model.gribPoints()[0].has(GribField::vWind));
    EXPECT_FALSE(model.loadDamaged());
    EXPECT_EQ(model.loadNotes(),
              std::vector<std::string>{"messages 3 to 4 left out: a forecast holds at most 12 values"});
    EXPECT_TRUE(model.loadGrib(dir.file("cut.grib"))) << "notes are per load";
    EXPECT_EQ(model.loadNotes().size(), 1) << "notes are per load";

    spit(dir.file("wind.grib.BZ2"), bzip2Text(gribMessage(33) + gribMessage(34)));
    ASSERT_TRUE(model.loadGrib(dir.file("wind.grib.BZ2")));
    EXPECT_TRUE(model.gribPoints().at(0).hasWind());
    EXPECT_TRUE(model.loadNotes().empty());
}

// Unpacking is bounded, leaves nothing behind when it fails, and replaces only an earlier
// unpacking of the same input.
TEST(GribUnpack, BoundedAtomicAndCarefulWithOtherFiles) {
    TempFolder dir;
    const std::string good = gribMessage(2), other = gribMessage(33);
    auto leftovers = [&] {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(dir.path))
            n += entry.path().filename().string().find(".partial-") != std::string::npos;
        return n;
    };
    spit(dir.file("bomb.grib.bz2"), bzip2Text(std::string(3 << 20, '\0')));
    GribUnpacked u = unpackGribBz2(dir.file("bomb.grib.bz2"), 1 << 20);
    EXPECT_FALSE(u.ok) << u.error;
    EXPECT_NE(u.error.find("unpacks to more than 1 MiB"), std::string::npos) << u.error;
    EXPECT_FALSE(fs::exists(dir.file("bomb.grib")));

    spit(dir.file("junk.grib"), good); // a stale unpacking must not be read in place of bad data
    spit(dir.file("junk.grib.bz2"), "not bzip2 at all");
    GribModel model;
    EXPECT_FALSE(model.loadGrib(dir.file("junk.grib.bz2")));
    EXPECT_TRUE(model.gribPoints().empty());
    EXPECT_NE(model.loadNotes().at(0).find("not bzip2"), std::string::npos);
    spit(dir.file("cut.grib.bz2"), bzip2Text(good).substr(0, 40));
    EXPECT_FALSE(unpackGribBz2(dir.file("cut.grib.bz2")).ok);

    spit(dir.file("mine.grib"), other); // the user's own file of that name stays as it is
    spit(dir.file("mine.grib.bz2"), bzip2Text(good));
    u = unpackGribBz2(dir.file("mine.grib.bz2"));
    EXPECT_FALSE(u.ok) << u.error;
    EXPECT_NE(u.error.find("is not an unpacking of it"), std::string::npos) << u.error;
    EXPECT_EQ(slurp(dir.file("mine.grib")), other);
    fs::remove(dir.file("mine.grib"));
    ASSERT_TRUE(unpackGribBz2(dir.file("mine.grib.bz2")).ok);
    EXPECT_TRUE(unpackGribBz2(dir.file("mine.grib.bz2")).ok) << "an earlier unpacking is replaced";
    spit(dir.file("mine.grib.bz2"), bzip2Text(good + good)); // a new download of the same name
    EXPECT_FALSE(unpackGribBz2(dir.file("mine.grib.bz2")).ok) << "other bytes, other time";
    EXPECT_EQ(slurp(dir.file("mine.grib")), good);
    EXPECT_EQ(leftovers(), 0u);
}

TEST(GribPoints, SpeedsDirectionsAndUnits) {
    const struct {
        float u, v, knots, from;
    } winds[] = {
        {10, 0, 19.438f, 270}, {0, -10, 19.438f, 0}, {-3, 4, 9.719f, 143.13f}, {0, 0, 0, 0}, {3, NAN, 0, 0},
    };
    for (const auto& c : winds) {
        EXPECT_NEAR(GribPoints::speed(c.u, c.v), c.knots, 0.001f) << c.u << "," << c.v;
        EXPECT_NEAR(GribPoints::direction(c.u, c.v), c.from, 0.01f) << c.u << "," << c.v;
    }
    // Temperatures below 100 are Celsius already; 218 is cold air in kelvin.
    const struct {
        float value;
        unsigned units;
        float temperature, height;
    } units[] = {
        {288.15f, 1, 14.99f, 288.15f}, {15, 1, 15, 15}, {15, 0, 59, 49.212f}, {15, 2, 288.15f, 49.212f},
        {218, 0, -67.288f, 715.21f},   {300, 7, 0, 0},
    };
    for (const auto& c : units) {
        EXPECT_NEAR(GribPoints::temperature(c.value, c.units), c.temperature, 0.01f)
            << c.value << " " << c.units;
        EXPECT_NEAR(GribPoints::height(c.value, c.units), c.height, 0.01f) << c.value << " " << c.units;
    }
    GribPoints g;
    g.adduCurrentComponent(-1); // no v: no current
    EXPECT_FALSE(g.hasCurrent());
    EXPECT_EQ(g.currentSpeed(0), 0.0f);
}

// The KML export lives above this library and forwards only once installed; a view is asked to
// redraw through the model.
TEST(GribModel, ExportAndRedrawThroughTheirHooks) {
    GribModel model;
    EXPECT_FALSE(model.kmlExportGrib("/nonexistent/f.kml")) << "no export installed in this program";
    std::string asked;
    GribModel::setKmlExporter([&](GribModel& m, const std::string& path) {
        asked = path;
        return &m == &model;
    });
    EXPECT_TRUE(model.kmlExportGrib("f.kml"));
    EXPECT_EQ(asked, "f.kml");
    GribModel::setKmlExporter({});
    struct View : GribView {
        int redrawn = 0;
        void setNeedsDisplayForGrib() override { ++redrawn; }
    } view;
    model.setNeedsDisplay(&view);
    model.setNeedsDisplay(nullptr);
    GribView plain; // a view that does not draw forecasts is not disturbed
    model.setNeedsDisplay(&plain);
    EXPECT_EQ(view.redrawn, 1);
}

TEST(GribModel, BeaufortClassesAndRequests) {
    GribModel model;
    const std::pair<float, int> classes[] = {{0.05f, -1}, {0.1f, 0}, {63.99f, 11}, {64, 12},
                                             {999, -1},   {NAN, -1}, {-3, -1}};
    for (const auto& [knots, index] : classes)
        EXPECT_EQ(model.beaufortIndex(knots), index) << knots;

    // The request texts are checked through navtool grib request; here what it cannot reach.
    const NavPoint southWest{-30.9f, -10.5f}, northEast{40, 20.2f};
    for (NavPoint bad : {kNoNavPoint, NavPoint{NAN, 0}, NavPoint{0, 91}, NavPoint{181, 0}})
        EXPECT_FALSE(model.request().requestText(bad, northEast, "GFS", "WIND")) << bad.x << "," << bad.y;
    EXPECT_FALSE(model.requestGribWindSurface(southWest, northEast)); // nobody to hand the mail to
    std::string sent;
    model.request().setMailer([&](const std::string& mailto) {
        sent = mailto;
        return true;
    });
    EXPECT_FALSE(model.requestGribCurrents(southWest, northEast)) << "no service address given yet";
    EXPECT_TRUE(sent.empty());
    model.request().setRequestAddress("grib@service.test");
    EXPECT_TRUE(model.requestGribCurrents(southWest, northEast));
    EXPECT_EQ(sent.substr(0, sent.find('?')), "mailto:grib@service.test");
    // The spacing goes out with one decimal, and an address is one address.
    const std::pair<double, bool> spacings[] = {
        {0.5, true}, {0.2, true}, {1, true}, {0.25, false}, {0, false}};
    for (const auto& [degrees, fits] : spacings)
        EXPECT_EQ(GribRequest::resolutionFits(degrees), fits) << degrees;
    for (const char* bad : {"", "@host", "name@", "a@b@c", "a b@c", "a@b,c@d", "a@b?cc=x"})
        EXPECT_FALSE(GribRequest::isMailAddress(bad)) << bad;
}

} // namespace
