// GPX files from outside, read into fresh models; whatever the importer keeps must be placeable
// and exportable again.

#include "exchange/GPXImport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ExchangeModels models{waypoints, routes, tracks};
    ModelImportDelegate delegate(models);
    GPXImport(models).importBytes(std::string_view(reinterpret_cast<const char*>(data), size), std::nullopt,
                                  &delegate);
    // Every waypoint is named while fewer than 9999 leave a unique name free.
    for (const auto& w : waypoints.chartMarkers()) {
        if (!isPlaceable(w->positionOnGPS()) || (w->name().empty() && waypoints.count() < 9999))
            std::abort();
    }
    for (const auto& r : routes.routeArray()) {
        for (const auto& ref : r->waypointReferences()) {
            if (!ref.waypoint)
                std::abort();
        }
    }
    return 0;
}
