// A GRIB file from anywhere: every message is read until the decoder stops, the values it
// decodes are checked against what the message promised, and small grids are contoured.

#include "nav/grib/Contour.h"
#include "nav/grib/GribDecoder.h"
#include "nav/grib/GribTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void contourValues(const GribRecord& r) {
    if (r.pointCount() > 1024 || r.ni < 2 || r.nj < 2)
        return;
    std::vector<float> values;
    for (double v : r.values)
        values.push_back(v == kGribMissing ? kContourMissing : float(v));
    ContourContext c;
    c.NX = r.ni;
    c.NY = r.nj;
    c.values = values;
    contour(c, 0);
    for (const ContourLine& line : c.lines)
        for (const ContourPoint& p : line)
            if (!(p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1))
                std::abort(); // contours stay on the grid
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f)
        return 0;
    GribRecord record;
    for (int status; (status = unpackgrib(f, record)) == kGribRead;) {
        (void)isoDate(gribForecastDate(record));
        if (!record.decoded)
            continue;
        if (record.values.size() != record.pointCount() || record.values.size() > kGribMaxPoints)
            std::abort(); // exactly the grid the message describes
        contourValues(record);
    }
    std::fclose(f);
    return 0;
}
