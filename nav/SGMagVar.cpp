// Spherical-harmonic synthesis of the geomagnetic field and its declination.

#include "nav/SGMagVar.h"

#include "nav/IGRF2005.h"
#include "nav/NavMath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr int kSize = 14; // degree and order 0..13

using Table = std::array<std::array<double, kSize>, kSize>;

// Recursion factors of the Legendre functions: fixed, so made once for the process.
struct Roots {
    std::array<double, kSize> root{};
    std::array<std::array<std::pair<double, double>, kSize>, kSize> roots{};
    Roots() {
        for (int n = 2; n < kSize; ++n)
            root[n] = std::sqrt((2.0 * n - 1) / (2.0 * n));
        for (int m = 0; m < kSize; ++m)
            for (int n = std::max(2, m + 1); n < kSize; ++n)
                roots[m][n] = {std::sqrt(double((n - 1) * (n - 1) - m * m)),
                               1.0 / std::sqrt(double(n * n - m * m))};
    }
};

const Roots& recursionFactors() {
    static const Roots factors;
    return factors;
}

struct Model {
    const double (*g)[kSize];
    const double (*h)[kSize];
    const double (*gt)[kSize];
    const double (*ht)[kSize];
    unsigned long epochDay; // 1 January of the epoch year
    int maxDegree;
};

} // namespace

double SGMagVar(double lat, double lon, double h, unsigned long day, unsigned long model, double* field) {
    if (model != 9) {
        if (field)
            std::fill(field, field + 6, 0.0);
        return 0.0;
    }
    static const Model igrf2005{
        gnm_igrf2005, hnm_igrf2005, gtnm_igrf2005, htnm_igrf2005, yymmdd_to_julian_days(5, 1, 1), 13};
    const Model& mdl = igrf2005;
    const int nmax = mdl.maxDegree;

    // Geodetic to geocentric on the ellipsoid a = 6378.16 km, b = 6356.774719 km.
    const double a2 = 40680924.985599995;
    const double b2 = 40408584.83060056;
    const double a4 = a2 * a2, b4 = b2 * b2;
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    const double sinLat2 = sinLat * sinLat;
    const double s = std::sqrt(a2 * cosLat * cosLat + b2 * sinLat2);
    const double theta = std::atan2((h * s + a2) * cosLat, (h * s + b2) * sinLat);
    const double r = std::sqrt(h * h + 2.0 * h * s + (a4 - (a4 - b4) * sinLat2) / (a2 - (a2 - b2) * sinLat2));
    const double c = std::cos(theta), st = std::sin(theta);

    // Work tables are per call, so concurrent callers do not disturb one another.
    const Roots& rf = recursionFactors();
    Table P{}, DP{}, gnm{}, hnm{};
    std::array<double, kSize> sm{}, cm{};

    P[0][0] = 1.0;
    DP[0][0] = 0.0;
    P[1][1] = st;
    DP[1][1] = c;
    P[1][0] = c;
    DP[1][0] = -st;
    for (int n = 2; n < kSize; ++n) {
        P[n][n] = st * P[n - 1][n - 1] * rf.root[n];
        DP[n][n] = rf.root[n] * (st * DP[n - 1][n - 1] + c * P[n - 1][n - 1]);
    }
    for (int m = 0; m < kSize; ++m) {
        for (int n = std::max(2, m + 1); n < kSize; ++n) {
            const auto [r1, r2] = rf.roots[m][n];
            P[n][m] = ((2 * n - 1) * c * P[n - 1][m] - r1 * P[n - 2][m]) * r2;
            DP[n][m] = ((2 * n - 1) * (c * DP[n - 1][m] - st * P[n - 1][m]) - r1 * DP[n - 2][m]) * r2;
        }
    }

    // Secular variation from the epoch, in years.
    const double yearapart = (static_cast<double>(day) - static_cast<double>(mdl.epochDay)) / 365.25;
    for (int n = 1; n <= nmax; ++n) {
        for (int m = 0; m < kSize; ++m) {
            gnm[n][m] = mdl.g[n][m] + yearapart * mdl.gt[n][m];
            hnm[n][m] = mdl.h[n][m] + yearapart * mdl.ht[n][m];
        }
    }
    for (int m = 0; m <= nmax; ++m) {
        sm[m] = std::sin(m * lon);
        cm[m] = std::cos(m * lon);
    }

    const double rho = 6371.2 / r;
    double br = 0.0, bt = 0.0, bp = 0.0;
    double power = rho * rho;
    const double sinTheta = st == 0.0 ? 1e-8 : st;
    for (int n = 1; n <= nmax; ++n) {
        power *= rho; // rho^(n+2)
        double sumR = 0.0, sumT = 0.0, sumP = 0.0;
        for (int m = 0; m <= n; ++m) {
            const double t = gnm[n][m] * cm[m] + hnm[n][m] * sm[m];
            sumR += P[n][m] * t;
            sumT += DP[n][m] * t;
            sumP += m * P[n][m] * (gnm[n][m] * sm[m] - hnm[n][m] * cm[m]);
        }
        br += (n + 1) * power * sumR;
        bt -= power * sumT;
        bp += power * sumP / sinTheta;
    }

    // Back to the geodetic frame.
    const double psi = theta - (1.570796326794895 - lat);
    const double X = -bt * std::cos(psi) - br * std::sin(psi);
    const double Y = bp;
    const double Z = bt * std::sin(psi) - br * std::cos(psi);
    if (field) {
        field[0] = br;
        field[1] = bt;
        field[2] = bp;
        field[3] = X;
        field[4] = Y;
        field[5] = Z;
    }
    if (X == 0.0 && Y == 0.0)
        return 0.0;
    return std::atan2(Y, X);
}
