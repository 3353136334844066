#pragma once
// Writes waypoints, a route or the logged track as comma-separated lines. Waypoint and route
// lines carry positions in the user's position form; track lines decimal degrees and the logged
// values, an empty field for each value not logged.

#include "exchange/Importer.h"

#include <memory>
#include <string>
#include <vector>

class CSVExport {
public:
    explicit CSVExport(ExchangeModels models = ExchangeModels::shared()) : models_(models) {}

    // The path's extension is "csv" in any letter case.
    static bool isCSV(const std::string& path);

    // Each answers whether the file was written; a failed export leaves the old file in place.
    bool exportWaypoints(const std::string& path); // the waypoints model's current matches
    bool exportWaypoints(const std::string& path, const std::vector<std::shared_ptr<Waypoint>>& waypoints);
    bool exportRoute(const std::string& path, const Route& route);
    bool exportTracks(const std::string& path);

    // Name, latitude, longitude, description. A line break in a name or description would split
    // the record, so it is written as a space.
    static std::string waypointLine(const Waypoint& waypoint);
    // Date, latitude, longitude, course, speed over ground, heading, speed through water, depth,
    // wind angle, wind speed, and the description when there is one.
    static std::string trackLine(const Track& track);

private:
    ExchangeModels models_;
};
