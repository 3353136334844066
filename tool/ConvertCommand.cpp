// navtool convert [OPTIONS] INPUT... OUTPUT

#include "exchange/Kmz.h"
#include "tool/ExchangeFiles.h"
#include "tool/GlobeViewer.h"

#include <cstdio>

namespace {

const char* const help =
    "usage: navtool convert [OPTIONS] INPUT... OUTPUT\n"
    "\n"
    "Reads each INPUT into the chart models and writes what they then hold to OUTPUT,\n"
    "each in the format of its extension: .gpx, .kml, .kmz (KML with its icon images;\n"
    "a .kml gets them in an icons folder beside it) or .csv. Several inputs merge into\n"
    "one output. \"-\" reads standard input (its format told by -i or its first bytes)\n"
    "or writes standard output (its format told by -o). A CSV file holds one kind of\n"
    "record: the waypoints go to OUTPUT, each route and the track to files beside it\n"
    "(OUTPUT-route1.csv, OUTPUT-track.csv).\n"
    "\n"
    "  -i FORMAT          the inputs are gpx, kml, kmz or csv, whatever their names\n"
    "  -o FORMAT          the output is gpx, kml, kmz or csv, whatever its name\n"
    "  --waypoints        write the waypoints; --routes the routes, --tracks the track\n"
    "                     (any of them together; without any, everything)\n"
    "  --open             open OUTPUT in the globe viewer afterwards (needs the Qt build)\n"
    "  --position-form N  positions of CSV waypoint files: 0 (dm) 12º30.00'N,\n"
    "                     1 (hdm) N12.30.000, 2 (deg) 12.500000N, 3 (dms) 12º30'00.0\"N;\n"
    "                     default 0; signed decimal degrees (54.5,-10.2) read in any\n"
    "  --csv KIND         what a CSV INPUT holds: waypoints, route or track; by default\n"
    "                     a file whose first field is a date is read as a track\n"
    "\n"
    "Every record an input skips or changes (no valid position, a unique name given, a\n"
    "symbol outside the icon table, a time that could not be read) is counted on standard\n"
    "error with its lines. Exit status: 0 everything read was written, 3 written but\n"
    "records were dropped, 1 an input could not be read or OUTPUT not written, 2 bad usage.\n";

// The output's format, known before anything is read; false after saying why.
bool outputNamed(const std::string& output, const ExchangeOptions& options) {
    if (options.outputKind || kindOfPath(output) != FileKind::Unknown)
        return true;
    std::fprintf(stderr, "navtool: %s: not a .gpx, .kml, .kmz or .csv file (-o names the format)\n",
                 output.c_str());
    return false;
}

bool openIfAsked(const std::string& output, const ExchangeOptions& options) {
    if (!options.open)
        return true;
    if (output == "-" || !openGoogleEarth(output)) {
        std::fprintf(stderr, "navtool: %s: no globe viewer or desktop opener could open it\n",
                     output.c_str());
        return false;
    }
    return true;
}

} // namespace

int runConvert(const Arguments& arguments) {
    Arguments args = arguments;
    ExchangeOptions options;
    if (const auto status = takeExchangeArguments(args, 2, help, &options, true, true))
        return *status;
    const std::string output = args.back();
    args.pop_back();
    if (!outputNamed(output, options))
        return 2;
    if (options.open && !canOpenGoogleEarth()) {
        std::fprintf(stderr, "navtool: %s\n", globeViewerMissing().c_str());
        return 2;
    }
    ToolModels models;
    bool dropped = false;
    for (const std::string& input : args) {
        std::string error;
        exchange::ImportReport report;
        const bool ok = importFile(input, options, models, &report, &error);
        printReport(input, report);
        if (!ok) {
            std::fprintf(stderr, "navtool: %s: %s\n", input.c_str(), error.c_str());
            return 1;
        }
        dropped = dropped || report.anyDropped();
    }
    std::vector<std::string> written, lost;
    if (!exportFile(output, options, models, &written, &lost)) {
        const bool archive = options.outputKind.value_or(kindOfPath(output)) == FileKind::Kmz;
        const std::string why = archive ? exchange::kmzSupportError() : std::string();
        std::fprintf(stderr, "navtool: %s: %s\n", written.empty() ? output.c_str() : written.back().c_str(),
                     why.empty() ? "cannot be written" : why.c_str());
        return 1;
    }
    for (const std::string& loss : lost)
        std::fprintf(stderr, "navtool: %s\n", loss.c_str());
    // With the file on standard output, what was written is said on standard error.
    std::FILE* said = output == "-" ? stderr : stdout;
    std::fprintf(said, "%zu waypoints, %zu routes, %zu track points\n", models.waypoints.count(),
                 models.routes.count(), models.tracks.count());
    for (const std::string& file : written)
        std::fprintf(said, "wrote %s\n", file.c_str());
    if (!openIfAsked(output, options))
        return 1;
    return dropped || !lost.empty() ? 3 : 0;
}
