#include "chart/ChartMarker.h"

#include "chart/Names.h"

#include <algorithm>
#include <chrono>
#include <vector>

ChartDate chartNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// Commas become spaces before trimming, so a name set twice stays the same (a name of only
// commas is empty, not a blank).
void ChartMarker::setName(std::string_view name) {
    std::string text(name);
    std::replace(text.begin(), text.end(), ',', ' ');
    nameString_ = chart::trimBlanks(text);
}

void ChartMarker::setLatitude(float latitude) {
    latitudeNumber_ = latitude;
    positionOnChartPoint_ = kNoNavPoint;
}

void ChartMarker::setLongitude(float longitude) {
    longitudeNumber_ = longitude;
    positionOnChartPoint_ = kNoNavPoint;
}

void ChartMarker::setPositionOnGPS(NavPoint position) {
    setLatitude(position.y);
    setLongitude(position.x);
}

void Waypoint::setDescription(std::string_view description) {
    descriptionString_ = chart::trimBlanks(description);
}

std::string Waypoint::allGroups() const {
    std::vector<std::string_view> names;
    for (const auto& entry : groupsDictionary_)
        names.push_back(entry.first);
    std::stable_sort(names.begin(), names.end(), chart::nameLess);
    std::string joined;
    for (std::string_view name : names) {
        if (!joined.empty())
            joined += ", ";
        joined += name;
    }
    return joined;
}

void Track::set(ChartDate date, std::string_view name, NavPoint position, float cog, float sog, float heading,
                float speed, float depth, float temperature, float windAngle, float windSpeed,
                const ChartColor& color) {
    dateDate_ = date;
    setName(name);
    setPositionOnGPS(position);
    cogNumber_ = cog;
    sogNumber_ = sog;
    headingNumber_ = heading;
    speedNumber_ = speed;
    depthNumber_ = depth;
    temperatureNumber_ = temperature;
    windAngleNumber_ = windAngle;
    windSpeedNumber_ = windSpeed;
    color_ = color;
}
