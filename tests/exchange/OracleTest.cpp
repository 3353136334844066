// Independent readers agree with us: xmllint validates every GPX file we write against the
// published schema, gpsbabel reads our GPX, KML and CSV files back to what we wrote, and our
// importers find in the sample files what gpsbabel finds there. CI installs both programs.

#include "Helpers.h"
#include "nav/UnitsModel.h"
#include "nav/exchange/CSVExport.h"
#include "nav/exchange/GPXExport.h"
#include "nav/exchange/GPXImport.h"
#include "nav/exchange/KMLExport.h"
#include "nav/exchange/KMLImport.h"

#include <cmath>

namespace {

using namespace exchange_test;

#define NEED_SAMPLES()                                                                                       \
    if (!fs::exists(sample("gpx-1.1.xsd")))                                                                  \
    GTEST_SKIP() << "no sample files in " MUX_SHARED_DATA "/exchange"

std::vector<Point> points(const std::vector<std::shared_ptr<Waypoint>>& waypoints) {
    std::vector<Point> out;
    for (const auto& w : waypoints)
        out.push_back({w->name(), w->latitude(), w->longitude(), std::nullopt});
    return out;
}

std::vector<Point> points(const Route& route) {
    std::vector<std::shared_ptr<Waypoint>> waypoints;
    for (const auto& ref : route.waypointReferences())
        waypoints.push_back(ref.waypoint);
    return points(waypoints);
}

// Track points carry their time; with `timed` false, neither name nor time (lines in KML).
std::vector<Point> points(const TracksModel& tracks, bool timed = true) {
    std::vector<Point> out;
    for (const auto& t : tracks.chartMarkers())
        out.push_back({"", t->latitude(), t->longitude(),
                       timed ? std::optional<long long>(std::floor(t->date())) : std::nullopt});
    return out;
}

std::vector<Point> joined(const std::vector<Line>& lines) {
    std::vector<Point> out;
    for (const Line& l : lines)
        out.insert(out.end(), l.points.begin(), l.points.end());
    return out;
}

// Same positions to the precision written (six decimals; ours single precision); same names and
// times where both have them.
void expectSame(const std::vector<Point>& ours, const std::vector<Point>& theirs, const std::string& what) {
    ASSERT_EQ(ours.size(), theirs.size()) << what;
    for (size_t i = 0; i < ours.size(); ++i) {
        const double tolerance = 1e-6 + std::fabs(theirs[i].lon) * 1.2e-7;
        EXPECT_NEAR(ours[i].lat, theirs[i].lat, tolerance) << what << " #" << i;
        EXPECT_NEAR(ours[i].lon, theirs[i].lon, tolerance) << what << " #" << i;
        if (!theirs[i].name.empty()) {
            EXPECT_EQ(ours[i].name, theirs[i].name) << what << " #" << i;
        }
        if (theirs[i].time && ours[i].time) {
            EXPECT_EQ(ours[i].time, theirs[i].time) << what << " #" << i;
        }
    }
}

TEST(Oracle, XmllintValidatesEveryGpxWeWrite) {
    NEED("xmllint");
    NEED_SAMPLES();
    Folder folder;
    Models m, empty, unplaced;
    fill(m);
    GPXExport out(m.exchange());
    ASSERT_TRUE(out.exportWaypoints(folder.file("w.gpx")));
    ASSERT_TRUE(out.exportRoute(folder.file("r.gpx"), *m.routes.route(0)));
    ASSERT_TRUE(out.exportTracks(folder.file("t & <x>.gpx")));
    ASSERT_TRUE(out.exportAll(folder.file("a.gpx")));
    ASSERT_TRUE(GPXExport(empty.exchange()).exportAll(folder.file("e.gpx")));
    // Records without a position are left out, and the track's segments still open and close.
    unplaced.waypoints.add(std::make_shared<Waypoint>(), false);
    unplaced.waypoints.setMatch(std::nullopt);
    for (float lat : {kNoCoordinate, 54.0f, kNoCoordinate, 55.0f})
        logged(unplaced, 1e9, 10, lat);
    ASSERT_TRUE(GPXExport(unplaced.exchange()).exportAll(folder.file("u.gpx")));
    EXPECT_EQ(slurp(folder.file("u.gpx")).find("-10000"), std::string::npos);
    for (const char* name : {"w.gpx", "r.gpx", "t & <x>.gpx", "a.gpx", "e.gpx", "u.gpx"}) {
        const Outcome o = run("xmllint --noout --schema " + quoted(sample("gpx-1.1.xsd")) + " " +
                              quoted(folder.file(name)));
        EXPECT_EQ(o.status, 0) << name << "\n" << o.output;
    }
}

TEST(Oracle, GpsbabelReadsOurGpxKmlAndCsv) {
    NEED("gpsbabel");
    Folder folder;
    Models m;
    fill(m);
    ASSERT_TRUE(GPXExport(m.exchange()).exportAll(folder.file("a.gpx")));
    const Found gpx = gpsbabelRead("gpx", folder.file("a.gpx"));
    // Names as written: control characters and stray bytes became U+FFFD.
    std::vector<Point> ours = points(m.waypoints.chartMarkers());
    ours[2].name = "ctl\xEF\xBF\xBD bad\xEF\xBF\xBD end";
    expectSame(ours, gpx.waypoints, "GPX waypoints");
    ASSERT_EQ(gpx.routes.size(), 1u);
    EXPECT_EQ(gpx.routes[0].name, "Round & about");
    expectSame(ours, gpx.routes[0].points, "GPX route");
    EXPECT_EQ(gpx.tracks.size(), 2u);
    expectSame(points(m.tracks), joined(gpx.tracks), "GPX track");

    ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file("a.kml")));
    const Outcome lint = run("xmllint --noout " + quoted(folder.file("a.kml")));
    EXPECT_EQ(lint.status, 0) << lint.output;
    const Found kml = gpsbabelRead("kml", folder.file("a.kml"));
    // Our placemarks, then one at each end of each track segment; the route and segment lines.
    ASSERT_EQ(kml.waypoints.size(), 4u + 4u);
    expectSame(ours, {kml.waypoints.begin(), kml.waypoints.begin() + 4}, "KML waypoints");
    std::vector<Point> lines = points(*m.routes.route(0)), track = points(m.tracks, false);
    lines.insert(lines.end(), track.begin(), track.end());
    expectSame(lines, joined(kml.tracks), "KML lines");

    // CSV carries the bytes as they are; gpsbabel drops the control character and replaces the
    // stray byte.
    const unsigned saved = UnitsModel::units().positionFormatUnits();
    UnitsModel::units().setPositionFormatUnits(2);
    ASSERT_TRUE(CSVExport(m.exchange()).exportRoute(folder.file("r.csv"), *m.routes.route(0)));
    UnitsModel::units().setPositionFormatUnits(saved);
    ASSERT_TRUE(CSVExport(m.exchange()).exportTracks(folder.file("t.csv")));
    const std::string head = "FIELD_DELIMITER COMMA\nRECORD_DELIMITER NEWLINE\n";
    spit(folder.file("w.style"),
         head + "IFIELD SHORTNAME, \"\", \"%s\"\nIFIELD LAT_DECIMALDIR, \"\", \"%f%c\"\n"
                "IFIELD LON_DECIMALDIR, \"\", \"%f%c\"\nIFIELD DESCRIPTION, \"\", \"%s\"\n");
    std::string trackStyle = head + "DATATYPE TRACK\nIFIELD GMT_TIME, \"\", \"%Y-%m-%d %H:%M:%S +0000\"\n"
                                    "IFIELD LAT_DECIMAL, \"\", \"%f\"\nIFIELD LON_DECIMAL, \"\", \"%f\"\n";
    for (int i = 0; i < 7; ++i)
        trackStyle += "IFIELD IGNORE, \"\", \"%s\"\n";
    spit(folder.file("t.style"), trackStyle);
    ours[2].name = "ctl bad\xEF\xBF\xBD end";
    const Found route = gpsbabelRead("xcsv,style=" + quoted(folder.file("w.style")), folder.file("r.csv"));
    expectSame(ours, route.waypoints, "CSV waypoints");
    const Found tracks = gpsbabelRead("xcsv,style=" + quoted(folder.file("t.style")), folder.file("t.csv"));
    expectSame(points(m.tracks), joined(tracks.tracks), "CSV track");
}

