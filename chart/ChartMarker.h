#pragma once
// The chart records: the base of waypoints and track points, the waypoint and the logged track
// point. Positions are single-precision degrees; -10000 marks a missing coordinate, -1000 a
// value that was not logged.

#include "nav/NavMath.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

// Seconds since 1 January 1970 (UTC), fractions allowed.
using ChartDate = double;
ChartDate chartNow();

inline constexpr float kNoCoordinate = -10000.0f;
inline constexpr float kNotLogged = -1000.0f;

// A position the chart keeps: latitude -90..90 and longitude -180..180, both limits included (a
// pole, the date line, and values that single precision rounds onto a limit are real places).
inline bool isPlaceable(NavPoint p) {
    return p.y >= -90.0f && p.y <= 90.0f && p.x >= -180.0f && p.x <= 180.0f;
}

// Red, green, blue and opacity, each 0..1.
struct ChartColor {
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
    float alpha = 1.0f;
    friend bool operator==(const ChartColor&, const ChartColor&) = default;
};

class ChartMarker {
public:
    ChartMarker() = default;
    virtual ~ChartMarker() = default;
    ChartMarker(const ChartMarker&) = default;
    ChartMarker& operator=(const ChartMarker&) = default;

    const std::string& name() const { return nameString_; }
    // Trimmed of blanks at both ends, every "," replaced by a space (names key the stored form).
    void setName(std::string_view name);

    float latitude() const { return latitudeNumber_; }
    float longitude() const { return longitudeNumber_; }
    void setLatitude(float latitude);
    void setLongitude(float longitude);
    // (longitude, latitude).
    NavPoint positionOnGPS() const { return {longitudeNumber_, latitudeNumber_}; }
    void setPositionOnGPS(NavPoint position);
    bool hasPosition() const { return longitudeNumber_ != kNoCoordinate && latitudeNumber_ != kNoCoordinate; }
    // Height above sea level in metres, as the exchange files carry it; nothing when not known.
    std::optional<float> elevation() const { return elevation_; }
    void setElevation(std::optional<float> metres) { elevation_ = metres; }

    // Display cache of the chart view; any change of position clears it.
    NavPoint positionOnChartPoint() const { return positionOnChartPoint_; }
    void setPositionOnChartPoint(NavPoint point) { positionOnChartPoint_ = point; }

private:
    std::string nameString_;
    float latitudeNumber_ = kNoCoordinate;
    float longitudeNumber_ = kNoCoordinate;
    NavPoint positionOnChartPoint_ = kNoNavPoint;
    std::optional<float> elevation_;
};

class Waypoint : public ChartMarker {
public:
    using Groups = std::map<std::string, bool, std::less<>>;

    int iconIndex() const { return iconIndexNumber_; }
    void setIconIndex(int index) { iconIndexNumber_ = index; }
    const std::string& description() const { return descriptionString_; }
    void setDescription(std::string_view description); // trimmed of blanks
    bool show() const { return showNumber_; }
    void setShow(bool show) { showNumber_ = show; }
    // Made only to carry a point of a route that a file gave without a waypoint of its own: an
    // export of everything writes it with its route, not again as a waypoint.
    bool isRoutePoint() const { return routePoint_; }
    void setRoutePoint(bool routePoint) { routePoint_ = routePoint; }

    const Groups& groups() const { return groupsDictionary_; }
    void setGroups(const Groups& groups) { groupsDictionary_ = groups; }
    void addGroup(const std::string& name) { groupsDictionary_[name] = true; }
    void removeGroup(const std::string& name) { groupsDictionary_.erase(name); }
    bool hasGroup(std::string_view name) const { return groupsDictionary_.count(name) != 0; }
    // The group names in name order, joined by ", ".
    std::string allGroups() const;

    // Set by whoever shows the waypoints; used for sorting.
    float distanceFromPosition() const { return distanceFromPositionNumber_; }
    void setDistanceFromPosition(float value) { distanceFromPositionNumber_ = value; }
    float bearingFromPosition() const { return bearingFromPositionNumber_; }
    void setBearingFromPosition(float value) { bearingFromPositionNumber_ = value; }
    float timeToGoFromPosition() const { return timeToGoFromPositionNumber_; }
    void setTimeToGoFromPosition(float value) { timeToGoFromPositionNumber_ = value; }

private:
    int iconIndexNumber_ = 0;
    std::string descriptionString_;
    bool showNumber_ = true;
    bool routePoint_ = false;
    Groups groupsDictionary_;
    float distanceFromPositionNumber_ = 0.0f;
    float bearingFromPositionNumber_ = 0.0f;
    float timeToGoFromPositionNumber_ = 0.0f;
};

// One logged track point; its name carries the point's label.
class Track : public ChartMarker {
public:
    Track() : dateDate_(chartNow()) {}

    ChartDate date() const { return dateDate_; }
    void setDate(ChartDate date) { dateDate_ = date; }
    // The date lies more than 9999 seconds after 1970: a real date, not a placeholder.
    bool hasDate() const { return dateDate_ > 9999.0; }

    float cog() const { return cogNumber_; }
    void setCog(float value) { cogNumber_ = value; }
    float sog() const { return sogNumber_; }
    void setSog(float value) { sogNumber_ = value; }
    const std::string& description() const { return descriptionString_; }
    void setDescription(std::string_view text) { descriptionString_ = text; } // kept as given
    float heading() const { return headingNumber_; }
    void setHeading(float value) { headingNumber_ = value; }
    float speed() const { return speedNumber_; }
    void setSpeed(float value) { speedNumber_ = value; }
    float depth() const { return depthNumber_; }
    void setDepth(float value) { depthNumber_ = value; }
    float temperature() const { return temperatureNumber_; }
    void setTemperature(float value) { temperatureNumber_ = value; }
    float windAngle() const { return windAngleNumber_; }
    void setWindAngle(float value) { windAngleNumber_ = value; }
    float windSpeed() const { return windSpeedNumber_; }
    void setWindSpeed(float value) { windSpeedNumber_ = value; }
    const ChartColor& color() const { return color_; }
    void setColor(const ChartColor& color) { color_ = color; }
    // Whether the point begins a track segment, when a file said so; nothing for logged points,
    // whose segments follow from the pauses and colours (TracksModel::isStart).
    std::optional<bool> segmentStart() const { return segmentStart_; }
    void setSegmentStart(std::optional<bool> start) { segmentStart_ = start; }

    void set(ChartDate date, std::string_view name, NavPoint position, float cog, float sog, float heading,
             float speed, float depth, float temperature, float windAngle, float windSpeed,
             const ChartColor& color);

private:
    ChartDate dateDate_;
    float cogNumber_ = kNotLogged;
    float sogNumber_ = kNotLogged;
    std::string descriptionString_;
    float headingNumber_ = kNotLogged;
    float speedNumber_ = kNotLogged;
    float depthNumber_ = kNotLogged;
    float temperatureNumber_ = kNotLogged;
    float windAngleNumber_ = kNotLogged;
    float windSpeedNumber_ = kNotLogged;
    ChartColor color_;
    std::optional<bool> segmentStart_;
};
