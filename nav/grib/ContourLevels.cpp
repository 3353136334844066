#include "nav/grib/ContourLevels.h"

#include <cmath>
#include <limits>

namespace {

bool present(float v) {
    return v > kContourMissing && std::isfinite(v);
}

// Levels whole steps apart, from the first step above the minimum: a level at or below the
// minimum, or at or above the maximum, crosses no face and would only be an empty entry.
void placeLevels(ContourContext& c) {
    while ((c.maximum - c.minimum) / c.step > kContourMaxLevels)
        c.step *= 2;
    c.firstLevel = (std::floor(c.minimum / c.step) + 1) * c.step;
}

} // namespace

bool scaleData(ContourContext& c, float interval) {
    double sum = 0, squares = 0;
    uint64_t count = 0;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (float v : c.values) {
        if (!present(v))
            continue;
        sum += v;
        squares += double(v) * v;
        ++count;
        lo = std::min(lo, double(v));
        hi = std::max(hi, double(v));
    }
    if (count == 0 || lo == hi)
        return false;
    c.minimum = lo;
    c.maximum = hi;
    c.mean = sum / double(count);
    c.standardDeviation = std::sqrt(std::max(0.0, (squares - sum * sum / double(count)) / double(count - 1)));
    if (interval > 0 && std::isfinite(interval)) {
        c.step = interval;
        auto levels = [&] { return std::floor(std::floor(c.maximum - c.minimum) / c.step + 1); };
        while (levels() >= 41)
            c.step *= 2;
    } else {
        double n = (interval == 0 || !std::isfinite(interval)) ? 16 : std::floor(std::fabs(double(interval)));
        n = std::max(n, 1.0);
        const double x = c.standardDeviation * 4 / n;
        const double p = std::pow(10.0, std::floor(std::log10(x)));
        c.step = p * std::floor((p * 0.5 + x) / p);
    }
    if (!(c.step > 0) || !std::isfinite(c.step))
        return false;
    placeLevels(c);
    return std::isfinite(c.firstLevel);
}
