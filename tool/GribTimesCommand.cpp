// navtool grib times FILE

#include "tool/GribTool.h"

#include "nav/grib/GribModel.h"

#include <cstdio>

namespace {

const char* const help = "usage: navtool grib times FILE\n"
                         "\n"
                         "Lists the forecast steps of FILE, earliest first: the time the forecast is\n"
                         "valid for (UTC; what --date of render and kml takes), the model run it comes\n"
                         "from, the lead time from that run, and the fields at that time.\n";

std::string fieldsOf(const GribPoints& g) {
    static const struct {
        GribField field;
        const char* name;
    } names[] = {
        {GribField::pressure, "pressure"},
        {GribField::airTemperature, "temperature"},
        {GribField::seaTemperature, "sea temperature"},
        {GribField::geopotentialHeight, "height500"},
        {GribField::waveHeight, "wave"},
        {GribField::waveDirection, "wave direction"},
        {GribField::wavePeriod, "wave period"},
        {GribField::precipitationRate, "rain"},
    };
    std::string text;
    auto add = [&](const char* name) { text += (text.empty() ? "" : ", ") + std::string(name); };
    if (g.hasWind())
        add("wind");
    if (g.hasCurrent())
        add("current");
    for (const auto& n : names)
        if (g.has(n.field))
            add(n.name);
    return text;
}

// "+6 h", "-3 h", "+90 min".
std::string lead(GribDate valid, GribDate run) {
    const long long minutes = std::chrono::duration_cast<std::chrono::minutes>(valid - run).count();
    char text[32];
    if (minutes % 60 == 0)
        std::snprintf(text, sizeof text, "%+lld h", minutes / 60);
    else
        std::snprintf(text, sizeof text, "%+lld min", minutes);
    return text;
}

} // namespace

int runGribTimes(const Arguments& args) {
    if (wantsHelp(args)) {
        std::fputs(help, stdout);
        return 0;
    }
    if (args.size() != 1) {
        std::fputs(help, stderr);
        return 2;
    }
    GribModel model;
    if (!loadForecast(model, args[0], std::nullopt, "to list"))
        return 1;
    std::printf("%-21s %-21s %-8s %s\n", "valid", "run", "lead", "fields");
    for (GribDate date : model.forecastDates()) {
        model.setViewForecastDate(date);
        for (const GribPoints* g : model.gribPointsOnView())
            std::printf("%-21s %-21s %-8s %s (%ux%u)\n", isoDate(date).c_str(), isoDate(g->runDate()).c_str(),
                        lead(date, g->runDate()).c_str(), fieldsOf(*g).c_str(), g->longitudeCount(),
                        g->latitudeCount());
    }
    return model.loadDamaged() ? 1 : 0;
}
