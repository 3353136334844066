// KML and KMZ: the lines written, the reading rules for placemarks, routes and tracks, archives.

#include "Helpers.h"
#include "nav/exchange/KMLExport.h"
#include "nav/exchange/KMLImport.h"
#include "nav/exchange/Kmz.h"

namespace {

using namespace exchange_test;

std::string kml(const std::string& body) {
    return "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>" + body +
           "</Document></kml>";
}

std::string placemark(const std::string& name, const std::string& geometry) {
    return "<Placemark>" + (name.empty() ? "" : "<name>" + name + "</name>") + geometry + "</Placemark>";
}

std::string line(const std::string& coordinates) {
    return "<LineString><coordinates>" + coordinates + "</coordinates></LineString>";
}

std::string point(const std::string& coordinates) {
    return "<Point><coordinates>" + coordinates + "</coordinates></Point>";
}

TEST(KmlExport, WritesTheLinesOfTheFormat) {
    Folder folder;
    Models m;
    auto r = std::make_shared<Route>();
    r->setName("Out & back");
    r->addWaypointReference({place(m, "A<B>", 10.25f, 54.5f, "", 17)});
    m.routes.add(r);
    for (int i = 0; i < 3; ++i)
        logged(m, 1e9 + i, 1.0f + i, 2, i < 2 ? ChartColor{1, 0.5f, 0} : ChartColor{0, 0, 1});
    m.waypoints.setMatch(std::nullopt);
    ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file("a.kml")));
    EXPECT_EQ(slurp(folder.file("a.kml")),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kml xmlns=\"http://earth.google.com/kml/2.0\">\n"
              "<Folder>\n"
              "<Placemark>\n<name>A&lt;B&gt;</name>\n<description></description>\n<Style>\n<IconStyle>\n"
              "<scale>0.5</scale>\n<Icon>\n<href>icons/ANCHOR.svg</href>\n</Icon>\n</IconStyle>\n</Style>\n"
              "<Point>\n<coordinates>10.250000,54.500000,0</coordinates>\n</Point>\n</Placemark>\n"
              "<Placemark>\n<name>Out &amp; back</name>\n<Style>\n<LineStyle>\n<color>FFFF7F00</color>\n"
              "<width>3</width>\n</LineStyle>\n</Style>\n<LineString>\n<coordinates>\n10.250000,54.500000,0\n"
              "</coordinates>\n</LineString>\n</Placemark>\n"
              // first segment: a placemark at each end around its line, in its colour
              "<Placemark>\n<name>2001-09-09 01:46:40 +0000</name>\n<Point>\n"
              "<coordinates>1.000000,2.000000,0</coordinates>\n</Point>\n</Placemark>\n"
              "<Placemark>\n<Style>\n<LineStyle>\n<color>ff0080ff</color>\n<width>2</width>\n</LineStyle>\n"
              "</Style>\n<LineString>\n<coordinates>\n1.000000,2.000000,0\n2.000000,2.000000,0\n"
              "</coordinates>\n</LineString>\n</Placemark>\n"
              "<Placemark>\n<name>2001-09-09 01:46:41 +0000</name>\n<Point>\n"
              "<coordinates>2.000000,2.000000,0</coordinates>\n</Point>\n</Placemark>\n"
              "<Placemark>\n<name>2001-09-09 01:46:42 +0000</name>\n<Point>\n"
              "<coordinates>3.000000,2.000000,0</coordinates>\n</Point>\n</Placemark>\n"
              "<Placemark>\n<Style>\n<LineStyle>\n<color>ffff0000</color>\n<width>2</width>\n</LineStyle>\n"
              "</Style>\n<LineString>\n<coordinates>\n3.000000,2.000000,0\n"
              "</coordinates>\n</LineString>\n</Placemark>\n"
              "<Placemark>\n<name>2001-09-09 01:46:42 +0000</name>\n<Point>\n"
              "<coordinates>3.000000,2.000000,0</coordinates>\n</Point>\n</Placemark>\n"
              "</Folder>\n</kml>\n");

    ASSERT_TRUE(KMLExport(m.exchange()).exportPosition(folder.file("p.kml"), {-1.5f, 50}));
    EXPECT_NE(slurp(folder.file("p.kml"))
                  .find("<LookAt>\n<longitude>-1.500000</longitude>\n<latitude>50.000000"
                        "</latitude>\n<range>5000</range>\n<tilt>0</tilt>\n<heading>0"
                        "</heading>\n</LookAt>\n"),
              std::string::npos);
}

TEST(KmlImport, PlacemarksRoutesAndTracks) {
    Models m;
    auto existing = std::make_shared<Route>();
    existing->setName("Passage");
    m.routes.add(existing);
    const std::string text =
        kml("<Style><LineStyle><color>ff0000ff</color></LineStyle></Style>"
            // no waypoint yet: a track, and the placemark a waypoint at its first point
            + placemark("Log", line("1,1,0 2,2,0\n3,3,0")) +
            placemark("Harbour",
                      "<description>quay</description><Style><IconStyle><Icon><href>http://x/y/ANCHOR.BMP"
                      "</href></Icon></IconStyle></Style>" +
                          point("10.5,54.25")) +
            placemark("", point("11 55")) // no name: a unique one
            // now a route; a repeated exact position refers to that waypoint
            + placemark("Passage", line("10.5,54.25,0 12,56,0")));
    KMLImport importer(m.exchange());
    ASSERT_TRUE(importer.importBytes(text, &m.delegate)) << importer.error();
    ASSERT_EQ(m.tracks.count(), 3u);
    EXPECT_EQ(m.tracks.track(2)->positionOnGPS(), (NavPoint{3, 3}));
    EXPECT_EQ(m.tracks.track(0)->color(), (ChartColor{1, 0, 0, 1})); // ff,00,00,ff: opaque red
    ASSERT_EQ(m.waypoints.count(), 4u);
    const auto& w = m.waypoints.chartMarkers();
    EXPECT_EQ(w[0]->name(), "Log");
    EXPECT_EQ(w[0]->positionOnGPS(), (NavPoint{1, 1}));
    EXPECT_EQ(w[1]->description(), "quay");
    EXPECT_EQ(w[1]->iconIndex(), 17);
    EXPECT_EQ(w[2]->name(), "WP0001");
    EXPECT_EQ(w[2]->positionOnGPS(), (NavPoint{11, 55}));
    EXPECT_EQ(w[3]->name(), "WP0002"); // made for the route's new position
    ASSERT_EQ(m.routes.count(), 2u);
    const Route& passage = *m.routes.route(1);
    EXPECT_EQ(passage.name(), "RT0001"); // the name was taken
    ASSERT_EQ(passage.count(), 2u);
    EXPECT_EQ(passage.waypointReference(0)->waypoint, w[1]);
    EXPECT_EQ(importer.waypointForPosition({12, 56}), w[3]);
}

