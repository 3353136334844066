#pragma once
// Writes waypoints, routes and the logged track as GPX 1.1: one element per line, no indentation.

#include "exchange/ExportFile.h"
#include "exchange/Importer.h"

#include <string>
#include <vector>

class GPXExport {
public:
    explicit GPXExport(ExchangeModels models = ExchangeModels::shared()) : models_(models) {}

    // The path's extension is "gpx" in any letter case.
    static bool isGPX(const std::string& path);

    // Each answers whether the file was written; a failed export leaves the old file in place.
    bool exportWaypoints(const std::string& path); // the waypoints model's current matches
    bool exportWaypointsFromGroup(const Group& group, const std::string& path); // false without any
    bool exportRoute(const std::string& path, const Route& route);
    bool exportTracks(const std::string& path); // the track named after the file
    // The current matches, every route and the track in one file.
    bool exportAll(const std::string& path);

    // Building blocks.
    void writeHeader(exchange::ExportFile& file) const;
    void writeFooter(exchange::ExportFile& file) const;
    // A waypoint whose icon index lies outside the icon table goes out with the blank icon; one
    // without a position (see isWritable) is left out.
    void writeWaypoints(exchange::ExportFile& file, const std::vector<std::shared_ptr<Waypoint>>& waypoints,
                        const char* tag) const;
    void writeRoute(exchange::ExportFile& file, const Route& route) const;
    // The track points cut into segments, those without a position left out; nothing when the
    // model holds no points.
    void writeTrack(exchange::ExportFile& file, const std::string& name) const;

private:
    template <class Body>
    bool write(const std::string& path, Body&& body);

    ExchangeModels models_;
};

// A position the exchange files can carry: the chart's (isPlaceable).
bool isWritable(NavPoint position);

// The file's name without its folder and extension.
std::string fileStem(const std::string& path);
