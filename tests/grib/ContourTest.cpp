// Contour levels and tracing, and contours placed on a forecast grid.

#include "nav/grib/Contour.h"
#include "nav/UnitsModel.h"
#include "nav/grib/GribContours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

struct Grid {
    std::vector<float> values;
    std::atomic<uint64_t> counter{0};
    ContourContext c;
    Grid(int nx, int ny, std::vector<float> v) : values(std::move(v)) {
        c.NX = nx;
        c.NY = ny;
        c.values = values;
        c.labelCounter = &counter;
    }
};

TEST(Contour, ThreeByThreeLoop) {
    Grid run(3, 3, {0, 0, 0, 0, 10, 0, 0, 0, 0});
    contour(run.c, 5);
    EXPECT_EQ(run.c.step, 5);
    EXPECT_EQ(run.c.firstLevel, -5);
    ASSERT_EQ(run.c.lines.size(), 1u); // only level 5 crosses the data
    const ContourLine loop = {{0.5f, 0.75f}, {0.75f, 0.5f}, {0.5f, 0.25f}, {0.25f, 0.5f}, {0.5f, 0.75f}};
    EXPECT_EQ(run.c.lines[0], loop);
    ASSERT_EQ(run.c.labels.size(), 1u);
    EXPECT_EQ(run.c.labels[0].text, "5");
    EXPECT_TRUE(run.c.marks.empty()); // work buffers released

    // The counter runs on across calls: points 0 and 11 of the process get labels.
    contour(run.c, 5);
    EXPECT_TRUE(run.c.labels.empty());
    contour(run.c, 5);
    ASSERT_EQ(run.c.labels.size(), 1u);
    EXPECT_EQ(run.c.labels[0].x, 0.75f);
    EXPECT_EQ(run.counter.load(), 15u);
}

TEST(Contour, Levels) {
    const struct {
        const char* what;
        std::vector<float> values;
        float interval;
        bool drawn;
        double step, first, minimum;
    } cases[] = {
        {"interval 0, deviation 6", {1000, 1006, 1012}, 0, true, 2, 986, 1000},
        {"given interval", {0, 10, 0}, 5, true, 5, -5, 0},
        {"doubled below 41 levels", {0, 100}, 1, true, 4, -48, 0},
        {"frost counts", {-10, -5, 0, 5}, 5, true, 5, -10, -10},
        {"about four levels", {1000, 1006, 1012}, -4, true, 6, 990, 1000},
        {"missing, NaN and infinities left out", {-1000, NAN, INFINITY, -INFINITY, 1, 3}, 1, true, 1, 0, 1},
        {"all equal", {7, 7, 7}, 0, false, 0, 0, 0},
        {"all missing", {-1000, -5000, NAN}, 0, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Grid run(int(c.values.size()), 1, c.values);
        EXPECT_EQ(scaleData(run.c, c.interval), c.drawn) << c.what;
        if (!c.drawn)
            continue;
        EXPECT_DOUBLE_EQ(run.c.step, c.step) << c.what;
        EXPECT_DOUBLE_EQ(run.c.firstLevel, c.first) << c.what;
        EXPECT_DOUBLE_EQ(run.c.minimum, c.minimum) << c.what;
    }
}

// The grid values at both ends of the face a saved point lies on.
std::pair<float, float> faceEnds(const Grid& run, ContourPoint p) {
    const double x = p.x * (run.c.NX - 1), y = p.y * (run.c.NY - 1);
    auto at = [&](long i, long j) { return run.values[size_t(j * run.c.NX + i)]; };
    if (std::fabs(x - std::round(x)) < 1e-4)
        return {at(std::lround(x), long(std::floor(y))), at(std::lround(x), long(std::ceil(y)))};
    return {at(long(std::floor(x)), std::lround(y)), at(long(std::ceil(x)), std::lround(y))};
}

TEST(Contour, MissingValuesEndLines) {
    const float holes[] = {-1000, NAN, INFINITY, -INFINITY, -5000};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(0, 50);
    for (int seed = 0; seed < 20; ++seed) {
        const int nx = 23, ny = 17;
        std::vector<float> values(size_t(nx * ny));
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                values[size_t(j * nx + i)] =
                    20 * std::sin(i * 0.4f) * std::cos(j * 0.3f) + noise(random) * (seed % 2);
        for (int k = 0; k < 25; ++k)
            values[random() % values.size()] = holes[random() % 5];
        Grid run(nx, ny, values);
        contour(run.c, 0);
        ASSERT_FALSE(run.c.lines.empty());
        for (const ContourLine& line : run.c.lines) {
            for (ContourPoint p : line) {
                const auto [a, b] = faceEnds(run, p);
                ASSERT_TRUE(std::isfinite(a) && a > -1000 && std::isfinite(b) && b > -1000)
                    << "seed " << seed << " point " << p.x << "," << p.y;
            }
        }
    }
}

// contour gathers every level's interior starts in one pass; the steps one level at a time
// must find the same lines in the same order.
TEST(Contour, OnePassMatchesLevelByLevel) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-30, 30);
    const int nx = 41, ny = 29;
    std::vector<float> values;
    for (int k = 0; k < nx * ny; ++k)
        values.push_back(k % 97 == 0
                             ? -1000
                             : 40 * std::sin(k % nx * 0.3f) + 25 * std::cos(k / nx * 0.4f) + noise(random));
    Grid whole(nx, ny, values), steps(nx, ny, values);
    contour(whole.c, 0);

    ContourContext& c = steps.c;
    ASSERT_TRUE(scaleData(c, 0));
    c.grid.clear();
    for (float v : values)
        c.grid.push_back(v > -1000 ? v : kContourOutside);
    for (double level = c.firstLevel; level < c.maximum; level += c.step) {
        c.marks.assign(size_t((nx + 1) * ny), 0);
        c.levelFlag = level >= c.mean;
        for (int side = 0; side < 4; ++side)
            startEdge(c, level, side);
        startInterior(c, level);
    }
    ASSERT_GT(whole.c.lines.size(), 20u);
    EXPECT_EQ(whole.c.lines, c.lines);
}

