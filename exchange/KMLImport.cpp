#include "exchange/KMLImport.h"

#include "chart/Names.h"
#include "exchange/ExportText.h"
#include "exchange/KMLExport.h"
#include "exchange/Kmz.h"

#include <algorithm>

namespace exchange {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One number of a coordinates text and what separated it from the next.
struct Piece {
    float value;
    bool endsTuple; // blanks, not a comma, came after it
};

std::vector<Piece> pieces(std::string_view text) {
    std::vector<Piece> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (isSpace(text[i]) || text[i] == ','))
            ++i;
        size_t end = i;
        while (end < text.size() && !isSpace(text[end]) && text[end] != ',')
            ++end;
        if (end == i)
            break;
        float value = 0.0f;
        if (!readFloat(text.substr(i, end - i), &value))
            break; // the text ends at the first thing that is not a number
        size_t next = end;
        while (next < text.size() && isSpace(text[next]))
            ++next;
        const bool comma = next < text.size() && text[next] == ',';
        const bool blank = next > end || next == text.size();
        out.push_back({value, !comma && blank});
        i = next;
    }
    if (!out.empty())
        out.back().endsTuple = true;
    return out;
}

} // namespace

std::vector<NavPoint> coordinateTuples(std::string_view text) {
    const std::vector<Piece> numbers = pieces(text);
    std::vector<NavPoint> positions;
    const bool loneNumbers =
        std::all_of(numbers.begin(), numbers.end(), [](const Piece& p) { return p.endsTuple; });
    if (loneNumbers) {
        for (size_t i = 0; i + 1 < numbers.size(); i += 3)
            positions.push_back({numbers[i].value, numbers[i + 1].value});
        return positions;
    }
    std::vector<float> tuple;
    for (const Piece& p : numbers) {
        tuple.push_back(p.value);
        if (p.endsTuple) {
            if (tuple.size() >= 2)
                positions.push_back({tuple[0], tuple[1]});
            tuple.clear();
        }
    }
    return positions;
}

std::optional<NavPoint> firstPosition(std::string_view text) {
    const std::vector<Piece> numbers = pieces(text);
    if (numbers.size() < 2)
        return std::nullopt;
    return NavPoint{numbers[0].value, numbers[1].value};
}

std::optional<ChartColor> readKmlColor(std::string_view text) {
    const std::string digits = chart::trimBlanks(text);
    if (digits.size() < 6)
        return std::nullopt;
    const auto pair = [&](size_t at, float* out) {
        unsigned v = 0;
        for (size_t i = at; i < at + 2; ++i) {
            const char c = digits[i];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0)
                return false;
            v = v * 16 + static_cast<unsigned>(d);
        }
        *out = static_cast<float>(v) / 255.0f;
        return true;
    };
    ChartColor color;
    const size_t at = digits.size() >= 8 ? 2 : 0;
    if (at == 2 && !pair(0, &color.alpha))
        return std::nullopt;
    if (!pair(at, &color.blue) || !pair(at + 2, &color.green) || !pair(at + 4, &color.red))
        return std::nullopt;
    return color;
}

} // namespace exchange

bool KMLImport::isKML(const std::string& path) {
    return KMLExport::isKML(path);
}

void KMLImport::begin(ImportDelegate* delegate) {
    setDelegate(delegate);
    error_.clear();
    trackColor_ = ChartColor{};
    waypointsArray_.clear();
}

void KMLImport::finish() {
    waypoint_.reset();
    route_.reset();
    trackOpen_ = false;
}

// A KMZ archive is read in place; a file that does not open as one is read as KML (and then
// fails as XML when it is neither).
bool KMLImport::import(const std::string& path, ImportDelegate* delegate) {
    begin(delegate);
    bool ok = false;
    std::unique_ptr<exchange::KmzArchive> archive;
    if (KMLExport::isKMZ(path))
        archive = exchange::KmzArchive::openFile(path);
    ok = archive ? parse(archive->kmlSource()) : parseFile(path);
    finish();
    return ok;
}

