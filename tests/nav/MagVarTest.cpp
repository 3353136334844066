#include "nav/NavMath.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

TEST(MagVar, JulianDays) {
    // Years from 2000 (-80: 1920), month, day, Julian day.
    const std::array<long, 4> cases[] = {{0, 1, 1, 2451545},   {99, 12, 31, 2451544}, {5, 1, 1, 2453372},
                                         {126, 1, 1, 2461042}, {8, 2, 29, 2454526},   {8, 3, 1, 2454527},
                                         {-80, 1, 1, 2422325}};
    for (const auto& [yy, mm, dd, day] : cases)
        EXPECT_EQ(long(yymmdd_to_julian_days(int(yy), int(mm), int(dd))), day)
            << yy << "-" << mm << "-" << dd;
    // Far out of range: a value, without overflow (the sanitizer build checks this).
    (void)yymmdd_to_julian_days(2147483647, 2147483647, 2147483647);
    (void)yymmdd_to_julian_days(-2147483647 - 1, -2147483647 - 1, -2147483647 - 1);
}

// Declinations from tests/nav/igrf_reference.py, which evaluates the same published coefficient
// list independently (unnormalised Legendre functions with explicit Schmidt factors, the field
// by numerical differentiation of the potential). Latitude, longitude, date, degrees east.
struct Reference {
    double lat, lon;
    int year, month, day;
    double variation;
};
const Reference references[] = {
    // one date a place, the four dates in turn
    {50.90, -1.40, 2005, 1, 1, -2.8280},      // Southampton
    {40.70, -74.00, 2006, 7, 15, -13.1852},   // New York
    {-33.86, 151.21, 2008, 2, 29, 12.6220},   // Sydney
    {-33.92, 18.42, 2010, 12, 31, -24.7194},  // Cape Town
    {35.68, 139.77, 2005, 1, 1, -6.9153},     // Tokyo
    {21.31, -157.86, 2006, 7, 15, 9.9605},    // Honolulu
    {64.15, -21.94, 2008, 2, 29, -16.5140},   // Reykjavik
    {-22.91, -43.17, 2010, 12, 31, -22.0320}, // Rio de Janeiro
    {61.22, -149.90, 2005, 1, 1, 20.5875},    // Anchorage
    {1.29, 103.85, 2006, 7, 15, 0.2512},      // Singapore
    {-36.85, 174.76, 2008, 2, 29, 19.4129},   // Auckland
    {74.70, -94.83, 2010, 12, 31, -27.2401},  // Resolute
    {-50.00, -30.00, 2005, 1, 1, -12.9042},   // South Atlantic
    {30.00, 179.90, 2006, 7, 15, 7.2212},     // Date line north
    {-20.00, -179.90, 2008, 2, 29, 12.9251},  // Date line south
    {-77.00, 170.00, 2010, 12, 31, 134.9454}, // Ross Sea
};

TEST(MagVar, MatchesIndependentModelEvaluation) {
    for (const Reference& r : references) {
        const unsigned long day = yymmdd_to_julian_days(r.year - 1900, r.month, r.day);
        const double variation = rad_to_deg(SGMagVar(deg_to_rad(r.lat), deg_to_rad(r.lon), 0.0, day, 9));
        EXPECT_NEAR(variation, r.variation, 0.02) << r.lat << "," << r.lon << " " << r.year << "-" << r.month;
        // The float entry the console uses gives the same.
        EXPECT_NEAR(NavMath::variationForPoint({float(r.lon), float(r.lat)}, day), r.variation, 0.02);
    }
}

TEST(MagVar, FieldComponentsAndOtherModels) {
    // Today's date: the model extrapolated, but a finite east-positive value of the right sign.
    EXPECT_GT(NavMath::variationForPoint({151.21f, -33.86f}), 5.0f);
    double field[6] = {};
    const double dec = SGMagVar(deg_to_rad(50.9), deg_to_rad(-1.4), 0.0, 2453372, 9, field);
    EXPECT_NEAR(std::atan2(field[4], field[3]), dec, 1e-12);
    // Total intensity over southern England is about 48,000 nT, pointing down.
    const double total = std::sqrt(field[3] * field[3] + field[4] * field[4] + field[5] * field[5]);
    EXPECT_TRUE(std::fabs(total - 48500) < 1500);
    EXPECT_GT(field[5], 0);
    // Only model 9 is carried: other numbers give no variation and an empty field.
    for (unsigned long model : {0ul, 1ul, 8ul, 10ul}) {
        double f[6] = {1, 1, 1, 1, 1, 1};
        EXPECT_EQ(SGMagVar(0.5, 0.5, 0.0, 2453372, model, f), 0.0);
        EXPECT_EQ(std::vector<double>(f, f + 6), std::vector<double>(6, 0.0));
    }
    // At the geographic poles (sin of the colatitude 0) the result stays finite.
    EXPECT_TRUE(std::isfinite(SGMagVar(deg_to_rad(90.0), 0.0, 0.0, 2453372, 9)));
    EXPECT_TRUE(std::isfinite(SGMagVar(deg_to_rad(-90.0), 0.0, 0.0, 2453372, 9)));
}

} // namespace
