#pragma once
// The waypoints: the process-wide model with unique names, the icon table, the groups and the
// search whose matches the lists and the exports show.

#include "chart/ChartMarkersModel.h"
#include "chart/GroupsModel.h"
#include "chart/UniqueNames.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class RoutesModel;

class WaypointsModel : public ChartMarkersModel<Waypoint> {
public:
    WaypointsModel() = default;
    // The process-wide model, made on first use.
    static WaypointsModel& waypoints();

    bool load(const std::string& fileName) { return loadChartMarkers(fileName); }
    bool save(const std::string& fileName) { return saveChartMarkers(fileName); }
    void sort(); // by name
    // Puts the waypoint first or last and marks the model changed.
    void add(Pointer waypoint, bool first);
    using ChartMarkersModel::add;

    // "WP0001" .. "WP9999": the first that no waypoint bears; nothing when all are taken.
    std::optional<std::string> uniqueName() const;
    void setUniqueName(ChartMarker& marker) const;
    // For naming many waypoints in turn: the names borne now.
    chart::UniqueNames uniqueNames() const;
    // The trimmed name compared exactly; the first such waypoint.
    Pointer waypointFromName(std::string_view name) const;

    // The waypoints of the selected group that match the pattern (see the .cpp), in model order.
    std::vector<Pointer> waypointsThatMatch(const std::optional<std::string>& pattern) const;
    // Replaces the match list with the waypoints that match the trimmed pattern.
    void setMatch(const std::optional<std::string>& pattern);
    size_t countMatch() const { return matchArray_.size(); }
    Pointer waypointMatch(size_t index) const;
    std::optional<size_t> indexOfMatch(const Pointer& waypoint) const;
    const std::vector<Pointer>& matches() const { return matchArray_; }
    // Removes a matched waypoint from every route, the match list and the model.
    void removeMatch(size_t index, RoutesModel& routes);
    void removeMatch(size_t index);

    std::vector<Pointer> sortedByDistanceFromPosition() const;

    // The first icon of that name; 0 when none.
    static int iconIndex(std::string_view iconName);
    // The icon image (SVG) at an index; nothing past the end of the table.
    static std::optional<std::string> iconImage(int index);
    static bool hasIconImage(int index);

    GroupsModel& groupsModel() { return groups_; }
    const GroupsModel& groupsModel() const { return groups_; }
    bool selectedGroupHasWaypoint(const Waypoint& waypoint) const;
    // Every waypoint's entry for the old group takes the new name.
    void renameGroupsInWaypoints(const std::string& oldName, const std::string& newName);

protected:
    // The groups the loaded waypoints name join the groups model.
    void sortAfterLoad() override;

private:
    std::vector<Pointer> matchArray_;
    GroupsModel groups_;
};
