// Contour levels and tracing, and contours placed on a forecast grid.

#include "nav/grib/Contour.h"
#include "nav/UnitsModel.h"
#include "nav/grib/ContourLevels.h"
#include "nav/grib/ContourTrace.h"
#include "nav/grib/GribContours.h"
#include "nav/grib/GribThinning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

struct Grid {
    std::vector<float> values;
    std::atomic<uint64_t> counter{0};
    ContourContext c;
    Grid(int nx, int ny, std::vector<float> v) : values(std::move(v)) {
        c.NX = nx, c.NY = ny, c.values = values, c.labelCounter = &counter;
    }
};

TEST(Contour, Levels) {
    const struct {
        const char* what;
        std::vector<float> values;
        float interval;
        double step, first, minimum; // step 0: nothing to draw; first: the first step above the minimum
    } cases[] = {
        {"interval 0, deviation 6", {1000, 1006, 1012}, 0, 2, 1002, 1000},
        {"given interval", {0, 10, 0}, 5, 5, 5, 0},
        {"doubled below 41 levels", {0, 100}, 1, 4, 4, 0},
        {"frost counts", {-10, -5, 0, 5}, 5, 5, -5, -10},
        {"about four levels", {1000, 1006, 1012}, -4, 6, 1002, 1000},
        {"missing, NaN and infinities left out", {-1000, NAN, INFINITY, -INFINITY, 1, 3}, 1, 1, 2, 1},
        {"all equal", {7, 7, 7}, 0, 0, 0, 0},
        {"all missing", {-1000, -5000, NAN}, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Grid run(int(c.values.size()), 1, c.values);
        ASSERT_EQ(scaleData(run.c, c.interval), c.step > 0) << c.what;
        if (c.step == 0)
            continue; // nothing to draw: the scale is not set
        EXPECT_EQ(run.c.step, c.step) << c.what;
        EXPECT_EQ(run.c.firstLevel, c.first) << c.what;
        EXPECT_EQ(run.c.minimum, c.minimum) << c.what;
    }
}

// The counter runs on across calls: points 0 and 11 of the process get labels.
TEST(Contour, LabelsCountAcrossCalls) {
    Grid run(3, 3, {0, 0, 0, 0, 10, 0, 0, 0, 0});
    for (size_t labels : {1, 0, 1}) {
        contour(run.c, 5);
        ASSERT_EQ(run.c.lines.size(), 1u); // only level 5 crosses the data
        EXPECT_EQ(run.c.labels.size(), labels);
    }
    EXPECT_EQ(run.c.labels[0].text, "5");
    EXPECT_EQ(run.c.labels[0].x, 0.75f);
    EXPECT_EQ(run.counter.load(), 15u);
    EXPECT_TRUE(run.c.marks.empty()); // work buffers released
}

// Random grids with missing values, NaN and infinities. No line point lies on a face with a
// missing end, and contour, which gathers every level's interior starts in one pass, finds the
// same lines in the same order as the steps taken one level at a time.
TEST(Contour, RandomGridsWithHoles) {
    const float holes[] = {-1000, NAN, INFINITY, -INFINITY, -5000};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-30, 30);
    const int nx = 41, ny = 29;
    for (int seed = 0; seed < 10; ++seed) {
        std::vector<float> values;
        for (int k = 0; k < nx * ny; ++k)
            values.push_back(40 * std::sin(k % nx * 0.3f) + 25 * std::cos(k / nx * 0.4f) +
                             noise(random) * (seed % 2));
        for (int k = 0; k < 40; ++k)
            values[random() % values.size()] = holes[random() % 5];
        Grid whole(nx, ny, values), steps(nx, ny, values);
        contour(whole.c, 0);
        ASSERT_GT(whole.c.lines.size(), 10u);
        auto missing = [&](double i, double j) {
            const float v = values[size_t(j) * nx + size_t(i)];
            return !std::isfinite(v) || v <= -1000;
        };
        for (const ContourLine& line : whole.c.lines)
            for (ContourPoint p : line) { // on a face: x or y whole, the ends below and above
                const double x = p.x * (nx - 1), y = p.y * (ny - 1);
                ASSERT_FALSE(missing(std::floor(x + 1e-4), std::floor(y + 1e-4)))
                    << "seed " << seed << " at " << p.x << "," << p.y;
                ASSERT_FALSE(missing(std::ceil(x - 1e-4), std::ceil(y - 1e-4)))
                    << "seed " << seed << " at " << p.x << "," << p.y;
            }
        ContourContext& c = steps.c;
        ASSERT_TRUE(scaleData(c, 0));
        c.grid.clear();
        for (float v : values)
            c.grid.push_back(std::isfinite(v) && v > -1000 ? v : kContourOutside);
        for (double level = c.firstLevel; level < c.maximum; level += c.step) {
            c.marks.assign(size_t((nx + 1) * ny), 0);
            c.levelFlag = level >= c.mean;
            for (int side = 0; side < 4; ++side)
                startEdge(c, level, side);
            startInterior(c, level);
        }
        EXPECT_EQ(whole.c.lines, c.lines) << "seed " << seed;
    }
}

