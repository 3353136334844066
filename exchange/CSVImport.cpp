#include "exchange/CSVImport.h"

#include "chart/Names.h"
#include "exchange/CSVExport.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"
#include "exchange/LenientDate.h"
#include "nav/Formatters.h"
#include "support/Platform.h"

#include <cmath>
#include <vector>

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string_view::npos; start = at + 1)
        pieces.push_back(text.substr(start, at - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

// The first fields up to a count, the last holding the rest of the line.
std::vector<std::string_view> fields(std::string_view line, size_t count) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < count) {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            break;
        out.push_back(line.substr(0, comma));
        line.remove_prefix(comma + 1);
    }
    out.push_back(line);
    return out;
}

// Lines ended by line feeds (a carriage return before one dropped), else by carriage returns alone.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> pieces = split(text, '\n');
    if (pieces.size() < 2)
        return split(text, '\r');
    for (auto& piece : pieces) {
        if (!piece.empty() && piece.back() == '\r')
            piece.remove_suffix(1);
    }
    return pieces;
}

// Signed decimal degrees ("54.5", "-10.2") within the limit, whatever the position form.
bool decimalDegrees(const std::string& text, float limit, float* value) {
    float v = 0.0f;
    if (!exchange::readFloat(text, &v) || v < -limit || v > limit)
        return false;
    *value = v;
    return true;
}

float number(const std::vector<std::string_view>& f, size_t index, float missing) {
    if (index >= f.size())
        return missing;
    float value = 0.0f;
    return exchange::readFloat(chart::trimBlanks(f[index]), &value) ? value : missing;
}

} // namespace

bool CSVImport::isCSV(const std::string& path) {
    return CSVExport::isCSV(path);
}

bool CSVImport::importWaypoints(const std::string& path, ImportDelegate* delegate) {
    const auto text = support::readFile(path, maxFileBytes);
    if (!text) {
        error_ = "cannot be read";
        return false;
    }
    return importWaypointsText(*text, delegate);
}

bool CSVImport::importRoute(const std::string& path, ImportDelegate* delegate, Route* route) {
    if (!route)
        return false;
    const auto text = support::readFile(path, maxFileBytes);
    if (!text) {
        error_ = "cannot be read";
        return false;
    }
    return importWaypointsText(*text, delegate, route);
}

bool CSVImport::importWaypointsText(std::string_view text, ImportDelegate* delegate, Route* route) {
    setDelegate(delegate);
    error_.clear();
    beginImport();
    bool result = false;
    const NSPositionFormatter latitude(NSPositionFormatter::Latitude),
        longitude(NSPositionFormatter::Longitude);
    size_t lineNumber = 0;
    for (std::string_view line : lines(text)) {
        ++lineNumber;
        if (line.empty())
            return result;
        if (!countRecord(lineNumber))
            return result;
        const std::vector<std::string_view> f = fields(line, 4);
        const std::string name = chart::trimBlanks(f[0]);
        const std::string latText = f.size() > 1 ? chart::trimBlanks(f[1]) : std::string();
        const std::string lonText = f.size() > 2 ? chart::trimBlanks(f[2]) : std::string();
        if (name.empty() || latText.empty() || lonText.empty()) {
            error_ = "line " + std::to_string(lineNumber) + ": fewer than three fields";
            return false;
        }
        float lat = 0.0f, lon = 0.0f;
        std::string key;
        const bool decimal = decimalDegrees(latText, 90.0f, &lat) && decimalDegrees(lonText, 180.0f, &lon);
        if (!decimal && (!latitude.getObjectValue(&lat, latText, &key) ||
                         !longitude.getObjectValue(&lon, lonText, &key))) {
            error_ = "line " + std::to_string(lineNumber) + ": " + (key.empty() ? "position not read" : key);
            if (delegate_ && !key.empty())
                delegate_->showMessageWithKey(key);
            return false;
        }
        const std::string description = f.size() > 3 ? std::string(f[3]) : std::string();
        report_.read(route ? exchange::RecordKind::RoutePoint : exchange::RecordKind::Waypoint);
        auto waypoint = createWaypointFromGPS(name, {lon, lat}, description, false);
        if (route) {
            result = waypoint != nullptr;
            if (waypoint) {
                waypoint->setRoutePoint(true);
                route->addWaypointReference({waypoint});
            }
        } else {
            result = true;
        }
    }
    return result;
}

bool CSVImport::importTracks(const std::string& path, std::optional<ChartColor> color) {
    const auto text = support::readFile(path, maxFileBytes);
    if (!text) {
        error_ = "cannot be read";
        return false;
    }
    return importTracksText(*text, color);
}

bool CSVImport::importTracksText(std::string_view text, std::optional<ChartColor> color) {
    beginImport();
    bool result = false;
    unsigned long lineNumber = 0;
    for (std::string_view line : lines(text)) {
        ++lineNumber;
        if (line.size() <= 2)
            continue;
        report_.read(exchange::RecordKind::TrackPoint);
        if (!countRecord(lineNumber)) {
            report_.note(exchange::RecordKind::TrackPoint, exchange::Reason::OverLimit, lineNumber);
            break;
        }
        const auto why = line.size() > maxTrackLine ? std::optional(exchange::Reason::Unreadable)
                                                    : importTrackLine(line, color.value_or(ChartColor{}));
        if (why)
            report_.note(exchange::RecordKind::TrackPoint, *why, lineNumber);
        result = result || !why;
    }
    return result;
}

// Nothing when the point was added, else why it was not.
std::optional<exchange::Reason> CSVImport::importTrackLine(std::string_view line, const ChartColor& color) {
    const std::vector<std::string_view> f = fields(line, 11);
    const std::string dateText = chart::trimBlanks(f[0]);
    std::optional<ChartDate> date = chartNow();
    if (!dateText.empty())
        date = exchange::readDate(dateText, exchange::DefaultZone::Local);
    if (!date)
        return exchange::Reason::Unreadable;
    const NavPoint position{number(f, 2, kNoCoordinate), number(f, 1, kNoCoordinate)};
    if (!isPlaceable(position))
        return exchange::Reason::NoPosition;
    auto track = models_.tracks.chartMarker();
    track->set(*date, std::to_string(static_cast<long>(std::floor(*date))), position,
               number(f, 3, kNotLogged), number(f, 4, kNotLogged), number(f, 5, kNotLogged),
               number(f, 6, kNotLogged), number(f, 7, kNotLogged), kNotLogged, number(f, 8, kNotLogged),
               number(f, 9, kNotLogged), color);
    if (f.size() > 10 && !f[10].empty())
        track->setDescription(f[10]);
    models_.tracks.add(track);
    return std::nullopt;
}
