#include "exchange/CSVExport.h"

#include "exchange/DateText.h"
#include "exchange/ExportFile.h"
#include "exchange/ExportText.h"
#include "nav/Formatters.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

using exchange::ExportFile;

namespace {

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// A logged value in its form, or nothing when it was not logged.
std::string logged(float value, int width, int decimals) {
    if (value == kNotLogged || !std::isfinite(value))
        return {};
    return exchange::zeroPadded(value, width, decimals);
}

std::string coordinate(float value) {
    if (value == kNoCoordinate || !std::isfinite(value))
        return {};
    return exchange::fixed(value, 6);
}

bool writeWhole(const std::string& path, const std::string& text) {
    ExportFile file;
    if (!file.open(path))
        return false;
    file.write(text);
    return file.commit();
}

} // namespace

bool CSVExport::isCSV(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    return strcasecmp(path.c_str() + dot + 1, "csv") == 0;
}

std::string CSVExport::waypointLine(const Waypoint& w) {
    const NSPositionFormatter latitude(NSPositionFormatter::Latitude),
        longitude(NSPositionFormatter::Longitude);
    return oneLine(w.name()) + "," + latitude.stringForObjectValue(w.latitude()).value_or("") + "," +
           longitude.stringForObjectValue(w.longitude()).value_or("") + "," + oneLine(w.description()) + "\n";
}

std::string CSVExport::trackLine(const Track& t) {
    std::string line = exchange::standardDateText(t.date());
    for (const std::string& field :
         {coordinate(t.latitude()), coordinate(t.longitude()), logged(t.cog(), 3, 0), logged(t.sog(), 0, 1),
          logged(t.heading(), 3, 0), logged(t.speed(), 0, 1), logged(t.depth(), 0, 1),
          logged(t.windAngle(), 3, 0), logged(t.windSpeed(), 0, 1)})
        line += "," + field;
    if (!t.description().empty())
        line += "," + oneLine(t.description());
    return line + "\n";
}

bool CSVExport::exportWaypoints(const std::string& path) {
    return exportWaypoints(path, models_.waypoints.matches());
}

bool CSVExport::exportWaypoints(const std::string& path,
                                const std::vector<std::shared_ptr<Waypoint>>& waypoints) {
    std::string text;
    for (const auto& waypoint : waypoints)
        text += waypointLine(*waypoint);
    return writeWhole(path, text);
}

bool CSVExport::exportRoute(const std::string& path, const Route& route) {
    std::string text;
    for (const WaypointReference& ref : route.waypointReferences()) {
        if (ref.waypoint)
            text += waypointLine(*ref.waypoint);
    }
    return writeWhole(path, text);
}

bool CSVExport::exportTracks(const std::string& path) {
    ExportFile file;
    if (!file.open(path))
        return false;
    for (const auto& track : models_.tracks.chartMarkers())
        file.write(trackLine(*track));
    return file.commit();
}
