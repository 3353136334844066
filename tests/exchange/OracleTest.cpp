// Independent readers agree with us: xmllint validates our GPX against the published schema,
// gpsbabel reads our GPX, KML and CSV back, and finds in the samples what our importers find.

#include "Helpers.h"
#include "exchange/CSVExport.h"
#include "exchange/GPXExport.h"
#include "exchange/GPXImport.h"
#include "exchange/KMLExport.h"
#include "exchange/KMLImport.h"
#include "nav/UnitsModel.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace exchange_test;

#define NEED_SAMPLES()                                                                                       \
    if (!fs::exists(sample("gpx-1.1.xsd")))                                                                  \
    GTEST_SKIP() << "no sample files in " MUX_SHARED_DATA "/exchange"

// Our records as the oracle's points; a track point carries its time.
struct Records {
    static Point of(const Waypoint& w) { return {w.name(), w.latitude(), w.longitude(), std::nullopt}; }
    static Point of(const Track& t) {
        return {"", t.latitude(), t.longitude(),
                t.hasDate() ? std::optional<long long>(std::floor(t.date())) : std::nullopt};
    }
    static Point of(const WaypointReference& r) { return of(*r.waypoint); }
    static Point of(const auto& pointer) { return of(*pointer); }
};

template <typename List>
std::vector<Point> points(const List& list, std::vector<Point> out = {}) {
    for (const auto& item : list)
        out.push_back(Records::of(item));
    return out;
}

// The points without their times (what a waypoint does not keep), or without names and times
// too (`bare`: what a line string carries).
std::vector<Point> untimed(std::vector<Point> points, bool bare = false) {
    for (Point& p : points) {
        p.time.reset();
        if (bare)
            p.name.clear();
    }
    return points;
}

// The points of all lines in turn.
std::vector<Point> joined(const std::vector<Line>& lines) {
    std::vector<Point> out;
    for (const Line& l : lines)
        out.insert(out.end(), l.points.begin(), l.points.end());
    return out;
}

// Same positions to the precision written (six decimals; ours single precision), and the same
// names and times exactly: one missing on one side only is a difference too.
void expectSame(const std::vector<Point>& ours, const std::vector<Point>& theirs, const std::string& what) {
    ASSERT_EQ(ours.size(), theirs.size()) << what;
    for (size_t i = 0; i < ours.size(); ++i) {
        const double tolerance = 1e-6 + std::fabs(theirs[i].lon) * 1.2e-7;
        EXPECT_NEAR(ours[i].lat, theirs[i].lat, tolerance) << what << " #" << i;
        EXPECT_NEAR(ours[i].lon, theirs[i].lon, tolerance) << what << " #" << i;
        EXPECT_EQ(ours[i].name, theirs[i].name) << what << " #" << i;
        EXPECT_EQ(ours[i].time, theirs[i].time) << what << " #" << i;
    }
}

TEST(Oracle, XmllintValidatesEveryGpxWeWrite) {
    NEED("xmllint");
    NEED_SAMPLES();
    Folder folder;
    Models m, empty, unplaced;
    fill(m);
    GPXExport out(m.exchange());
    ASSERT_TRUE(out.exportRoute(folder.file("r.gpx"), *m.routes.route(0)));
    ASSERT_TRUE(out.exportAll(folder.file("a.gpx")));
    ASSERT_TRUE(GPXExport(empty.exchange()).exportAll(folder.file("e.gpx")));
    // Records without a position are left out, and the track's segments still open and close.
    unplaced.waypoints.add(std::make_shared<Waypoint>(), false);
    unplaced.waypoints.setMatch(std::nullopt);
    for (float lat : {kNoCoordinate, 54.0f, kNoCoordinate, 55.0f})
        logged(unplaced, 1e9, 10, lat);
    ASSERT_TRUE(GPXExport(unplaced.exchange()).exportAll(folder.file("u.gpx")));
    for (const char* name : {"r.gpx", "a.gpx", "e.gpx", "u.gpx"}) {
        const Outcome o = run("xmllint --noout --schema " + quoted(sample("gpx-1.1.xsd")) + " " +
                              quoted(folder.file(name)));
        EXPECT_EQ(o.status, 0) << name << "\n" << o.output;
    }
}

