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
    EXPECT_TRUE(m.routes.changed());
    EXPECT_EQ(m.routes.route(0)->name(), "RT0001");
    EXPECT_EQ(m.routes.route(0)->waypointReference(0)->waypoint, m.waypoints.at(3));

    ASSERT_EQ(m.tracks.count(), 6u);
    const auto t = m.tracks.chartMarkers();
    EXPECT_EQ(t[0]->date(), 1714566645.0);
    EXPECT_EQ(t[1]->date(), 1714566645.0);
    EXPECT_EQ(t[0]->color(), (ChartColor{0.05f, 0.05f, 0.05f, 1}));
    EXPECT_NEAR(t[1]->color().red, 0.10f, 1e-6);
    // Undated or unreadable: named by the running key, without a time (the unreadable one said).
    EXPECT_EQ(t[2]->name(), std::to_string(std::stol(t[1]->name()) + 1));
    EXPECT_FALSE(t[2]->hasDate());
    EXPECT_FALSE(t[3]->hasDate());
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

namespace {

// GPX to GPX gives back what the file held: no route point turns into a waypoint, names,
// descriptions, symbols, elevations, times (and their absence) and every segment start stay,
// however often the file goes round.
TEST(GpxRoundTrip, ConversionsGiveBackWhatTheFileHeld) {
    const std::string gpx = R"(<gpx version="1.1">
<wpt lat="90" lon="-180"><ele>12.5</ele><name>Pole</name><desc>far</desc><sym>ANCHOR</sym></wpt>
<wpt lat="1" lon="1"></wpt>
<rte><name>Leg</name><rtept lat="54" lon="10"><name>A</name></rtept><rtept lat="55" lon="179.999999"><name>B</name></rtept></rte>
<trk><trkseg><trkpt lat="1" lon="1"><ele>-3</ele><time>2024-05-01T12:00:00Z</time></trkpt><trkpt lat="1" lon="2"/></trkseg>
<trkseg><trkpt lat="1" lon="3"><time>2024-05-01T14:00:00Z</time></trkpt></trkseg></trk>
</gpx>)";
    Folder folder;
    spit(folder.file("0.gpx"), gpx);
    std::string previous;
    for (int round = 1; round <= 3; ++round) {
        Models m;
        GPXImport importer(m.exchange());
        ASSERT_TRUE(
            importer.import(folder.file(std::to_string(round - 1) + ".gpx"), std::nullopt, &m.delegate));
        m.waypoints.setMatch(std::nullopt);
        const std::string out = folder.file(std::to_string(round) + ".gpx");
        ASSERT_TRUE(GPXExport(m.exchange()).exportAll(out));
        // The track is named after the file written.
        std::string text = slurp(out);
        const size_t named = text.find("<trk>\n<name>" + std::to_string(round) + "</name>");
        ASSERT_NE(named, std::string::npos);
        text.erase(named, 19);
        EXPECT_NE(
            text.find("<wpt lat=\"90.000000\" lon=\"-180.000000\">\n<ele>12.50</ele>\n<name>Pole</name>\n"
                      "<desc>far</desc>\n<sym>ANCHOR</sym>"),
            std::string::npos);
        EXPECT_NE(text.find("<name>WP0001</name>"), std::string::npos);
        EXPECT_NE(text.find("lon=\"180.000000\""), std::string::npos); // rounded onto the limit, kept
        EXPECT_NE(text.find("<trkpt lat=\"1.000000\" lon=\"2.000000\">\n</trkpt>"), std::string::npos);
        EXPECT_NE(text.find("<ele>-3.00</ele>\n<time>2024-05-01T12:00:00Z</time>"), std::string::npos);
        // Two waypoints of their own, one route of two points, two segments: every round the same.
        EXPECT_EQ(m.waypoints.count(), 4u);
        if (round > 1) {
            EXPECT_EQ(text, previous) << round;
        }
        previous = text;
    }
}

// Unnamed waypoints get unique names in one pass; past 9999 they are kept without a name and said.
TEST(GpxImport, ManyUnnamedWaypointsAreAllKept) {
    std::string gpx = "<gpx>";
    for (int i = 0; i < 10001; ++i)
        gpx += "<wpt lat=\"1\" lon=\"1\"/>";
    Models m;
    place(m, "WP0002", 1, 1);
    GPXImport importer(m.exchange());
    ASSERT_TRUE(importer.importBytes(gpx + "</gpx>", std::nullopt, &m.delegate));
    ASSERT_EQ(m.waypoints.count(), 10002u);
    EXPECT_EQ(m.waypoints.at(1)->name(), "WP0001");
    EXPECT_EQ(m.waypoints.at(2)->name(), "WP0003");
    EXPECT_EQ(m.waypoints.at(9998)->name(), "WP9999");
    EXPECT_EQ(m.waypoints.at(9999)->name(), "");
    const auto& report = importer.report();
    EXPECT_EQ(report.count(exchange::RecordKind::Waypoint, exchange::Reason::UniqueName), 9998u);
    EXPECT_EQ(report.count(exchange::RecordKind::Waypoint, exchange::Reason::NoUniqueName), 3u);
    EXPECT_FALSE(report.anyDropped());
}

// The named pieces an export is built from, each seen in the file it helps write.
TEST(GpxExport, BuildingBlocks) {
    Models m;
    auto t = logged(m, 1.6e9, 10, 54);
    t->setElevation(2.0f);
    t->setDescription("buoy & chain");
    GPXExport gpx(m.exchange());
    exchange::ExportFile file;
    gpx.writeHeader(file);
    gpx.writeWaypoints(file, {place(m, "A", 1, 2, "", 99)}, "wpt"); // outside the icon table: blank
    gpx.startTrack(file, "day 1");
    gpx.startSegment(file);
    gpx.writeTrackPoint(file, *t);
    gpx.endSegment(file);
    gpx.endTrack(file);
    gpx.writeString(file, "<!-- é -->\n");
    gpx.writeFooter(file);
    const std::string& text = file.text();
    EXPECT_EQ(text.substr(text.find("<wpt")),
              "<wpt lat=\"2.000000\" lon=\"1.000000\">\n<name>A</name>\n<sym>BLANK</sym>\n</wpt>\n"
              "<trk>\n<name>day 1</name>\n<trkseg>\n<trkpt lat=\"54.000000\" lon=\"10.000000\">\n"
              "<ele>2.00</ele>\n<time>2020-09-13T12:26:40Z</time>\n<desc>buoy &amp; chain</desc>\n</trkpt>\n"
              "</trkseg>\n</trk>\n<!-- é -->\n</gpx>\n");
}

} // namespace
