// What the grib subcommands share: their options and loading a forecast. Built into navtool and
// into its desktop module (grib render).

#include "tool/GribTool.h"

#include "nav/grib/Contour.h"
#include "nav/grib/GribModel.h"

#include <algorithm>

bool wantsHelp(const Arguments& args) {
    return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
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
