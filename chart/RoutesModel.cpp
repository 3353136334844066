#include "chart/RoutesModel.h"

#include "chart/ModelFile.h"
#include "chart/Names.h"
#include "chart/StoredForm.h"
#include "chart/UniqueNames.h"
#include "chart/WaypointsModel.h"

#include <algorithm>
#include <unordered_map>

RoutesModel& RoutesModel::routes() {
    static RoutesModel model;
    return model;
}

std::shared_ptr<Route> RoutesModel::route(size_t index) const {
    return index < routeArray_.size() ? routeArray_[index] : nullptr;
}

void RoutesModel::add(std::shared_ptr<Route> route) {
    if (!route)
        return;
    routeArray_.push_back(std::move(route));
    changed_ = true;
}

void RoutesModel::remove(size_t index) {
    if (index < routeArray_.size())
        routeArray_.erase(routeArray_.begin() + static_cast<std::ptrdiff_t>(index));
}

void RoutesModel::sort() {
    std::stable_sort(routeArray_.begin(), routeArray_.end(), [](const auto& a, const auto& b) {
        return chart::compareNames(a->name(), b->name()) < 0;
    });
}

std::optional<std::string> RoutesModel::uniqueName() const {
    chart::UniqueNames names("RT");
    for (const auto& route : routeArray_)
        names.take(route->name());
    return names.next();
}

void RoutesModel::setUniqueName(Route& route) const {
    if (const auto name = uniqueName())
        route.setName(*name);
}

std::shared_ptr<Route> RoutesModel::routeFromName(std::string_view name) const {
    const std::string wanted = chart::trimBlanks(name);
    for (const auto& route : routeArray_) {
        if (route->name() == wanted)
            return route;
    }
    return nullptr;
}

bool RoutesModel::removeWaypoint(const std::shared_ptr<Waypoint>& waypoint) {
    bool removed = false;
    for (const auto& route : routeArray_)
        removed = route->removeWaypoint(waypoint) || removed;
    return removed;
}

bool RoutesModel::load(const std::string& fileName, const WaypointsModel& waypoints) {
    const auto path = chart::modelFilePath(fileName);
    const auto root = path ? chart::readModelFile(*path) : std::nullopt;
    if (!root)
        return false;
    loadFromDictionary(root->get(), waypoints);
    return true;
}

bool RoutesModel::load(const std::string& fileName) {
    return load(fileName, WaypointsModel::waypoints());
}

void RoutesModel::loadFromDictionary(plist_t root, const WaypointsModel& waypoints) {
    // Names index the waypoints once: a file may hold many routes of many points.
    std::unordered_map<std::string, std::shared_ptr<Waypoint>> byName;
    for (const auto& waypoint : waypoints.chartMarkers())
        byName.try_emplace(waypoint->name(), waypoint);
    const chart::WaypointLookup lookup = [&](std::string_view name) -> std::shared_ptr<Waypoint> {
        const auto found = byName.find(chart::trimBlanks(name));
        return found == byName.end() ? nullptr : found->second;
    };
    std::vector<std::shared_ptr<Route>> loaded;
    chart::forEachEntry(root, [&](std::string_view, plist_t value) {
        if (support::plistKind(value) != support::PlistKind::Dictionary)
            return;
        auto route = std::make_shared<Route>();
        chart::fromDictionary(*route, value, lookup);
        loaded.push_back(std::move(route));
    });
    routeArray_ = std::move(loaded);
    sort();
}

bool RoutesModel::save(const std::string& fileName) {
    const auto path = chart::modelFilePath(fileName);
    if (!path)
        return false;
    chart::ModelDictionary dictionary;
    for (const auto& route : routeArray_)
        dictionary.add(route->name(), chart::toDictionary(*route));
    if (!chart::writeModelFile(*path, dictionary.get()))
        return false;
    changed_ = false;
    return true;
}
