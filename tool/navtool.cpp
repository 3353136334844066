// navtool: the navigation library from the command line.

#include "tool/Commands.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <malloc.h>

namespace {

const Command commands[] = {
    {"variation", "magnetic variation at a position and date", runVariation},
    {"simulate", "stream simulated instrument sentences", runSimulate},
    {"listen", "print the lines a TCP server or UDP senders send", runListen},
    {"convert", "convert waypoints, routes and tracks between GPX, KML and CSV", runConvert},
    {"list", "list the waypoints, routes and track of a GPX, KML or CSV file", runList},
    {"grib", "weather files: list, dump, kml, request, render", runGrib},
};

void usage(std::FILE* out) {
    std::fprintf(out, "usage: navtool COMMAND [ARGS...]\n"
                      "       navtool COMMAND --help\n       navtool --version\n\ncommands:\n");
    for (const Command& c : commands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
}

} // namespace

bool parseNumber(const std::string& text, double* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool parseCoordinate(const std::string& text, bool latitude, double* value) {
    std::string number = text;
    double sign = 1.0;
    if (!number.empty()) {
        const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(number.back())));
        const char* letters = latitude ? "NS" : "EW";
        if (std::strchr(letters, last) && last != '\0') {
            number.pop_back();
            sign = (last == 'S' || last == 'W') ? -1.0 : 1.0;
            if (!number.empty() && (number[0] == '-' || number[0] == '+'))
                return false; // a sign and a letter contradict or repeat each other
        }
    }
    double v = 0.0;
    if (!parseNumber(number, &v))
        return false;
    v *= sign;
    const double limit = latitude ? 90.0 : 180.0;
    if (v < -limit || v > limit)
        return false;
    *value = v;
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        usage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("navtool %s\n", NAVTOOL_RELEASE);
        return 0;
    }
    // A conversion grows its lists by doubling: freed blocks stay in the heap for the next ones,
    // instead of going back to the system and being faulted in fresh (a tenth of its time).
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    for (const Command& c : commands) {
        if (name == c.name)
            return c.run(Arguments(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "navtool: unknown command \"%s\"\n", name.c_str());
    usage(stderr);
    return 2;
}
