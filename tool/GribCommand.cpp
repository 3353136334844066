// navtool grib SUBCOMMAND ...

#include "tool/GribTool.h"

#include "nav/grib/Contour.h"
#include "nav/grib/GribModel.h"
#include "nav/grib/GribUnpack.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char* const help = "usage: navtool grib list FILE\n"
                         "       navtool grib dump FILE N\n"
                         "       navtool grib times FILE\n"
                         "       navtool grib request LAT1 LON1 LAT2 LON2 [options] [--to ADDRESS] [--send]\n"
                         "       navtool grib render FILE OUT.png [--date ISO] [--size WxH] [--field F]\n"
                         "                           [--wind arrows|barbs]\n"
                         "       navtool grib render FILE --all OUTDIR [options as above]\n"
                         "       navtool grib kml FILE OUT.kml [--date ISO] [--field F] [--open]\n"
                         "\n"
                         "Weather forecasts in GRIB edition 1 files (also bzip2-compressed, \".bz2\"):\n"
                         "  list     one line per message: what it holds and whether it was decoded\n"
                         "  dump     message N's values as latitude, longitude, value rows\n"
                         "  times    the forecast steps: valid time, model run and lead time, fields\n"
                         "  request  the text that asks an e-mail GRIB service for a forecast\n"
                         "  render   the forecast as a picture: coastlines, contours, wind arrows or\n"
                         "           barbs, pressure centres, graticule; one per step with --all\n"
                         "  kml      the forecast as KML for a globe viewer, its images beside it\n"
                         "\"navtool grib SUBCOMMAND --help\" describes each.\n";

struct Sub {
    const char* name;
    int (*run)(const Arguments&);
};

const Sub subs[] = {
    {"list", runGribList},       {"dump", runGribDump},     {"times", runGribTimes},
    {"request", runGribRequest}, {"render", runGribRender}, {"kml", runGribKml},
};

} // namespace

bool wantsHelp(const Arguments& args) {
    return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

GribFile openGribFile(const std::string& path) {
    std::string file = path;
    if (isBzip2Path(path)) {
        const GribUnpacked unpacked = unpackGribBz2(path);
        if (!unpacked.ok) {
            std::fprintf(stderr, "navtool: %s\n", unpacked.error.c_str());
            return GribFile(nullptr, &std::fclose);
        }
        file = unpacked.path;
    }
    GribFile stream(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!stream)
        std::fprintf(stderr, "navtool: cannot read \"%s\": %s\n", file.c_str(), std::strerror(errno));
    return stream;
}

std::optional<GribDate> dateOption(const std::string& text) {
    const auto date = parseIsoDate(text);
    if (!date)
        std::fprintf(stderr, "navtool: date \"%s\" is not YYYY-MM-DDTHH:MM[:SS][Z]\n", text.c_str());
    return date;
}

bool loadForecast(GribModel& model, const std::string& file, std::optional<GribDate> date,
                  const char* purpose) {
    const bool loaded = model.loadGrib(file);
    for (const std::string& note : model.loadNotes()) // what could not be kept, before anything else
        std::fprintf(stderr, "navtool: %s%s\n", loaded ? ("\"" + file + "\": ").c_str() : "", note.c_str());
    if (!loaded)
        return false;
    if (model.gribPoints().empty()) {
        std::fprintf(stderr, "navtool: \"%s\" holds no forecast grid %s (see navtool grib list)\n",
                     file.c_str(), purpose);
        return false;
    }
    const std::vector<GribDate> dates = model.forecastDates();
    const GribDate wanted = date.value_or(dates.front());
    if (std::find(dates.begin(), dates.end(), wanted) == dates.end()) {
        std::fprintf(stderr, "navtool: no forecast for %s in \"%s\"; it has:\n", isoDate(wanted).c_str(),
                     file.c_str());
        for (GribDate d : dates)
            std::fprintf(stderr, "  %s\n", isoDate(d).c_str());
        return false;
    }
    model.setViewForecastDate(wanted);
    return true;
}

int runGrib(const Arguments& args) {
    if (args.empty() || wantsHelp(args)) {
        std::fputs(help, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    for (const Sub& s : subs)
        if (args[0] == s.name)
            return s.run(Arguments(args.begin() + 1, args.end()));
    std::fprintf(stderr, "navtool: unknown grib command \"%s\"\n", args[0].c_str());
    std::fputs(help, stderr);
    return 2;
}

#ifndef MUX_GRIB_RENDER
int runGribRender(const Arguments&) {
    std::fputs("navtool: grib render is unavailable: this navtool was built without Qt (MUX_GUI=OFF)\n",
               stderr);
    return 1;
}
#endif

#ifndef MUX_GRIB_RENDER
bool installGribMailer(GribModel&) {
    return false;
}
#endif

void printContourNotes(const GribModel& model) {
    for (const GribPoints* g : model.gribPointsOnView())
        if (g->contourTruncated())
            std::fprintf(stderr,
                         "navtool: the field of the %ux%u grid at %s is too detailed to draw in full: its "
                         "contours stop after %zu points\n",
                         g->longitudeCount(), g->latitudeCount(), isoDate(g->forecastDate()).c_str(),
                         kContourMaxPoints);
}

bool fieldOption(const std::string& text, std::optional<GribField>& field) {
    static const struct {
        const char* name;
        GribField field;
    } names[] = {
        {"pressure", GribField::pressure},      {"temperature", GribField::airTemperature},
        {"wave", GribField::waveHeight},        {"height500", GribField::geopotentialHeight},
        {"rain", GribField::precipitationRate},
    };
    field.reset();
    if (text == "auto")
        return true;
    for (const auto& n : names)
        if (text == n.name) {
            field = n.field;
            return true;
        }
    std::fprintf(stderr, "navtool: field \"%s\" is not one of pressure, temperature, wave, height500, rain\n",
                 text.c_str());
    return false;
}
