#include "nav/grib/ContourTrace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Corner k of cell (i, j) as a grid point offset.
constexpr int kCornerX[4] = {0, 0, 1, 1};
constexpr int kCornerY[4] = {0, 1, 1, 0};

// The mark of side k: its grid point offset and bit (1 the face upward, 2 the face rightward).
constexpr int kSideX[4] = {0, 0, 1, 0};
constexpr int kSideY[4] = {0, 1, 0, 0};
constexpr uint8_t kSideBit[4] = {1, 2, 1, 2};

// Moving on in direction d.
constexpr int kStepX[4] = {1, 0, -1, 0};
constexpr int kStepY[4] = {0, -1, 0, 1};

// The smallest float at or above the level: for a float v, v >= level exactly when v >= it,
// and v < level exactly when v < it.
float floatAtOrAbove(double level) {
    float f = float(level);
    if (double(f) < level)
        f = std::nextafter(f, kContourOutside);
    return f;
}

void trace(ContourContext& c, int i, int j, int d, double level) {
    drawLine(c, initPoint(i, j, d), level);
}

} // namespace

std::atomic<uint64_t>& contourLabelCounter() {
    static std::atomic<uint64_t> counter{0};
    return counter;
}

ContourCursor initPoint(int i, int j, int d) {
    return {i, j, d};
}

float getDataPoint(const ContourContext& c, const ContourCursor& at, int corner) {
    const int x = at.i + kCornerX[corner & 3];
    const int y = at.j + kCornerY[corner & 3];
    if (x < 0 || y < 0 || x >= c.NX || y >= c.NY)
        return kContourOutside;
    return c.grid[size_t(y) * size_t(c.NX) + size_t(x)];
}

namespace {
// The mark byte of a side, or none for a face beyond the marks.
uint8_t* markOf(ContourContext& c, const ContourCursor& at, int side) {
    const int x = at.i + kSideX[side & 3];
    const int y = at.j + kSideY[side & 3];
    if (x < 0 || y < 0 || x > c.NX || y >= c.NY)
        return nullptr;
    return &c.marks[size_t(y) * size_t(c.NX + 1) + size_t(x)];
}
} // namespace

void markInUse(ContourContext& c, const ContourCursor& at, int side) {
    if (uint8_t* m = markOf(c, at, side)) {
        if (*m == 0)
            c.touched.push_back(size_t(m - c.marks.data()));
        *m |= kSideBit[side & 3];
    }
}

bool faceInUse(const ContourContext& c, const ContourCursor& at, int side) {
    const uint8_t* m = markOf(const_cast<ContourContext&>(c), at, side);
    return !m || (*m & kSideBit[side & 3]);
}

void Text(ContourContext& c, const std::string& text, float x, float y) {
    c.labels.push_back({x, y, text.substr(0, 20)});
}

ContourPoint lastPoint(const ContourContext& c) {
    return c.points.empty() ? ContourPoint{} : c.points.back();
}

void Polyline(ContourContext& c) {
    c.lines.push_back(c.points);
}

bool savePoint(ContourContext& c, const ContourCursor& at, double level) {
    const double p = getDataPoint(c, at, at.d);
    const double q = getDataPoint(c, at, at.d + 1);
    if (p == q)
        return true;
    if (c.savedPoints >= c.maxPoints) {
        c.truncated = true;
        return false;
    }
    ++c.savedPoints;
    const double f = (level - p) / (q - p);
    double x = 0, y = 0;
    switch (at.d) {
    case 0:
        x = at.i, y = at.j + f;
        break;
    case 1:
        x = at.i + f, y = at.j + 1;
        break;
    case 2:
        x = at.i + 1, y = at.j + 1 - f;
        break;
    default:
        x = at.i + 1 - f, y = at.j;
        break;
    }
    const ContourPoint point{float(x / (c.NX - 1)), float(y / (c.NY - 1))};
    c.points.push_back(point);
    std::atomic<uint64_t>& counter = c.labelCounter ? *c.labelCounter : contourLabelCounter();
    if (counter.fetch_add(1) % 11 == 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", c.labelDecimals, level);
        Text(c, text, point.x, point.y);
    }
    return true;
}

void drawLine(ContourContext& c, ContourCursor at, double level) {
    c.points.clear();
    for (;;) {
        if (!savePoint(c, at, level))
            break;
        if (faceInUse(c, at, at.d))
            break; // closed, or met a line already traced
        markInUse(c, at, at.d);
        const float a = getDataPoint(c, at, at.d + 3);
        const float b = getDataPoint(c, at, at.d + 2);
        if (a == kContourOutside || b == kContourOutside)
            break;
        int turn = 0;
        switch ((level < a ? 0 : 2) + (level <= b ? 1 : 0)) {
        case 0:
            markInUse(c, at, at.d + 1), markInUse(c, at, at.d + 3), turn = 0;
            break;
        case 1:
            markInUse(c, at, at.d + 2), markInUse(c, at, at.d + 3), turn = 3;
            break;
        case 2:
            markInUse(c, at, at.d + 1), markInUse(c, at, at.d + 2), turn = 1;
            break;
        default:
            turn = c.levelFlag ? 1 : 3;
            break; // a saddle
        }
        at.d = (at.d + turn) & 3;
        at.i += kStepX[at.d];
        at.j += kStepY[at.d];
    }
    if (!c.points.empty())
        Polyline(c);
}

