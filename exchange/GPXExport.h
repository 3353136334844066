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
    // In one file: the current matches that are waypoints of their own (route points go with their
    // routes), every route and the track; or the parts chosen.
    bool exportAll(const std::string& path, exchange::ExportParts parts = {});

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
    // The track's opening lines with its name, one segment's opening and closing lines, a point.
    void startTrack(exchange::ExportFile& file, const std::string& name) const;
    void endTrack(exchange::ExportFile& file) const;
    void startSegment(exchange::ExportFile& file) const;
    void endSegment(exchange::ExportFile& file) const;
    void writeTrackPoint(exchange::ExportFile& file, const Track& point) const;
    // UTF-8 text as it is.
    void writeString(exchange::ExportFile& file, std::string_view text) const { file.write(text); }

private:
    template <class Body>
    bool write(const std::string& path, Body&& body);

    ExchangeModels models_;
};

// A position the exchange files can carry: the chart's (isPlaceable).
bool isWritable(NavPoint position);

// The current matches that are waypoints of their own, not points made for a route.
std::vector<std::shared_ptr<Waypoint>> ownWaypoints(const WaypointsModel& waypoints);

// The track's segments: from each segment start to the next, points without a position left out.
std::vector<std::vector<std::shared_ptr<Track>>> trackSegments(const TracksModel& tracks);

// The file's name without its folder and extension.
std::string fileStem(const std::string& path);