bool KMLImport::importBytes(std::string_view bytes, ImportDelegate* delegate) {
    begin(delegate);
    std::unique_ptr<exchange::KmzArchive> archive;
    if (exchange::looksZipped(bytes))
        archive = exchange::KmzArchive::openBytes(bytes);
    const bool ok = archive ? parse(archive->kmlSource()) : parseBytes(bytes);
    finish();
    return ok;
}

std::shared_ptr<Waypoint> KMLImport::waypointForPosition(NavPoint position) const {
    for (const auto& waypoint : waypointsArray_) {
        if (waypoint->positionOnGPS() == position)
            return waypoint;
    }
    return nullptr;
}

void KMLImport::startElement(std::string_view name, const char**) {
    clearValue();
    if (name == "Placemark") {
        waypoint_ = std::make_shared<Waypoint>();
    } else if (name == "LineString") {
        if (!waypointsArray_.empty()) {
            addOpenRoute(); // a second line string of the same placemark makes a route of its own
            route_ = std::make_shared<Route>();
            if (waypoint_ && !waypoint_->name().empty())
                route_->setName(waypoint_->name());
            waypoint_.reset();
        } else {
            trackOpen_ = true;
        }
    }
}

void KMLImport::readCoordinates() {
    if (route_) {
        for (const NavPoint& position : exchange::coordinateTuples(value())) {
            auto waypoint = waypointForPosition(position);
            if (!waypoint) {
                Waypoint named;
                models_.waypoints.setUniqueName(named);
                waypoint = createWaypointFromGPS(named.name(), position, std::string(), false);
                if (waypoint)
                    waypointsArray_.push_back(waypoint);
            }
            if (waypoint)
                route_->addWaypointReference({waypoint});
        }
    } else if (trackOpen_) {
        for (const NavPoint& position : exchange::coordinateTuples(value())) {
            auto track = models_.tracks.chartMarker();
            track->setName(std::to_string(nextKey()));
            track->setDate(static_cast<ChartDate>(key()));
            track->setColor(trackColor_);
            track->setPositionOnGPS(position);
            models_.tracks.add(track);
        }
        trackOpen_ = false;
    }
    if (waypoint_) {
        if (const auto first = exchange::firstPosition(value()))
            waypoint_->setPositionOnGPS(*first);
    }
}

void KMLImport::addOpenRoute() {
    if (!route_)
        return;
    if (route_->name().empty() || models_.routes.routeFromName(route_->name()))
        models_.routes.setUniqueName(*route_);
    models_.routes.add(route_);
    route_.reset();
}

void KMLImport::endPlacemark() {
    if (waypoint_) {
        if (waypoint_->name().empty())
            models_.waypoints.setUniqueName(*waypoint_);
        if (!waypoint_->name().empty()) {
            auto created = createWaypointFromGPS(waypoint_->name(), waypoint_->positionOnGPS(),
                                                 waypoint_->description(), false);
            if (created) {
                created->setIconIndex(waypoint_->iconIndex());
                waypointsArray_.push_back(created);
            }
        }
        waypoint_.reset();
    }
    addOpenRoute();
    trackOpen_ = false;
}

void KMLImport::endElement(std::string_view name) {
    if (name == "name") {
        if (waypoint_ && waypoint_->name().empty())
            waypoint_->setName(value());
    } else if (name == "description") {
        if (waypoint_)
            waypoint_->setDescription(value());
    } else if (name == "href") {
        if (waypoint_) {
            const std::string href = chart::trimBlanks(value());
            std::string file = href.substr(href.find_last_of('/') + 1);
            file = file.substr(0, file.find_last_of('.'));
            waypoint_->setIconIndex(WaypointsModel::iconIndex(file));
        }
    } else if (name == "color") {
        if (const auto color = exchange::readKmlColor(value()))
            trackColor_ = *color;
    } else if (name == "coordinates") {
        readCoordinates();
    } else if (name == "Placemark") {
        endPlacemark();
    }
    clearValue();
}
