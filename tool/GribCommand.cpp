// navtool grib SUBCOMMAND ...

#include "tool/Desktop.h"
#include "tool/GribTool.h"

#include "nav/grib/GribModel.h"
#include "nav/grib/GribUnpack.h"

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

// Drawing and mail need the desktop: its module does them.
int runGribRender(const Arguments& args) {
    if (const DesktopModule* desktop = desktopModule())
        return desktop->gribRender(args);
    std::fprintf(stderr, "navtool: grib render is unavailable: %s\n", desktopMissing().c_str());
    return 1;
}

bool installGribMailer(GribModel& model) {
    const DesktopModule* desktop = desktopModule();
    if (!desktop)
        return false;
    model.request().setMailer(desktop->sendMail);
    return true;
}
