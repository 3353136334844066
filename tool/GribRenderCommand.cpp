// navtool grib render FILE OUT.png [--date ISO] [--size WxH]

#include "tool/GribRender.h"
#include "tool/GribTool.h"

#include "nav/grib/GribModel.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {

const char* const help = "usage: navtool grib render FILE OUT.png [--date ISO] [--size WxH]\n"
                         "\n"
                         "Draws the forecast of FILE at one forecast time as a PNG picture: the contours\n"
                         "of pressure (else temperature, geopotential height or wave height) with their\n"
                         "labels, wind (else current) arrows in the Beaufort colours, and a graticule.\n"
                         "--date picks the time (as \"navtool grib list\" prints it; default the first),\n"
                         "--size the picture in pixels (default 900x600).\n";

struct Options {
    std::string input, output;
    std::optional<GribDate> date;
    int width = 900, height = 600;
};

bool parseSize(const std::string& text, int* width, int* height) {
    unsigned w = 0, h = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%5ux%5u%n", &w, &h, &used) != 2 || used != int(text.size()))
        return false;
    if (w < 200 || h < 150 || w > 8000 || h > 8000)
        return false;
    *width = int(w);
    *height = int(h);
    return true;
}

bool parseOptions(const Arguments& args, Options& o) {
    std::vector<std::string> plain;
    for (size_t k = 0; k < args.size(); ++k) {
        if (args[k] == "--date" && k + 1 < args.size()) {
            o.date = dateOption(args[++k]);
            if (!o.date)
                return false;
        } else if (args[k] == "--size" && k + 1 < args.size()) {
            if (!parseSize(args[++k], &o.width, &o.height)) {
                std::fprintf(stderr, "navtool: size \"%s\" is not WxH within 200x150..8000x8000\n",
                             args[k].c_str());
                return false;
            }
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
    return true;
}

} // namespace

int runGribRender(const Arguments& args) {
    if (wantsHelp(args)) {
        std::fputs(help, stdout);
        return 0;
    }
    Options o;
    if (!parseOptions(args, o))
        return 2;
    GribModel& model = GribModel::grib();
    if (!loadForecast(model, o.input, o.date, "to draw"))
        return 1;
    // Text needs the GUI application's fonts; no screen is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "navtool";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const QString source = QFileInfo(QString::fromStdString(o.input)).fileName();
    const QImage image = renderForecast(model, QSize(o.width, o.height), source);
    if (!image.save(QString::fromStdString(o.output), "PNG")) {
        std::fprintf(stderr, "navtool: cannot write \"%s\"\n", o.output.c_str());
        return 1;
    }
    return 0;
}
