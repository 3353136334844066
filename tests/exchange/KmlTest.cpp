// KML and KMZ: the lines written, the reading rules for placemarks, routes and tracks, archives.

#include "Helpers.h"
#include "exchange/KMLExport.h"
#include "exchange/KMLImport.h"
#include "exchange/Kmz.h"

#include <chrono>

namespace {

using namespace exchange_test;

std::string kml(const std::string& body) {
    return "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>" + body + "</Document></kml>";
}

// A placemark with a point ("1,2") or, with blanks inside, a line string.
std::string placemark(const std::string& name, const std::string& coordinates, const std::string& more = "") {
    const char* shape = coordinates.find_first_of(" \n") != std::string::npos ? "LineString" : "Point";
    return "<Placemark>" + (name.empty() ? "" : "<name>" + name + "</name>") + more + "<" + shape +
           "><coordinates>" + coordinates + "</coordinates></" + shape + "></Placemark>";
}

TEST(KmlExport, WritesTheLinesOfTheFormat) {
    Folder folder;
    Models m;
    auto r = std::make_shared<Route>();
    r->setName("Out & back");
    r->addWaypointReference({place(m, "A<B>", 10.25f, 54.5f, "", 17)});
    m.routes.add(r);
    logged(m, 1e9, 1, 2, {1, 0.5f, 0});
    logged(m, 1e9 + 1, 2, 2, {1, 0.5f, 0});
    m.waypoints.setMatch(std::nullopt);
    ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file("a.kml")));
    const std::string placemarkA =
        "<Placemark>\n<name>A&lt;B&gt;</name>\n<description></description>\n<Style>\n<IconStyle>\n"
        "<scale>0.5</scale>\n<Icon>\n<href>icons/ANCHOR.svg</href>\n</Icon>\n</IconStyle>\n</Style>\n"
        "<Point>\n<coordinates>10.250000,54.500000,0</coordinates>\n</Point>\n</Placemark>\n";
    EXPECT_EQ(
        slurp(folder.file("a.kml")),
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kml xmlns=\"http://earth.google.com/kml/2.0\" "
        "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n<Folder>\n" +
            placemarkA +
            // the route's folder: its points and its line
            "<Folder id=\"route1\">\n<name>Out &amp; back</name>\n" + placemarkA +
            "<Placemark>\n<name>Out &amp; back</name>\n<Style>\n<LineStyle>\n<color>FFFF7F00</color>\n"
            "<width>3</width>\n</LineStyle>\n</Style>\n<LineString>\n<coordinates>\n10.250000,54.500000,0\n"
            "</coordinates>\n</LineString>\n</Placemark>\n</Folder>\n"
            // a track segment: a placemark at each end around its line, in its colour, and
            // the points with their times
            "<Folder id=\"track\">\n"
            "<Placemark>\n<name>2001-09-09 01:46:40 +0000</name>\n<Point>\n"
            "<coordinates>1.000000,2.000000,0</coordinates>\n</Point>\n</Placemark>\n"
            "<Placemark>\n<Style>\n<LineStyle>\n<color>ff0080ff</color>\n<width>2</width>\n</LineStyle>\n"
            "</Style>\n<LineString>\n<coordinates>\n1.000000,2.000000,0\n2.000000,2.000000,0\n"
            "</coordinates>\n</LineString>\n</Placemark>\n"
            "<Placemark>\n<name>2001-09-09 01:46:41 +0000</name>\n<Point>\n"
            "<coordinates>2.000000,2.000000,0</coordinates>\n</Point>\n</Placemark>\n"
            "<Placemark>\n<gx:Track>\n<when>2001-09-09T01:46:40Z</when>\n<when>2001-09-09T01:46:41Z</when>\n"
            "<gx:coord>1.000000 2.000000 0</gx:coord>\n<gx:coord>2.000000 2.000000 0</gx:coord>\n"
            "</gx:Track>\n</Placemark>\n</Folder>\n"
            "</Folder>\n</kml>\n");
    // The icons it refers to lie beside it.
    EXPECT_EQ(slurp(folder.file("icons/ANCHOR.svg")), WaypointsModel::iconImage(17).value());

    // Exported again into the folder, an icon that is as it should be stays untouched, one that
    // is not is written anew.
    const fs::path icon = folder.file("icons/ANCHOR.svg");
    const auto past = fs::last_write_time(icon) - std::chrono::hours(24);
    fs::last_write_time(icon, past);
    ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file("b.kml")));
    EXPECT_EQ(fs::last_write_time(icon), past);
    spit(icon.string(), "<svg/>");
    ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file("c.kml")));
    EXPECT_EQ(slurp(icon.string()), WaypointsModel::iconImage(17).value());

    ASSERT_TRUE(KMLExport(m.exchange()).exportPosition(folder.file("p.kml"), {-1.5f, 50}));
    EXPECT_NE(slurp(folder.file("p.kml"))
                  .find("<LookAt>\n<longitude>-1.500000</longitude>\n<latitude>50.000000"
                        "</latitude>\n<range>5000</range>\n<tilt>0</tilt>\n"),
              std::string::npos);
}

