#pragma once
// Fresh models with records, the sample files, and a reader of the GPX text gpsbabel writes.

#include "nav/UnitsModel.h"
#include "exchange/Importer.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <vector>

namespace exchange_test {

using namespace testing_support;
using Folder = TempFolder;

#define NEED(program)                                                                                        \
    if (!haveProgram(program))                                                                               \
    GTEST_SKIP() << program " is not installed here (CI installs it)"

struct Models {
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ModelImportDelegate delegate{exchange()};
    ExchangeModels exchange() { return {waypoints, routes, tracks}; }
};

inline std::shared_ptr<Waypoint> place(Models& m, const std::string& name, float lon, float lat,
                                       const std::string& description = "", int icon = 0) {
    auto w = std::make_shared<Waypoint>();
    w->setName(name), w->setPositionOnGPS({lon, lat}), w->setDescription(description), w->setIconIndex(icon);
    m.waypoints.add(w, false);
    return w;
}

inline std::shared_ptr<Track> logged(Models& m, ChartDate date, float lon, float lat, ChartColor color = {}) {
    auto t = std::make_shared<Track>();
    t->setDate(date), t->setPositionOnGPS({lon, lat}), t->setColor(color);
    m.tracks.add(t);
    return t;
}

// The position form for the scope.
struct PositionForm {
    unsigned saved = UnitsModel::units().positionFormatUnits();
    explicit PositionForm(unsigned form) { UnitsModel::units().setPositionFormatUnits(form); }
    ~PositionForm() { UnitsModel::units().setPositionFormatUnits(saved); }
};

// One line a waypoint: "name|description|icon|lon,lat".
inline std::string listed(const WaypointsModel& waypoints) {
    std::ostringstream out;
    for (const auto& w : waypoints.chartMarkers())
        out << w->name() << "|" << w->description() << "|" << w->iconIndex() << "|" << w->longitude() << ","
            << w->latitude() << "\n";
    return out.str();
}

// Waypoints with names that test the escapes, a route over them, a track of two segments.
inline void fill(Models& m) {
    const char* names[] = {"Fish & Chips", "<tag> ]]> \"q\" 'a'", "ctl\x01 bad\xFF end", "R\u00f8dby"};
    float lon = -179.9f;
    auto route = std::make_shared<Route>();
    route->setName("Round & about");
    for (const char* name : names) {
        const int icon = static_cast<int>(m.waypoints.count()) * 20;
        route->addWaypointReference({place(m, name, lon, -lon / 2.5f, std::string("about ") + name, icon)});
        lon += 97.3f;
    }
    m.routes.add(route);
    for (int i = 0; i < 6; ++i)
        logged(m, 1.6e9 + i * 60 + (i >= 3 ? 3600 : 0), 10 + i * 0.001f, 54 + i * 0.0005f);
    m.waypoints.setMatch(std::nullopt);
}

inline std::string sample(const char* name) {
    return std::string(MUX_SHARED_DATA) + "/exchange/" + name;
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
    for (const auto& [entity, plain] :
         {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
        for (size_t at; (at = text.find(entity)) != std::string::npos;)
            text.replace(at, std::strlen(entity), plain);
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
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        auto has = [&](const char* tag) { return line.find(tag) != std::string::npos; };
        if ((extensions += has("<extensions>") - has("</extensions>")) > 0)
            continue;
        std::tm tm{};
        if (std::regex_search(line, m, start)) {
            point = Point{"", std::stod(m[2]), std::stod(m[3]), std::nullopt};
            if (m[4] == "/")
                line = "</" + m[1].str() + ">";
        } else if (std::regex_search(line, m, field) && m[1] == "name" &&
                   (point || (route && route->points.empty()))) {
            (point ? point->name : route->name) = unescaped(m[2]);
        } else if (m.size() && m[1] == "time" && point &&
                   ::strptime(m[2].str().c_str(), "%Y-%m-%dT%H:%M:%S", &tm)) {
            point->time = ::timegm(&tm);
        }
        if (has("<rte>"))
            route = Line{};
        if (has("<trkseg>"))
            segment = Line{};
        if (point && (has("</wpt>") || has("</rtept>") || has("</trkpt>")))
            (route     ? route->points
             : segment ? segment->points
                       : found.waypoints)
                .push_back(*point),
                point.reset();
        if (route && has("</rte>"))
            found.routes.push_back(*route), route.reset();
        if (segment && has("</trkseg>"))
            found.tracks.push_back(*segment), segment.reset();
    }
    return found;
}

// gpsbabel reads a file in its format ("gpx", "kml", "xcsv,style=...") and writes GPX.
inline Found gpsbabelRead(const std::string& format, const std::string& path) {
    const Outcome o = run("gpsbabel -i " + format + " -f " + quoted(path) + " -o gpx -F -");
    EXPECT_EQ(o.status, 0) << o.output;
    return scanGpx(o.output);
}

} // namespace exchange_test
