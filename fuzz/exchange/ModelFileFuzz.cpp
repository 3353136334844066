// Model files (property lists, XML or binary) from the user's library folder or another machine.

#include "chart/ModelFile.h"
#include "chart/RoutesModel.h"
#include "chart/TracksModel.h"
#include "chart/WaypointsModel.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto root = chart::parseModelBytes(std::string(reinterpret_cast<const char*>(data), size));
    if (!root)
        return 0;
    WaypointsModel waypoints;
    TracksModel tracks;
    RoutesModel routes;
    waypoints.loadFromDictionary(root->get());
    tracks.loadFromDictionary(root->get());
    routes.loadFromDictionary(root->get(), waypoints);
    for (const auto& w : waypoints.chartMarkers()) {
        if (!isPlaceable(w->positionOnGPS()))
            std::abort(); // records the chart cannot place are dropped
    }
    // Loaded records store again.
    chart::ModelDictionary dictionary;
    for (const auto& w : waypoints.chartMarkers())
        dictionary.add(w->name(), chart::toDictionary(*w));
    for (const auto& t : tracks.chartMarkers())
        dictionary.add(t->name(), chart::toDictionary(*t));
    (void)support::toXml(dictionary.get());
    return 0;
}