TEST(GribContours, PlacedOnTheGrid) {
    GribPoints g;
    g.setPositionOnGPS({350, 60}), g.setIncrement(-2, 2), g.setCount(3, 3); // 10 W, north to south
    for (float hPa : {1000, 1000, 1000, 1000, 1010, 1000, 1000, 1000, 1000})
        g.addPressure(hPa * 100);
    const std::optional<GribContourField> field = gribContourField(g);
    ASSERT_TRUE(field);
    EXPECT_EQ(field->units, "hPa");
    EXPECT_EQ(field->firstLongitude, -10);
    EXPECT_EQ(field->southLatitude, 56);
    const GribContours contours = traceGribContours(*field, 5);
    ASSERT_EQ(contours.lines.size(), 1u);
    // The loop around the centre point (8 W, 58 N), halfway to its neighbours.
    const GribPolyline loop = {{-8, 59}, {-7, 58}, {-8, 57}, {-9, 58}, {-8, 59}};
    EXPECT_EQ(contours.lines[0], loop);

    GribPoints sea;
    sea.setCount(2, 2);
    for (float k : {280, 290, 285, 300})
        sea.addSeaTemperature(k);
    const unsigned saved = UnitsModel::units().temperatureUnits();
    UnitsModel::units().setTemperatureUnits(1);
    const std::optional<GribContourField> celsius = gribContourField(sea);
    UnitsModel::units().setTemperatureUnits(saved);
    ASSERT_TRUE(celsius);
    EXPECT_EQ(celsius->name, "Sea temperature");
    EXPECT_EQ(celsius->units, std::string("\xc2\xb0") + "C");
    EXPECT_NEAR(celsius->values[1], 26.84f, 0.01f); // rows turned south to north
    EXPECT_FALSE(gribContourField(GribPoints()));
}

} // namespace
