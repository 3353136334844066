#pragma once
// Decoder for GRIB edition 1 messages (WMO FM 92). unpackgrib reads the next message of a stream
// into a GribRecord: its product, grid and packing descriptions and, when the grid is one of ours
// and simply packed, its values. A file is untrusted: every length and count is checked against
// the message before it is used. A whole message whose sections contradict each other is passed
// over as damaged; only a file that ends inside a message stops the reading.

#include "nav/grib/GribBits.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

// What a grid point that the bit map leaves out holds (the largest float).
inline constexpr double kGribMissing = 3.4028234663852886e38;

// Grids larger than this are refused, whatever a message claims (a 0.05 degree global grid fits).
inline constexpr uint64_t kGribMaxPoints = uint64_t(1) << 24;

// Leaves new elements uninitialised: the decoder's buffers are filled right after they grow.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) {}
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(p)) U;
        else
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using GribBytes = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;
using GribValues = std::vector<double, UninitialisedAllocator<double>>;

// unpackgrib's results.
enum GribStatus : int {
    kGribEnd = -1,      // no further message
    kGribRead = 0,      // a message was read; `decoded` says whether its values are there
    kGribShortRead = 1, // the file ends inside a message
    kGribMalformed = 2, // a header whose length cannot be a message, and nothing after it
};

struct GribRecord {
    // Indicator section.
    uint64_t totalLength = 0;
    int edition = 0;
    // The whole message from its "GRIB", followed by 8 zero bytes so that the unpacking may read
    // a full 64-bit word at any value.
    GribBytes buffer;

    // Section 1, product definition.
    uint32_t pdsLength = 0;
    int tableVersion = 0, centre = 0, process = 0, gridId = 0;
    bool hasGds = false, hasBms = false;
    int parameter = 0, levelType = 0;
    int level = 0;                                          // octets 11-12 as one 16-bit value
    int level1 = 0, level2 = 0;                             // the same octets one by one
    int year = 0, month = 0, day = 0, hour = 0, minute = 0; // year in full
    int yearOfCentury = 0, century = 0;
    int timeUnit = 0, p1 = 0, p2 = 0, timeRange = 0;
    int numberAveraged = 0, numberMissing = 0, subCentre = 0;
    int decimalScale = 0; // D

    // Section 2, grid description. Coordinates in degrees; Di and Dj unsigned magnitudes (the
    // scanning mode gives their direction), Dj of a Gaussian grid is its number of parallels.
    uint32_t gdsLength = 0;
    int gridType = -1;
    int ni = 0, nj = 0;
    double la1 = 0, lo1 = 0, la2 = 0, lo2 = 0, di = 0, dj = 0;
    int resolutionFlags = 0, scanMode = 0;
    double lov = 0, dx = 0, dy = 0; // Lambert and polar stereographic
    int projectionCentre = 0;

    // Section 3 and 4.
    uint32_t bmsLength = 0, bdsLength = 0;
    int bdsFlags = 0;
    int binaryScale = 0;       // E
    double referenceValue = 0; // R
    int bitsPerValue = 0;

    // The values, nj rows of ni in file order, when `decoded`; otherwise why not.
    GribValues values;
    bool decoded = false;
    bool damaged = false; // the sections contradict each other (`skipped` says how)
    std::string skipped;
    // Values a caller can still hold: a larger grid is read but not decoded (`overLimit`). Kept
    // from message to message.
    uint64_t valueLimit = kGribMaxPoints;
    bool overLimit = false;

    uint64_t pointCount() const { return uint64_t(ni) * uint64_t(nj); }
    // Half the packing's step: how far a decoded value may lie from the value that was packed.
    double precision() const;
};

// Reads and decodes the next message. Junk before "GRIB" is passed over.
int unpackgrib(std::FILE* stream, GribRecord& record);
// The steps of unpackgrib, each on the message held in record.buffer; false when the section is
// malformed (record.skipped says why).
int unpackIS(std::FILE* stream, GribRecord& record);
bool unpackPDS(GribRecord& record, size_t offset);
bool unpackGDS(GribRecord& record, size_t offset);
bool unpackBDS(GribRecord& record, size_t bdsOffset, size_t bmsOffset);
void freegrib(GribRecord& record);

// The level as the message means it: one 16-bit value for the level types that use one.
bool levelIsOneValue(int levelType);