TEST(KmlImport, PlacemarksRoutesAndTracks) {
    Models m;
    auto existing = std::make_shared<Route>();
    existing->setName("Passage");
    m.routes.add(existing);
    const std::string text =
        kml("<Style><LineStyle><color>7f0000ff</color></LineStyle></Style>" // aabbggrr
                                                                            // no waypoint yet: a track (of
                                                                            // 2-D tuples), and the placemark
                                                                            // a waypoint at its first point
            + placemark("Log", "1,1 2,2\n3,3") +
            placemark("Harbour", "10.5,54.25",
                      "<description>quay</description><Style><IconStyle><Icon><href>http://x/y/ANCHOR.BMP"
                      "</href></Icon></IconStyle></Style>") +
            placemark("", "11,55") // no name: a unique one
            // a route (numbers three at a time): a known position is that waypoint, a new one a new waypoint
            + placemark("Passage", "10.5 54.25 0 12 56 0"));
    KMLImport importer(m.exchange());
    ASSERT_TRUE(importer.importBytes(text, &m.delegate)) << importer.error();
    ASSERT_EQ(m.tracks.count(), 3u);
    EXPECT_EQ(m.tracks.track(2)->positionOnGPS(), (NavPoint{3, 3}));
    EXPECT_EQ(m.tracks.track(0)->color(), (ChartColor{1, 0, 0, 127 / 255.0f}));
    EXPECT_EQ(listed(m.waypoints),
              "Log||0|1,1\nHarbour|quay|17|10.5,54.25\nWP0001||0|11,55\nWP0002||0|12,56\n");
    const auto& w = m.waypoints.chartMarkers();
    ASSERT_EQ(m.routes.count(), 2u);
    const Route& passage = *m.routes.route(1);
    EXPECT_EQ(passage.name(), "RT0001"); // the name was taken
    ASSERT_EQ(passage.count(), 2u);
    EXPECT_EQ(passage.waypointReference(0)->waypoint, w[1]);
    EXPECT_EQ(importer.waypointForPosition({12, 56}), w[3]);
}

TEST(KmlImport, BrokenCoordinatesAndColours) {
    EXPECT_EQ(exchange::coordinateTuples("1,2,0 x,4,0").size(), 1u);
    EXPECT_FALSE(exchange::firstPosition("7"));
    EXPECT_EQ(exchange::readKmlColor("0000ff"), (ChartColor{1, 0, 0, 1})); // bbggrr, opaque
    EXPECT_FALSE(exchange::readKmlColor("ff00"));
    EXPECT_FALSE(exchange::readKmlColor("zz0000ff"));
}

