#include "exchange/GPXImport.h"

#include "chart/Names.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"
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
    trackColor_ = color.value_or(ChartColor{});
    error_.clear();
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
    if (name == "wpt" || name == "rtept") {
        waypoint_ = std::make_shared<Waypoint>();
        waypoint_->setPositionOnGPS(
            {coordinateAttribute(attributes, "lon"), coordinateAttribute(attributes, "lat")});
    } else if (name == "rte") {
        route_ = std::make_shared<Route>();
    } else if (name == "trkseg") {
        trackColor_ = lighterTrackColor(trackColor_);
    } else if (name == "trkpt") {
        track_ = std::make_shared<Track>();
        track_->setName(std::to_string(nextKey()));
        track_->setDate(static_cast<ChartDate>(key()));
        track_->setPositionOnGPS(
            {coordinateAttribute(attributes, "lon"), coordinateAttribute(attributes, "lat")});
        track_->setColor(trackColor_);
    }
}

// An unnamed waypoint takes a unique name first; the delegate makes it with the read icon.
std::shared_ptr<Waypoint> GPXImport::createReadWaypoint() {
    if (waypoint_->name().empty())
        models_.waypoints.setUniqueName(*waypoint_);
    if (waypoint_->name().empty())
        return nullptr;
    auto created =
        createWaypointFromGPS(waypoint_->name(), waypoint_->positionOnGPS(), waypoint_->description(), false);
    if (created)
        created->setIconIndex(waypoint_->iconIndex());
    return created;
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
        if (route_->name().empty())
            models_.routes.setUniqueName(*route_);
        models_.routes.add(route_);
        route_.reset();
    } else if (name == "trkpt" && track_) {
        models_.tracks.add(track_);
        track_.reset();
    } else if (name == "name") {
        if (waypoint_ && waypoint_->name().empty())
            waypoint_->setName(value());
        if (route_ && route_->name().empty())
            route_->setName(value());
    } else if (name == "desc" && waypoint_) {
        waypoint_->setDescription(value());
    } else if (name == "cmt" && waypoint_) {
        if (waypoint_->description().empty())
            waypoint_->setDescription(value());
    } else if (name == "sym" && waypoint_) {
        waypoint_->setIconIndex(WaypointsModel::iconIndex(chart::trimBlanks(value())));
    } else if (name == "type" && waypoint_) {
        const std::string type = chart::trimBlanks(value());
        if (type == "Tide Station")
            waypoint_->setIconIndex(WaypointsModel::iconIndex("TIDESTATION"));
        else if (type == "Current Station")
            waypoint_->setIconIndex(WaypointsModel::iconIndex("CURRENTSTATION"));
    } else if (name == "time" && track_) {
        // GPX times are UTC; a time that names its zone is read in that zone.
        if (const auto date = exchange::readDate(chart::trimBlanks(value()), exchange::DefaultZone::Utc))
            track_->setDate(*date);
    }
    clearValue();
}
