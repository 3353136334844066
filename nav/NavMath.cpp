#include "nav/NavMath.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kRadToDeg = 57.295776f;
constexpr float kRadToNm = 3437.7466f;
constexpr float kNmToRad = 0.00029088822f;
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

float deg(float radians) {
    return radians * kRadToDeg;
}
float rad(float degrees) {
    return degrees * kDegToRad;
}

} // namespace

float degreesToRadians(float degrees) {
    return degrees * kDegToRad;
}
float radiansToDegrees(float radians) {
    return radians * kRadToDeg;
}
float radiansToNauticalMiles(float radians) {
    return radians * kRadToNm;
}
float nauticalMilesToRadians(float nauticalMiles) {
    return nauticalMiles * kNmToRad;
}
double deg_to_rad(double degrees) {
    return 3.14159265358979 * degrees / 180.0;
}
double rad_to_deg(double radians) {
    return 180.0 * radians / 3.14159265358979;
}

NavPoint NavMath::fixPosition(NavPoint p) {
    // One correction each way: positions come from one step of dead reckoning, never from afar.
    if (p.x < -180.0f)
        p.x += 360.0f;
    if (p.x > 180.0f)
        p.x -= 360.0f;
    if (p.y < -90.0f)
        p.y = -(p.y + 180.0f);
    if (p.y > 90.0f)
        p.y = 180.0f - p.y;
    return p;
}

bool NavMath::withInPlusOrMinus(float value, float centre, float tolerance) {
    return centre - tolerance <= value && value <= centre + tolerance;
}

float NavMath::fixBearing(float degrees) {
    if (!std::isfinite(degrees))
        return std::isnan(degrees) ? degrees : NAN;
    // fmod is exact, so this equals stepping by whole turns, without a loop on huge values.
    float b = std::fmod(degrees, 360.0f);
    if (b < 0.0f)
        b += 360.0f; // a tiny negative rounds up to 360 here and is capped below
    if (b > 359.9999f)
        return 359.9999f;
    return b == 0.0f ? 0.0f : b; // no negative zero ("-00.0" in a sentence)
}

float NavMath::trueBearing(float magnetic, float variation) {
    return fixBearing(magnetic + variation);
}

float NavMath::magneticBearing(float trueBearing, float variation) {
    return fixBearing(trueBearing - variation);
}

float NavMath::radianDistance(NavPoint from, NavPoint to) {
    const float lat1 = rad(from.y), lat2 = rad(to.y);
    const float dlat = rad(from.y - to.y) / 2.0f;
    const float dlon = rad(from.x - to.x) / 2.0f;
    const float sLat = std::sin(dlat), sLon = std::sin(dlon);
    return 2.0f * std::asin(std::sqrt(sLat * sLat + std::cos(lat1) * std::cos(lat2) * sLon * sLon));
}

float NavMath::distanceFromPoint(NavPoint from, NavPoint to) {
    return radianDistance(from, to) * kRadToNm;
}

float NavMath::bearingFromPoint(NavPoint from, NavPoint to) {
    const float lat1 = rad(from.y), lat2 = rad(to.y);
    const float lon1 = rad(from.x), lon2 = rad(to.x);
    const float d = radianDistance(from, to);
    float argument = (std::sin(lat2) - std::sin(lat1) * std::cos(d)) / (std::sin(d) * std::cos(lat1));
    // Rounding can push the cosine just past +-1 on legs across a pole; its sign still tells north
    // from south. At a pole itself (no cosine of the latitude to speak of) the latitude decides.
    if (std::fabs(std::cos(lat1)) > 1e-6f)
        argument = std::clamp(argument, -1.0f, 1.0f);
    const float a = std::acos(argument);
    const float c = std::sin(lon2 - lon1) < 0.0f ? a : kTwoPi - a;
    if (std::isnan(c))
        return to.y >= from.y ? 0.0f : 180.0f;
    float b = 360.0f - deg(c);
    if (b >= 360.0f)
        b -= 360.0f;
    if (b < 0.0f)
        b += 360.0f;
    if (b >= 359.5f)
        return 0.0f;
    return b;
}

NavPoint NavMath::positionAtDistance(NavPoint start, float course, float distance) {
    if (!(distance > 0.0f))
        return start;
    const float lat1 = rad(start.y), lon1 = rad(start.x);
    const float d = distance * kNmToRad;
    const float tc = rad(360.0f - course);
    const float lat = std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(tc));
    const float dlon =
        std::atan2(std::sin(tc) * std::sin(d) * std::cos(lat1), std::cos(d) - std::sin(lat1) * std::sin(lat));
    const float lon = std::fmod(lon1 - dlon + kPi, kTwoPi) - kPi;
    return {deg(lon), deg(lat)};
}

