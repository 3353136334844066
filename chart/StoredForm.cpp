#include "chart/StoredForm.h"

#include "chart/PlistDate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace chart {

namespace {

void setText(plist_t dict, const char* key, const std::string& text) {
    plist_dict_set_item(dict, key, plist_new_string(text.c_str()));
}

void setNumber(plist_t dict, const char* key, double value) {
    plist_dict_set_item(dict, key, plist_new_real(value));
}

plist_t item(plist_t dict, const char* key) {
    return plist_dict_get_item(dict, key);
}

std::optional<double> numberAt(plist_t dict, const char* key) {
    plist_t node = item(dict, key);
    switch (support::plistKind(node)) {
    case support::PlistKind::Real: {
        double value = 0.0;
        plist_get_real_val(node, &value);
        return value;
    }
    case support::PlistKind::Integer: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return static_cast<double>(static_cast<int64_t>(value));
    }
    default:
        return std::nullopt;
    }
}

// Single precision, as the records keep their numbers; values beyond its range become infinite
// and so fail every range check.
std::optional<float> floatAt(plist_t dict, const char* key) {
    const auto value = numberAt(dict, key);
    if (!value)
        return std::nullopt;
    return static_cast<float>(*value);
}

std::optional<std::string> textAt(plist_t dict, const char* key) {
    plist_t node = item(dict, key);
    if (support::plistKind(node) != support::PlistKind::Text)
        return std::nullopt;
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return std::string(text ? text : "", text ? static_cast<size_t>(length) : 0);
}

std::optional<bool> boolAt(plist_t dict, const char* key) {
    plist_t node = item(dict, key);
    if (support::plistKind(node) == support::PlistKind::Boolean) {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    if (const auto number = numberAt(dict, key))
        return *number != 0.0;
    return std::nullopt;
}

void readMarker(ChartMarker& marker, plist_t dict) {
    if (const auto name = textAt(dict, "name"))
        marker.setName(*name);
    if (const auto latitude = floatAt(dict, "latitude"))
        marker.setLatitude(*latitude);
    if (const auto longitude = floatAt(dict, "longitude"))
        marker.setLongitude(*longitude);
    if (const auto elevation = floatAt(dict, "elevation"); elevation && std::isfinite(*elevation))
        marker.setElevation(*elevation);
}

plist_t markerDictionary(const ChartMarker& marker) {
    plist_t dict = plist_new_dict();
    setText(dict, "name", marker.name());
    setNumber(dict, "latitude", marker.latitude());
    setNumber(dict, "longitude", marker.longitude());
    return dict;
}

// Keys that older files lack, written only when there is something to say.
void setElevation(plist_t dict, const ChartMarker& marker) {
    if (const auto elevation = marker.elevation())
        setNumber(dict, "elevation", *elevation);
}

} // namespace

void forEachEntry(plist_t dictionary, const std::function<void(std::string_view, plist_t)>& visit) {
    if (support::plistKind(dictionary) != support::PlistKind::Dictionary)
        return;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dictionary, &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, it, &key, &value);
        if (!value) {
            std::free(key);
            break;
        }
        if (key)
            visit(key, value);
        std::free(key);
    }
    std::free(it);
}

support::Plist toDictionary(const Waypoint& waypoint) {
    if (waypoint.name().empty())
        return {};
    support::Plist dict(markerDictionary(waypoint));
    plist_dict_set_item(dict.get(), "icon", plist_new_uint(static_cast<uint64_t>(waypoint.iconIndex())));
    setText(dict.get(), "description", waypoint.description());
    plist_dict_set_item(dict.get(), "show", plist_new_bool(waypoint.show()));
    plist_t groups = plist_new_dict();
    for (const auto& [name, member] : waypoint.groups())
        plist_dict_set_item(groups, name.c_str(), plist_new_bool(member));
    plist_dict_set_item(dict.get(), "groups", groups);
    setElevation(dict.get(), waypoint);
    if (waypoint.isRoutePoint())
        plist_dict_set_item(dict.get(), "routePoint", plist_new_bool(true));
    return dict;
}