TEST(Oracle, OurImportersFindWhatGpsbabelFindsInTheSamples) {
    NEED("gpsbabel");
    NEED_SAMPLES();
    for (const char* name :
         {"basecamp.gpx", "geocaching.gpx", "route.gpx", "segmented_tracks.gpx", "unicsv.gpx"}) {
        Models m;
        GPXImport importer(m.exchange());
        ASSERT_TRUE(importer.import(sample(name), std::nullopt, &m.delegate)) << name << importer.error();
        const Found found = gpsbabelRead("gpx", sample(name));
        std::vector<Point> expected = found.waypoints; // then the route points, made as waypoints
        for (const Line& route : found.routes)
            expected.insert(expected.end(), route.points.begin(), route.points.end());
        expectSame(points(m.waypoints.chartMarkers()), expected, name);
        ASSERT_EQ(m.routes.count(), found.routes.size()) << name;
        for (size_t i = 0; i < found.routes.size(); ++i) {
            EXPECT_EQ(m.routes.route(i)->name(), found.routes[i].name) << name;
            expectSame(points(*m.routes.route(i)), found.routes[i].points, name);
        }
        expectSame(points(m.tracks), joined(found.tracks), name);
    }
    for (const char* name : {"bendgc-input.kml", "kml-points.kml", "segmented_tracks.kml"}) {
        Models m;
        KMLImport importer(m.exchange());
        ASSERT_TRUE(importer.import(sample(name), &m.delegate)) << name << importer.error();
        const Found found = gpsbabelRead("kml", sample(name));
        expectSame(points(m.waypoints.chartMarkers()), found.waypoints, name);
        // gpsbabel reads every line string as a track; here those after the placemarks are routes.
        std::vector<Point> lines, track = points(m.tracks, false);
        for (const auto& route : m.routes.routeArray()) {
            const auto p = points(*route);
            lines.insert(lines.end(), p.begin(), p.end());
        }
        lines.insert(lines.end(), track.begin(), track.end());
        std::vector<Point> theirs = joined(found.tracks);
        for (Point& p : theirs)
            p.name.clear(), p.time.reset();
        expectSame(lines, theirs, name);
    }
}

} // namespace