// Our GPX read back by us (under a zone far from UTC: times stay instants) and by gpsbabel; our KML
// and CSV by gpsbabel.
TEST(Oracle, OurFilesReadBackHereAndInGpsbabel) {
    Env tz("TZ", "NZST-12NZDT,M9.5.0,M4.1.0/3");
    Folder folder;
    Models m, back;
    fill(m);
    ASSERT_TRUE(GPXExport(m.exchange()).exportAll(folder.file("a.gpx")));
    ASSERT_TRUE(GPXImport(back.exchange()).import(folder.file("a.gpx"), std::nullopt, &back.delegate));
    // Four waypoints, then the route's four. Not XML: control characters and stray bytes became U+FFFD.
    std::string sent = listed(m.waypoints);
    for (size_t at; (at = sent.find_first_of("\x01\xFF")) != std::string::npos;)
        sent.replace(at, 1, "\xEF\xBF\xBD");
    ASSERT_EQ(back.waypoints.count(), 8u);
    EXPECT_EQ(listed(back.waypoints).substr(0, sent.size()), sent);
    ASSERT_EQ(back.routes.count(), 1);
    ASSERT_EQ(back.routes.route(0)->name(), "Round & about");
    ASSERT_EQ(back.tracks.count(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(back.tracks.track(i)->date(), m.tracks.track(i)->date()) << i;
        EXPECT_EQ(back.tracks.isStart(i), (i % 3 == 0)) << i;
    }

    NEED("gpsbabel");
    const Found gpx = gpsbabelRead("gpx", folder.file("a.gpx"));
    // Names as written: control characters and stray bytes became U+FFFD.
    std::vector<Point> ours = points(m.waypoints.chartMarkers());
    ours[2].name = "ctl\xEF\xBF\xBD bad\xEF\xBF\xBD end";
    expectSame(ours, gpx.waypoints, "GPX waypoints");
    ASSERT_EQ(gpx.routes.size(), 1);
    ASSERT_EQ(gpx.routes[0].name, "Round & about");
    expectSame(ours, gpx.routes[0].points, "GPX route");
    EXPECT_EQ(gpx.tracks.size(), 2u);
    expectSame(points(m.tracks.chartMarkers()), joined(gpx.tracks), "GPX track");

    ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file("a.kml")));
    const Outcome lint = run("xmllint --noout " + quoted(folder.file("a.kml")));
    EXPECT_EQ(lint.status, 0) << lint.output;
    const Found kml = gpsbabelRead("kml", folder.file("a.kml"));
    // Our placemarks, the route's points in its folder, then one at each end of each track
    // segment; the route and segment lines.
    ASSERT_EQ(kml.waypoints.size(), 4u + 4u + 4u);
    expectSame(ours, {kml.waypoints.begin(), kml.waypoints.begin() + 4}, "KML waypoints");
    expectSame(ours, {kml.waypoints.begin() + 4, kml.waypoints.begin() + 8}, "KML route points");
    // gpsbabel reads each line as a track: the route's, then each segment's line and its gx:Track
    // with the times.
    std::vector<Point> lines = untimed(points(m.routes.route(0)->waypointReferences()), true);
    for (const auto& segment : trackSegments(m.tracks)) {
        for (const bool timed : {false, true})
            for (const auto& t : segment)
                lines.push_back({"", t->latitude(), t->longitude(),
                                 timed ? std::optional<long long>(std::floor(t->date())) : std::nullopt});
    }
    const std::vector<Point> found = joined(kml.tracks);
    expectSame(lines, found, "KML lines");
    EXPECT_EQ(std::count_if(found.begin(), found.end(), [](const Point& p) { return p.time.has_value(); }),
              6);

    // CSV carries the bytes as they are; gpsbabel drops the control character and replaces the
    // stray byte.
    {
        PositionForm form(2);
        ASSERT_TRUE(CSVExport(m.exchange()).exportRoute(folder.file("r.csv"), *m.routes.route(0)));
    }
    ASSERT_TRUE(CSVExport(m.exchange()).exportTracks(folder.file("t.csv")));
    const std::string head = "FIELD_DELIMITER COMMA\nRECORD_DELIMITER NEWLINE\n",
                      ignore = "IFIELD IGNORE, \"\", \"%s\"\n";
    spit(folder.file("w.style"),
         head + "IFIELD SHORTNAME, \"\", \"%s\"\nIFIELD LAT_DECIMALDIR, \"\", \"%f%c\"\n"
                "IFIELD LON_DECIMALDIR, \"\", \"%f%c\"\nIFIELD DESCRIPTION, \"\", \"%s\"\n");
    spit(folder.file("t.style"), head +
                                     "DATATYPE TRACK\nIFIELD GMT_TIME, \"\", \"%Y-%m-%d %H:%M:%S +0000\"\n"
                                     "IFIELD LAT_DECIMAL, \"\", \"%f\"\nIFIELD LON_DECIMAL, \"\", \"%f\"\n" +
                                     ignore + ignore + ignore + ignore + ignore + ignore + ignore);
    ours[2].name = "ctl bad\xEF\xBF\xBD end";
    const Found route = gpsbabelRead("xcsv,style=" + quoted(folder.file("w.style")), folder.file("r.csv"));
    expectSame(ours, route.waypoints, "CSV waypoints");
    const Found tracks = gpsbabelRead("xcsv,style=" + quoted(folder.file("t.style")), folder.file("t.csv"));
    expectSame(points(m.tracks.chartMarkers()), joined(tracks.tracks), "CSV track");
}

