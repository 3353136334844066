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
    if (!zipped)
        return file.commit();
    std::vector<std::pair<std::string, std::string>> images;
    for (int icon : iconsWritten_)
        images.emplace_back("icons/" + iconFileName(icon), WaypointsModel::iconImage(icon).value_or(""));
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

bool KMLExport::exportAll(const std::string& path) {
    return writeFile(path, [&](ExportFile& f) {
        writeWaypoints(f, models_.waypoints.matches());
        for (const auto& route : models_.routes.routeArray())
            writeRouteLine(f, *route);
        writeTrack(f);
    });
}

void KMLExport::writeHeader(ExportFile& file, const std::optional<std::string>& name) const {
    file << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<kml xmlns=\"http://earth.google.com/kml/2.0\">\n"
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
             << "</href>\n</Icon>\n</IconStyle>\n</Style>\n<Point>\n<coordinates>"
             << coordinateText(w->positionOnGPS()) << "</coordinates>\n</Point>\n</Placemark>\n";
    }
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

// Each segment: a placemark at its first point, its line, a placemark at its last point.
void KMLExport::writeTrack(ExportFile& file) const {
    const TracksModel& tracks = models_.tracks;
    const Track* previous = nullptr; // the last point written
    for (size_t i = 0; i < tracks.count(); ++i) {
        const Track& point = *tracks.track(i);
        if (!isWritable(point.positionOnGPS()))
            continue;
        if (!previous || tracks.isStart(i)) {
            if (previous)
                endTrack(file, *previous);
            startTrack(file, point);
        }
        file << coordinateText(point.positionOnGPS()) << "\n";
        previous = &point;
    }
    if (previous)
        endTrack(file, *previous);
}

void KMLExport::writeStartPosition(ExportFile& file, NavPoint position) const {
    file << "<LookAt>\n<longitude>" << exchange::fixed(position.x, 6) << "</longitude>\n<latitude>"
         << exchange::fixed(position.y, 6) << "</latitude>\n<range>5000</range>\n<tilt>0</tilt>\n"
         << "<heading>0</heading>\n</LookAt>\n";
}
