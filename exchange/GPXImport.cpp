#include "exchange/GPXImport.h"

#include "chart/Names.h"
#include "chart/WaypointIcons.h"
#include "exchange/ExportText.h"
#include "exchange/LenientDate.h"
#include "support/OSXUtil.h"

#include <cstdio>

float coordinateAttribute(const char** attributes, std::string_view name) {
    const char* text = exchange::attribute(attributes, name);
    if (!text)
        return kNoCoordinate;
    float value = 0.0f;
    return exchange::readFloat(chart::trimBlanks(text), &value) ? value : kNoCoordinate;
}

bool GPXImport::isGPX(const std::string& path) {
    FilePtr file = OSXUtil::fopenForRead(path, "rb");
    if (!file)
        return false;
    char head[128];
    const size_t n = std::fread(head, 1, sizeof head, file.get());
    return n > 3 && std::string_view(head, n).find("<gpx") != std::string_view::npos;
}

void GPXImport::begin(std::optional<ChartColor> color, ImportDelegate* delegate) {
    setDelegate(delegate);
    beginImport();
    trackColor_ = color.value_or(ChartColor{});
    segmentBegins_ = true;
}

// Records still open at an error are not finished.
void GPXImport::finish() {
    waypoint_.reset();
    route_.reset();
    track_.reset();
}

bool GPXImport::import(const std::string& path, std::optional<ChartColor> color, ImportDelegate* delegate) {
    begin(color, delegate);
    const bool ok = parseFile(path);
    finish();
    return ok;
}

bool GPXImport::importBytes(std::string_view bytes, std::optional<ChartColor> color,
                            ImportDelegate* delegate) {
    begin(color, delegate);
    const bool ok = parseBytes(bytes);
    finish();
    return ok;
}

void GPXImport::startElement(std::string_view name, const char** attributes) {
    clearValue();
    if (!rootAccepted(name, {"gpx"}, "GPX"))
        return;
    if (name == "wpt" || name == "rtept") {
        waypoint_ = std::make_shared<Waypoint>();
        waypointKind_ = name == "wpt" ? exchange::RecordKind::Waypoint : exchange::RecordKind::RoutePoint;
        recordLine_ = currentLine();
        waypoint_->setPositionOnGPS(
            {coordinateAttribute(attributes, "lon"), coordinateAttribute(attributes, "lat")});
    } else if (name == "rte") {
        route_ = std::make_shared<Route>();
    } else if (name == "trk") {
        segmentBegins_ = true;
    } else if (name == "trkseg") {
        trackColor_ = lighterTrackColor(trackColor_);
        segmentBegins_ = true;
    } else if (name == "trkpt") {
        // Named by the running key; dated only by its own time.
        track_ = std::make_shared<Track>();
        track_->setName(std::to_string(nextKey()));
        track_->setDate(0.0);
        track_->setPositionOnGPS(
            {coordinateAttribute(attributes, "lon"), coordinateAttribute(attributes, "lat")});
        track_->setColor(trackColor_);
        track_->setSegmentStart(segmentBegins_);
        segmentBegins_ = false;
        recordLine_ = currentLine();
    }
}

// An unnamed waypoint takes a unique name first; the delegate makes it with the read icon.
std::shared_ptr<Waypoint> GPXImport::createReadWaypoint() {
    using exchange::Reason;
    report_.read(waypointKind_);
    if (!isPlaceable(waypoint_->positionOnGPS())) {
        report_.note(waypointKind_, Reason::NoPosition, recordLine_);
        return nullptr;
    }
    if (!countRecord(recordLine_)) {
        report_.note(waypointKind_, Reason::OverLimit, recordLine_);
        stopParsing();
        return nullptr;
    }
    if (waypoint_->name().empty())
        waypoint_->setName(uniqueWaypointName(waypointKind_, recordLine_));
    auto created =
        createWaypointFromGPS(waypoint_->name(), waypoint_->positionOnGPS(), waypoint_->description(), false);
    if (created) {
        created->setIconIndex(waypoint_->iconIndex());
        created->setElevation(waypoint_->elevation());
        created->setRoutePoint(waypointKind_ == exchange::RecordKind::RoutePoint);
    }
    return created;
}

void GPXImport::addReadTrackPoint() {
    using exchange::Reason;
    report_.read(exchange::RecordKind::TrackPoint);
    if (!isPlaceable(track_->positionOnGPS())) {
        report_.note(exchange::RecordKind::TrackPoint, Reason::NoPosition, recordLine_);
        // The next point read begins the segment in its place.
        segmentBegins_ = segmentBegins_ || *track_->segmentStart();
    } else if (!countRecord(recordLine_)) {
        report_.note(exchange::RecordKind::TrackPoint, Reason::OverLimit, recordLine_);
        stopParsing();
    } else {
        models_.tracks.add(track_);
    }
}

void GPXImport::endElement(std::string_view name) {
    if (name == "wpt" && waypoint_) {
        createReadWaypoint();
        waypoint_.reset();
    } else if (name == "rtept" && waypoint_) {
        if (route_) {
            if (auto created = createReadWaypoint())
                route_->addWaypointReference({created});
        }
        waypoint_.reset();
    } else if (name == "rte" && route_) {
        // A route without a name would be left out of the next save.
        report_.read(exchange::RecordKind::Route);
        if (route_->name().empty())
            models_.routes.setUniqueName(*route_);
        models_.routes.add(route_);
        route_.reset();
    } else if (name == "trkpt" && track_) {
        addReadTrackPoint();
        track_.reset();
    } else {
        endField(name);
    }
    clearValue();
}

void GPXImport::endField(std::string_view name) {
    if (name == "name") {
        if (waypoint_ && waypoint_->name().empty())
            waypoint_->setName(value());
        if (route_ && route_->name().empty())
            route_->setName(value());
    } else if (name == "desc" && (waypoint_ || track_)) {
        waypoint_ ? waypoint_->setDescription(value()) : track_->setDescription(chart::trimBlanks(value()));
    } else if (name == "cmt" && waypoint_) {
        if (waypoint_->description().empty())
            waypoint_->setDescription(value());
    } else if (name == "ele" && (waypoint_ || track_)) {
        float metres = 0.0f;
        if (exchange::readFloat(chart::trimBlanks(value()), &metres))
            waypoint_ ? waypoint_->setElevation(metres) : track_->setElevation(metres);
    } else if (name == "sym" && waypoint_) {
        const std::string symbol = chart::trimBlanks(value());
        waypoint_->setIconIndex(WaypointsModel::iconIndex(symbol));
        if (waypoint_->iconIndex() == 0 && !symbol.empty() && symbol != WaypointIcons::iconName(0))
            report_.note(waypointKind_, exchange::Reason::UnknownSymbol, currentLine());
    } else if (name == "type" && waypoint_) {
        const std::string type = chart::trimBlanks(value());
        if (type == "Tide Station")
            waypoint_->setIconIndex(WaypointsModel::iconIndex("TIDESTATION"));
        else if (type == "Current Station")
            waypoint_->setIconIndex(WaypointsModel::iconIndex("CURRENTSTATION"));
    } else if (name == "time" && track_) {
        // GPX times are UTC; a time that names its zone is read in that zone.
        const std::string text = chart::trimBlanks(value());
        if (const auto date = exchange::readDate(text, exchange::DefaultZone::Utc))
            track_->setDate(*date);
        else if (!text.empty())
            report_.note(exchange::RecordKind::TrackPoint, exchange::Reason::UnreadTime, currentLine());
    }
}
