#include "nav/grib/GribPoints.h"

#include "nav/UnitsModel.h"

#include <cmath>

namespace {
constexpr float kKnotsPerMetreSecond = 1.9438f;
} // namespace

float GribPoints::value(GribField field, size_t index) const {
    const std::vector<float>& list = fields_[size_t(field)];
    return index < list.size() ? list[index] : kGribMissingFloat;
}

// The length of (u, v): the same as |v / sin(atan(v / u))| where that is defined, and also for a
// flow straight along a meridian (u = 0) or a parallel (v = 0).
float GribPoints::speed(float u, float v) {
    if (isMissing(u) || isMissing(v))
        return 0.0f;
    return std::hypot(u, v) * kKnotsPerMetreSecond;
}

// Where the flow comes from: north 0, east 90; 0 for no flow.
float GribPoints::direction(float u, float v) {
    if (isMissing(u) || isMissing(v) || (u == 0.0f && v == 0.0f))
        return 0.0f;
    return NavMath::fixBearing(radiansToDegrees(std::atan2(-u, -v)));
}

float GribPoints::temperature(float kelvin, unsigned units) {
    // Some files carry Celsius already (sea temperatures): no temperature on earth is below 100 K
    // and no Celsius reading above 100 degrees, so the value itself tells which it is.
    if (kelvin < 100.0f) {
        switch (units) {
        case 0:
            return kelvin * 1.8f + 32.0f;
        case 1:
            return kelvin;
        case 2:
            return kelvin + 273.15f;
        default:
            return 0.0f;
        }
    }
    switch (units) {
    case 0:
        return kelvin * 1.8f - 459.688f;
    case 1:
        return kelvin - 273.16f;
    case 2:
        return kelvin;
    default:
        return 0.0f;
    }
}

float GribPoints::rate(float perSecond, unsigned units) {
    switch (units) {
    case 0:
        return perSecond * 0.03937f * 3600.0f;
    case 1:
    case 2:
        return perSecond / 10.0f * 3600.0f;
    default:
        return perSecond;
    }
}

float GribPoints::height(float metres, unsigned units) {
    switch (units) {
    case 0:
    case 2:
    case 4:
        return metres * 3.2808f;
    case 1:
    case 3:
        return metres;
    default:
        return 0.0f;
    }
}

float GribPoints::temperature(float kelvin) {
    return temperature(kelvin, UnitsModel::units().temperatureUnits());
}
float GribPoints::rate(float perSecond) {
    return rate(perSecond, UnitsModel::units().temperatureUnits());
}
float GribPoints::height(float metres) {
    return height(metres, UnitsModel::units().surfaceDistanceUnits());
}

float GribPoints::highPressure() const {
    float high = kGribMissingFloat;
    for (float p : values(GribField::pressure))
        if (!isMissing(p) && (high == kGribMissingFloat || p > high))
            high = p;
    return high;
}

float GribPoints::lowPressure() const {
    float low = kGribMissingFloat;
    for (float p : values(GribField::pressure))
        if (!isMissing(p) && (low == kGribMissingFloat || p < low))
            low = p;
    return low;
}

NavPoint GribPoints::extentOnGPS() const {
    return {position_.x + float(longitudeCount_) * longitudeIncrement_,
            position_.y + float(latitudeCount_) * latitudeIncrement_};
}

NavPoint GribPoints::size() const {
    const NavPoint extent = extentOnGPS();
    return {std::fabs(extent.x - position_.x), std::fabs(extent.y - position_.y)};
}

NavPoint GribPoints::centerOnGPS() const {
    return {position_.x + float(longitudeCount_) * longitudeIncrement_ / 2.0f,
            position_.y + float(latitudeCount_) * latitudeIncrement_ / 2.0f};
}