support::Plist toDictionary(const Track& track) {
    if (track.name().empty())
        return {};
    support::Plist dict(markerDictionary(track));
    plist_t d = dict.get();
    if (plist_t date = newPlistDate(track.date()))
        plist_dict_set_item(d, "date", date);
    setNumber(d, "cog", track.cog());
    setNumber(d, "sog", track.sog());
    setText(d, "description", track.description());
    setNumber(d, "heading", track.heading());
    setNumber(d, "speed", track.speed());
    setNumber(d, "depth", track.depth());
    setNumber(d, "temperature", track.temperature());
    setNumber(d, "windAngle", track.windAngle());
    setNumber(d, "windSpeed", track.windSpeed());
    setNumber(d, "red", track.color().red);
    setNumber(d, "green", track.color().green);
    setNumber(d, "blue", track.color().blue);
    setElevation(d, track);
    if (const auto start = track.segmentStart())
        plist_dict_set_item(d, "segmentStart", plist_new_bool(*start));
    return dict;
}

support::Plist toDictionary(const Route& route) {
    if (route.name().empty() || route.count() == 0)
        return {};
    support::Plist dict(plist_new_dict());
    setText(dict.get(), "name", route.name());
    unsigned index = 0;
    for (const WaypointReference& ref : route.waypointReferences()) {
        const std::string key = "waypoint_" + std::to_string(index++);
        setText(dict.get(), key.c_str(), ref.waypoint ? ref.waypoint->name() : std::string());
    }
    return dict;
}

void fromDictionary(Waypoint& waypoint, plist_t dict) {
    readMarker(waypoint, dict);
    if (const auto icon = numberAt(dict, "icon"); icon && std::fabs(*icon) < 1e9)
        waypoint.setIconIndex(static_cast<int>(*icon));
    if (const auto description = textAt(dict, "description"))
        waypoint.setDescription(*description);
    if (const auto show = boolAt(dict, "show"))
        waypoint.setShow(*show);
    if (const auto routePoint = boolAt(dict, "routePoint"))
        waypoint.setRoutePoint(*routePoint);
    plist_t groups = item(dict, "groups");
    if (support::plistKind(groups) == support::PlistKind::Dictionary) {
        Waypoint::Groups names;
        forEachEntry(groups, [&](std::string_view name, plist_t) { names.emplace(std::string(name), true); });
        waypoint.setGroups(names);
    }
}

void fromDictionary(Track& track, plist_t dict) {
    readMarker(track, dict);
    if (const auto date = plistDateValue(item(dict, "date")))
        track.setDate(*date);
    if (const auto start = boolAt(dict, "segmentStart"))
        track.setSegmentStart(*start);
    const std::pair<const char*, void (Track::*)(float)> numbers[] = {
        {"cog", &Track::setCog},
        {"sog", &Track::setSog},
        {"heading", &Track::setHeading},
        {"speed", &Track::setSpeed},
        {"depth", &Track::setDepth},
        {"temperature", &Track::setTemperature},
        {"windAngle", &Track::setWindAngle},
        {"windSpeed", &Track::setWindSpeed},
    };
    for (const auto& [key, setter] : numbers) {
        if (const auto value = floatAt(dict, key))
            (track.*setter)(*value);
    }
    if (const auto description = textAt(dict, "description"))
        track.setDescription(*description);
    ChartColor color = track.color();
    color.red = floatAt(dict, "red").value_or(color.red);
    color.green = floatAt(dict, "green").value_or(color.green);
    color.blue = floatAt(dict, "blue").value_or(color.blue);
    color.alpha = 1.0f;
    track.setColor(color);
}

void fromDictionary(Route& route, plist_t dict, const WaypointLookup& lookup) {
    if (const auto name = textAt(dict, "name"))
        route.setName(*name);
    for (unsigned index = 0;; ++index) {
        const std::string key = "waypoint_" + std::to_string(index);
        plist_t node = item(dict, key.c_str());
        if (!node)
            break;
        const auto name = textAt(dict, key.c_str());
        if (!name)
            continue;
        if (auto waypoint = lookup(*name))
            route.addWaypointReference(WaypointReference{std::move(waypoint)});
    }
}

} // namespace chart
