#include "nav/NavMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(NavMath, FixPositionFoldsOnceEachWay) {
    struct Case {
        NavPoint in, out;
    } cases[] =
        {
            {{190, 0}, {-170, 0}},    {{-190, 0}, {170, 0}},  {{0, 95}, {0, 85}},
            {{0, -95}, {0, -85}},     {{180, 90}, {180, 90}}, {{-180, -90}, {-180, -90}},
            {{200, 100}, {-160, 80}}, // the longitude is not shifted when the latitude folds
        };
    for (const Case& c : cases) {
        const NavPoint p = NavMath::fixPosition(c.in);
        EXPECT_FLOAT_EQ(p.x, c.out.x) << c.in.x << "," << c.in.y;
        EXPECT_FLOAT_EQ(p.y, c.out.y) << c.in.x << "," << c.in.y;
    }
}

TEST(NavMath, FixBearingAndConversions) {
    struct Case {
        float in, out;
    } cases[] = {
        {360, 0},
        {-10, 350},
        {720.5f, 0.5f},
        {-725, 355},
        {359.99995f, 359.9999f},
        {-1e-10f, 359.9999f},
        {1e30f, std::fmod(1e30f, 360.0f)},
    };
    for (const Case& c : cases) {
        const float b = NavMath::fixBearing(c.in);
        EXPECT_FLOAT_EQ(b, c.out) << c.in;
        EXPECT_FALSE(std::signbit(b)) << c.in; // "-00.0" would reach a sentence
    }
    EXPECT_FLOAT_EQ(NavMath::trueBearing(350, 15), 5);
    EXPECT_FLOAT_EQ(NavMath::magneticBearing(2, 5), 357);
    EXPECT_TRUE(NavMath::withInPlusOrMinus(9, 10, 1));
    EXPECT_TRUE(NavMath::withInPlusOrMinus(11, 10, 1));
    EXPECT_FALSE(NavMath::withInPlusOrMinus(11.01f, 10, 1));
}

TEST(NavMath, BearingAndDistanceCases) {
    EXPECT_EQ(NavMath::bearingFromPoint({0, 10}, {0, 10}), 0.0f);
    EXPECT_EQ(NavMath::bearingFromPoint({0, 10}, {0, 5}), 180.0f);
    EXPECT_NEAR(NavMath::bearingFromPoint({0, 0}, {1, 0}), 90.0f, 1e-3);
    EXPECT_NEAR(NavMath::bearingFromPoint({0, 0}, {-1, 0}), 270.0f, 1e-3);
    EXPECT_NEAR(NavMath::bearingFromPoint({0, 0}, {1, 1}), 45.0f, 0.1);
    // Almost due north, but a hair west: the course is near 360 and reported as 0.
    EXPECT_EQ(NavMath::bearingFromPoint({0, 0}, {-0.001f, 1}), 0.0f);
    EXPECT_NEAR(NavMath::distanceFromPoint({0, 0}, {0, 1}), 3437.7466f * 0.017453292f, 1e-3);
    EXPECT_NEAR(NavMath::distanceFromPoint({179.5f, 0}, {-179.5f, 0}), 60.0f, 0.01);
    EXPECT_NEAR(NavMath::crossTrackFromPoint({0.5f, 0.1f}, {1, 0}, {0, 0}), -6.0f, 0.05);
    EXPECT_NEAR(NavMath::crossTrackFromPoint({0.5f, -0.1f}, {1, 0}, {0, 0}), 6.0f, 0.05);
    EXPECT_NEAR(NavMath::bearingDeltaFromPoint({0, 0}, {0, 1}, {0, 0}, {-1, 0}), 90.0f, 1e-3);
    EXPECT_NEAR(NavMath::bearingDeltaFromPoint({0, 0}, {1, 1}, {0, 0}, {-1, 1}), 90.0f, 0.1);
    // Across the north pole the rounded cosine passes 1: the course is north, not by latitude.
    EXPECT_EQ(NavMath::bearingFromPoint({-179.99f, 10.01f}, {0, 5}), 0.0f);
    EXPECT_NEAR(NavMath::vmgFromPoint({-179.99f, 10.01f}, {0, 5}, 0, 10), 10.0f, 1e-3);
    EXPECT_NEAR(NavMath::bearingFromPoint({-179.99f, -10.01f}, {0, -5}), 180.0f, 0.5);
}

