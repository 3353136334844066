#pragma once
// The stored dictionary form of the chart records, as property-list nodes (libplist). Writing
// gives nothing for a record without a name (and a route without waypoints); reading sets each
// field whose key is present with a value of a fitting type and leaves the others as they are.

#include "chart/ChartMarker.h"
#include "chart/Route.h"
#include "support/Plist.h"

#include <functional>
#include <memory>
#include <string_view>

namespace chart {

support::Plist toDictionary(const Waypoint& waypoint);
support::Plist toDictionary(const Track& track);
support::Plist toDictionary(const Route& route);

void fromDictionary(Waypoint& waypoint, plist_t dictionary);
void fromDictionary(Track& track, plist_t dictionary);
// Route entries name waypoints; a name the lookup does not find is skipped.
using WaypointLookup = std::function<std::shared_ptr<Waypoint>(std::string_view name)>;
void fromDictionary(Route& route, plist_t dictionary, const WaypointLookup& lookup);

// Calls the function with each key and value of a dictionary, in the dictionary's order.
void forEachEntry(plist_t dictionary, const std::function<void(std::string_view key, plist_t value)>& visit);

} // namespace chart
