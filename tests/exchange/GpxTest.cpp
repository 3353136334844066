// GPX: the lines written, escapes, the reading rules, round trips, and hostile files.

#include "Helpers.h"
#include "nav/exchange/DateText.h"
#include "nav/exchange/GPXExport.h"
#include "nav/exchange/GPXImport.h"

namespace {

using namespace exchange_test;

std::string utf16(std::u16string_view text) {
    std::string out("\xFF\xFE", 2);
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::shared_ptr<Waypoint> place(Models& m, const std::string& name, float lon, float lat,
                                const std::string& description = "", int icon = 0) {
    auto w = std::make_shared<Waypoint>();
    w->setName(name);
    w->setPositionOnGPS({lon, lat});
    w->setDescription(description);
    w->setIconIndex(icon);
    m.waypoints.add(w, false);
    return w;
}

std::shared_ptr<Track> logged(Models& m, ChartDate date, float lon, float lat, ChartColor color = {}) {
    auto t = std::make_shared<Track>();
    t->setDate(date);
    t->setPositionOnGPS({lon, lat});
    t->setColor(color);
    m.tracks.add(t);
    return t;
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
          <trkpt lat="3" lon="3"/></trkseg>
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

    ASSERT_EQ(m.tracks.count(), 3u);
    const auto t = m.tracks.chartMarkers();
    EXPECT_EQ(t[0]->date(), 1714566645.0); // UTC, no local offset added
    EXPECT_EQ(t[1]->date(), 1714566645.0);
    EXPECT_EQ(t[0]->color(), (ChartColor{0.05f, 0.05f, 0.05f, 1}));
    EXPECT_NEAR(t[1]->color().red, 0.10f, 1e-6);
    EXPECT_EQ(t[2]->name(), std::to_string(std::stol(t[1]->name()) + 1));
    EXPECT_EQ(t[2]->date(), std::stod(t[2]->name()) + 1); // undated: the running key
}

TEST(GpxImport, TimeForms) {
    Env tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3"); // GPX times are UTC whatever the local zone
    struct Case {
        const char* text;
        std::optional<double> date;
    } cases[] = {
        {"2024-05-01T12:30:45Z", 1714566645},
        {"2024-05-01T12:30:45.5Z", 1714566645.5},
        {"2024-05-01T12:30:45", 1714566645},
        {"2024-05-01T12:30:45-05:00", 1714566645 + 5 * 3600},
        {"2024-05-01", 1714521600},
        {"May 1, 2024 12:30:45 PM", 1714566645},
        {"Wed, 01 May 2024 12:30:45 +0000", 1714566645},
        {"2024-05-01 12:30:45 +0000", 1714566645},
        {"2024-02-30T00:00:00Z", std::nullopt},
        {"yesterday", std::nullopt},
        {"2024-05-01T25:00:00Z", std::nullopt},
        {"12:30", std::nullopt},
    };
    for (const Case& c : cases) {
        Models m;
        const std::string gpx = std::string("<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"1\"><time>") + c.text +
                                "</time></trkpt></trkseg></trk></gpx>";
        ASSERT_TRUE(GPXImport(m.exchange()).importBytes(gpx, std::nullopt, nullptr));
        const double date = m.tracks.firstTrack()->date();
        if (c.date)
            EXPECT_EQ(date, *c.date) << c.text;
        else
            EXPECT_GT(date, 1.7e9) << c.text; // unread: the running key stays
    }
}

TEST(GpxRoundTrip, ModelsFileModelsFile) {
    Env tz("TZ", "NZST-12NZDT,M9.5.0,M4.1.0/3");
    Folder folder;
    Models m;
    const std::string odd = "R\xC3\xB8"
                            "d <b> & ]]> \"q\" 'a' \x01\xFF end";
    place(m, "Anchorage", 10.123456f, 54.654321f, odd, 17);
    place(m, "wp2", -179.5f, -45, "", 69);
    auto route = std::make_shared<Route>();
    route->setName("Out & back");
    for (const auto& w : m.waypoints.chartMarkers())
        route->addWaypointReference({w});
    m.routes.add(route);
    logged(m, 1.5e9, 1, 1);
    logged(m, 1.5e9 + 10, 1.001f, 1);
    logged(m, 1.5e9 + 2000, 1.002f, 1); // a pause: a new segment
    m.waypoints.setMatch(std::nullopt);
    ASSERT_TRUE(GPXExport(m.exchange()).exportAll(folder.file("a.gpx")));

    Models back;
    ASSERT_TRUE(GPXImport(back.exchange()).import(folder.file("a.gpx"), std::nullopt, &back.delegate));
    ASSERT_EQ(back.waypoints.count(), 4u); // two waypoints, then the route's two
    EXPECT_EQ(back.waypoints.at(0)->description(), "R\xC3\xB8"
                                                   "d <b> & ]]> \"q\" 'a' \xEF\xBF\xBD\xEF\xBF\xBD end");
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back.waypoints.at(i)->name(), m.waypoints.at(i)->name());
        EXPECT_EQ(back.waypoints.at(i)->iconIndex(), m.waypoints.at(i)->iconIndex());
        EXPECT_NEAR(back.waypoints.at(i)->latitude(), m.waypoints.at(i)->latitude(), 1e-6);
        EXPECT_NEAR(back.waypoints.at(i)->longitude(), m.waypoints.at(i)->longitude(), 1e-5);
    }
    ASSERT_EQ(back.routes.count(), 1u);
    EXPECT_EQ(back.routes.route(0)->name(), "Out & back");
    ASSERT_EQ(back.tracks.count(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(back.tracks.track(i)->date(), m.tracks.track(i)->date());
    EXPECT_FALSE(back.tracks.isStart(size_t(1)));
    EXPECT_TRUE(back.tracks.isStart(size_t(2)));

    back.waypoints.setMatch(std::nullopt);
    ASSERT_TRUE(GPXExport(back.exchange()).exportAll(folder.file("b.gpx")));
    Models again;
    ASSERT_TRUE(GPXImport(again.exchange()).import(folder.file("b.gpx"), std::nullopt, &again.delegate));
    EXPECT_EQ(again.waypoints.count(), 6u);
    EXPECT_EQ(again.tracks.count(), 3u);
    EXPECT_EQ(again.tracks.track(2)->date(), m.tracks.track(2)->date());
}

TEST(GpxImport, HostileAndBrokenFilesKeepWhatWasRead) {
    const std::string twoPoints = "<gpx><wpt lat=\"1\" lon=\"1\"><name>A</name></wpt>"
                                  "<wpt lat=\"2\" lon=\"2\"><name>B</name></wpt>";
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'k'; ++c) {
        std::string tenfold;
        for (int i = 0; i < 10; ++i)
            tenfold += std::string("&") + char(c - 1) + ";";
        laughs += std::string("<!ENTITY ") + c + " \"" + tenfold + "\">";
    }
    struct Case {
        const char* what;
        std::string bytes;
        bool ok;
        size_t waypoints;
    } cases[] = {
        {"truncated", twoPoints + "<wpt lat=\"3\" lon=\"3\"><name>C", false, 2},
        {"mismatched", twoPoints + "</trk>", false, 2},
        {"entity expansion", laughs + "]><gpx><wpt lat=\"1\" lon=\"1\"><name>&k;</name></wpt></gpx>", false,
         0},
        {"external entity",
         "<!DOCTYPE gpx [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><gpx><wpt lat=\"1\" "
         "lon=\"1\"><name>&x;</name>"
         "</wpt></gpx>",
         false, 0},
        {"undeclared entity", "<gpx><wpt lat=\"1\" lon=\"1\"><name>&nbsp;</name></wpt></gpx>", false, 0},
        {"not xml", "\x89PNG\r\n", false, 0},
        {"empty", "", false, 0},
        {"utf-16", utf16(u"<gpx><wpt lat=\"1\" lon=\"1\"><name>\u00e5</name></wpt></gpx>"), true, 1},
    };
    for (const Case& c : cases) {
        Models m;
        GPXImport importer(m.exchange());
        EXPECT_EQ(importer.importBytes(c.bytes, std::nullopt, &m.delegate), c.ok) << c.what;
        EXPECT_EQ(m.waypoints.count(), c.waypoints) << c.what;
        EXPECT_EQ(importer.error().empty(), c.ok) << c.what << ": " << importer.error();
    }
    Models m;
    ASSERT_TRUE(GPXImport(m.exchange()).importBytes(std::string(cases[7].bytes), std::nullopt, &m.delegate));
    EXPECT_EQ(m.waypoints.at(0)->name(), "\xC3\xA5");

    // A single enormous element: the parser's memory is capped, nothing grows without bound.
    std::string huge = "<gpx><wpt lat=\"1\" lon=\"1\" x=\"" + std::string(16u << 20, 'x');
    EXPECT_FALSE(GPXImport(m.exchange()).importBytes(huge, std::nullopt, &m.delegate));
}

TEST(GpxImport, RecognisesGpxByContent) {
    Folder folder;
    spit(folder.file("a.xml"), "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\">");
    spit(folder.file("b.gpx"), "<kml/>");
    spit(folder.file("c.gpx"), "<gp");
    EXPECT_TRUE(GPXImport::isGPX(folder.file("a.xml")));
    EXPECT_FALSE(GPXImport::isGPX(folder.file("b.gpx")));
    EXPECT_FALSE(GPXImport::isGPX(folder.file("c.gpx")));
    EXPECT_FALSE(GPXImport::isGPX(folder.file("none")));
    EXPECT_TRUE(GPXExport::isGPX("/x/TRACK.GpX"));
    EXPECT_FALSE(GPXExport::isGPX("/x.gpx/track"));
    Models m;
    GPXImport importer(m.exchange());
    EXPECT_FALSE(importer.import(folder.file("none.gpx"), std::nullopt, &m.delegate));
    EXPECT_EQ(importer.error(), "cannot be opened");
}

} // namespace
