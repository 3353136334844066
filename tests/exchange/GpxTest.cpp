// GPX: the lines written, reading rules the samples do not show, hostile files (round trip: Oracle).

#include "Helpers.h"
#include "exchange/GPXExport.h"
#include "exchange/GPXImport.h"

namespace {

using namespace exchange_test;

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
}

TEST(GpxImport, NamesIconsRoutesAndTimes) {
    Env tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3"); // GPX times are UTC whatever the local zone
    Models m;
    place(m, "WP0001", 0, 0);
    const std::string gpx = R"(<?xml version="1.0"?>
<gpx xmlns="http://www.topografix.com/GPX/1/1" version="1.1">
 <metadata><name>not a waypoint</name></metadata>
 <wpt lat="54.5" lon="10.25"><name> Fish &amp; Chips, north </name><cmt>comment</cmt><sym>FOOD</sym></wpt>
 <wpt lat="1" lon="2"><cmt>only a comment</cmt><type>Tide Station</type></wpt>
 <wpt lat="91" lon="2"><name>Off the chart</name></wpt>
 <rte><rtept lat="1" lon="1"><desc>first</desc></rtept></rte>
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
    // Unnamed: a unique name; the one at latitude 91 is not made.
    EXPECT_EQ(listed(m.waypoints), "WP0001||0|0,0\nFish & Chips  north|comment|5|10.25,54.5\n"
                                   "WP0002|only a comment|62|2,1\nWP0003|first|0|1,1\n");
    ASSERT_EQ(m.routes.count(), 1u);
    EXPECT_TRUE(m.routes.changed() && m.routes.route(0)->name() == "RT0001");
    EXPECT_EQ(m.routes.route(0)->waypointReference(0)->waypoint, m.waypoints.at(3));

    ASSERT_EQ(m.tracks.count(), 6u);
    const auto t = m.tracks.chartMarkers();
    EXPECT_TRUE(t[0]->date() == 1714566645.0 && t[1]->date() == 1714566645.0);
    EXPECT_EQ(t[0]->color(), (ChartColor{0.05f, 0.05f, 0.05f, 1}));
    EXPECT_NEAR(t[1]->color().red, 0.10f, 1e-6);
    // Undated or unreadable: named by the running key, without a time (the unreadable one said).
    EXPECT_EQ(t[2]->name(), std::to_string(std::stol(t[1]->name()) + 1));
    EXPECT_TRUE(!t[2]->hasDate() && !t[3]->hasDate());
    EXPECT_EQ(importer.report().count(exchange::RecordKind::TrackPoint, exchange::Reason::UnreadTime), 1u);
    EXPECT_EQ(t[4]->date(), 1714566645.5); // no zone: UTC, fractions kept
    EXPECT_EQ(t[5]->date(), 1714566646.0); // not ISO: the lenient reader, still UTC
}

TEST(GpxImport, HostileAndBrokenFilesKeepWhatWasRead) {
    const std::string twoPoints = "<gpx><wpt lat=\"1\" lon=\"1\"><name>A</name></wpt>"
                                  "<wpt lat=\"2\" lon=\"2\"><name>B</name></wpt>";
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'k'; ++c) { // each ten of the one before
        const std::string r = std::string("&") + char(c - 1) + ";",
                          ten = r + r + r + r + r + r + r + r + r + r;
        laughs += std::string("<!ENTITY ") + c + " \"" + ten + "\">";
    }
    std::string utf16("\xFF\xFE", 2); // little-endian, after its byte order mark
    for (char16_t c : std::u16string(u"<gpx><wpt lat=\"1\" lon=\"1\"><name>\u00e5</name></wpt></gpx>"))
        utf16 += {char(c & 0xFF), char(c >> 8)};
    const std::string named = "<gpx><wpt lat=\"1\" lon=\"1\"><name>";
    // What, the bytes, whether they read, how many waypoints stay, the first one's name.
    const std::tuple<const char*, std::string, bool, size_t, const char*> cases[] = {
        {"truncated", twoPoints + "<wpt lat=\"3\" lon=\"3\"><name>C", false, 2, "A"},
        {"mismatched", twoPoints + "</trk>", false, 2, "A"},
        {"entity expansion", laughs + "]>" + named + "&k;</name></wpt></gpx>", false, 0, ""},
        {"external entity",
         "<!DOCTYPE gpx [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + named + "&x;</name></wpt></gpx>",
         false, 0, ""},
        {"undeclared entity", named + "&nbsp;</name></wpt></gpx>", false, 0, ""},
        {"not xml", "\x89PNG\r\n", false, 0, ""},
        {"one enormous tag", "<gpx><wpt lat=\"1\" lon=\"1\" x=\"" + std::string(16u << 20, 'x'), false, 0,
         ""},
        {"utf-16", utf16, true, 1, "\xC3\xA5"},
        {"name of commas", named + ",</name></wpt></gpx>", true, 1, "WP0001"},
    };
    for (const auto& [what, bytes, ok, kept, first] : cases) {
        Models m;
        GPXImport importer(m.exchange());
        EXPECT_EQ(importer.importBytes(bytes, std::nullopt, &m.delegate), ok) << what;
        EXPECT_EQ(importer.error().empty(), ok) << what << ": " << importer.error();
        ASSERT_EQ(m.waypoints.count(), kept) << what;
        EXPECT_EQ(kept ? m.waypoints.at(0)->name() : "", first) << what;
    }
    Models m;
    GPXImport importer(m.exchange());
    EXPECT_FALSE(importer.import("/nonexistent/none.gpx", std::nullopt, &m.delegate));
    EXPECT_EQ(importer.error(), "cannot be opened");
}

} // namespace
