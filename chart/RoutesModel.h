#pragma once
// The routes: the process-wide list, unique names and the routes' model file. Routes name their
// waypoints in the file, so the waypoints are loaded first.

#include "chart/Route.h"

#include <plist/plist.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class WaypointsModel;

class RoutesModel {
public:
    RoutesModel() = default;
    RoutesModel(const RoutesModel&) = delete;
    RoutesModel& operator=(const RoutesModel&) = delete;
    // The process-wide model, made on first use.
    static RoutesModel& routes();

    size_t count() const { return routeArray_.size(); }
    const std::vector<std::shared_ptr<Route>>& routeArray() const { return routeArray_; }
    std::shared_ptr<Route> route(size_t index) const;
    // Appends and marks the model changed.
    void add(std::shared_ptr<Route> route);
    void remove(size_t index);
    void removeAll() { routeArray_.clear(); }
    void sort(); // by name

    // "RT0001" .. "RT9999": the first that no route bears; nothing when all are taken.
    std::optional<std::string> uniqueName() const;
    void setUniqueName(Route& route) const;
    // The trimmed name compared exactly; the first such route.
    std::shared_ptr<Route> routeFromName(std::string_view name) const;
    // Takes the waypoint out of every route; true when any route held it.
    bool removeWaypoint(const std::shared_ptr<Waypoint>& waypoint);

    bool changed() const { return changed_; }
    void setChanged(bool changed) { changed_ = changed; }

    // Replaces the routes with those of the file, their waypoints found by name in the waypoints
    // model (names it does not hold are skipped). Nothing happens when the file cannot be read.
    bool load(const std::string& fileName, const WaypointsModel& waypoints);
    bool load(const std::string& fileName);
    // The same from a parsed model dictionary.
    void loadFromDictionary(plist_t root, const WaypointsModel& waypoints);
    // False when the folder is not writable or the write fails; the old file then stays.
    bool save(const std::string& fileName);

private:
    std::vector<std::shared_ptr<Route>> routeArray_;
    bool changed_ = false;
};
