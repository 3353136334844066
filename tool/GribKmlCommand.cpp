// navtool grib kml FILE OUT [--date ISO] [--open]

#include "tool/GlobeViewer.h"
#include "tool/GribTool.h"

#include "exchange/KMLExport.h"
#include "exchange/Kmz.h"
#include "nav/grib/GribModel.h"

#include <filesystem>

namespace {

const char* const help =
    "usage: navtool grib kml FILE OUT.kml [--date ISO] [--field F] [--open]\n"
    "\n"
    "Writes the forecast of FILE at one forecast time as KML for a globe viewer: a folder per\n"
    "grid with wind, current and wave symbols, the legend, and the contour lines of pressure\n"
    "(else temperature, geopotential height or wave height) with their labels. The symbol and\n"
    "legend images go into an \"images\" folder beside OUT (inside the archive for OUT.kmz).\n"
    "--date picks the time (as \"navtool grib times\" lists them; default the first),\n"
    "--field the contoured field: pressure, temperature, wave, height500 or rain,\n"
    "--open opens OUT in the globe viewer afterwards (needs the Qt build).\n";

struct Options {
    std::string input, output;
    std::optional<GribDate> date;
    std::optional<GribField> field;
    bool open = false;
};

bool parseOptions(const Arguments& args, Options& o) {
    std::vector<std::string> plain;
    for (size_t k = 0; k < args.size(); ++k) {
        if (args[k] == "--date" && k + 1 < args.size()) {
            o.date = dateOption(args[++k]);
            if (!o.date)
                return false;
        } else if (args[k] == "--field" && k + 1 < args.size()) {
            if (!fieldOption(args[++k], o.field))
                return false;
        } else if (args[k] == "--open") {
            o.open = true;
        } else {
            plain.push_back(args[k]);
        }
    }
    if (plain.size() != 2) {
        std::fputs(help, stderr);
        return false;
    }
    o.input = plain[0];
    o.output = plain[1];
    if (!KMLExport::isKML(o.output)) {
        std::fprintf(stderr, "navtool: \"%s\" does not end in .kml or .kmz\n", o.output.c_str());
        return false;
    }
    return true;
}

} // namespace

int runGribKml(const Arguments& args) {
    if (wantsHelp(args)) {
        std::fputs(help, stdout);
        return 0;
    }
    Options o;
    if (!parseOptions(args, o))
        return 2;
    GribModel& model = GribModel::grib();
    model.setContourField(o.field);
    if (!loadForecast(model, o.input, o.date, "to export"))
        return 1;
    KMLExport::installGribExport();
    if (!model.kmlExportGrib(o.output)) {
        if (KMLExport::isKMZ(o.output) && !exchange::kmzSupportError().empty()) {
            std::fprintf(stderr, "navtool: %s: %s\n", o.output.c_str(), exchange::kmzSupportError().c_str());
            return 1;
        }
        std::fprintf(stderr, "navtool: %s\n",
                     ("wrote nothing: at " + isoDate(model.viewForecastDate()) +
                      " there is no wind, current, wave direction or field to contour, or \"" + o.output +
                      "\" and its images cannot be written")
                         .c_str());
        return 1;
    }
    printContourNotes(model);
    if (o.open && !openGoogleEarth(o.output)) {
        if (canOpenGoogleEarth())
            std::fprintf(stderr, "navtool: %s: no globe viewer or desktop opener could open it\n",
                         o.output.c_str());
        else
            std::fprintf(stderr, "navtool: %s written; %s\n", o.output.c_str(), globeViewerMissing().c_str());
        return 1;
    }
    return 0;
}
