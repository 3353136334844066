#include "exchange/KMLImport.h"

#include "chart/Names.h"
#include "exchange/ExportText.h"
#include "exchange/KMLExport.h"
#include "exchange/Kmz.h"
#include "exchange/LenientDate.h"
#include "support/OSXUtil.h"

#include <algorithm>
#include <cstdio>

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

std::vector<float> coordinateNumbers(std::string_view text) {
    std::vector<float> out;
    for (const Piece& p : pieces(text))
        out.push_back(p.value);
    return out;
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
    beginImport();
    trackColor_ = ChartColor{};
    waypointsArray_.clear();
    folders_.clear();
}

void KMLImport::finish() {
    waypoint_.reset();
    route_.reset();
    trackOpen_ = false;
    skipLine_ = false;
    gxWhen_.reset();
    gxCoord_.clear();
    folderPoints_.clear();
    folderPointUsed_.clear();
}

namespace {

bool zippedFile(const std::string& path) {
    FilePtr file = OSXUtil::fopenForRead(path, "rb");
    char head[4] = {};
    return file && std::fread(head, 1, sizeof head, file.get()) == sizeof head &&
           exchange::looksZipped(std::string_view(head, sizeof head));
}

} // namespace

// A KMZ archive (by its name or its first bytes) is read in place; a file that does not open as
// one is read as KML (and then fails as XML when it is neither).
bool KMLImport::import(const std::string& path, ImportDelegate* delegate) {
    begin(delegate);
    bool ok = false;
    std::unique_ptr<exchange::KmzArchive> archive;
    if (KMLExport::isKMZ(path) || zippedFile(path)) {
        archive = exchange::KmzArchive::openFile(path);
        if (!archive && !exchange::kmzSupportError().empty())
            return unreadableArchive();
    }
    ok = archive ? parse(archive->kmlSource()) : parseFile(path);
    finish();
    return ok;
}

bool KMLImport::importBytes(std::string_view bytes, ImportDelegate* delegate) {
    begin(delegate);
    std::unique_ptr<exchange::KmzArchive> archive;
    if (exchange::looksZipped(bytes)) {
        archive = exchange::KmzArchive::openBytes(bytes);
        if (!archive && !exchange::kmzSupportError().empty())
            return unreadableArchive();
    }
    const bool ok = archive ? parse(archive->kmlSource()) : parseBytes(bytes);
    finish();
    return ok;
}

bool KMLImport::unreadableArchive() {
    error_ = exchange::kmzSupportError();
    finish();
    return false;
}

std::shared_ptr<Waypoint> KMLImport::waypointForPosition(NavPoint position) const {
    for (const auto& waypoint : waypointsArray_) {
        if (waypoint->positionOnGPS() == position)
            return waypoint;
    }
    return nullptr;
}

namespace {

// The altitude of a coordinates text; 0, as written for none, reads as none.
std::optional<float> altitudeOf(const std::vector<float>& numbers) {
    if (numbers.size() < 3 || numbers[2] == 0.0f)
        return std::nullopt;
    return numbers[2];
}

} // namespace

void KMLImport::startFolder(const char** attributes) {
    const std::string_view id =
        exchange::attribute(attributes, "id") ? exchange::attribute(attributes, "id") : "";
    FolderKind kind = FolderKind::Plain;
    if (id == "track")
        kind = FolderKind::Track;
    else if (id.rfind("route", 0) == 0)
        kind = FolderKind::Route;
    folders_.push_back(kind);
    folderPoints_.clear();
    folderPointUsed_.clear();
}

bool KMLImport::inFolder(FolderKind kind) const {
    return std::find(folders_.begin(), folders_.end(), kind) != folders_.end();
}

