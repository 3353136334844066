#include "chart/WaypointsModel.h"

#include "chart/Names.h"
#include "chart/RoutesModel.h"
#include "chart/WaypointIcons.h"

WaypointsModel& WaypointsModel::waypoints() {
    static WaypointsModel model;
    return model;
}

void WaypointsModel::sort() {
    ChartMarkersModel::sort(
        [](const Pointer& a, const Pointer& b) { return chart::compareNames(a->name(), b->name()) < 0; });
}

void WaypointsModel::sortAfterLoad() {
    sort();
    std::vector<std::string> names;
    for (const Pointer& waypoint : chartMarkerArray_) {
        for (const auto& entry : waypoint->groups())
            names.push_back(entry.first);
    }
    groups_.setGroupsNamed(names);
}

void WaypointsModel::add(Pointer waypoint, bool first) {
    if (!waypoint)
        return;
    if (first)
        insert(std::move(waypoint));
    else
        ChartMarkersModel::add(std::move(waypoint));
    setChanged(true);
}

std::optional<std::string> WaypointsModel::uniqueName() const {
    return uniqueNames().next();
}

chart::UniqueNames WaypointsModel::uniqueNames() const {
    chart::UniqueNames names("WP");
    for (const Pointer& waypoint : chartMarkerArray_)
        names.take(waypoint->name());
    return names;
}

void WaypointsModel::setUniqueName(ChartMarker& marker) const {
    if (const auto name = uniqueName())
        marker.setName(*name);
}

WaypointsModel::Pointer WaypointsModel::waypointFromName(std::string_view name) const {
    const std::string wanted = chart::trimBlanks(name);
    for (const Pointer& waypoint : chartMarkerArray_) {
        if (waypoint->name() == wanted)
            return waypoint;
    }
    return nullptr;
}

// An empty pattern matches every waypoint. Otherwise a waypoint matches when its name, or its
// description when it has one, begins with the pattern; and, for patterns of two characters or
// more, when either holds the pattern anywhere. Case does not count.
std::vector<WaypointsModel::Pointer>
WaypointsModel::waypointsThatMatch(const std::optional<std::string>& pattern) const {
    const std::string wanted = chart::foldCase(chart::trimBlanks(pattern.value_or(std::string())));
    const bool anywhere = chart::characterCount(wanted) >= 2;
    std::vector<Pointer> found;
    for (const Pointer& waypoint : chartMarkerArray_) {
        if (!selectedGroupHasWaypoint(*waypoint))
            continue;
        if (wanted.empty()) {
            found.push_back(waypoint);
            continue;
        }
        const std::string name = chart::foldCase(waypoint->name());
        const std::string description = chart::foldCase(waypoint->description());
        if (chart::beginsWith(name, wanted) ||
            (!description.empty() && chart::beginsWith(description, wanted)) ||
            (anywhere && (chart::contains(name, wanted) || chart::contains(description, wanted))))
            found.push_back(waypoint);
    }
    return found;
}

void WaypointsModel::setMatch(const std::optional<std::string>& pattern) {
    matchArray_ = waypointsThatMatch(pattern);
}

WaypointsModel::Pointer WaypointsModel::waypointMatch(size_t index) const {
    return index < matchArray_.size() ? matchArray_[index] : nullptr;
}

std::optional<size_t> WaypointsModel::indexOfMatch(const Pointer& waypoint) const {
    for (size_t i = 0; i < matchArray_.size(); ++i) {
        if (matchArray_[i] == waypoint)
            return i;
    }
    return std::nullopt;
}

void WaypointsModel::removeMatch(size_t index, RoutesModel& routes) {
    if (index >= matchArray_.size())
        return;
    const Pointer waypoint = matchArray_[index];
    if (routes.removeWaypoint(waypoint))
        routes.setChanged(true);
    setChanged(true);
    matchArray_.erase(matchArray_.begin() + static_cast<std::ptrdiff_t>(index));
    if (const auto at = indexOf(waypoint.get()))
        remove(*at);
}

void WaypointsModel::removeMatch(size_t index) {
    removeMatch(index, RoutesModel::routes());
}

std::vector<WaypointsModel::Pointer> WaypointsModel::sortedByDistanceFromPosition() const {
    std::vector<Pointer> sorted = chartMarkerArray_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Pointer& a, const Pointer& b) {
        return a->distanceFromPosition() < b->distanceFromPosition();
    });
    return sorted;
}

int WaypointsModel::iconIndex(std::string_view iconName) {
    return WaypointIcons::indexOfName(iconName);
}

std::optional<std::string> WaypointsModel::iconImage(int index) {
    if (index < 0)
        return std::nullopt;
    return WaypointIcons::image(static_cast<size_t>(index));
}

bool WaypointsModel::hasIconImage(int index) {
    return index >= 0 && static_cast<size_t>(index) < WaypointIcons::count;
}

bool WaypointsModel::selectedGroupHasWaypoint(const Waypoint& waypoint) const {
    const auto selected = groups_.selectedGroup();
    return groups_.isAllGroup(selected) || waypoint.hasGroup(selected->name());
}

void WaypointsModel::renameGroupsInWaypoints(const std::string& oldName, const std::string& newName) {
    for (const Pointer& waypoint : chartMarkerArray_) {
        if (waypoint->hasGroup(oldName)) {
            waypoint->removeGroup(oldName);
            waypoint->addGroup(newName);
        }
    }
}
