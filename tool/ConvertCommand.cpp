// navtool convert INPUT OUTPUT [--position-form N] [--csv KIND]

#include "tool/ExchangeFiles.h"

#include <cstdio>

namespace {

const char* const help =
    "usage: navtool convert INPUT OUTPUT [--position-form N] [--csv KIND]\n"
    "\n"
    "Reads INPUT into the chart models and writes everything they then hold to OUTPUT,\n"
    "each in the format of its extension: .gpx, .kml, .kmz (KML with its icon images)\n"
    "or .csv. A CSV file holds one kind of record: the waypoints go to OUTPUT, each route\n"
    "and the track to files beside it (OUTPUT-route1.csv, OUTPUT-track.csv).\n"
    "\n"
    "  --position-form N  positions of CSV waypoint files: 0 (dm) 12º30.00'N,\n"
    "                     1 (hdm) N12.30.000, 2 (deg) 12.500000N, 3 (dms) 12º30'00.0\"N;\n"
    "                     default 0\n"
    "  --csv KIND         what a CSV INPUT holds: waypoints, route or track; by default\n"
    "                     a file whose first field is a date is read as a track\n";

} // namespace

int runConvert(const Arguments& arguments) {
    Arguments args = arguments;
    ExchangeOptions options;
    if (const auto status = takeExchangeArguments(args, 2, help, &options))
        return *status;
    const std::string& input = args[0];
    const std::string& output = args[1];
    for (const std::string* path : {&input, &output}) {
        if (kindOfPath(*path) == FileKind::Unknown) {
            std::fprintf(stderr, "navtool: %s: not a .gpx, .kml, .kmz or .csv file\n", path->c_str());
            return 2;
        }
    }
    ToolModels models;
    std::string error;
    if (!importFile(input, options, models, &error)) {
        std::fprintf(stderr, "navtool: %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    std::vector<std::string> written;
    if (!exportFile(output, models, &written)) {
        std::fprintf(stderr, "navtool: %s: cannot be written\n",
                     written.empty() ? output.c_str() : written.back().c_str());
        return 1;
    }
    std::printf("%zu waypoints, %zu routes, %zu track points\n", models.waypoints.count(),
                models.routes.count(), models.tracks.count());
    for (const std::string& file : written)
        std::printf("wrote %s\n", file.c_str());
    return 0;
}
