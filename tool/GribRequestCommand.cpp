// navtool grib request LAT1 LON1 LAT2 LON2 [options]

#include "tool/Desktop.h"
#include "tool/GribTool.h"

#include "nav/grib/GribModel.h"
#include "support/Settings.h"

#include <cmath>
#include <cstdio>

namespace {

const char* const help =
    "usage: navtool grib request LAT1 LON1 LAT2 LON2 [--for KIND | --model M --params P]\n"
    "                            [--resolution DEG] [--interval HOURS] [--days N] [--mailto]\n"
    "                            [--to ADDRESS] [--send]\n"
    "       navtool grib request --to ADDRESS\n"
    "\n"
    "Prints the text that asks an e-mail GRIB service for a forecast of the area between\n"
    "the two corners (decimal degrees, negative south and west, or 10.5S 30.9W).\n"
    "KIND: wind (default: GFS WIND,PRMSL), wind-coamps, currents, height500, wave,\n"
    "air-temperature, sea-temperature, rain. Defaults: --resolution 0.5 --interval 12\n"
    "--days 3 (COAMPS and RTOFS have their own); the resolution is carried in tenths of\n"
    "a degree, so 0.25 is refused. --to sets the request service's mail address and\n"
    "remembers it for later requests. --mailto prints the mail address that carries\n"
    "the request instead, subject \"GRIB Request\".\n";
const char* const sendHelp = "--send prints the text and hands its mail to the desktop's mail program\n"
                             "(a navtool built with Qt only).\n";

struct Kind {
    const char* name;
    const char* model;
    const char* params;
};

const Kind kinds[] = {
    {"wind", "GFS", "WIND,PRMSL"},        {"wind-coamps", "COAMPS", "WIND,PRMSL"},
    {"currents", "RTOFS", "CUR,WTMP"},    {"height500", "GFS", "WIND500,H500"},
    {"wave", "WW3", "HTSGW,WVDIR"},       {"air-temperature", "GFS", "AIRTEMP"},
    {"sea-temperature", "GFS", "SEATMP"}, {"rain", "GFS", "RAIN"},
};

bool wholeNumber(const std::string& text, unsigned limit, unsigned* out) {
    double v = 0;
    if (!parseNumber(text, &v) || v < 0 || v > limit || v != std::floor(v))
        return false;
    *out = unsigned(v);
    return true;
}

struct Request {
    std::string model = "GFS", params = "WIND,PRMSL";
    std::optional<std::string> to;
    bool mailto = false;
    bool send = false;
};

constexpr const char* kAddressKey = "gribRequestAddress";

// The address given now (remembered for later), else the one remembered; false after saying why.
bool chooseAddress(GribRequest& request, const std::optional<std::string>& given) {
    Settings::setApplication("navtool");
    if (given) {
        if (!GribRequest::isMailAddress(*given)) {
            std::fprintf(stderr, "navtool: --to \"%s\" is not a mail address (name@host)\n", given->c_str());
            return false;
        }
        Settings::setItem(std::string(kAddressKey), SettingValue(*given));
        if (!Settings::save())
            std::fprintf(stderr,
                         "navtool: cannot remember the address in \"%s\"; it serves this request only\n",
                         Settings::storePath().c_str());
    }
    request.setRequestAddress(Settings::text(kAddressKey).value_or(""));
    return true;
}

bool needAddress(const GribRequest& request) {
    if (!request.requestAddress().empty())
        return true;
    std::fputs("navtool: no request service address yet: give your GRIB service's mail address once with\n"
               "\"navtool grib request --to ADDRESS\" (it is remembered), then ask again\n",
               stderr);
    return false;
}

// The options after the corners; false with a message for a bad one.
bool readOptions(const Arguments& args, GribModel& model, Request& request) {
    for (size_t k = 4; k < args.size(); ++k) {
        const std::string& option = args[k];
        if (option == "--mailto") {
            request.mailto = true;
            continue;
        }
        if (option == "--send") {
            request.send = true;
            continue;
        }
        if (option == "--to" && k + 1 < args.size()) {
            request.to = args[++k];
            continue;
        }
        if (k + 1 >= args.size()) {
            std::fprintf(stderr, "navtool: %s needs a value\n", option.c_str());
            return false;
        }
        const std::string& value = args[++k];
        double number = 0;
        unsigned whole = 0;
        bool ok = true;
        if (option == "--for") {
            ok = false;
            for (const Kind& kind : kinds)
                if (value == kind.name)
                    request.model = kind.model, request.params = kind.params, ok = true;
        } else if (option == "--model") {
            request.model = value;
        } else if (option == "--params") {
            request.params = value;
        } else if (option == "--resolution") {
            ok = parseNumber(value, &number) && number > 0 && number <= 10;
            if (ok && !GribRequest::resolutionFits(number)) {
                std::fprintf(stderr,
                             "navtool: --resolution %s cannot be asked for: a request gives the spacing in "
                             "tenths of a degree (0.1, 0.2, 0.5, 1, ...)\n",
                             value.c_str());
                return false;
            }
            model.setResolution(float(number));
        } else if (option == "--interval") {
            ok = wholeNumber(value, 240, &whole) && whole > 0;
            model.setInterval(whole);
        } else if (option == "--days") {
            ok = wholeNumber(value, 16, &whole) && whole > 0;
            model.setDays(whole);
        } else {
            std::fprintf(stderr, "navtool: unknown option \"%s\"\n", option.c_str());
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "navtool: %s \"%s\" is not valid\n", option.c_str(), value.c_str());
            return false;
        }
    }
    return true;
}

