#include "nav/NavMath.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(NavMath, FixPositionAndBearingFold) {
    const std::pair<NavPoint, NavPoint> positions[] =
        {
            {{190, 0}, {-170, 0}},    {{-190, 0}, {170, 0}},  {{0, 95}, {0, 85}},
            {{0, -95}, {0, -85}},     {{180, 90}, {180, 90}}, {{-180, -90}, {-180, -90}},
            {{200, 100}, {-160, 80}}, // the longitude is not shifted when the latitude folds
        };
    for (const auto& [in, out] : positions) {
        const NavPoint p = NavMath::fixPosition(in);
        EXPECT_TRUE(std::fabs(p.x - out.x) < 1e-4f) << in.x << "," << in.y;
        EXPECT_TRUE(std::fabs(p.y - out.y) < 1e-4f) << in.x << "," << in.y;
    }
    const std::pair<float, float> bearings[] = {{360, 0},
                                                {-10, 350},
                                                {720.5f, 0.5f},
                                                {-725, 355},
                                                {359.99995f, 359.9999f},
                                                {-1e-10f, 359.9999f},
                                                {1e30f, std::fmod(1e30f, 360.0f)}};
    for (const auto& [in, out] : bearings) {
        const float b = NavMath::fixBearing(in);
        EXPECT_FLOAT_EQ(b, out) << in;
        EXPECT_FALSE(std::signbit(b)) << in; // "-00.0" would reach a sentence
    }
    EXPECT_EQ(NavMath::trueBearing(350, 15), 5);
    EXPECT_EQ(NavMath::magneticBearing(2, 5), 357);
    EXPECT_TRUE(NavMath::withInPlusOrMinus(9, 10, 1));
    EXPECT_TRUE(NavMath::withInPlusOrMinus(11, 10, 1));
    EXPECT_FALSE(NavMath::withInPlusOrMinus(11.01f, 10, 1));
}

