#include "exchange/KMLExport.h"

#include "chart/WaypointIcons.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"
#include "exchange/GPXExport.h"
#include "exchange/Kmz.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <strings.h>

using exchange::ExportFile;
using exchange::xmlEscaped;

namespace {

bool hasExtension(const std::string& path, const char* extension) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    return strcasecmp(path.c_str() + dot + 1, extension) == 0;
}

} // namespace

bool KMLExport::isKML(const std::string& path) {
    return hasExtension(path, "kml") || hasExtension(path, "kmz");
}

bool KMLExport::isKMZ(const std::string& path) {
    return hasExtension(path, "kmz");
}

std::string KMLExport::iconFileName(int iconIndex) {
    return WaypointIcons::iconName(static_cast<size_t>(iconIndex)) + ".svg";
}

std::string KMLExport::coordinateText(NavPoint p) {
    return exchange::fixed(p.x, 6) + "," + exchange::fixed(p.y, 6) + ",0";
}

std::string KMLExport::coordinateText(const ChartMarker& marker) {
    const auto elevation = marker.elevation();
    if (!elevation || *elevation == 0.0f)
        return coordinateText(marker.positionOnGPS());
    return exchange::fixed(marker.longitude(), 6) + "," + exchange::fixed(marker.latitude(), 6) + "," +
           exchange::fixed(*elevation, 2);
}

std::string KMLExport::colorText(const ChartColor& c) {
    const auto byte = [](float v) {
        return static_cast<unsigned>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    };
    char text[16];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", byte(c.alpha), byte(c.blue), byte(c.green),
                  byte(c.red));
    return text;
}

bool KMLExport::writeFile(const std::string& path, const std::function<void(ExportFile&)>& body) {
    iconsWritten_.clear();
    const bool zipped = isKMZ(path);
    ExportFile file;
    if (!zipped && !file.open(path))
        return false;
    writeHeader(file);
    body(file);
    writeFooter(file);
    std::vector<std::pair<std::string, std::string>> images;
    for (int icon : iconsWritten_)
        images.emplace_back(iconFileName(icon), WaypointsModel::iconImage(icon).value_or(""));
    if (!zipped) {
        // The icons beside the document, unless it refers to them elsewhere (a web location).
        if (!images.empty() && iconLocation_.find("://") == std::string::npos &&
            !exchange::writeFilesBeside(path, iconLocation_, images))
            return false;
        return file.commit();
    }
    for (auto& image : images)
        image.first = "icons/" + image.first;
    return exchange::writeKmz(path, file.text(), images);
}

bool KMLExport::exportWaypoints(const std::string& path) {
    return writeFile(path, [&](ExportFile& f) { writeWaypoints(f, models_.waypoints.matches()); });
}

bool KMLExport::exportRoute(const std::string& path, const Route& route) {
    return writeFile(path, [&](ExportFile& f) {
        std::vector<std::shared_ptr<Waypoint>> points;
        for (const WaypointReference& ref : route.waypointReferences()) {
            if (ref.waypoint)
                points.push_back(ref.waypoint);
        }
        writeWaypoints(f, points);
        writeRouteLine(f, route);
    });
}

bool KMLExport::exportTracks(const std::string& path) {
    return writeFile(path, [&](ExportFile& f) { writeTrack(f); });
}

bool KMLExport::exportPosition(const std::string& path, NavPoint position) {
    return writeFile(path, [&](ExportFile& f) { writeStartPosition(f, position); });
}

bool KMLExport::exportAll(const std::string& path, exchange::ExportParts parts) {
    return writeFile(path, [&](ExportFile& f) {
        if (parts.waypoints)
            writeWaypoints(f, ownWaypoints(models_.waypoints));
        for (size_t i = 0; parts.routes && i < models_.routes.count(); ++i)
            writeRouteFolder(f, *models_.routes.route(i), i + 1);
        if (parts.tracks)
            writeTrack(f);
    });
}

void KMLExport::writeHeader(ExportFile& file, const std::optional<std::string>& name) const {
    file << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<kml xmlns=\"http://earth.google.com/kml/2.0\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
            "<Folder>\n";
    if (name)
        file << "<name>" << xmlEscaped(*name) << "</name>\n";
}

void KMLExport::writeFooter(ExportFile& file) const {
    file << "</Folder>\n</kml>\n";
}