void startEdge(ContourContext& c, double level, int side) {
    const int lastX = c.NX - 2, lastY = c.NY - 2;
    auto tryCell = [&](int i, int j) {
        if (c.truncated)
            return;
        // A line starts only between two known values.
        const ContourCursor at = initPoint(i, j, side);
        const float p = getDataPoint(c, at, side);
        if (p >= level && p != kContourOutside && level > getDataPoint(c, at, side + 1))
            trace(c, i, j, side, level);
    };
    switch (side) {
    case 0:
        for (int j = 0; j <= lastY; ++j)
            tryCell(0, j);
        break;
    case 1:
        for (int i = 0; i <= lastX; ++i)
            tryCell(i, lastY);
        break;
    case 2:
        for (int j = lastY; j >= 0; --j)
            tryCell(lastX, j);
        break;
    default:
        for (int i = lastX; i >= 0; --i)
            tryCell(i, 0);
        break;
    }
}

void startInterior(ContourContext& c, double level) {
    const float up = floatAtOrAbove(level);
    const size_t nx = size_t(c.NX);
    for (int i = 1; i <= c.NX - 2; ++i) {
        for (size_t j = 0; j + 1 < size_t(c.NY); ++j) {
            const float p = c.grid[j * nx + size_t(i)], q = c.grid[(j + 1) * nx + size_t(i)];
            if (p >= up && p != kContourOutside && q < up &&
                !(c.marks[j * (nx + 1) + size_t(i)] & kSideBit[0]))
                trace(c, i, int(j), 0, level);
            if (c.truncated)
                return;
        }
    }
}

namespace {

double levelAt(const ContourContext& c, int k) {
    return c.firstLevel + k * c.step;
}

// Interior starts held for all levels at once (64 MiB); a noisier field scans each level.
constexpr size_t kMaxBucketed = size_t(1) << 24;

// Decimals that write every multiple of the step exactly (2.5 needs one, 0.25 two), at most 4.
int decimalsFor(double step) {
    int d = 0;
    for (double scaled = step; d < 4 && std::fabs(scaled - std::round(scaled)) > 1e-6 * scaled; scaled *= 10)
        ++d;
    return d;
}

// How many of the n levels lie at or below v, exactly as the tracing compares them.
uint16_t levelsAtOrBelow(const ContourContext& c, int n, float v) {
    int k = int(std::clamp(std::floor((v - c.firstLevel) / c.step) + 1, 0.0, double(n)));
    while (k > 0 && levelAt(c, k - 1) > v)
        --k;
    while (k < n && levelAt(c, k) <= v)
        ++k;
    return uint16_t(k);
}

// The interior starts of every level in one pass over the grid, in the order startInterior
// meets them (column by column, rows upward); false when there would be too many to hold,
// and each level is then scanned on its own.
bool bucketInteriorStarts(ContourContext& c, int n) {
    const size_t nx = size_t(c.NX), ny = size_t(c.NY);
    if (nx * ny >= (size_t(1) << 32))
        return false;
    // A face from P up to Q is a start for the levels above Q and at or below P.
    std::vector<uint16_t> bands(nx * ny);
    for (size_t k = 0; k < nx * ny; ++k)
        bands[k] = c.grid[k] == kContourOutside ? 0 : levelsAtOrBelow(c, n, c.grid[k]);
    std::vector<size_t> counts(size_t(n), 0);
    size_t total = 0;
    auto visit = [&](auto&& take) {
        for (size_t j = 0; j + 1 < ny; ++j) {
            const uint16_t* row = bands.data() + j * nx;
            for (size_t i = 1; i + 1 < nx; ++i) {
                const size_t above = c.grid[(j + 1) * nx + i] == kContourOutside ? size_t(n) : row[i + nx];
                for (size_t k = above; k < row[i]; ++k)
                    take(k, uint32_t(i * ny + j));
            }
        }
    };
    visit([&](size_t k, uint32_t) { ++counts[k], ++total; });
    if (total > 4 * nx * ny || total > kMaxBucketed)
        return false;
    c.interiorStarts.assign(size_t(n), {});
    for (size_t k = 0; k < size_t(n); ++k)
        c.interiorStarts[k].reserve(counts[k]);
    visit([&](size_t k, uint32_t face) { c.interiorStarts[k].push_back(face); });
    for (std::vector<uint32_t>& starts : c.interiorStarts)
        std::sort(starts.begin(), starts.end());
    return true;
}

void startInteriorFrom(ContourContext& c, const std::vector<uint32_t>& starts, double level) {
    const size_t nx = size_t(c.NX), ny = size_t(c.NY);
    for (uint32_t face : starts) {
        if (c.truncated)
            return;
        const size_t i = face / ny, j = face % ny;
        if (!(c.marks[j * (nx + 1) + i] & kSideBit[0]))
            trace(c, int(i), int(j), 0, level);
    }
}

} // namespace

void startLine(ContourContext& c) {
    int n = 0;
    while (n <= kContourMaxLevels && levelAt(c, n) < c.maximum)
        ++n;
    c.labelDecimals = decimalsFor(c.step);
    const bool bucketed = bucketInteriorStarts(c, n);
    std::memset(c.marks.data(), 0, c.marks.size());
    c.touched.clear();
    for (int k = 0; k < n && !c.truncated; ++k) {
        const double level = levelAt(c, k);
        c.levelFlag = level >= c.mean;
        for (uint32_t m : c.touched) // clear the marks of the level before
            c.marks[m] = 0;
        c.touched.clear();
        for (int side = 0; side < 4; ++side)
            startEdge(c, level, side);
        if (bucketed)
            startInteriorFrom(c, c.interiorStarts[size_t(k)], level);
        else
            startInterior(c, level);
    }
}
