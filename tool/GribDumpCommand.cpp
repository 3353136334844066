// navtool grib dump FILE N

#include "tool/GribTool.h"

#include "nav/grib/GribDecoder.h"

#include <cstdio>

namespace {

const char* const help = "usage: navtool grib dump FILE N\n"
                         "\n"
                         "Prints the values of message N (counted from 1, as \"navtool grib list\"\n"
                         "numbers them) as \"latitude longitude value\" rows in file order; points the\n"
                         "bit map leaves out read \"missing\". Positions are given for latitude/longitude\n"
                         "grids (rotated grids in their own frame) and \"-\" for projected ones.\n";

void printRows(const GribRecord& r) {
    const bool latLon = r.gridType == 0 || r.gridType == 10;
    const bool gaussian = r.gridType == 4;
    const double iStep = (r.scanMode & 0x80) ? -r.di : r.di;
    const double jStep = (r.scanMode & 0x40) ? r.dj : -r.dj;
    const size_t ni = size_t(r.ni), nj = size_t(r.nj);
    std::printf("Latitude Longitude Value\n");
    for (size_t k = 0; k < r.values.size(); ++k) {
        const size_t i = (r.scanMode & 0x20) ? k / nj : k % ni;
        const size_t j = (r.scanMode & 0x20) ? k % nj : k / ni;
        char lat[32] = "-", lon[32] = "-", value[40] = "missing";
        if (latLon)
            std::snprintf(lat, sizeof lat, "%.3f", r.la1 + double(j) * jStep);
        if (latLon || gaussian)
            std::snprintf(lon, sizeof lon, "%.3f", r.lo1 + double(i) * iStep);
        if (r.values[k] != kGribMissing)
            std::snprintf(value, sizeof value, "%.10e", r.values[k]);
        std::printf("%9s%9s %s\n", lat, lon, value);
    }
}

} // namespace

int runGribDump(const Arguments& args) {
    if (wantsHelp(args)) {
        std::fputs(help, stdout);
        return 0;
    }
    double wanted = 0;
    if (args.size() != 2 || !parseNumber(args[1], &wanted) || wanted < 1 || wanted > 1e9 ||
        wanted != double(unsigned(wanted))) {
        std::fputs(help, stderr);
        return 2;
    }
    GribFile file = openGribFile(args[0]);
    if (!file)
        return 1;
    GribRecord record;
    for (unsigned number = 1;; ++number) {
        const int status = unpackgrib(file.get(), record);
        if (status == kGribEnd) {
            std::fprintf(stderr, "navtool: \"%s\" has %u messages, not %.0f\n", args[0].c_str(), number - 1,
                         wanted);
            return 1;
        }
        if (status != kGribRead) {
            std::fprintf(stderr, "navtool: message %u of \"%s\" is %s\n", number, args[0].c_str(),
                         status == kGribShortRead ? "cut short" : ("damaged: " + record.skipped).c_str());
            return 1;
        }
        if (number < unsigned(wanted))
            continue;
        if (!record.decoded) {
            std::fprintf(stderr, "navtool: message %u is not decoded: %s\n", number, record.skipped.c_str());
            return 1;
        }
        printRows(record);
        return 0;
    }
}