// Rows run south to north in the contour field; positions span (N - 1) steps from the first point.
TEST(GribContours, PlacedOnTheGrid) {
    GribPoints g;
    g.setPositionOnGPS({350, 60}), g.setIncrement(-2, 2), g.setCount(4, 3); // 10 W, north to south
    for (int k = 0; k < 12; ++k)
        g.addPressure(k == 4 ? 101000 : 100000);
    const std::optional<GribContourField> field = gribContourField(g);
    ASSERT_TRUE(field);
    EXPECT_EQ(field->units, "hPa");
    EXPECT_EQ(field->firstLongitude, -10);
    EXPECT_EQ(field->southLatitude, 54);
    // The loop around the high (8 W, 58 N), halfway to its neighbours.
    const GribPolyline loop = {{-8, 59}, {-7, 58}, {-8, 57}, {-9, 58}, {-8, 59}};
    EXPECT_EQ(traceGribContours(*field, 5).lines, std::vector<GribPolyline>{loop});

    GribPoints sea;
    sea.setCount(2, 2);
    for (float kelvin : {280, 290, 285, 300})
        sea.addSeaTemperature(kelvin);
    const unsigned saved = UnitsModel::units().temperatureUnits();
    UnitsModel::units().setTemperatureUnits(1);
    const std::optional<GribContourField> celsius = gribContourField(sea);
    UnitsModel::units().setTemperatureUnits(saved);
    ASSERT_TRUE(celsius);
    EXPECT_EQ(celsius->name + " " + celsius->units, "Sea temperature \xc2\xb0"
                                                    "C");
    EXPECT_NEAR(celsius->values[1], 26.85f, 0.02f); // 300 K, its row turned
    EXPECT_FALSE(gribContourField(GribPoints()));
    EXPECT_FALSE(gribContourField(sea, GribField::pressure)) << "the asked field or none";
    EXPECT_TRUE(gribContourField(sea, GribField::airTemperature)) << "temperature means sea's too";
}

// A grid around the earth repeats its first column after its last, so lines close at the seam.
TEST(GribContours, AWorldClosesAtTheSeam) {
    GribPoints g;
    g.setPositionOnGPS({0, 80}), g.setIncrement(-40, 90), g.setCount(5, 4);
    for (int k = 0; k < 20; ++k)
        g.addPressure(k % 4 == 0 ? 102000 : 100000);
    const std::optional<GribContourField> f = gribContourField(g);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->wrapped);
    ASSERT_EQ(f->NX, 5);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(f->values[size_t(row) * 5 + 4], f->values[size_t(row) * 5]);
}

// A field of noise stops at the point bound, keeping what was traced, and says so.
TEST(Contour, BoundedAndLabelledByTheStep) {
    std::vector<float> noise(200 * 200);
    std::mt19937 random(7);
    for (float& v : noise)
        v = float(random() % 2);
    Grid run(200, 200, noise);
    run.c.maxPoints = 5000;
    contour(run.c, 0);
    size_t points = 0;
    for (const ContourLine& line : run.c.lines)
        points += line.size();
    EXPECT_TRUE(run.c.truncated) << points;
    EXPECT_EQ(points, 5000) << points;
    EXPECT_FALSE(run.c.lines.empty()) << points;

    const struct {
        float interval;
        std::vector<float> values;
        const char* label;
    } cases[] = {
        {4, {1000, 1010}, "1004"}, {0.5f, {0, 2}, "0.5"}, {2.5f, {0, 10}, "2.5"}, {0.25f, {0, 1}, "0.25"}};
    for (const auto& c : cases) {
        Grid line(2, 2, {c.values[0], c.values[1], c.values[0], c.values[1]});
        contour(line.c, c.interval);
        ASSERT_FALSE(line.c.labels.empty()) << c.label;
        EXPECT_EQ(line.c.labels[0].text, c.label);
        EXPECT_FALSE(line.c.truncated);
    }
}

// Thinning keeps the strongest point of every block; a block of nothing keeps none.
TEST(GribThinning, TheStrongestOfEachBlock) {
    const std::vector<float> speeds = {1, 2, 9, 0, NAN, NAN, 3, 4, 5, 6, NAN, NAN}; // 3 rows of 4
    GribBlocks blocks;
    blocks.rows = 2;
    blocks.columnsAt = [](unsigned) { return 2u; };
    EXPECT_EQ(strongestOfBlocks(3, 4, blocks, [&](size_t k) { return speeds[k]; }),
              (std::vector<size_t>{1, 2, 9}));
    // Blocks by area widen towards the poles and stay within the count.
    const GribBlocks area = blocksByArea(73, 144, 5000, [](unsigned row) { return 90.0 - 2.5 * row; });
    EXPECT_TRUE(area.columnsAt(36) < area.columnsAt(2)) << area.columnsAt(36) << " " << area.columnsAt(2);
    EXPECT_EQ(blocksByArea(10, 10, 100, [](unsigned) { return 80.0; }).columnsAt(0), 1u)
        << "no thinning needed";
}

} // namespace
