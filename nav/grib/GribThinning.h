#pragma once
// A grid drawn sparser than it is keeps, of each block of points, the strongest: a gale or a
// hurricane point is never the one left out.

#include <cstddef>
#include <functional>
#include <vector>

struct GribBlocks {
    unsigned rows = 1; // rows per block
    // Columns per block in the block that starts at a row (wider towards the poles, where a
    // degree of longitude is short).
    std::function<unsigned(unsigned row)> columnsAt = [](unsigned) { return 1u; };
};

// The index (row * longitudeCount + column) of the strongest point of each block, row blocks in
// order; a block whose points all have no strength (missing: NaN or below 0) keeps none.
std::vector<size_t> strongestOfBlocks(unsigned latitudeCount, unsigned longitudeCount,
                                      const GribBlocks& blocks,
                                      const std::function<float(size_t index)>& strength);

// Blocks of about equal area on the earth for a grid whose row r lies at latitudeAt(r), so that
// no more than `most` blocks remain; single points when the grid has no more than that.
GribBlocks blocksByArea(unsigned latitudeCount, unsigned longitudeCount, size_t most,
                        const std::function<double(unsigned row)>& latitudeAt);
