// navtool grib dump FILE N

#include "tool/GribTool.h"

#include "nav/grib/GribDecoder.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const help = "usage: navtool grib dump FILE N\n"
                         "\n"
                         "Prints the values of message N (counted from 1, as \"navtool grib list\"\n"
                         "numbers them) as \"latitude longitude value\" rows in file order; points the\n"
                         "bit map leaves out read \"missing\". Positions are given for latitude/longitude\n"
                         "grids (rotated grids in their own frame) and \"-\" for projected ones.\n";

// "%9s"-style: right-aligned in a field of width.
char* padded(char* out, const char* text, size_t length, size_t width) {
    for (size_t k = length; k < width; ++k)
        *out++ = ' ';
    std::memcpy(out, text, length);
    return out + length;
}

char* fixed3(char* out, double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
    return padded(out, text, size_t(end - text), 9);
}

// The positions of one axis, each written once: a row's latitude and a column's longitude
// repeat on every point of the grid.
std::vector<std::string> axis(size_t count, bool shown, double first, double step) {
    std::vector<std::string> texts(count);
    char text[48];
    for (size_t k = 0; k < count; ++k)
        texts[k].assign(text, shown ? fixed3(text, first + double(k) * step) : padded(text, "-", 1, 9));
    return texts;
}

// The rows written with to_chars into a large buffer: formatting with printf took most of the
// time of a dump.
void printRows(const GribRecord& r) {
    const bool latLon = r.gridType == 0 || r.gridType == 10;
    const bool gaussian = r.gridType == 4;
    const size_t ni = size_t(r.ni), nj = size_t(r.nj);
    const std::vector<std::string> latitudes = axis(nj, latLon, r.la1, (r.scanMode & 0x40) ? r.dj : -r.dj);
    const std::vector<std::string> longitudes =
        axis(ni, latLon || gaussian, r.lo1, (r.scanMode & 0x80) ? -r.di : r.di);
    std::fputs("Latitude Longitude Value\n", stdout);
    std::vector<char> buffer(1 << 16);
    constexpr size_t kRow = 96; // two positions, a space, a value, a line end, with room
    size_t used = 0;
    for (size_t k = 0; k < r.values.size(); ++k) {
        if (used + kRow > buffer.size()) {
            std::fwrite(buffer.data(), 1, used, stdout);
            used = 0;
        }
        const size_t i = (r.scanMode & 0x20) ? k / nj : k % ni;
        const size_t j = (r.scanMode & 0x20) ? k % nj : k / ni;
        char* out = buffer.data() + used;
        out = std::copy(latitudes[j].begin(), latitudes[j].end(), out);
        out = std::copy(longitudes[i].begin(), longitudes[i].end(), out);
        *out++ = ' ';
        if (r.values[k] != kGribMissing) {
            out = std::to_chars(out, out + 32, r.values[k], std::chars_format::scientific, 10).ptr;
        } else {
            std::memcpy(out, "missing", 7);
            out += 7;
        }
        *out++ = '\n';
        used = size_t(out - buffer.data());
    }
    std::fwrite(buffer.data(), 1, used, stdout);
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
            std::fprintf(stderr, "navtool: message %u is %s: %s\n", number,
                         record.damaged ? "damaged" : "not decoded", record.skipped.c_str());
            return 1;
        }
        printRows(record);
        return 0;
    }
}
