#include "nav/grib/GribThinning.h"

#include <algorithm>
#include <cmath>

std::vector<size_t> strongestOfBlocks(unsigned latitudeCount, unsigned longitudeCount,
                                      const GribBlocks& blocks,
                                      const std::function<float(size_t index)>& strength) {
    std::vector<size_t> kept;
    const unsigned rows = std::max(1u, blocks.rows);
    for (unsigned row = 0; row < latitudeCount; row += rows) {
        const unsigned columns = std::max(1u, blocks.columnsAt(row));
        const unsigned lastRow = std::min(latitudeCount, row + rows);
        for (unsigned column = 0; column < longitudeCount; column += columns) {
            const unsigned lastColumn = std::min(longitudeCount, column + columns);
            float best = -1;
            size_t at = 0;
            for (unsigned j = row; j < lastRow; ++j)
                for (unsigned i = column; i < lastColumn; ++i) {
                    const size_t k = size_t(j) * longitudeCount + i;
                    const float s = strength(k);
                    if (s > best) // false for NaN
                        best = s, at = k;
                }
            if (best >= 0)
                kept.push_back(at);
        }
    }
    return kept;
}

namespace {

// Blocks of `area` equator cells: rows of about its square root, as many columns as make up
// the area at the block's latitude.
GribBlocks blocksOf(double area, const std::function<double(unsigned row)>& latitudeAt) {
    GribBlocks b;
    b.rows = unsigned(std::max(1.0, std::floor(std::sqrt(area))));
    const double rows = b.rows;
    b.columnsAt = [area, rows, latitudeAt](unsigned row) {
        const double shrink = std::max(0.02, std::cos(latitudeAt(row) * M_PI / 180.0));
        return unsigned(std::clamp(std::round(area / rows / shrink), 1.0, 1e6));
    };
    return b;
}

size_t count(unsigned latitudeCount, unsigned longitudeCount, const GribBlocks& b) {
    size_t n = 0;
    for (unsigned row = 0; row < latitudeCount; row += b.rows)
        n += (longitudeCount + b.columnsAt(row) - 1) / b.columnsAt(row);
    return n;
}

} // namespace

GribBlocks blocksByArea(unsigned latitudeCount, unsigned longitudeCount, size_t most,
                        const std::function<double(unsigned row)>& latitudeAt) {
    if (size_t(latitudeCount) * longitudeCount <= most)
        return {};
    double low = 1, high = double(latitudeCount) * double(longitudeCount);
    for (int k = 0; k < 40 && high - low > 0.01; ++k) { // the smallest area that fits
        const double mid = (low + high) / 2;
        (count(latitudeCount, longitudeCount, blocksOf(mid, latitudeAt)) <= most ? high : low) = mid;
    }
    return blocksOf(high, latitudeAt);
}