void KMLImport::startElement(std::string_view name, const char** attributes) {
    clearValue();
    if (!rootAccepted(name, {"kml", "Document", "Folder", "Placemark"}, "KML"))
        return;
    if (name == "Folder" || name == "Document") {
        startFolder(attributes);
    } else if (name == "Placemark") {
        waypoint_ = std::make_shared<Waypoint>();
        placemarkHasTrack_ = false;
        placemarkLine_ = currentLine();
    } else if (name == "LineString") {
        startLineString();
    } else if (name == "Track") {
        placemarkHasTrack_ = true;
        gxWhen_.emplace();
        gxCoord_.clear();
    }
}

void KMLImport::startLineString() {
    if (inFolder(FolderKind::Track)) {
        skipLine_ = true;
    } else if (!waypointsArray_.empty() || inFolder(FolderKind::Route)) {
        addOpenRoute(); // a second line string of the same placemark makes a route of its own
        route_ = std::make_shared<Route>();
        if (waypoint_ && !waypoint_->name().empty())
            route_->setName(waypoint_->name());
        waypoint_.reset();
    } else {
        trackOpen_ = true;
    }
}

// A route's point: the folder's own point there, else any waypoint of this file there, else a new
// waypoint with a unique name that only the route shows.
std::shared_ptr<Waypoint> KMLImport::routeVertex(NavPoint position) {
    // Points of the same place are taken in turn, so that each is used before one comes again.
    std::shared_ptr<Waypoint> again;
    for (size_t i = 0; i < folderPoints_.size(); ++i) {
        if (folderPoints_[i]->positionOnGPS() != position)
            continue;
        if (!folderPointUsed_[i]) {
            folderPointUsed_[i] = true;
            return folderPoints_[i];
        }
        again = again ? again : folderPoints_[i];
    }
    if (again)
        return again;
    if (auto waypoint = waypointForPosition(position))
        return waypoint;
    report_.read(exchange::RecordKind::RoutePoint);
    if (!isPlaceable(position)) {
        report_.note(exchange::RecordKind::RoutePoint, exchange::Reason::NoPosition, currentLine());
        return nullptr;
    }
    if (!countRecord(currentLine())) {
        report_.note(exchange::RecordKind::RoutePoint, exchange::Reason::OverLimit, currentLine());
        stopParsing();
        return nullptr;
    }
    const std::string name = uniqueWaypointName(exchange::RecordKind::RoutePoint, currentLine());
    auto waypoint = createWaypointFromGPS(name, position, std::string(), false);
    if (waypoint) {
        waypoint->setRoutePoint(true);
        waypointsArray_.push_back(waypoint);
    }
    return waypoint;
}

void KMLImport::readRouteCoordinates() {
    for (const NavPoint& position : exchange::coordinateTuples(value())) {
        if (auto waypoint = routeVertex(position))
            route_->addWaypointReference({waypoint});
    }
}

void KMLImport::addTrackPoint(NavPoint position, std::optional<ChartDate> date, std::optional<float> altitude,
                              bool segmentStart) {
    report_.read(exchange::RecordKind::TrackPoint);
    if (!isPlaceable(position)) {
        report_.note(exchange::RecordKind::TrackPoint, exchange::Reason::NoPosition, currentLine());
        return;
    }
    if (!countRecord(currentLine())) {
        report_.note(exchange::RecordKind::TrackPoint, exchange::Reason::OverLimit, currentLine());
        stopParsing();
        return;
    }
    auto track = models_.tracks.chartMarker();
    track->setName(std::to_string(nextKey()));
    track->setDate(date.value_or(0.0)); // without a time of its own, none
    track->setColor(trackColor_);
    track->setPositionOnGPS(position);
    track->setElevation(altitude);
    track->setSegmentStart(segmentStart);
    models_.tracks.add(track);
}

void KMLImport::readTrackCoordinates() {
    bool first = true;
    for (const NavPoint& position : exchange::coordinateTuples(value())) {
        addTrackPoint(position, std::nullopt, std::nullopt, first);
        first = false;
    }
    trackOpen_ = false;
}