TEST(KmlRoundTrip, WaypointsRoutesAndIconsComeBackFromKmlAndKmz) {
    Folder folder;
    Models m;
    ASSERT_TRUE(KMLImport(m.exchange())
                    .importBytes(kml(placemark("A", "1,1") + placemark("B", "2,2") +
                                     placemark("Leg", "1,1,0 2,2,0 1,1,0")),
                                 &m.delegate));
    m.waypoints.at(0)->setIconIndex(1);
    m.waypoints.setMatch(std::nullopt);
    for (const char* name : {"a.kml", "a.kmz"}) {
        ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file(name)));
        Models back;
        KMLImport importer(back.exchange());
        ASSERT_TRUE(importer.import(folder.file(name), &back.delegate)) << importer.error();
        // The placemarks, then the route's points from its folder.
        EXPECT_EQ(listed(back.waypoints), "A||1|1,1\nB||0|2,2\nA||1|1,1\nB||0|2,2\n") << name;
        ASSERT_EQ(back.routes.count(), 1u);
        const Route& leg = *back.routes.route(0);
        EXPECT_EQ(leg.name(), "Leg");
        EXPECT_EQ(leg.count(), 3);
        EXPECT_EQ(leg.waypointReference(2)->waypoint, back.waypoints.at(2));
        EXPECT_TRUE(back.waypoints.at(2)->isRoutePoint());
        EXPECT_FALSE(back.waypoints.at(0)->isRoutePoint());
        back.waypoints.setMatch(std::nullopt);
        ASSERT_TRUE(KMLExport(back.exchange()).exportAll(folder.file("b.kml")));
        EXPECT_EQ(slurp(folder.file("b.kml")), slurp(folder.file("a.kml"))) << name;
    }
    const std::string kmz = slurp(folder.file("a.kmz"));
    if (haveProgram("unzip")) { // the archive carries the document and the icons it uses
        const Outcome listing = run("unzip -l " + quoted(folder.file("a.kmz")));
        EXPECT_NE(listing.output.find("doc.kml"), std::string::npos);
        EXPECT_NE(listing.output.find("icons/BOATSLIP.svg"), std::string::npos);
    }
    // Broken archives: not one after all (then not KML either), an empty document, cut short.
    spit(folder.file("bad.kmz"), "PK\x03\x04 broken");
    ASSERT_TRUE(exchange::writeKmz(folder.file("empty.kmz"), "", {}));
    spit(folder.file("cut.kmz"), kmz.substr(0, kmz.size() / 2));
    for (const char* name : {"bad.kmz", "empty.kmz", "cut.kmz"}) {
        KMLImport importer(m.exchange());
        EXPECT_FALSE(importer.import(folder.file(name), &m.delegate)) << name;
        EXPECT_FALSE(importer.error().empty()) << name;
    }
}

} // namespace

namespace {

// The tracks phones write: gx:Track (times and positions in parallel) and gx:MultiTrack, each
// track a segment; the placemark holding them makes no waypoint.
TEST(KmlImport, PhoneTracksWithTheirTimes) {
    Models m;
    KMLImport importer(m.exchange());
    const std::string track =
        "<gx:Track><when>2024-05-01T12:00:00Z</when><when>2024-05-01T12:00:10+02:00</when>"
        "<when>not a time</when><gx:coord>10 54 3.5</gx:coord><gx:coord>10.1 54.1 0"
        "</gx:coord><gx:coord>10.2 54.2</gx:coord></gx:Track>";
    ASSERT_TRUE(importer.importBytes(
        kml("<Placemark><name>Walk</name><gx:MultiTrack>" + track + track + "</gx:MultiTrack></Placemark>"),
        &m.delegate));
    EXPECT_EQ(m.waypoints.count(), 0u);
    ASSERT_EQ(m.tracks.count(), 6u);
    const auto& t = m.tracks.chartMarkers();
    EXPECT_EQ(t[0]->date(), 1714564800.0);
    EXPECT_EQ(t[1]->date(), 1714564810.0 - 7200);
    EXPECT_FALSE(t[2]->hasDate());
    EXPECT_EQ(t[0]->elevation(), 3.5f);
    EXPECT_FALSE(t[1]->elevation());
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(m.tracks.isStart(i), i % 3 == 0) << i;
    EXPECT_EQ(importer.report().count(exchange::RecordKind::TrackPoint, exchange::Reason::UnreadTime), 2u);
}

// An archive of millions of placemarks stops at the limit: what was read stays, and it is said.
TEST(KmlImport, OneImportMakesAtMostTheLimit) {
    Models m;
    KMLImport importer(m.exchange());
    importer.setRecordLimit(100);
    std::string body;
    for (int i = 0; i < 150; ++i)
        body += placemark("", "1,1");
    body += "<Placemark><gx:Track>" + std::string(200, ' ');
    for (int i = 0; i < 300; ++i)
        body += "<gx:coord>1 1 0</gx:coord>";
    ASSERT_TRUE(importer.importBytes(kml(body + "</gx:Track></Placemark>"), &m.delegate)) << importer.error();
    EXPECT_EQ(m.waypoints.count(), 100u);
    EXPECT_TRUE(importer.report().anyDropped());
    const auto summary = importer.report().summary();
    ASSERT_FALSE(summary.empty());
    EXPECT_NE(summary.back().find("more than 100 records"), std::string::npos) << summary.back();
}

} // namespace
