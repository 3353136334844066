// navtool grib SUBCOMMAND ...

#include "tool/GribTool.h"

#include "nav/grib/GribModel.h"
#include "support/OSXUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <strings.h>

namespace {

const char* const help = "usage: navtool grib list FILE\n"
                         "       navtool grib dump FILE N\n"
                         "       navtool grib request LAT1 LON1 LAT2 LON2 [options]\n"
                         "       navtool grib render FILE OUT.png [--date ISO] [--size WxH]\n"
                         "       navtool grib kml FILE OUT.kml [--date ISO]\n"
                         "\n"
                         "Weather forecasts in GRIB edition 1 files (also bzip2-compressed, \".bz2\"):\n"
                         "  list     one line per message: what it holds and whether it was decoded\n"
                         "  dump     message N's values as latitude, longitude, value rows\n"
                         "  request  the text that asks an e-mail GRIB service for a forecast\n"
                         "  render   the forecast as a picture: contours, wind arrows, graticule\n"
                         "  kml      the forecast as KML for a globe viewer, its images beside it\n"
                         "\"navtool grib SUBCOMMAND --help\" describes each.\n";

struct Sub {
    const char* name;
    int (*run)(const Arguments&);
};

const Sub subs[] = {
    {"list", runGribList},     {"dump", runGribDump}, {"request", runGribRequest},
    {"render", runGribRender}, {"kml", runGribKml},
};

} // namespace

bool wantsHelp(const Arguments& args) {
    return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

GribFile openGribFile(const std::string& path) {
    std::string file = path;
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && strcasecmp(path.c_str() + dot, ".bz2") == 0) {
        if (!OSXUtil::bUnZip(path)) {
            std::fprintf(stderr,
                         "navtool: cannot unpack \"%s\" (not bzip2 data, or its folder is not writable)\n",
                         path.c_str());
            return GribFile(nullptr, &std::fclose);
        }
        file = path.substr(0, dot);
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
    if (!model.loadGrib(file)) {
        if (openGribFile(file)) // says why when it can
            std::fprintf(stderr, "navtool: cannot read \"%s\"\n", file.c_str());
        return false;
    }
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