// gpsbabel reads every KML line string as a track; ours after the placemarks are routes.
TEST(Oracle, OurImportersFindWhatGpsbabelFindsInTheSamples) {
    NEED("gpsbabel");
    NEED_SAMPLES();
    for (const char* name : {"basecamp.gpx", "geocaching.gpx", "route.gpx", "segmented_tracks.gpx",
                             "unicsv.gpx", "bendgc-input.kml", "kml-points.kml", "segmented_tracks.kml"}) {
        const bool isKml = std::string(name).ends_with(".kml");
        Models m;
        GPXImport gpxImporter(m.exchange());
        KMLImport kmlImporter(m.exchange());
        ASSERT_TRUE(isKml ? kmlImporter.import(sample(name), &m.delegate)
                          : gpxImporter.import(sample(name), std::nullopt, &m.delegate))
            << name << gpxImporter.error() << kmlImporter.error();
        const Found found = gpsbabelRead(isKml ? "kml" : "gpx", sample(name));
        std::vector<Point> lines; // GPX: the route points, made as waypoints; KML: route lines
        for (const auto& route : m.routes.routeArray())
            lines = points(route->waypointReferences(), lines);
        if (isKml) { // a placemark's time is not kept; the lines are compared by position
            expectSame(points(m.waypoints.chartMarkers()), untimed(found.waypoints), name);
            expectSame(untimed(points(m.tracks.chartMarkers(), lines), true),
                       untimed(joined(found.tracks), true), name);
            continue;
        }
        std::vector<Point> expected = found.waypoints, routePoints = joined(found.routes);
        expected.insert(expected.end(), routePoints.begin(), routePoints.end());
        expectSame(points(m.waypoints.chartMarkers()), untimed(expected),
                   name); // GPX waypoint times are not kept
        ASSERT_EQ(m.routes.count(), found.routes.size()) << name;
        for (size_t i = 0; i < found.routes.size(); ++i) {
            EXPECT_EQ(m.routes.route(i)->name(), found.routes[i].name) << name;
            expectSame(points(m.routes.route(i)->waypointReferences()), untimed(found.routes[i].points),
                       name);
        }
        expectSame(points(m.tracks.chartMarkers()), joined(found.tracks), name);
    }
}

} // namespace