NavPoint NavMath::intermediatePosition(NavPoint from, NavPoint to, float f) {
    const float lat1 = rad(from.y), lon1 = rad(from.x);
    const float lat2 = rad(to.y), lon2 = rad(to.x);
    const float d = radianDistance(from, to);
    const float a = std::sin((1.0f - f) * d) / std::sin(d);
    const float b = std::sin(f * d) / std::sin(d);
    const float x = a * std::cos(lat1) * std::cos(lon1) + b * std::cos(lat2) * std::cos(lon2);
    const float y = a * std::cos(lat1) * std::sin(lon1) + b * std::cos(lat2) * std::sin(lon2);
    const float z = a * std::sin(lat1) + b * std::sin(lat2);
    return {deg(std::atan2(y, x)), deg(std::atan2(z, std::sqrt(x * x + y * y)))};
}

float NavMath::crossTrackFromPoint(NavPoint position, NavPoint legEnd, NavPoint legStart) {
    const float d = radianDistance(legStart, position);
    const float b1 = bearingFromPoint(legStart, position);
    const float b2 = bearingFromPoint(legStart, legEnd);
    return std::asin(std::sin(d) * std::sin(rad(b1 - b2))) * kRadToNm;
}

float NavMath::vmgFromPoint(NavPoint from, NavPoint to, float course, float speed) {
    return speed * std::cos(rad(std::fabs(bearingFromPoint(from, to) - course)));
}

float NavMath::timeFromPoint(NavPoint from, NavPoint to, float course, float speed) {
    if (!(speed > 0.0f))
        return 0.0f;
    const float distance = distanceFromPoint(from, to);
    if (!(distance > 0.0f))
        return 0.0f;
    return distance / vmgFromPoint(from, to, course, speed);
}

float NavMath::bearingDeltaFromPoint(NavPoint fromA, NavPoint toA, NavPoint fromB, NavPoint toB) {
    const float delta = std::fabs(bearingFromPoint(fromA, toA) - bearingFromPoint(fromB, toB));
    return delta > 180.0f ? 360.0f - delta : delta;
}

CPA NavMath::closestPointOfApproach(NavPoint p1, NavPoint p2, float s1, float s2, float course1,
                                    float course2) {
    const float range = distanceFromPoint(p1, p2);
    const float b = rad(bearingFromPoint(p1, p2));
    const float c1 = rad(course1), c2 = rad(course2);
    const float vN = s2 * std::cos(c2) - s1 * std::cos(c1);
    const float vE = s2 * std::sin(c2) - s1 * std::sin(c1);
    const float k = range * std::cos(b) * vN + range * std::sin(b) * vE;
    // Not closing, or not a number: no approach to report.
    if (!(k < 0.0f))
        return {};
    const float v2 = vN * vN + vE * vE;
    const float t = std::fabs(2.0f * k / (-2.0f * v2));
    const float m2 = range * range + (2.0f * k) * (2.0f * k) / (-4.0f * v2);
    CPA result{t, 0.0f, 0.0f};
    if (m2 > 0.0f) {
        result.distance = std::sqrt(m2);
        const NavPoint q1 = positionAtDistance(p1, course1, s1 * t);
        const NavPoint q2 = positionAtDistance(p2, course2, s2 * t);
        result.bearing = bearingFromPoint(q1, q2);
    }
    return result;
}

float NavMath::trueWindSpeed(float apparentAngle, float apparentSpeed, float boatSpeed) {
    if (!(boatSpeed > 0.0f))
        return apparentSpeed;
    const float x = rad(90.0f - apparentAngle);
    const float u = std::cos(x) * apparentSpeed;
    const float w = std::sin(x) * apparentSpeed - boatSpeed;
    return std::pow(u * u + w * w, 0.5f);
}

float NavMath::trueWindAngle(float apparentAngle, float apparentSpeed, float boatSpeed) {
    if (!(boatSpeed > 0.0f))
        return apparentAngle;
    const float x = rad(90.0f - apparentAngle);
    const float w = std::sin(x) * apparentSpeed - boatSpeed;
    // Wind on the bow or the stern: the cosine of 90 degrees is not 0 in single precision, and its
    // sign would pick the wrong end of the boat.
    if (std::fmod(apparentAngle, 180.0f) == 0.0f)
        return w < 0.0f ? 180.0f : 0.0f;
    const float u = std::cos(x) * apparentSpeed;
    return fixBearing(90.0f - deg(std::atan(w / u)));
}

float NavMath::variationForPoint(NavPoint position, unsigned long julianDay) {
    const double lat = rad(position.y);
    const double lon = rad(position.x);
    return deg(static_cast<float>(SGMagVar(lat, lon, 0.0, julianDay, 9)));
}

float NavMath::variationForPoint(NavPoint position) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr)
        return 0.0f;
    return variationForPoint(position, yymmdd_to_julian_days(local.tm_year, local.tm_mon + 1, local.tm_mday));
}

unsigned long yymmdd_to_julian_days(int yy, int mm, int dd) {
    // 64-bit throughout: no signed overflow whatever the caller passes.
    const long long year = yy < 50 ? 2000LL + yy : 1900LL + yy;
    const long long m = mm, d = dd;
    const long long a = (m - 14) / 12;
    const long long day = (1461 * (year + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 -
                          (3 * ((year + 4900 + a) / 100)) / 4 + d - 32075;
    return static_cast<unsigned long>(day);
}
