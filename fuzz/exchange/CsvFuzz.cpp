// CSV files from outside: the first byte picks waypoints, route or track lines and the position
// form; the rest is the file.

#include "nav/UnitsModel.h"
#include "exchange/CSVExport.h"
#include "exchange/CSVImport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    UnitsModel::units().setPositionFormatUnits(data[0] % 4);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ExchangeModels models{waypoints, routes, tracks};
    ModelImportDelegate delegate(models);
    CSVImport importer(models);
    Route route;
    switch ((data[0] / 4) % 3) {
    case 0:
        importer.importWaypointsText(text, &delegate);
        break;
    case 1:
        importer.importWaypointsText(text, &delegate, &route);
        break;
    default:
        importer.importTracksText(text, std::nullopt);
        break;
    }
    // What was read writes out again.
    for (const auto& w : waypoints.chartMarkers()) {
        if (!isPlaceable(w->positionOnGPS()))
            std::abort();
        (void)CSVExport::waypointLine(*w);
    }
    for (const auto& t : tracks.chartMarkers())
        (void)CSVExport::trackLine(*t);
    return 0;
}
