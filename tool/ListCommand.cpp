// navtool list FILE [-i FORMAT] [--position-form N] [--csv KIND]

#include "chart/WaypointIcons.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"
#include "tool/ExchangeFiles.h"

#include <cstdio>

namespace {

const char* const help =
    "usage: navtool list FILE [-i FORMAT] [--position-form N] [--csv KIND]\n"
    "\n"
    "Prints what a .gpx, .kml, .kmz or .csv file (\"-\": standard input) holds, one record\n"
    "a line, fields separated by tabs:\n"
    "  waypoint NAME LATITUDE LONGITUDE ICON   (decimal degrees, north and east positive)\n"
    "  route NAME POINTS DISTANCE              (nautical miles over all legs)\n"
    "  track POINTS SEGMENTS FIRST LAST        (times in UTC of the first and last point\n"
    "                                           that has one; - when none has)\n"
    "The waypoints listed include the routes' points. A tab, line break, backslash or\n"
    "other control character in a name is written \\t, \\n, \\r, \\\\ or \\xHH. The options,\n"
    "the report of skipped records and the exit status are those of navtool convert.\n";

// One record a line: characters that would break the line or the fields are escaped.
std::string field(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else
            out += c;
    }
    return out;
}

void printTrack(const TracksModel& tracks) {
    size_t segments = 0;
    const Track* first = nullptr;
    const Track* last = nullptr;
    for (size_t i = 0; i < tracks.count(); ++i) {
        segments += tracks.isStart(i) ? 1 : 0;
        const Track& point = *tracks.track(i);
        if (point.hasDate()) {
            first = first ? first : &point;
            last = &point;
        }
    }
    const auto time = [](const Track* t) { return t ? exchange::isoDateText(t->date()) : std::string("-"); };
    std::printf("track\t%zu points\t%zu segments\t%s\t%s\n", tracks.count(), segments, time(first).c_str(),
                time(last).c_str());
}

void printModels(ToolModels& models) {
    for (const auto& w : models.waypoints.chartMarkers()) {
        const int icon = WaypointsModel::hasIconImage(w->iconIndex()) ? w->iconIndex() : 0;
        std::printf("waypoint\t%s\t%s\t%s\t%s\n", field(w->name()).c_str(),
                    exchange::fixed(w->latitude(), 6).c_str(), exchange::fixed(w->longitude(), 6).c_str(),
                    WaypointIcons::iconName(static_cast<size_t>(icon)).c_str());
    }
    for (const auto& r : models.routes.routeArray()) {
        const float distance = r->count() > 0 ? r->distance(0, r->count() - 1) : 0.0f;
        std::printf("route\t%s\t%zu points\t%s NM\n", field(r->name()).c_str(), r->count(),
                    exchange::fixed(distance, 2).c_str());
    }
    if (models.tracks.count() > 0)
        printTrack(models.tracks);
}

} // namespace

int runList(const Arguments& arguments) {
    Arguments args = arguments;
    ExchangeOptions options;
    if (const auto status = takeExchangeArguments(args, 1, help, &options))
        return *status;
    if (args[0] != "-" && !options.inputKind && kindOfPath(args[0]) == FileKind::Unknown) {
        std::fprintf(stderr, "navtool: %s: not a .gpx, .kml, .kmz or .csv file (-i names the format)\n",
                     args[0].c_str());
        return 2;
    }
    ToolModels models;
    std::string error;
    exchange::ImportReport report;
    const bool ok = importFile(args[0], options, models, &report, &error);
    printReport(args[0], report);
    if (!ok) {
        std::fprintf(stderr, "navtool: %s: %s\n", args[0].c_str(), error.c_str());
        return 1;
    }
    printModels(models);
    return report.anyDropped() ? 3 : 0;
}
