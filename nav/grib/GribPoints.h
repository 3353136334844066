#pragma once
// The fields of one grid at one forecast time: wind, current, pressure, temperatures, waves,
// precipitation, each a list of floats in grid order, row by row from the first grid point.

#include "nav/NavMath.h"
#include "nav/grib/GribTime.h"

#include <array>
#include <string>
#include <vector>

// The missing-value marker as a float (the largest float).
inline constexpr float kGribMissingFloat = 3.4028234663852886e38f;

enum class GribField {
    uWind,
    vWind,
    uCurrent,
    vCurrent,
    geopotentialHeight,
    pressure,
    airTemperature,
    seaTemperature,
    waveHeight,
    waveDirection,
    wavePeriod,
    precipitationRate,
};
inline constexpr size_t kGribFieldCount = 12;

// A contour label placed on the map.
struct GribLabel {
    NavPoint position;
    std::string text;
};
using GribPolyline = std::vector<NavPoint>;

class GribPoints {
public:
    static GribPoints gribPoints() { return GribPoints(); }

    NavPoint positionOnGPS() const { return position_; }             // first grid point (Lo1, La1), degrees
    float latitudeIncrement() const { return latitudeIncrement_; }   // signed degrees per row
    float longitudeIncrement() const { return longitudeIncrement_; } // signed degrees per column
    unsigned latitudeCount() const { return latitudeCount_; }        // Nj
    unsigned longitudeCount() const { return longitudeCount_; }      // Ni
    GribDate forecastDate() const { return forecastDate_; }

    void setPositionOnGPS(NavPoint position) { position_ = position; }
    void setIncrement(float latitude, float longitude) {
        latitudeIncrement_ = latitude;
        longitudeIncrement_ = longitude;
    }
    void setCount(unsigned latitudeCount, unsigned longitudeCount) {
        latitudeCount_ = latitudeCount;
        longitudeCount_ = longitudeCount;
    }
    void setForecastDate(GribDate date) { forecastDate_ = date; }
    // The model run the forecast comes from (the messages' reference time).
    GribDate runDate() const { return runDate_; }
    void setRunDate(GribDate date) { runDate_ = date; }
    // The contours stopped short: the field was too detailed to draw in full.
    bool contourTruncated() const { return contourTruncated_; }
    void setContourTruncated(bool truncated) { contourTruncated_ = truncated; }

    // The drawn contours and their labels, in degrees.
    const std::vector<GribPolyline>& contourPath() const { return contourPath_; }
    const std::vector<GribLabel>& labels() const { return labels_; }
    void setContourPath(std::vector<GribPolyline> path) { contourPath_ = std::move(path); }
    void setLabels(std::vector<GribLabel> labels) { labels_ = std::move(labels); }

    // Any field by name.
    void add(GribField field, float value) { fields_[size_t(field)].push_back(value); }
    float value(GribField field, size_t index) const;
    bool has(GribField field) const { return !fields_[size_t(field)].empty(); }
    const std::vector<float>& values(GribField field) const { return fields_[size_t(field)]; }
    std::vector<float>& values(GribField field) { return fields_[size_t(field)]; }

    void adduWindComponent(float v) { add(GribField::uWind, v); }
    void addvWindComponent(float v) { add(GribField::vWind, v); }
    void adduCurrentComponent(float v) { add(GribField::uCurrent, v); }
    void addvCurrentComponent(float v) { add(GribField::vCurrent, v); }
    void addGeopotentialHeight(float v) { add(GribField::geopotentialHeight, v); }
    void addPressure(float v) { add(GribField::pressure, v); }
    void addAirTemperature(float v) { add(GribField::airTemperature, v); }
    void addSeaTemperature(float v) { add(GribField::seaTemperature, v); }
    void addWaveHeight(float v) { add(GribField::waveHeight, v); }
    void addWaveDirection(float v) { add(GribField::waveDirection, v); }
    void addWavePeriod(float v) { add(GribField::wavePeriod, v); }
    void addPrecipitationRate(float v) { add(GribField::precipitationRate, v); }

