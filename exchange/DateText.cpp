#include "exchange/DateText.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace exchange {

namespace {

struct Fields {
    long long year = 0;
    unsigned month = 0, day = 0;
    unsigned hour = 0, minute = 0;
    double second = 0.0;
};

// Dates are written within the years 1 to 9999.
constexpr double firstDate = -62135596800.0, lastDate = 253402300799.0;

Fields fieldsOf(ChartDate date) {
    const double whole = std::floor(std::isfinite(date) ? std::clamp(date, firstDate, lastDate) : 0.0);
    long long seconds = static_cast<long long>(whole);
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    Fields f;
    civilFromDays(days, &f.year, &f.month, &f.day);
    f.hour = static_cast<unsigned>(rest / 3600);
    f.minute = static_cast<unsigned>(rest / 60 % 60);
    f.second = static_cast<double>(rest % 60);
    return f;
}

unsigned daysInMonth(long long year, unsigned month) {
    static const unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return lengths[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool valid(const Fields& f) {
    return f.year >= 1 && f.year <= 9999 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
           f.day <= daysInMonth(f.year, f.month) && f.hour <= 23 && f.minute <= 59 && f.second >= 0.0 &&
           f.second < 61.0;
}

std::optional<ChartDate> localDate(const Fields& f) {
    std::tm tm{};
    tm.tm_year = static_cast<int>(f.year - 1900);
    tm.tm_mon = static_cast<int>(f.month) - 1;
    tm.tm_mday = static_cast<int>(f.day);
    tm.tm_hour = static_cast<int>(f.hour);
    tm.tm_min = static_cast<int>(f.minute);
    const double whole = std::floor(f.second);
    tm.tm_sec = static_cast<int>(whole);
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(f.year == 1969 || f.year == 1970))
        return std::nullopt;
    return static_cast<double>(t) + (f.second - whole);
}

ChartDate utcDate(const Fields& f) {
    return static_cast<double>(daysFromCivil(f.year, f.month, f.day)) * 86400.0 + f.hour * 3600.0 +
           f.minute * 60.0 + f.second;
}

// Digits at fixed positions; false unless all are digits.
bool digitsAt(std::string_view text, size_t at, size_t count, unsigned* value) {
    unsigned v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
    }
    *value = v;
    return true;
}

} // namespace

long long daysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long days, long long* year, unsigned* month, unsigned* day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<long long>(yoe) + era * 400 + (*month <= 2);
}

namespace {

// "YYYY-MM-DD?HH:MM:SS" of the fields (years 1 to 9999), without a format string: a track
// writes one per point.
std::string dateAndTime(const Fields& f, char between, std::string_view zone) {
    char text[19];
    const auto put = [&](size_t at, unsigned value, size_t width) {
        for (size_t i = at + width; i > at; value /= 10)
            text[--i] = static_cast<char>('0' + value % 10);
    };
    put(0, static_cast<unsigned>(f.year), 4);
    put(5, f.month, 2);
    put(8, f.day, 2);
    put(11, f.hour, 2);
    put(14, f.minute, 2);
    put(17, static_cast<unsigned>(f.second), 2);
    text[4] = text[7] = '-';
    text[10] = between;
    text[13] = text[16] = ':';
    std::string out(text, sizeof text);
    out += zone;
    return out;
}

} // namespace

std::string isoDateText(ChartDate date) {
    return dateAndTime(fieldsOf(date), 'T', "Z");
}

std::string standardDateText(ChartDate date) {
    return dateAndTime(fieldsOf(date), ' ', " +0000");
}

std::optional<ChartDate> dateFromFixedPositions(std::string_view text) {
    if (text.size() < 10)
        return std::nullopt;
    Fields f;
    unsigned year = 0, second = 0;
    if (!digitsAt(text, 0, 4, &year) || !digitsAt(text, 5, 2, &f.month) || !digitsAt(text, 8, 2, &f.day))
        return std::nullopt;
    f.year = year;
    if (text.size() >= 19) {
        if (!digitsAt(text, 11, 2, &f.hour) || !digitsAt(text, 14, 2, &f.minute) ||
            !digitsAt(text, 17, 2, &second))
            return std::nullopt;
        f.second = second;
    }
    if (!valid(f))
        return std::nullopt;
    return localDate(f);
}

// Resolves the fields the lenient reader found (LenientDate.cpp) into a date.
std::optional<ChartDate> composeDate(long long year, unsigned month, unsigned day, unsigned hour,
                                     unsigned minute, double second, std::optional<int> offsetMinutes,
                                     DefaultZone zone) {
    Fields f{year, month, day, hour, minute, second};
    if (!valid(f))
        return std::nullopt;
    if (offsetMinutes)
        return utcDate(f) - *offsetMinutes * 60.0;
    return zone == DefaultZone::Utc ? std::optional<ChartDate>(utcDate(f)) : localDate(f);
}

} // namespace exchange
