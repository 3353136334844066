// navtool grib render FILE OUT.png [options] | FILE --all OUTDIR [options]

#include "tool/DesktopModule.h"
#include "tool/GribRender.h"
#include "tool/GribTool.h"

#include "nav/grib/GribModel.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <map>

namespace {

const char* const help =
    "usage: navtool grib render FILE OUT.png [--date ISO] [--size WxH] [--field F] [--wind arrows|barbs]\n"
    "       navtool grib render FILE --all OUTDIR [--size WxH] [--field F] [--wind arrows|barbs]\n"
    "\n"
    "Draws the forecast of FILE at one forecast time as a PNG picture: the field as colour and\n"
    "contours with labels, the coastlines, highs and lows of pressure, wind (else current) in\n"
    "the Beaufort colours, and a graticule; the title gives the valid time, the model run and\n"
    "the lead time, and the strongest wind; the legend the knots of each colour.\n"
    "--date    the time (as \"navtool grib times\" lists them; default the first)\n"
    "--all     one picture per forecast time into OUTDIR, named FILE-YYYYMMDD-HHMM.png\n"
    "--size    the picture in pixels (default 900x600); text and symbols grow with it\n"
    "--field   pressure, temperature, wave, height500 or rain (default: the first of them\n"
    "          the file has, rain aside)\n"
    "--wind    arrows downwind (default) or barbs in knots\n"
    "Coastlines come from the GSHHG data of Debian's gmt-gshhg-low package\n"
    "($MUX_COASTLINE_DIR to use another folder); without it the picture has none.\n";

struct Options {
    std::string input, output, folder;
    std::optional<GribDate> date;
    std::optional<GribField> field;
    RenderOptions render;
};

bool parseSize(const std::string& text, QSize& size) {
    unsigned w = 0, h = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%5ux%5u%n", &w, &h, &used) != 2 || used != int(text.size()))
        return false;
    if (w < 200 || h < 150 || w > 8000 || h > 8000)
        return false;
    size = QSize(int(w), int(h));
    return true;
}

// One option and its value; false after saying why.
bool parseOption(const std::string& option, const std::string& value, Options& o) {
    if (option == "--date")
        return bool(o.date = dateOption(value));
    if (option == "--all") {
        o.folder = value;
        return true;
    }
    if (option == "--field")
        return fieldOption(value, o.field);
    if (option == "--wind" && (value == "arrows" || value == "barbs")) {
        o.render.wind = value == "barbs" ? WindStyle::barbs : WindStyle::arrows;
        return true;
    }
    if (option == "--size" && parseSize(value, o.render.size))
        return true;
    std::fprintf(stderr, "navtool: %s \"%s\" is not valid%s\n", option.c_str(), value.c_str(),
                 option == "--size" ? " (WxH within 200x150..8000x8000)" : "");
    return false;
}

bool parseOptions(const Arguments& args, Options& o) {
    std::vector<std::string> plain;
    for (size_t k = 0; k < args.size(); ++k) {
        if (args[k].rfind("--", 0) == 0 && k + 1 < args.size()) {
            if (!parseOption(args[k], args[k + 1], o))
                return false;
            ++k;
        } else {
            plain.push_back(args[k]);
        }
    }
    if (plain.size() != (o.folder.empty() ? 2u : 1u) || (!o.folder.empty() && o.date)) {
        std::fputs(help, stderr);
        return false;
    }
    o.input = plain[0];
    o.output = o.folder.empty() ? plain[1] : "";
    return true;
}

// The shorelines, each resolution read once; a one-line note when there are none.
struct ShoreCache {
    std::map<std::string, std::optional<Coastline>> read;
    bool said = false;
    std::vector<GribPolyline> operator()(const CoastlineArea& area, double degreesPerPixel) {
        const std::string path = Coastline::pathFor(degreesPerPixel);
        std::string why;
        auto known = read.find(path);
        if (known == read.end())
            known = read.emplace(path, Coastline::read(path, why)).first;
        const std::optional<Coastline>& c = known->second;
        if (!c) {
            if (!said)
                std::fprintf(stderr, "navtool: drawing without coastlines: %s\n", why.c_str());
            said = true;
            return {};
        }
        return c->lines(area);
    }
};

bool renderOne(GribModel& model, const Options& o, const std::string& output, const QString& source) {
    if (!forecastDrawable(model)) {
        std::fprintf(stderr, "navtool: nothing to draw at %s: no %s, wind or current there\n",
                     isoDate(model.viewForecastDate()).c_str(), o.field ? "such field" : "field to contour");
        return false;
    }
    const QImage image = renderForecast(model, o.render, source);
    printContourNotes(model);
    if (!image.save(QString::fromStdString(output), "PNG")) {
        std::fprintf(stderr, "navtool: cannot write \"%s\"\n", output.c_str());
        return false;
    }
    return true;
}

// "forecast-20111008-0600.png" for forecast.grib1.
std::string stepName(const std::string& input, GribDate date) {
    std::string stem = QFileInfo(QString::fromStdString(input)).completeBaseName().toStdString();
    if (stem.size() > 4 && stem.compare(stem.size() - 5, 5, ".grib") == 0)
        stem.resize(stem.size() - 5);
    std::string iso = isoDate(date); // 2011-10-08T06:00:00Z
    return stem + "-" + iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2) + "-" + iso.substr(11, 2) +
           iso.substr(14, 2) + ".png";
}

int renderAll(GribModel& model, const Options& o, const QString& source) {
    if (!QDir().mkpath(QString::fromStdString(o.folder))) {
        std::fprintf(stderr, "navtool: cannot make the folder \"%s\"\n", o.folder.c_str());
        return 1;
    }
    int status = 0;
    for (GribDate date : model.forecastDates()) {
        model.setViewForecastDate(date);
        const std::string out = o.folder + "/" + stepName(o.input, date);
        if (renderOne(model, o, out, source))
            std::printf("%s\n", out.c_str());
        else
            status = 1;
    }
    return status;
}

} // namespace

int drawGribForecast(const Arguments& args) {
    if (wantsHelp(args)) {
        std::fputs(help, stdout);
        return 0;
    }
    Options o;
    if (!parseOptions(args, o))
        return 2;
    GribModel& model = GribModel::grib();
    model.setContourField(o.field);
    if (!loadForecast(model, o.input, o.date, "to draw"))
        return 1;
    // Text needs the GUI application's fonts; no screen is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "navtool";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    auto shore = std::make_shared<ShoreCache>();
    o.render.shore = [shore](const CoastlineArea& area, double degreesPerPixel) {
        return (*shore)(area, degreesPerPixel);
    };
    const QString source = QFileInfo(QString::fromStdString(o.input)).fileName();
    if (!o.folder.empty())
        return renderAll(model, o, source);
    return renderOne(model, o, o.output, source) ? 0 : 1;
}
