#include "nav/grib/Contour.h"

#include "nav/grib/ContourLevels.h"
#include "nav/grib/ContourTrace.h"

#include <cmath>

namespace {

bool present(float v) {
    return v > kContourMissing && std::isfinite(v);
}

} // namespace

void contour(ContourContext& c, float interval) {
    c.lines.clear();
    c.labels.clear();
    c.savedPoints = 0;
    c.truncated = false;
    if (c.NX < 2 || c.NY < 2 || c.values.size() < size_t(c.NX) * size_t(c.NY))
        return;
    if (!scaleData(c, interval))
        return;
    const size_t nx = size_t(c.NX), ny = size_t(c.NY);
    c.marks.assign((nx + 1) * ny, 0);
    c.grid.resize(nx * ny);
    for (size_t k = 0; k < nx * ny; ++k)
        c.grid[k] = present(c.values[k]) ? c.values[k] : kContourOutside;
    startLine(c);
    c.marks = {};
    c.touched = {};
    c.grid = {};
    c.interiorStarts = {};
    c.points = {};
}
