// GPX: the lines written, escapes, the reading rules, round trips, and hostile files.

#include "Helpers.h"
#include "nav/exchange/DateText.h"
#include "nav/exchange/GPXExport.h"
#include "nav/exchange/GPXImport.h"

namespace {

using namespace exchange_test;

// Little-endian, after its byte order mark.
std::string utf16(std::u16string_view text) {
    std::string out("\xFF\xFE", 2);
    for (char16_t c : text)
        out += {char(c & 0xFF), char(c >> 8)};
    return out;
}

TEST(GpxExport, WritesTheLinesOfTheFormat) {
    Folder folder;
    Models m;
    place(m, "Buoy & Bell", 10.25f, 54.5f, "", 20);
    place(m, "Quay", -1.5f, -0.25f, "fuel <here>", 99); // no such icon: the blank one
    m.waypoints.setMatch(std::nullopt);
    ASSERT_TRUE(GPXExport(m.exchange()).exportWaypoints(folder.file("w.gpx")));
    EXPECT_EQ(
        slurp(folder.file("w.gpx")),
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Corvane\"\n"
        "xmlns=\"http://www.topografix.com/GPX/1/1\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
        "<wpt lat=\"54.500000\" lon=\"10.250000\">\n<name>Buoy &amp; Bell</name>\n<sym>BELL</sym>\n</wpt>\n"
        "<wpt lat=\"-0.250000\" lon=\"-1.500000\">\n<name>Quay</name>\n<desc>fuel &lt;here&gt;</desc>\n"
        "<sym>BLANK</sym>\n</wpt>\n"
        "</gpx>\n");

    logged(m, 1e9, 1, 2);
    logged(m, 1e9 + 5, 1, 2.5f);
    logged(m, 1e9 + 6, 1, 3, {0.5f, 0, 0}); // a colour change starts a segment
    ASSERT_TRUE(GPXExport(m.exchange()).exportTracks(folder.file("R&D.gpx")));
    const std::string track = slurp(folder.file("R&D.gpx"));
    EXPECT_NE(track.find("<trk>\n<name>R&amp;D</name>\n<trkseg>\n<trkpt lat=\"2.000000\" lon=\"1.000000\">\n"
                         "<time>2001-09-09T01:46:40Z</time>\n</trkpt>\n"),
              std::string::npos)
        << track;
    EXPECT_NE(track.find("</trkpt>\n</trkseg>\n<trkseg>\n<trkpt lat=\"3.000000\""), std::string::npos);
    EXPECT_NE(track.find("</trkpt>\n</trkseg>\n</trk>\n</gpx>\n"), std::string::npos);

    Models empty;
    EXPECT_FALSE(GPXExport(empty.exchange()).exportWaypoints(folder.file("missing/w.gpx")));
    EXPECT_FALSE(
        GPXExport(empty.exchange())
            .exportWaypointsFromGroup(*empty.waypoints.groupsModel().createGroup(std::string("None")),
                                      folder.file("g.gpx")));
}

TEST(GpxImport, ReadsWaypointsRoutesAndSegments) {
    Env tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3"); // GPX times are UTC whatever the local zone
    Models m;
    place(m, "WP0001", 0, 0);
    const std::string gpx = R"(<?xml version="1.0"?>
<gpx xmlns="http://www.topografix.com/GPX/1/1" version="1.1">
 <metadata><name>not a waypoint</name></metadata>
 <wpt lat="54.5" lon="10.25"><name> Fish &amp; Chips, north </name><cmt>comment</cmt><sym>FOOD</sym></wpt>
 <wpt lat="1" lon="2"><cmt>only a comment</cmt><type>Tide Station</type></wpt>
 <wpt lat="91" lon="2"><name>Off the chart</name></wpt>
 <rte><name>Out</name>
  <rtept lat="1" lon="1"><name>A</name><desc>first</desc></rtept>
  <rtept lat="2" lon="2"/>
 </rte>
 <trk><name>ignored</name>
  <trkseg><trkpt lat="1" lon="1"><time>2024-05-01T12:30:45Z</time></trkpt></trkseg>
  <trkseg><trkpt lat="2" lon="2"><time>2024-05-01T14:30:45+02:00</time></trkpt>
          <trkpt lat="3" lon="3"/><trkpt lat="4" lon="4"><time>2024-02-30T00:00:00Z</time></trkpt>
          <trkpt lat="5" lon="5"><time>2024-05-01T12:30:45.5</time></trkpt>
          <trkpt lat="6" lon="6"><time>May 1, 2024 12:30:46 PM</time></trkpt></trkseg>
 </trk>
</gpx>)";
    GPXImport importer(m.exchange());
    ASSERT_TRUE(importer.importBytes(gpx, std::nullopt, &m.delegate));
    ASSERT_EQ(m.waypoints.count(), 5u); // the one at latitude 91 is not made
    const auto& w = m.waypoints.chartMarkers();
    EXPECT_EQ(w[1]->name(), "Fish & Chips  north");
    EXPECT_EQ(w[1]->description(), "comment");
    EXPECT_EQ(w[1]->iconIndex(), 5);
    EXPECT_EQ(w[2]->name(), "WP0002"); // unnamed: a unique name first
    EXPECT_EQ(w[2]->description(), "only a comment");
    EXPECT_EQ(w[2]->iconIndex(), 62);
    EXPECT_EQ(w[4]->name(), "WP0003");
    ASSERT_EQ(m.routes.count(), 1u);
    EXPECT_TRUE(m.routes.changed());
    const Route& out = *m.routes.route(0);
    EXPECT_EQ(out.name(), "Out");
    ASSERT_EQ(out.count(), 2u);
    EXPECT_EQ(out.waypointReference(0)->waypoint, w[3]);
    EXPECT_EQ(w[3]->description(), "first");

