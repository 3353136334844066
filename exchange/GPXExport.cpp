#include "exchange/GPXExport.h"

#include "chart/WaypointIcons.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"

#include <strings.h>

using exchange::ExportFile;
using exchange::xmlEscaped;

namespace {

std::string coordinates(float lat, float lon) {
    return "lat=\"" + exchange::fixed(lat, 6) + "\" lon=\"" + exchange::fixed(lon, 6) + "\"";
}

std::string extensionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot + 1);
}

} // namespace

bool isWritable(NavPoint p) {
    return isPlaceable(p);
}

std::vector<std::shared_ptr<Waypoint>> ownWaypoints(const WaypointsModel& waypoints) {
    std::vector<std::shared_ptr<Waypoint>> own;
    for (const auto& waypoint : waypoints.matches()) {
        if (!waypoint->isRoutePoint())
            own.push_back(waypoint);
    }
    return own;
}

std::vector<std::vector<std::shared_ptr<Track>>> trackSegments(const TracksModel& tracks) {
    std::vector<std::vector<std::shared_ptr<Track>>> segments;
    bool begins = true;
    for (size_t i = 0; i < tracks.count(); ++i) {
        begins = begins || tracks.isStart(i);
        const auto& point = tracks.track(i);
        if (!isWritable(point->positionOnGPS()))
            continue;
        if (begins)
            segments.emplace_back();
        segments.back().push_back(point);
        begins = false;
    }
    return segments;
}

std::string fileStem(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool GPXExport::isGPX(const std::string& path) {
    return strcasecmp(extensionOf(path).c_str(), "gpx") == 0;
}

template <class Body>
bool GPXExport::write(const std::string& path, Body&& body) {
    ExportFile file;
    if (!file.open(path))
        return false;
    writeHeader(file);
    body(file);
    writeFooter(file);
    return file.commit();
}

bool GPXExport::exportWaypoints(const std::string& path) {
    return write(path, [&](ExportFile& f) { writeWaypoints(f, models_.waypoints.matches(), "wpt"); });
}

bool GPXExport::exportWaypointsFromGroup(const Group& group, const std::string& path) {
    std::vector<std::shared_ptr<Waypoint>> members;
    const bool all = &group == models_.waypoints.groupsModel().allGroup().get();
    for (const auto& waypoint : models_.waypoints.chartMarkers()) {
        if (all || waypoint->hasGroup(group.name()))
            members.push_back(waypoint);
    }
    if (members.empty())
        return false;
    return write(path, [&](ExportFile& f) { writeWaypoints(f, members, "wpt"); });
}

bool GPXExport::exportRoute(const std::string& path, const Route& route) {
    return write(path, [&](ExportFile& f) { writeRoute(f, route); });
}

bool GPXExport::exportTracks(const std::string& path) {
    return write(path, [&](ExportFile& f) { writeTrack(f, fileStem(path)); });
}

bool GPXExport::exportAll(const std::string& path, exchange::ExportParts parts) {
    return write(path, [&](ExportFile& f) {
        if (parts.waypoints)
            writeWaypoints(f, ownWaypoints(models_.waypoints), "wpt");
        for (const auto& route : models_.routes.routeArray()) {
            if (parts.routes)
                writeRoute(f, *route);
        }
        if (parts.tracks)
            writeTrack(f, fileStem(path));
    });
}

void GPXExport::writeHeader(ExportFile& file) const {
    file << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"Corvane\"\n"
            "xmlns=\"http://www.topografix.com/GPX/1/1\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
            "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
}

void GPXExport::writeFooter(ExportFile& file) const {
    file << "</gpx>\n";
}

namespace {

std::string elevationLine(const ChartMarker& marker) {
    const auto elevation = marker.elevation();
    return elevation ? "<ele>" + exchange::fixed(*elevation, 2) + "</ele>\n" : std::string();
}

} // namespace

// A waypoint without a name (every unique name was taken) goes without a name element.
void GPXExport::writeWaypoints(ExportFile& file, const std::vector<std::shared_ptr<Waypoint>>& waypoints,
                               const char* tag) const {
    for (const auto& w : waypoints) {
        if (!isWritable(w->positionOnGPS()))
            continue;
        const int icon = WaypointsModel::hasIconImage(w->iconIndex()) ? w->iconIndex() : 0;
        std::string lines = std::string("<") + tag + " " + coordinates(w->latitude(), w->longitude()) + ">\n";
        lines += elevationLine(*w);
        if (!w->name().empty())
            lines += "<name>" + xmlEscaped(w->name()) + "</name>\n";
        if (!w->description().empty())
            lines += "<desc>" + xmlEscaped(w->description()) + "</desc>\n";
        lines += "<sym>" + xmlEscaped(WaypointIcons::iconName(static_cast<size_t>(icon))) + "</sym>\n";
        lines += std::string("</") + tag + ">\n";
        file << lines;
    }
}

void GPXExport::writeRoute(ExportFile& file, const Route& route) const {
    file << "<rte>\n<name>" << xmlEscaped(route.name()) << "</name>\n";
    std::vector<std::shared_ptr<Waypoint>> points;
    for (const WaypointReference& ref : route.waypointReferences()) {
        if (ref.waypoint)
            points.push_back(ref.waypoint);
    }
    writeWaypoints(file, points, "rtept");
    file << "</rte>\n";
}

void GPXExport::startTrack(ExportFile& file, const std::string& name) const {
    file << "<trk>\n<name>" << xmlEscaped(name) << "</name>\n";
}

void GPXExport::endTrack(ExportFile& file) const {
    file << "</trk>\n";
}

void GPXExport::startSegment(ExportFile& file) const {
    file << "<trkseg>\n";
}

void GPXExport::endSegment(ExportFile& file) const {
    file << "</trkseg>\n";
}

void GPXExport::writeTrackPoint(ExportFile& file, const Track& t) const {
    std::string lines = "<trkpt " + coordinates(t.latitude(), t.longitude()) + ">\n" + elevationLine(t);
    if (t.hasDate())
        lines += "<time>" + exchange::isoDateText(t.date()) + "</time>\n";
    if (!t.description().empty())
        lines += "<desc>" + xmlEscaped(t.description()) + "</desc>\n";
    file << lines << "</trkpt>\n";
}

void GPXExport::writeTrack(ExportFile& file, const std::string& name) const {
    if (models_.tracks.count() == 0)
        return;
    startTrack(file, name);
    for (const auto& segment : trackSegments(models_.tracks)) {
        startSegment(file);
        for (const auto& point : segment)
            writeTrackPoint(file, *point);
        endSegment(file);
    }
    endTrack(file);
}