// Prints the text and hands its mail to the desktop through the model's mailer.
int sendRequest(GribModel& model, const Request& request, NavPoint corner1, NavPoint corner2,
                const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout); // before any message on the error stream
    if (!installGribMailer(model)) {
        std::fprintf(stderr,
                     "navtool: grib request --send is unavailable: %s; mail the text above yourself, or "
                     "open the address of --mailto\n",
                     desktopMissing().c_str());
        return 1;
    }
    if (!model.requestGrib(corner1, corner2, request.model, request.params)) {
        std::fprintf(stderr,
                     "navtool: the desktop took no mail (no mail program, or no xdg-open); mail the text "
                     "above to %s with the subject \"GRIB Request\"\n",
                     model.request().requestAddress().c_str());
        return 1;
    }
    std::printf("Handed to the desktop: a mail to %s, subject \"GRIB Request\", to send from the mail "
                "program it opens.\n",
                model.request().requestAddress().c_str());
    return 0;
}

} // namespace

int runGribRequest(const Arguments& args) {
    if (wantsHelp(args)) {
        std::fputs(help, stdout);
        std::fputs(sendHelp, stdout);
        return 0;
    }
    if (args.size() == 2 && args[0] == "--to") {
        GribRequest request;
        if (!chooseAddress(request, args[1]))
            return 2;
        std::printf("GRIB requests go to %s from now on.\n", request.requestAddress().c_str());
        return 0;
    }
    if (args.size() < 4) {
        std::fputs(help, stderr);
        return 2;
    }
    double lat1 = 0, lon1 = 0, lat2 = 0, lon2 = 0;
    if (!parseCoordinate(args[0], true, &lat1) || !parseCoordinate(args[1], false, &lon1) ||
        !parseCoordinate(args[2], true, &lat2) || !parseCoordinate(args[3], false, &lon2)) {
        std::fputs("navtool: the corners are LAT1 LON1 LAT2 LON2 in degrees (-90..90, -180..180)\n", stderr);
        return 2;
    }
    GribModel model;
    Request request;
    if (!readOptions(args, model, request))
        return 2;
    const std::optional<std::string> text = model.request().requestText(
        {float(lon1), float(lat1)}, {float(lon2), float(lat2)}, request.model, request.params);
    if (!text) {
        std::fputs("navtool: no request for that area\n", stderr);
        return 1;
    }
    if ((request.send || request.mailto || request.to) && !chooseAddress(model.request(), request.to))
        return 2;
    if ((request.send || request.mailto) && !needAddress(model.request())) {
        std::printf("%s\n", text->c_str());
        return 1;
    }
    if (request.send)
        return sendRequest(model, request, {float(lon1), float(lat1)}, {float(lon2), float(lat2)}, *text);
    std::printf("%s\n", (request.mailto ? model.request().requestMailto(*text) : *text).c_str());
    return 0;
}
