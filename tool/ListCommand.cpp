// navtool list FILE [--position-form N] [--csv KIND]

#include "chart/WaypointIcons.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"
#include "tool/ExchangeFiles.h"

#include <cstdio>

namespace {

const char* const help =
    "usage: navtool list FILE [--position-form N] [--csv KIND]\n"
    "\n"
    "Prints what a .gpx, .kml, .kmz or .csv file holds, one record a line, fields\n"
    "separated by tabs:\n"
    "  waypoint NAME LATITUDE LONGITUDE ICON   (decimal degrees, north and east positive)\n"
    "  route NAME POINTS DISTANCE              (nautical miles over all legs)\n"
    "  track POINTS SEGMENTS FIRST LAST        (times in UTC)\n"
    "The options are those of navtool convert.\n";

void printModels(ToolModels& models) {
    for (const auto& w : models.waypoints.chartMarkers()) {
        const int icon = WaypointsModel::hasIconImage(w->iconIndex()) ? w->iconIndex() : 0;
        std::printf("waypoint\t%s\t%s\t%s\t%s\n", w->name().c_str(),
                    exchange::fixed(w->latitude(), 6).c_str(), exchange::fixed(w->longitude(), 6).c_str(),
                    WaypointIcons::iconName(static_cast<size_t>(icon)).c_str());
    }
    for (const auto& r : models.routes.routeArray()) {
        const float distance = r->count() > 0 ? r->distance(0, r->count() - 1) : 0.0f;
        std::printf("route\t%s\t%zu points\t%s NM\n", r->name().c_str(), r->count(),
                    exchange::fixed(distance, 2).c_str());
    }
    const TracksModel& tracks = models.tracks;
    if (tracks.count() == 0)
        return;
    size_t segments = 0;
    for (size_t i = 0; i < tracks.count(); ++i)
        segments += tracks.isStart(i) ? 1 : 0;
    std::printf("track\t%zu points\t%zu segments\t%s\t%s\n", tracks.count(), segments,
                exchange::isoDateText(tracks.firstTrack()->date()).c_str(),
                exchange::isoDateText(tracks.lastTrack()->date()).c_str());
}

} // namespace

int runList(const Arguments& arguments) {
    Arguments args = arguments;
    ExchangeOptions options;
    if (const auto status = takeExchangeArguments(args, 1, help, &options))
        return *status;
    if (kindOfPath(args[0]) == FileKind::Unknown) {
        std::fprintf(stderr, "navtool: %s: not a .gpx, .kml, .kmz or .csv file\n", args[0].c_str());
        return 2;
    }
    ToolModels models;
    std::string error;
    const bool ok = importFile(args[0], options, models, &error);
    if (!ok) {
        std::fprintf(stderr, "navtool: %s: %s\n", args[0].c_str(), error.c_str());
        return 1;
    }
    printModels(models);
    return 0;
}
