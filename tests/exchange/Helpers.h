#pragma once
// Helpers of the exchange tests: fresh models, temporary folders, files, and the independent
// programs (gpsbabel, xmllint) run as oracles, with a small reader of the GPX text gpsbabel writes.

#include "nav/exchange/Importer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace exchange_test {

namespace fs = std::filesystem;

struct Models {
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ModelImportDelegate delegate{exchange()};
    ExchangeModels exchange() { return {waypoints, routes, tracks}; }
};

// Sets an environment variable for the scope (and the C library's idea of the time zone).
struct Env {
    std::string name;
    std::optional<std::string> old;
    Env(const char* n, const char* value) : name(n) {
        if (const char* v = std::getenv(n))
            old = v;
        ::setenv(n, value, 1);
        ::tzset();
    }
    ~Env() {
        old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str());
        ::tzset();
    }
};

struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "exchange-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string sample(const char* name) {
    return std::string(MUX_SHARED_DATA) + "/exchange/" + name;
}

inline bool haveSamples() {
    return fs::exists(sample("gpx-1.1.xsd"));
}

inline bool haveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; its exit status, with standard output and error in *output.
inline int run(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    output->clear();
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output->append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

struct Point {
    std::string name;
    double lat = 0, lon = 0;
    std::optional<long long> time;
};
struct Line {
    std::string name;
    std::vector<Point> points;
};
struct Found {
    std::vector<Point> waypoints;
    std::vector<Line> routes;
    std::vector<Line> tracks; // one per segment
};

inline std::string unescaped(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : entities) {
        for (size_t at; (at = text.find(entity)) != std::string::npos;)
            text.replace(at, std::strlen(entity), plain);
    }
    return text;
}

// The GPX that gpsbabel writes: one tag a line, extensions skipped.
inline Found scanGpx(const std::string& text) {
    Found found;
    std::optional<Point> point;
    std::optional<Line> route, segment;
    int extensions = 0;
    const std::regex start(R"re(<(wpt|rtept|trkpt) lat="([-0-9.]+)" lon="([-0-9.]+)"(/?)>)re");
    const std::regex field(R"re(<(name|time)>(.*)</(name|time)>)re");
    std::istringstream lines(text);
    std::string line;
    std::smatch m;
    while (std::getline(lines, line)) {
        if (line.find("<extensions>") != std::string::npos)
            ++extensions;
        if (line.find("</extensions>") != std::string::npos)
            --extensions;
        if (extensions > 0)
            continue;
        if (std::regex_search(line, m, start)) {
            point = Point{"", std::stod(m[2]), std::stod(m[3]), std::nullopt};
            if (m[4] == "/")
                line = "</" + m[1].str() + ">";
        } else if (std::regex_search(line, m, field)) {
            if (m[1] == "name" && point)
                point->name = unescaped(m[2]);
            else if (m[1] == "name" && route && route->points.empty())
                route->name = unescaped(m[2]);
            else if (m[1] == "time" && point) {
                std::tm tm{};
                if (::strptime(m[2].str().c_str(), "%Y-%m-%dT%H:%M:%S", &tm))
                    point->time = ::timegm(&tm);
            }
        }
        if (line.find("<rte>") != std::string::npos)
            route = Line{};
        if (line.find("<trkseg>") != std::string::npos)
            segment = Line{};
        if (point && line.find("</wpt>") != std::string::npos)
            found.waypoints.push_back(*point), point.reset();
        if (point && route && line.find("</rtept>") != std::string::npos)
            route->points.push_back(*point), point.reset();
        if (point && segment && line.find("</trkpt>") != std::string::npos)
            segment->points.push_back(*point), point.reset();
        if (route && line.find("</rte>") != std::string::npos)
            found.routes.push_back(*route), route.reset();
        if (segment && line.find("</trkseg>") != std::string::npos)
            found.tracks.push_back(*segment), segment.reset();
    }
    return found;
}

// gpsbabel reads a file in its format (with options, "gpx", "kml", "xcsv,style=...") and writes GPX.
inline Found gpsbabelRead(const std::string& format, const std::string& path, const std::string& flags = "") {
    std::string output;
    const int status =
        run("gpsbabel " + flags + " -i " + format + " -f " + quoted(path) + " -o gpx -F -", &output);
    EXPECT_EQ(status, 0) << output;
    return scanGpx(output);
}

} // namespace exchange_test