void KMLImport::readCoordinates() {
    if (skipLine_)
        return;
    if (route_)
        readRouteCoordinates();
    else if (trackOpen_)
        readTrackCoordinates();
    if (waypoint_) {
        const std::vector<float> numbers = exchange::coordinateNumbers(value());
        if (numbers.size() >= 2) {
            waypoint_->setPositionOnGPS({numbers[0], numbers[1]});
            waypoint_->setElevation(altitudeOf(numbers));
        }
    }
}

// Each "when" belongs to the "coord" of the same place.
void KMLImport::endGxTrack() {
    for (size_t i = 0; i < gxCoord_.size(); ++i) {
        const auto date = i < gxWhen_->size() ? (*gxWhen_)[i] : std::nullopt;
        addTrackPoint(gxCoord_[i].position, date, gxCoord_[i].altitude, i == 0);
    }
    gxWhen_.reset();
    gxCoord_.clear();
}

void KMLImport::addOpenRoute() {
    if (!route_)
        return;
    report_.read(exchange::RecordKind::Route);
    if (route_->name().empty() || models_.routes.routeFromName(route_->name()))
        models_.routes.setUniqueName(*route_);
    models_.routes.add(route_);
    route_.reset();
}

void KMLImport::makePlacemarkWaypoint() {
    using exchange::RecordKind;
    const RecordKind kind = inFolder(FolderKind::Route) ? RecordKind::RoutePoint : RecordKind::Waypoint;
    report_.read(kind);
    if (!isPlaceable(waypoint_->positionOnGPS())) {
        report_.note(kind, exchange::Reason::NoPosition, placemarkLine_);
        return;
    }
    if (!countRecord(placemarkLine_)) {
        report_.note(kind, exchange::Reason::OverLimit, placemarkLine_);
        stopParsing();
        return;
    }
    if (waypoint_->name().empty())
        waypoint_->setName(uniqueWaypointName(kind, placemarkLine_));
    auto created =
        createWaypointFromGPS(waypoint_->name(), waypoint_->positionOnGPS(), waypoint_->description(), false);
    if (!created)
        return;
    created->setIconIndex(waypoint_->iconIndex());
    created->setElevation(waypoint_->elevation());
    waypointsArray_.push_back(created);
    if (kind == RecordKind::RoutePoint) {
        created->setRoutePoint(true);
        folderPoints_.push_back(created);
        folderPointUsed_.push_back(false);
    }
}

// A placemark that holds a gx:Track, and the markers at the ends of an exported track, are no
// waypoints.
void KMLImport::endPlacemark() {
    if (waypoint_ && !placemarkHasTrack_ && !inFolder(FolderKind::Track))
        makePlacemarkWaypoint();
    waypoint_.reset();
    addOpenRoute();
    trackOpen_ = false;
    skipLine_ = false;
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
    } else if (name == "when" && gxWhen_) {
        const std::string text = chart::trimBlanks(value());
        if (gxWhen_->size() > recordLimit())
            return clearValue();
        gxWhen_->push_back(exchange::readDate(text, exchange::DefaultZone::Utc));
        if (!gxWhen_->back() && !text.empty())
            report_.note(exchange::RecordKind::TrackPoint, exchange::Reason::UnreadTime, currentLine());
    } else if (name == "coord" && gxWhen_) {
        const std::vector<float> numbers = exchange::coordinateNumbers(value());
        gxCoord_.push_back(
            {numbers.size() >= 2 ? NavPoint{numbers[0], numbers[1]} : kNoNavPoint, altitudeOf(numbers)});
        // A track past the limit ends here: what it held so far is kept, and the import stops.
        if (gxCoord_.size() > recordLimit())
            endGxTrack();
    } else if (name == "Track" && gxWhen_) {
        endGxTrack();
    } else if (name == "Placemark") {
        endPlacemark();
    } else if (name == "Folder" || name == "Document") {
        if (!folders_.empty())
            folders_.pop_back();
    }
    clearValue();
}
