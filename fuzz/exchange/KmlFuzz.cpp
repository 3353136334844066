// KML documents and KMZ archives from outside (an archive when the bytes begin like one).

#include "exchange/KMLImport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ExchangeModels models{waypoints, routes, tracks};
    ModelImportDelegate delegate(models);
    KMLImport(models).importBytes(std::string_view(reinterpret_cast<const char*>(data), size), &delegate);
    for (const auto& w : waypoints.chartMarkers()) {
        if (!isPlaceable(w->positionOnGPS()))
            std::abort();
    }
    for (const auto& r : routes.routeArray()) {
        if (r->name().empty())
            std::abort(); // every imported route is named
    }
    return 0;
}