void KMLExport::writeWaypoints(ExportFile& file, const std::vector<std::shared_ptr<Waypoint>>& waypoints) {
    for (const auto& w : waypoints) {
        if (!isWritable(w->positionOnGPS()))
            continue;
        const int icon = WaypointsModel::hasIconImage(w->iconIndex()) ? w->iconIndex() : 0;
        iconsWritten_.insert(icon);
        file << "<Placemark>\n<name>" << xmlEscaped(w->name()) << "</name>\n<description>"
             << xmlEscaped(w->description())
             << "</description>\n<Style>\n<IconStyle>\n<scale>0.5</scale>\n<Icon>\n<href>"
             << xmlEscaped(iconLocation_ + iconFileName(icon))
             << "</href>\n</Icon>\n</IconStyle>\n</Style>\n<Point>\n<coordinates>" << coordinateText(*w)
             << "</coordinates>\n</Point>\n</Placemark>\n";
    }
}

void KMLExport::writeRouteFolder(ExportFile& file, const Route& route, size_t number) {
    file << "<Folder id=\"route" << std::to_string(number) << "\">\n<name>" << xmlEscaped(route.name())
         << "</name>\n";
    std::vector<std::shared_ptr<Waypoint>> points;
    for (const WaypointReference& ref : route.waypointReferences()) {
        if (ref.waypoint && std::find(points.begin(), points.end(), ref.waypoint) == points.end())
            points.push_back(ref.waypoint);
    }
    writeWaypoints(file, points);
    writeRouteLine(file, route);
    file << "</Folder>\n";
}

void KMLExport::writeRouteLine(ExportFile& file, const Route& route) const {
    file << "<Placemark>\n<name>" << xmlEscaped(route.name())
         << "</name>\n<Style>\n<LineStyle>\n<color>FFFF7F00</color>\n<width>3</width>\n</LineStyle>\n"
            "</Style>\n<LineString>\n<coordinates>\n";
    for (const WaypointReference& ref : route.waypointReferences()) {
        if (ref.waypoint && isWritable(ref.waypoint->positionOnGPS()))
            file << coordinateText(ref.waypoint->positionOnGPS()) << "\n";
    }
    file << "</coordinates>\n</LineString>\n</Placemark>\n";
}

void KMLExport::writeTrackPoint(ExportFile& file, const Track& point) const {
    file << "<Placemark>\n";
    if (point.hasDate())
        file << "<name>" << xmlEscaped(exchange::standardDateText(point.date())) << "</name>\n";
    file << "<Point>\n<coordinates>" << coordinateText(point.positionOnGPS())
         << "</coordinates>\n</Point>\n</Placemark>\n";
}

void KMLExport::startTrack(ExportFile& file, const Track& first) const {
    writeTrackPoint(file, first);
    ChartColor color = first.color();
    color.alpha = 1.0f;
    file << "<Placemark>\n<Style>\n<LineStyle>\n<color>" << colorText(color)
         << "</color>\n<width>2</width>\n</LineStyle>\n</Style>\n<LineString>\n<coordinates>\n";
}

void KMLExport::endTrack(ExportFile& file, const Track& last) const {
    file << "</coordinates>\n</LineString>\n</Placemark>\n";
    writeTrackPoint(file, last);
}

// Each segment: a placemark at its first point, its line, a placemark at its last point, and the
// same points with their times as a gx:Track.
void KMLExport::writeTrack(ExportFile& file) const {
    const auto segments = trackSegments(models_.tracks);
    if (segments.empty())
        return;
    file << "<Folder id=\"track\">\n";
    for (const auto& segment : segments) {
        startTrack(file, *segment.front());
        for (const auto& point : segment)
            file << coordinateText(point->positionOnGPS()) << "\n";
        endTrack(file, *segment.back());
        writeGxTrack(file, segment);
    }
    file << "</Folder>\n";
}

// A point without a time gets an empty "when", so that each time stays with its point.
void KMLExport::writeGxTrack(ExportFile& file, const std::vector<std::shared_ptr<Track>>& segment) const {
    file << "<Placemark>\n<gx:Track>\n";
    std::string lines;
    for (const auto& point : segment)
        lines +=
            point->hasDate() ? "<when>" + exchange::isoDateText(point->date()) + "</when>\n" : "<when/>\n";
    for (const auto& point : segment) {
        std::string coord = coordinateText(*point);
        std::replace(coord.begin(), coord.end(), ',', ' ');
        lines += "<gx:coord>" + coord + "</gx:coord>\n";
    }
    file << lines << "</gx:Track>\n</Placemark>\n";
}

void KMLExport::writeStartPosition(ExportFile& file, NavPoint position) const {
    file << "<LookAt>\n<longitude>" << exchange::fixed(position.x, 6) << "</longitude>\n<latitude>"
         << exchange::fixed(position.y, 6) << "</latitude>\n<range>5000</range>\n<tilt>0</tilt>\n"
         << "<heading>0</heading>\n</LookAt>\n";
}