TEST(KmlImport, CoordinatesAndColours) {
    using Points = std::vector<NavPoint>;
    const std::pair<const char*, Points> tuples[] = {
        {"1,2,0 3,4,0", {{1, 2}, {3, 4}}},
        {"1,2 3,4 5,6", {{1, 2}, {3, 4}, {5, 6}}},
        {" 1, 2, 0\n\t3 ,4 ", {{1, 2}, {3, 4}}},
        {"1 2 0 3 4 0", {{1, 2}, {3, 4}}},
        {"1,2,0 x,4,0", {{1, 2}}},
        {"", {}},
    };
    for (const auto& [text, points] : tuples)
        EXPECT_EQ(exchange::coordinateTuples(text), points) << text;
    EXPECT_EQ(exchange::firstPosition("7 8 9"), (NavPoint{7, 8}));
    EXPECT_FALSE(exchange::firstPosition("7"));
    EXPECT_EQ(exchange::readKmlColor("7f00ff00"), (ChartColor{0, 1, 0, 127 / 255.0f})); // aabbggrr
    EXPECT_EQ(exchange::readKmlColor("0000ff"), (ChartColor{1, 0, 0, 1}));
    EXPECT_FALSE(exchange::readKmlColor("ff00"));
    EXPECT_FALSE(exchange::readKmlColor("zz0000ff"));
}

TEST(KmlRoundTrip, WaypointsRoutesAndIconsComeBackFromKmlAndKmz) {
    Folder folder;
    Models m;
    ASSERT_TRUE(KMLImport(m.exchange())
                    .importBytes(kml(placemark("A", point("1,1")) + placemark("B", point("2,2")) +
                                     placemark("Leg", line("1,1,0 2,2,0 1,1,0"))),
                                 &m.delegate));
    m.waypoints.at(0)->setIconIndex(1);
    m.waypoints.setMatch(std::nullopt);
    for (const char* name : {"a.kml", "a.kmz"}) {
        ASSERT_TRUE(KMLExport(m.exchange()).exportAll(folder.file(name)));
        Models back;
        KMLImport importer(back.exchange());
        ASSERT_TRUE(importer.import(folder.file(name), &back.delegate)) << importer.error();
        ASSERT_EQ(back.waypoints.count(), 2u) << name;
        EXPECT_EQ(back.waypoints.at(0)->iconIndex(), 1) << name;
        ASSERT_EQ(back.routes.count(), 1u);
        EXPECT_EQ(back.routes.route(0)->name(), "Leg");
        ASSERT_EQ(back.routes.route(0)->count(), 3u);
        EXPECT_EQ(back.routes.route(0)->waypointReference(2)->waypoint, back.waypoints.at(0));
        back.waypoints.setMatch(std::nullopt);
        ASSERT_TRUE(KMLExport(back.exchange()).exportAll(folder.file("b.kml")));
        EXPECT_EQ(slurp(folder.file("b.kml")), slurp(folder.file("a.kml"))) << name;
    }
    if (haveProgram("unzip")) { // the archive carries the document and the icons it uses
        const Outcome listing = run("unzip -l " + quoted(folder.file("a.kmz")));
        EXPECT_NE(listing.output.find("doc.kml"), std::string::npos);
        EXPECT_NE(listing.output.find("icons/BOATSLIP.svg"), std::string::npos);
    }
}

TEST(Kmz, BrokenArchivesAreRefused) {
    Folder folder;
    Models m;
    place(m, "Dock", 1, 1);
    m.waypoints.setMatch(std::nullopt);
    ASSERT_TRUE(KMLExport(m.exchange()).exportWaypoints(folder.file("w.kmz")));
    const std::string bytes = slurp(folder.file("w.kmz"));
    ASSERT_TRUE(exchange::looksZipped(bytes));
    // Not an archive after all: read as KML, which it is not either.
    spit(folder.file("bad.kmz"), "PK\x03\x04 broken");
    KMLImport importer(m.exchange());
    EXPECT_FALSE(importer.import(folder.file("bad.kmz"), &m.delegate));
    EXPECT_FALSE(importer.error().empty());
    // An archive whose document is empty, and one cut short.
    ASSERT_TRUE(exchange::writeKmz(folder.file("empty.kmz"), "", {}));
    EXPECT_FALSE(KMLImport(m.exchange()).import(folder.file("empty.kmz"), &m.delegate));
    EXPECT_FALSE(KMLImport(m.exchange()).importBytes(bytes.substr(0, bytes.size() / 2), &m.delegate));
}

} // namespace
