#include "nav/grib/GribTime.h"

#include <cstdio>

using namespace std::chrono;

long long gribTimeUnitSeconds(int unit) {
    switch (unit) {
    case 0:
        return 60;
    case 1:
        return 3600;
    case 2:
        return 86400;
    case 3:
        return 30LL * 86400; // a "month" of thirty days
    case 10:
        return 3 * 3600;
    case 11:
        return 6 * 3600;
    case 12:
        return 12 * 3600;
    case 13:
        return 15 * 60;
    case 14:
        return 30 * 60;
    case 254:
        return 1;
    default:
        return 0;
    }
}

GribDate gribReferenceDate(const GribRecord& r) {
    // Octets of a damaged message may name month 0 or day 40: count on from the month's start.
    const int month = r.month >= 1 && r.month <= 12 ? r.month : 1;
    const sys_days first = sys_days{year{r.year} / std::chrono::month{unsigned(month)} / 1};
    return GribDate{first + days{r.day - 1}} + hours{r.hour} + minutes{r.minute};
}

GribDate gribForecastDate(const GribRecord& r) {
    GribDate date = gribReferenceDate(r);
    switch (r.timeRange) {
    case 2: // a period from P1 to P2: valid at its end, when the averaged or summed values are
    case 3:
    case 4:
    case 5:
    case 118:
    case 119:
        return date + seconds{gribTimeUnitSeconds(r.timeUnit) * r.p2};
    case 0:
    case 1:
    case 10:
    case 113:
    case 123:
    case 124:
        return date + seconds{gribTimeUnitSeconds(r.timeUnit) * r.p1};
    default:
        return date;
    }
}

std::string isoDate(GribDate date) {
    const sys_days day = floor<days>(date);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> time{date - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02lldZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), long(time.hours().count()),
                  long(time.minutes().count()), static_cast<long long>(time.seconds().count()));
    return text;
}

std::optional<GribDate> parseIsoDate(const std::string& text) {
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    int used = 0;
    const char* c = text.c_str();
    if (std::sscanf(c, "%4u-%2u-%2u%n", &y, &mo, &d, &used) != 3 || used != 10)
        return std::nullopt;
    size_t at = 10;
    if (at < text.size() && text[at] == 'T') {
        int more = 0;
        if (std::sscanf(c + at, "T%2u:%2u%n", &h, &mi, &more) != 2 || more != 6)
            return std::nullopt;
        at += 6;
        if (at < text.size() && text[at] == ':') {
            if (std::sscanf(c + at, ":%2u%n", &s, &more) != 1 || more != 3)
                return std::nullopt;
            at += 3;
        }
    }
    if (at < text.size() && text[at] == 'Z')
        ++at;
    const year_month_day ymd{year{int(y)}, month{mo}, day{d}};
    if (at != text.size() || !ymd.ok() || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    return GribDate{sys_days{ymd}} + hours{h} + minutes{mi} + seconds{s};
}