// Out along a course: the distance between the ends is the distance run, wherever the start,
// across the date line and over the poles. Away from the poles the reverse course leads home;
// single precision leaves north-south courses good to a few hundredths of a degree.
TEST(NavMath, RoundTrips) {
    const NavPoint starts[] = {{179.95f, 10}, {-179.95f, -45}, {170, 89.5f},     {-20, -89.5f},
                               {0, 0},        {120, 60},       {-179.99f, 0.01f}};
    const float courses[] = {0, 45, 90, 135, 180, 225, 270, 315};
    const float distances[] = {0.5f, 12, 120};
    for (const NavPoint& start : starts) {
        for (float course : courses) {
            for (float distance : distances) {
                const NavPoint end =
                    NavMath::fixPosition(NavMath::positionAtDistance(start, course, distance));
                ASSERT_TRUE(end.x >= -180 && end.x <= 180 && end.y >= -90 && end.y <= 90);
                EXPECT_NEAR(NavMath::distanceFromPoint(start, end), distance, 0.01f + distance * 2e-4f)
                    << start.x << "," << start.y << " c" << course << " d" << distance;
                if (std::fabs(start.y) > 60)
                    continue;
                const float back = NavMath::bearingFromPoint(end, start);
                const NavPoint home = NavMath::fixPosition(NavMath::positionAtDistance(end, back, distance));
                EXPECT_LT(NavMath::distanceFromPoint(home, start), 0.05f + distance * 0.01f)
                    << start.x << "," << start.y << " c" << course << " d" << distance;
            }
        }
    }
    // No distance, or a negative one, goes nowhere; crossing the date line the course still reads east.
    EXPECT_EQ(NavMath::positionAtDistance({12, 34}, 90, 0), (NavPoint{12, 34}));
    EXPECT_EQ(NavMath::positionAtDistance({12, 34}, 90, -5), (NavPoint{12, 34}));
    EXPECT_NEAR(NavMath::bearingFromPoint({179.95f, 0}, {-179.95f, 0}), 90.0f, 0.01);
    EXPECT_NEAR(NavMath::bearingFromPoint({-179.95f, 0}, {179.95f, 0}), 270.0f, 0.01);
}

TEST(NavMath, IntermediatePosition) {
    const NavPoint mid = NavMath::intermediatePosition({179, 0}, {-179, 0}, 0.5f);
    EXPECT_NEAR(std::fabs(mid.x), 180.0f, 1e-3);
    EXPECT_NEAR(mid.y, 0.0f, 1e-4);
    const NavPoint quarter = NavMath::intermediatePosition({0, 0}, {0, 40}, 0.25f);
    EXPECT_NEAR(quarter.y, 10.0f, 1e-3);
    const NavPoint same = NavMath::intermediatePosition({5, 5}, {5, 5}, 0.5f);
    EXPECT_TRUE(std::isnan(same.x) && std::isnan(same.y));
}

TEST(NavMath, VmgTimeAndCpa) {
    EXPECT_NEAR(NavMath::vmgFromPoint({0, 0}, {0, 1}, 60, 10), 5.0f, 1e-3);
    EXPECT_NEAR(NavMath::timeFromPoint({0, 0}, {0, 1}, 0, 6), 10.0f, 1e-3);
    EXPECT_LT(NavMath::timeFromPoint({0, 0}, {0, 1}, 180, 6), 0.0f);
    EXPECT_EQ(NavMath::timeFromPoint({0, 0}, {0, 1}, 0, 0), 0.0f);
    EXPECT_EQ(NavMath::timeFromPoint({0, 1}, {0, 1}, 0, 5), 0.0f);
    EXPECT_GT(std::fabs(NavMath::timeFromPoint({0, 0}, {0, 1}, 90, 5)), 1e5f); // square across: no approach

    EXPECT_EQ(NavMath::closestPointOfApproach({0, 0}, {0, 1}, 5, 5, 180, 0), CPA{});
    const CPA northOf = NavMath::closestPointOfApproach({0, 0}, {0, 10.0f / 60}, 5, 0, 0, 0);
    EXPECT_NEAR(northOf.time, 2.0f, 1e-3);
    EXPECT_NEAR(northOf.distance, 0.0f, 0.05);
    // Crossing: vessel 2 six miles east heading west, vessel 1 heading north; both 6 knots.
    const CPA crossing = NavMath::closestPointOfApproach({0, 0}, {0.1f, 0}, 6, 6, 0, 270);
    EXPECT_NEAR(crossing.time, 0.5f, 1e-3);
    EXPECT_NEAR(crossing.distance, 6.0f / std::sqrt(2.0f), 0.01);
    EXPECT_NEAR(crossing.bearing, 135.0f, 0.5);
}

