#pragma once
// Navigation geometry on a spherical earth, in single precision. Positions are degrees: x the
// longitude (east positive), y the latitude (north positive). Distances are nautical miles, speeds
// knots, times hours, bearings degrees true. No operation loops or misbehaves on NaN or infinity:
// such input yields a NaN (or the documented degenerate value), never a hang.

#include "nav/SGMagVar.h"

#include <cstdint>

struct NavPoint {
    float x = 0.0f; // longitude
    float y = 0.0f; // latitude
    friend bool operator==(const NavPoint&, const NavPoint&) = default;
};

// The library's mark for a position that is not known.
inline constexpr NavPoint kNoNavPoint{-10000.0f, -10000.0f};

// Time to the closest point (hours), range there (nautical miles), bearing there (degrees).
struct CPA {
    float time = 0.0f;
    float distance = 0.0f;
    float bearing = 0.0f;
    friend bool operator==(const CPA&, const CPA&) = default;
};

class NavMath {
public:
    NavMath() = delete;

    static NavPoint fixPosition(NavPoint position);
    static bool withInPlusOrMinus(float value, float centre, float tolerance);
    static float fixBearing(float degrees);
    static float trueBearing(float magnetic, float variation);
    static float magneticBearing(float trueBearing, float variation);

    static float radianDistance(NavPoint from, NavPoint to);
    static float distanceFromPoint(NavPoint from, NavPoint to);
    static float bearingFromPoint(NavPoint from, NavPoint to);
    // The start unchanged for a distance not above 0; the longitude may leave -180..180.
    static NavPoint positionAtDistance(NavPoint start, float course, float distance);
    // NaN between coincident points.
    static NavPoint intermediatePosition(NavPoint from, NavPoint to, float fraction);
    // Positive to starboard of the leg start -> leg end.
    static float crossTrackFromPoint(NavPoint position, NavPoint legEnd, NavPoint legStart);
    static float vmgFromPoint(NavPoint from, NavPoint to, float course, float speed);
    static float timeFromPoint(NavPoint from, NavPoint to, float course, float speed);
    static float bearingDeltaFromPoint(NavPoint fromA, NavPoint toA, NavPoint fromB, NavPoint toB);
    // (0, 0, 0) when the vessels are not closing.
    static CPA closestPointOfApproach(NavPoint position1, NavPoint position2, float speed1, float speed2,
                                      float course1, float course2);

    static float trueWindSpeed(float apparentAngle, float apparentSpeed, float boatSpeed);
    static float trueWindAngle(float apparentAngle, float apparentSpeed, float boatSpeed);

    // Variation (degrees, east positive) at the position for today's local date; 0 without a date.
    static float variationForPoint(NavPoint position);
    // The same for a given day number (see yymmdd_to_julian_days).
    static float variationForPoint(NavPoint position, unsigned long julianDay);
};

float degreesToRadians(float degrees);
float radiansToDegrees(float radians);
float radiansToNauticalMiles(float radians);
float nauticalMilesToRadians(float nauticalMiles);
double deg_to_rad(double degrees);
double rad_to_deg(double radians);

// Julian day number of a Gregorian date. yy < 50 means 20yy, otherwise 1900 + yy, so a count of
// years since 1900 works too. Out-of-range input gives a meaningless day, never overflow.
unsigned long yymmdd_to_julian_days(int yy, int mm, int dd);
