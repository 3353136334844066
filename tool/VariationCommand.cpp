// navtool variation LAT LON [DATE]

#include "nav/NavMath.h"
#include "tool/Commands.h"

#include <cstdio>
#include <ctime>

namespace {

const char* const help = "usage: navtool variation LAT LON [DATE]\n"
                         "\n"
                         "Prints the magnetic variation in degrees, east positive, at the position\n"
                         "on the date (YYYY-MM-DD, default today). LAT and LON are decimal degrees,\n"
                         "negative south and west, or with a hemisphere letter: 50.8N 1.3W.\n"
                         "The field model covers 2005 to 2010; other dates are extrapolated.\n";

bool parseDate(const std::string& text, int* year, int* month, int* day) {
    unsigned y = 0, m = 0, d = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u%n", &y, &m, &d, &used) != 3 ||
        used != static_cast<int>(text.size()))
        return false;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1900 || m < 1 || m > 12 || d < 1 || static_cast<int>(d) > lengths[m - 1] + (m == 2 && leap))
        return false;
    *year = static_cast<int>(y);
    *month = static_cast<int>(m);
    *day = static_cast<int>(d);
    return true;
}

} // namespace

int runVariation(const Arguments& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(help, stdout);
        return 0;
    }
    if (args.size() < 2 || args.size() > 3) {
        std::fputs(help, stderr);
        return 2;
    }
    double lat = 0.0, lon = 0.0;
    if (!parseCoordinate(args[0], true, &lat)) {
        std::fprintf(stderr, "navtool: latitude \"%s\" is not a number of degrees within -90..90\n",
                     args[0].c_str());
        return 2;
    }
    if (!parseCoordinate(args[1], false, &lon)) {
        std::fprintf(stderr, "navtool: longitude \"%s\" is not a number of degrees within -180..180\n",
                     args[1].c_str());
        return 2;
    }
    int year = 0, month = 0, day = 0;
    if (args.size() == 3) {
        if (!parseDate(args[2], &year, &month, &day)) {
            std::fprintf(stderr, "navtool: date \"%s\" is not a valid YYYY-MM-DD date\n", args[2].c_str());
            return 2;
        }
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        if (localtime_r(&now, &local) == nullptr) {
            std::fputs("navtool: today's date is not available\n", stderr);
            return 1;
        }
        year = local.tm_year + 1900;
        month = local.tm_mon + 1;
        day = local.tm_mday;
    }
    // Years before 1950 are written as negative offsets from 2000, as the day count reads them.
    const unsigned long julian = yymmdd_to_julian_days(year >= 1950 ? year - 1900 : year - 2000, month, day);
    const double variation = rad_to_deg(SGMagVar(deg_to_rad(lat), deg_to_rad(lon), 0.0, julian, 9));
    std::printf("%.2f\n", variation);
    return 0;
}