TEST(NavMath, TrueWind) {
    EXPECT_EQ(NavMath::trueWindSpeed(40, 12, 0), 12.0f);
    EXPECT_EQ(NavMath::trueWindAngle(40, 12, 0), 40.0f);
    EXPECT_NEAR(NavMath::trueWindSpeed(90, 10, 10), 14.142f, 1e-3);
    EXPECT_NEAR(NavMath::trueWindAngle(90, 10, 10), 135.0f, 1e-3);
    EXPECT_NEAR(NavMath::trueWindAngle(30, 20, 5), 39.06f, 0.01);
    EXPECT_EQ(NavMath::trueWindAngle(180, 10, 5), 180.0f);
    EXPECT_EQ(NavMath::trueWindAngle(0, 10, 5), 0.0f);
    EXPECT_EQ(NavMath::trueWindAngle(0, 5, 10), 180.0f); // the boat outruns a following wind
    EXPECT_EQ(NavMath::trueWindAngle(-180, 10, 5), 180.0f);
}

// Every operation returns on NaN and infinities (a fixed number of steps, no integer conversion).
TEST(NavMath, NonFiniteInputsReturn) {
    const float bad[] = {kNaN, kInf, -kInf};
    for (float v : bad) {
        EXPECT_TRUE(std::isnan(NavMath::fixBearing(v)));
        EXPECT_TRUE(std::isnan(NavMath::trueBearing(v, 0)));
        EXPECT_TRUE(std::isnan(NavMath::magneticBearing(10, v)));
        const NavPoint p{v, v};
        (void)NavMath::fixPosition(p);
        (void)NavMath::withInPlusOrMinus(v, 0, v);
        (void)NavMath::radianDistance(p, {0, 0});
        (void)NavMath::distanceFromPoint({0, 0}, p);
        const float b = NavMath::bearingFromPoint(p, {0, 0});
        EXPECT_TRUE(b == 0.0f || b == 180.0f || std::isnan(b));
        (void)NavMath::positionAtDistance({0, 0}, v, 10);
        (void)NavMath::positionAtDistance({0, 0}, 10, v);
        (void)NavMath::positionAtDistance(p, 10, 10);
        (void)NavMath::intermediatePosition(p, {1, 1}, v);
        (void)NavMath::crossTrackFromPoint(p, {1, 1}, {0, 0});
        (void)NavMath::vmgFromPoint({0, 0}, {1, 1}, v, v);
        (void)NavMath::timeFromPoint({0, 0}, p, v, v);
        (void)NavMath::timeFromPoint({0, 0}, {1, 1}, 45, v);
        (void)NavMath::bearingDeltaFromPoint(p, p, {0, 0}, p);
        EXPECT_EQ(NavMath::closestPointOfApproach(p, {0, 0}, v, v, v, v), CPA{});
        (void)NavMath::closestPointOfApproach({0, 0}, {0, 1}, 5, v, 0, 180);
        (void)NavMath::trueWindSpeed(v, v, v);
        (void)NavMath::trueWindAngle(v, 10, 5);
        (void)NavMath::trueWindAngle(30, v, 5);
        (void)NavMath::variationForPoint(p, 2453372);
        double field[6];
        (void)SGMagVar(v, v, v, 2453372, 9, field);
    }
    EXPECT_TRUE(std::isnan(NavMath::fixPosition({kNaN, kNaN}).x));
    EXPECT_EQ(NavMath::positionAtDistance({3, 4}, 90, kNaN), (NavPoint{3, 4}));
    // Extreme but finite values: still a bearing in range, at once.
    EXPECT_GE(NavMath::fixBearing(-3.4e38f), 0.0f);
    EXPECT_LT(NavMath::fixBearing(3.4e38f), 360.0f);
}

} // namespace