// Bearings at the edges: the same point, due south, a hair west of north (0, not 360), and
// across the pole, where the rounded cosine passes 1 (north, not by latitude).
TEST(NavMath, BearingAndDistanceCases) {
    const std::tuple<NavPoint, NavPoint, float, float> bearings[] = {
        {{0, 10}, {0, 10}, 0, 0},           {{0, 10}, {0, 5}, 180, 0},
        {{0, 0}, {1, 0}, 90, 1e-3f},        {{0, 0}, {-1, 0}, 270, 1e-3f},
        {{0, 0}, {1, 1}, 45, 0.1f},         {{0, 0}, {-0.001f, 1}, 0, 0},
        {{-179.99f, 10.01f}, {0, 5}, 0, 0}, {{-179.99f, -10.01f}, {0, -5}, 180, 0.5f},
    };
    for (const auto& [from, to, bearing, tolerance] : bearings)
        EXPECT_NEAR(NavMath::bearingFromPoint(from, to), bearing, tolerance) << to.x << "," << to.y;
    EXPECT_NEAR(NavMath::distanceFromPoint({0, 0}, {0, 1}), 60.0f, 1e-2);
    EXPECT_NEAR(NavMath::distanceFromPoint({179.5f, 0}, {-179.5f, 0}), 60.0f, 0.01);
    EXPECT_NEAR(NavMath::crossTrackFromPoint({0.5f, 0.1f}, {1, 0}, {0, 0}), -6.0f, 0.05);
    EXPECT_NEAR(NavMath::crossTrackFromPoint({0.5f, -0.1f}, {1, 0}, {0, 0}), 6.0f, 0.05);
    EXPECT_NEAR(NavMath::bearingDeltaFromPoint({0, 0}, {1, 1}, {0, 0}, {-1, 1}), 90.0f, 0.1);
    EXPECT_NEAR(NavMath::vmgFromPoint({-179.99f, 10.01f}, {0, 5}, 0, 10), 10.0f, 1e-3);
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
                ASSERT_GE(end.x, -180);
                ASSERT_LE(end.x, 180);
                ASSERT_GE(end.y, -90);
                ASSERT_LE(end.y, 90);
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

TEST(NavMath, IntermediateVmgTimeAndCpa) {
    const NavPoint mid = NavMath::intermediatePosition({179, 0}, {-179, 0}, 0.5f),
                   quarter = NavMath::intermediatePosition({0, 0}, {0, 40}, 0.25f),
                   same = NavMath::intermediatePosition({5, 5}, {5, 5}, 0.5f);
    EXPECT_TRUE(std::fabs(std::fabs(mid.x) - 180) < 1e-3);
    EXPECT_TRUE(std::fabs(mid.y) < 1e-4);
    EXPECT_TRUE(std::fabs(quarter.y - 10) < 1e-3);
    EXPECT_TRUE(std::isnan(same.x));
    EXPECT_TRUE(std::isnan(same.y));
    EXPECT_NEAR(NavMath::vmgFromPoint({0, 0}, {0, 1}, 60, 10), 5.0f, 1e-3);
    EXPECT_NEAR(NavMath::timeFromPoint({0, 0}, {0, 1}, 0, 6), 10.0f, 1e-3);
    EXPECT_LT(NavMath::timeFromPoint({0, 0}, {0, 1}, 180, 6), 0.0f);
    EXPECT_EQ(NavMath::timeFromPoint({0, 0}, {0, 1}, 0, 0), 0);
    EXPECT_EQ(NavMath::timeFromPoint({0, 1}, {0, 1}, 0, 5), 0);
    EXPECT_GT(std::fabs(NavMath::timeFromPoint({0, 0}, {0, 1}, 90, 5)), 1e5f); // square across: no approach
    EXPECT_EQ(NavMath::closestPointOfApproach({0, 0}, {0, 1}, 5, 5, 180, 0), CPA{});
    const CPA northOf = NavMath::closestPointOfApproach({0, 0}, {0, 10.0f / 60}, 5, 0, 0, 0);
    EXPECT_TRUE(std::fabs(northOf.time - 2) < 1e-3);
    EXPECT_LT(northOf.distance, 0.05);
    // Crossing: vessel 2 six miles east heading west, vessel 1 heading north; both 6 knots.
    const CPA crossing = NavMath::closestPointOfApproach({0, 0}, {0.1f, 0}, 6, 6, 0, 270);
    EXPECT_NEAR(crossing.time, 0.5f, 1e-3);
    EXPECT_NEAR(crossing.distance, 6.0f / std::sqrt(2.0f), 0.01);
    EXPECT_NEAR(crossing.bearing, 135.0f, 0.5);
}

// Apparent angle, apparent speed, boat speed: the true angle. At multiples of 180 the answer is
// direct; a boat that outruns a following wind has it from ahead.
TEST(NavMath, TrueWind) {
    const std::array<float, 4> cases[] = {{40, 12, 0, 40},   {90, 10, 10, 135}, {30, 20, 5, 39.06f},
                                          {180, 10, 5, 180}, {0, 10, 5, 0},     {0, 5, 10, 180},
                                          {-180, 10, 5, 180}};
    for (const auto& [angle, apparent, boat, expected] : cases)
        EXPECT_NEAR(NavMath::trueWindAngle(angle, apparent, boat), expected, 0.01) << angle << " " << boat;
    EXPECT_EQ(NavMath::trueWindSpeed(40, 12, 0), 12.0f);
    EXPECT_NEAR(NavMath::trueWindSpeed(90, 10, 10), 14.142f, 1e-3);
}

// Every operation returns on NaN and infinities (a fixed number of steps, no integer conversion).
TEST(NavMath, NonFiniteInputsReturn) {
    for (float v : {kNaN, kInf, -kInf}) {
        EXPECT_TRUE(std::isnan(NavMath::fixBearing(v)));
        EXPECT_TRUE(std::isnan(NavMath::trueBearing(v, 0)));
        EXPECT_TRUE(std::isnan(NavMath::magneticBearing(10, v)));
        const NavPoint p{v, v};
        const float b = NavMath::bearingFromPoint(p, {0, 0});
        // No angle to speak of: the latitudes decide, as at a pole (only -inf lies south of 0).
        EXPECT_EQ(b, v == -kInf ? 0.0f : 180.0f) << v;
        EXPECT_EQ(NavMath::closestPointOfApproach(p, {0, 0}, v, v, v, v), CPA{});
        double field[6];
        const float floats[] = {NavMath::radianDistance(p, {0, 0}),
                                NavMath::distanceFromPoint({0, 0}, p),
                                NavMath::crossTrackFromPoint(p, {1, 1}, {0, 0}),
                                NavMath::vmgFromPoint({0, 0}, {1, 1}, v, v),
                                NavMath::timeFromPoint({0, 0}, p, v, v),
                                NavMath::timeFromPoint({0, 0}, {1, 1}, 45, v),
                                NavMath::bearingDeltaFromPoint(p, p, {0, 0}, p),
                                NavMath::trueWindSpeed(v, v, v),
                                NavMath::trueWindAngle(v, 10, 5),
                                NavMath::trueWindAngle(30, v, 5),
                                NavMath::variationForPoint(p, 2453372),
                                float(SGMagVar(v, v, v, 2453372, 9, field)),
                                float(NavMath::withInPlusOrMinus(v, 0, v)),
                                NavMath::closestPointOfApproach({0, 0}, {0, 1}, 5, v, 0, 180).time};
        const NavPoint points[] = {NavMath::fixPosition(p), NavMath::positionAtDistance({0, 0}, v, 10),
                                   NavMath::positionAtDistance({0, 0}, 10, v),
                                   NavMath::positionAtDistance(p, 10, 10),
                                   NavMath::intermediatePosition(p, {1, 1}, v)};
        (void)floats, (void)points;
    }
    EXPECT_TRUE(std::isnan(NavMath::fixPosition({kNaN, kNaN}).x));
    EXPECT_EQ(NavMath::positionAtDistance({3, 4}, 90, kNaN), (NavPoint{3, 4}));
    // Extreme but finite values: still a bearing in range, at once.
    EXPECT_GE(NavMath::fixBearing(-3.4e38f), 0);
    EXPECT_LT(NavMath::fixBearing(3.4e38f), 360);
}

} // namespace
