#pragma once
// A route: a name and the ordered end points of its legs, each a reference to a waypoint. The same
// waypoint may appear in several routes and several times in one; references compare by the
// waypoint they hold (identity, not name).

#include "chart/ChartMarker.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct WaypointReference {
    std::shared_ptr<Waypoint> waypoint; // keeps the waypoint alive
    friend bool operator==(const WaypointReference& a, const WaypointReference& b) {
        return a.waypoint == b.waypoint;
    }
};

class Route {
public:
    const std::string& name() const { return nameString_; }
    void setName(std::string_view name); // trimmed of blanks

    size_t count() const { return waypointReferenceArray_.size(); }
    const std::vector<WaypointReference>& waypointReferences() const { return waypointReferenceArray_; }
    // Nothing past the end.
    std::optional<WaypointReference> waypointReference(size_t index) const;
    void addWaypointReference(WaypointReference reference);
    // At or past the end: appends.
    void insertWaypointReference(size_t index, WaypointReference reference);
    // Ignored past the end.
    void replaceWaypointReference(size_t index, WaypointReference reference);
    void removeWaypointReference(size_t index);
    // Ignored unless both indexes are inside.
    void exchangeWaypointReference(size_t a, size_t b);
    void invertWaypointReferences();
    void removeAllWaypointReferences() { waypointReferenceArray_.clear(); }

    // Neighbours of the first reference equal to the given one; nothing at the ends or when absent.
    std::optional<WaypointReference> nextWaypointReference(const std::optional<WaypointReference>& ref) const;
    std::optional<WaypointReference>
    previousWaypointReference(const std::optional<WaypointReference>& ref) const;
    std::optional<WaypointReference> lastWaypointReference() const;
    std::optional<WaypointReference>
    waypointReferenceFromWaypoint(const std::shared_ptr<Waypoint>& waypoint) const;
    // The blanks-trimmed name compared exactly.
    std::optional<WaypointReference> waypointReferenceFromName(std::string_view name) const;
    bool hasWaypoint(const std::shared_ptr<Waypoint>& waypoint) const;
    // Removes every reference to the waypoint; true when there was one.
    bool removeWaypoint(const std::shared_ptr<Waypoint>& waypoint);

    // A new route with the same name and new references to the same waypoints.
    Route copy() const { return *this; }

    // Nautical miles over the legs ending at from + 1 .. to; 0 unless to < count. Legs between
    // missing, identical or unplaced waypoints count nothing.
    float distance(size_t from, size_t to) const;
    // Degrees true from the waypoint at index - 1 to the one at index; 0 where there is no such leg.
    float bearing(size_t index) const;

private:
    std::optional<size_t> indexOf(const std::optional<WaypointReference>& ref) const;
    // The leg ending at index, when both ends are distinct placed waypoints.
    bool legEnds(size_t index, NavPoint* from, NavPoint* to) const;

    std::string nameString_;
    std::vector<WaypointReference> waypointReferenceArray_;
};
