// navtool grib list FILE

#include "nav/grib/GribTime.h"
#include "tool/GribTool.h"

#include <cstdio>

namespace {

const char* const help = "usage: navtool grib list FILE\n"
                         "\n"
                         "Prints one line per message, in file order: its number (from 1), parameter,\n"
                         "level type and level, grid type, points (Ni x Nj), first point (latitude,\n"
                         "longitude), increments, scanning mode, forecast time (UTC), and \"decoded\" or\n"
                         "why the values were skipped. A damaged message ends the listing with an error.\n";

std::string describeLevel(const GribRecord& r) {
    char text[48];
    if (levelIsOneValue(r.levelType))
        std::snprintf(text, sizeof text, "%d:%d", r.levelType, r.level);
    else
        std::snprintf(text, sizeof text, "%d:%d,%d", r.levelType, r.level1, r.level2);
    return text;
}

std::string describeSteps(const GribRecord& r) {
    char text[80];
    if (r.gridType == 3 || r.gridType == 5)
        std::snprintf(text, sizeof text, "dx=%.0fm dy=%.0fm", r.dx, r.dy);
    else if (r.gridType == 4)
        std::snprintf(text, sizeof text, "di=%.3f parallels=%.0f", r.di, r.dj);
    else
        std::snprintf(text, sizeof text, "di=%.3f dj=%.3f", r.di, r.dj);
    return text;
}

void printMessage(unsigned number, const GribRecord& r) {
    if (r.edition != 1) {
        std::printf("%u edition=%d skipped: %s\n", number, r.edition, r.skipped.c_str());
        return;
    }
    std::printf("%u parameter=%d level=%s grid=%d", number, r.parameter, describeLevel(r).c_str(),
                r.gridType);
    if (r.hasGds && r.gridType >= 0 && r.ni > 0)
        std::printf(" size=%dx%d first=%.3f,%.3f %s scan=0x%02x", r.ni, r.nj, r.la1, r.lo1,
                    describeSteps(r).c_str(), r.scanMode);
    std::printf(" date=%s", isoDate(gribForecastDate(r)).c_str());
    if (r.decoded)
        std::printf(" decoded\n");
    else
        std::printf(" skipped: %s\n", r.skipped.c_str());
}

} // namespace

int runGribList(const Arguments& args) {
    if (wantsHelp(args)) {
        std::fputs(help, stdout);
        return 0;
    }
    if (args.size() != 1) {
        std::fputs(help, stderr);
        return 2;
    }
    GribFile file = openGribFile(args[0]);
    if (!file)
        return 1;
    GribRecord record;
    unsigned number = 0;
    for (;;) {
        const int status = unpackgrib(file.get(), record);
        if (status == kGribEnd)
            break;
        ++number;
        std::fflush(stdout); // the lines so far come before the complaint
        if (status == kGribShortRead) {
            std::fprintf(stderr, "navtool: \"%s\" ends inside message %u\n", args[0].c_str(), number);
            return 1;
        }
        if (status == kGribMalformed) {
            std::fprintf(stderr, "navtool: message %u of \"%s\" is damaged: %s\n", number, args[0].c_str(),
                         record.skipped.c_str());
            return 1;
        }
        printMessage(number, record);
    }
    if (number == 0) {
        std::fprintf(stderr, "navtool: \"%s\" holds no GRIB message\n", args[0].c_str());
        return 1;
    }
    return 0;
}