    // The value at an index, or the missing-value marker beyond the data.
    float uWindComponent(size_t i) const { return value(GribField::uWind, i); }
    float vWindComponent(size_t i) const { return value(GribField::vWind, i); }
    float uCurrentComponent(size_t i) const { return value(GribField::uCurrent, i); }
    float vCurrentComponent(size_t i) const { return value(GribField::vCurrent, i); }
    float geopotentialHeight(size_t i) const { return value(GribField::geopotentialHeight, i); }
    float pressure(size_t i) const { return value(GribField::pressure, i); }
    float airTemperature(size_t i) const { return value(GribField::airTemperature, i); }
    float seaTemperature(size_t i) const { return value(GribField::seaTemperature, i); }
    float waveHeight(size_t i) const { return value(GribField::waveHeight, i); }
    float waveDirection(size_t i) const { return value(GribField::waveDirection, i); }
    float wavePeriod(size_t i) const { return value(GribField::wavePeriod, i); }
    float precipitationRate(size_t i) const { return value(GribField::precipitationRate, i); }

    bool hasWind() const { return has(GribField::uWind) && has(GribField::vWind); }
    bool hasCurrent() const { return has(GribField::uCurrent) && has(GribField::vCurrent); }
    bool hasGeopotentialHeight() const { return has(GribField::geopotentialHeight); }
    bool hasPressure() const { return has(GribField::pressure); }
    bool hasAirTemperature() const { return has(GribField::airTemperature); }
    bool hasSeaTemperature() const { return has(GribField::seaTemperature); }
    bool hasWaveHeight() const { return has(GribField::waveHeight); }
    bool hasWaveDirection() const { return has(GribField::waveDirection); }
    bool hasWavePeriod() const { return has(GribField::wavePeriod); }
    bool hasPrecipitationRate() const { return has(GribField::precipitationRate); }

    // Knots, and degrees true the flow comes from; 0 where a component is missing.
    float windSpeed(size_t i) const { return speed(uWindComponent(i), vWindComponent(i)); }
    float windDirection(size_t i) const { return direction(uWindComponent(i), vWindComponent(i)); }
    float currentSpeed(size_t i) const { return speed(uCurrentComponent(i), vCurrentComponent(i)); }
    float currentDirection(size_t i) const { return direction(uCurrentComponent(i), vCurrentComponent(i)); }
    static float speed(float u, float v);
    static float direction(float u, float v);

    // Unit conversions into the shared units model's choice.
    static float temperature(float kelvin);
    static float rate(float perSecond);
    static float height(float metres);
    // The same for a given unit code.
    static float temperature(float kelvin, unsigned temperatureUnits);
    static float rate(float perSecond, unsigned temperatureUnits);
    static float height(float metres, unsigned surfaceDistanceUnits);

    // Highest and lowest pressure held (Pa); the missing marker when there is none.
    float highPressure() const;
    float lowPressure() const;

    NavPoint extentOnGPS() const;
    NavPoint centerOnGPS() const;
    NavPoint size() const;
    size_t pointCount() const { return size_t(latitudeCount_) * longitudeCount_; }

    // The marker, an infinity or a NaN.
    static bool isMissing(float value) { return !(value < kGribMissingFloat && value > -kGribMissingFloat); }

private:
    NavPoint position_;
    float latitudeIncrement_ = 0.0f, longitudeIncrement_ = 0.0f;
    unsigned latitudeCount_ = 0, longitudeCount_ = 0;
    GribDate forecastDate_{};
    GribDate runDate_{};
    bool contourTruncated_ = false;
    std::array<std::vector<float>, kGribFieldCount> fields_;
    std::vector<GribPolyline> contourPath_;
    std::vector<GribLabel> labels_;
};