    ASSERT_EQ(m.tracks.count(), 6u);
    const auto t = m.tracks.chartMarkers();
    EXPECT_EQ(t[0]->date(), 1714566645.0);
    EXPECT_EQ(t[1]->date(), 1714566645.0);
    EXPECT_EQ(t[0]->color(), (ChartColor{0.05f, 0.05f, 0.05f, 1}));
    EXPECT_NEAR(t[1]->color().red, 0.10f, 1e-6);
    // Undated or unreadable: the running key, one past the last.
    EXPECT_EQ(t[2]->name(), std::to_string(std::stol(t[1]->name()) + 1));
    EXPECT_EQ(t[2]->date(), std::stod(t[2]->name()) + 1);
    EXPECT_EQ(t[3]->date(), std::stod(t[3]->name()) + 1);
    EXPECT_EQ(t[4]->date(), 1714566645.5); // no zone: UTC, fractions kept
    EXPECT_EQ(t[5]->date(), 1714566646.0); // not ISO: the lenient reader, still UTC
}

TEST(GpxRoundTrip, ModelsFileModels) {
    Env tz("TZ", "NZST-12NZDT,M9.5.0,M4.1.0/3");
    Folder folder;
    Models m, back;
    fill(m);
    ASSERT_TRUE(GPXExport(m.exchange()).exportAll(folder.file("a.gpx")));
    ASSERT_TRUE(GPXImport(back.exchange()).import(folder.file("a.gpx"), std::nullopt, &back.delegate));
    ASSERT_EQ(back.waypoints.count(), 8u); // four waypoints, then the route's four
    for (size_t i = 0; i < 4; ++i) {
        const Waypoint &a = *m.waypoints.at(i), &b = *back.waypoints.at(i);
        EXPECT_EQ(b.name(), i == 2 ? "ctl\xEF\xBF\xBD bad\xEF\xBF\xBD end" : a.name()); // not XML: U+FFFD
        EXPECT_EQ(b.description(), "about " + b.name());
        EXPECT_EQ(b.iconIndex(), a.iconIndex());
        EXPECT_NEAR(b.latitude(), a.latitude(), 1e-6);
        EXPECT_NEAR(b.longitude(), a.longitude(), 2e-5);
    }
    ASSERT_EQ(back.routes.count(), 1u);
    EXPECT_EQ(back.routes.route(0)->name(), "Round & about");
    ASSERT_EQ(back.tracks.count(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(back.tracks.track(i)->date(), m.tracks.track(i)->date());
        EXPECT_EQ(back.tracks.isStart(i), i == 0 || i == 3) << i;
    }
}

TEST(GpxImport, HostileAndBrokenFilesKeepWhatWasRead) {
    const std::string twoPoints = "<gpx><wpt lat=\"1\" lon=\"1\"><name>A</name></wpt>"
                                  "<wpt lat=\"2\" lon=\"2\"><name>B</name></wpt>";
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'k'; ++c) {
        laughs += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += std::string("&") + char(c - 1) + ";";
        laughs += "\">";
    }
    const std::string named = "<gpx><wpt lat=\"1\" lon=\"1\"><name>";
    struct Case {
        const char* what;
        std::string bytes;
        bool ok;
        size_t waypoints;
        const char* first = "A";
    } cases[] = {
        {"truncated", twoPoints + "<wpt lat=\"3\" lon=\"3\"><name>C", false, 2},
        {"mismatched", twoPoints + "</trk>", false, 2},
        {"entity expansion", laughs + "]>" + named + "&k;</name></wpt></gpx>", false, 0},
        {"external entity",
         "<!DOCTYPE gpx [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + named + "&x;</name></wpt></gpx>",
         false, 0},
        {"undeclared entity", named + "&nbsp;</name></wpt></gpx>", false, 0},
        {"not xml", "\x89PNG\r\n", false, 0},
        {"empty", "", false, 0},
        {"one enormous tag", "<gpx><wpt lat=\"1\" lon=\"1\" x=\"" + std::string(16u << 20, 'x'), false, 0},
        {"utf-16", utf16(u"<gpx><wpt lat=\"1\" lon=\"1\"><name>\u00e5</name></wpt></gpx>"), true, 1,
         "\xC3\xA5"},
    };
    for (const Case& c : cases) {
        Models m;
        GPXImport importer(m.exchange());
        EXPECT_EQ(importer.importBytes(c.bytes, std::nullopt, &m.delegate), c.ok) << c.what;
        EXPECT_EQ(importer.error().empty(), c.ok) << c.what << ": " << importer.error();
        ASSERT_EQ(m.waypoints.count(), c.waypoints) << c.what;
        if (c.waypoints) {
            EXPECT_EQ(m.waypoints.at(0)->name(), c.first) << c.what;
        }
    }
}

TEST(GpxImport, RecognisesGpxByContent) {
    Folder folder;
    spit(folder.file("a.xml"), "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\">");
    spit(folder.file("b.gpx"), "<kml/>");
    EXPECT_TRUE(GPXImport::isGPX(folder.file("a.xml")));
    EXPECT_FALSE(GPXImport::isGPX(folder.file("b.gpx")));
    EXPECT_FALSE(GPXImport::isGPX(folder.file("none")));
    EXPECT_TRUE(GPXExport::isGPX("/x/TRACK.GpX"));
    EXPECT_FALSE(GPXExport::isGPX("/x.gpx/track"));
    Models m;
    GPXImport importer(m.exchange());
    EXPECT_FALSE(importer.import(folder.file("none.gpx"), std::nullopt, &m.delegate));
    EXPECT_EQ(importer.error(), "cannot be opened");
}

} // namespace
