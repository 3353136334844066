// navtool convert and list run as a separate process.

#include "Helpers.h"

namespace {

using namespace exchange_test;

TEST(Navtool, ListsAndConvertsBetweenTheFormats) {
    Folder folder;
    spit(folder.file("s.gpx"), R"(<gpx version="1.1">
<wpt lat="54.5" lon="10.25"><name>Kiel</name><sym>ANCHOR</sym></wpt>
<rte><name>Out</name><rtept lat="54" lon="10"><name>A</name></rtept><rtept lat="55" lon="10"><name>B</name></rtept></rte>
<trk><trkseg><trkpt lat="1" lon="1"><time>2024-05-01T12:00:00Z</time></trkpt></trkseg>
<trkseg><trkpt lat="1" lon="2"><time>2024-05-01T12:00:10Z</time></trkpt></trkseg></trk>
</gpx>)");
    auto file = [&](const char* name) { return " " + quoted(folder.file(name)); };
    const std::string times = "\t2024-05-01T12:00:00Z\t2024-05-01T12:00:10Z\n";
    EXPECT_EQ(navtool("list" + file("s.gpx")).output,
              "waypoint\tKiel\t54.500000\t10.250000\tANCHOR\n"
              "waypoint\tA\t54.000000\t10.000000\tBLANK\n"
              "waypoint\tB\t55.000000\t10.000000\tBLANK\n"
              "route\tOut\t2 points\t60.00 NM\ntrack\t2 points\t2 segments" +
                  times);
    ASSERT_EQ(navtool("convert" + file("s.gpx") + file("s.kmz")).status, 0);
    ASSERT_EQ(navtool("convert" + file("s.kmz") + file("k.gpx")).status, 0);
    EXPECT_NE(slurp(folder.file("k.gpx")).find("<name>Kiel</name>\n<sym>ANCHOR</sym>"), std::string::npos);

    const Outcome o = navtool("convert --position-form deg" + file("s.gpx") + file("c.csv"));
    EXPECT_EQ(o.output, "3 waypoints, 1 routes, 2 track points\nwrote " + folder.file("c.csv") + "\nwrote " +
                            folder.file("c-route1.csv") + "\nwrote " + folder.file("c-track.csv") + "\n");
    EXPECT_EQ(slurp(folder.file("c-route1.csv")), "A,54.000000N,010.000000E,\nB,55.000000N,010.000000E,\n");
    // Track files are told by their content, waypoint files need their position form.
    EXPECT_EQ(navtool("list" + file("c-track.csv")).output, "track\t2 points\t1 segments" + times);
    EXPECT_NE(navtool("list --csv route --position-form 2" + file("c-route1.csv"))
                  .output.find("route\tc-route1\t2 points\t60.00 NM\n"),
              std::string::npos);
}

TEST(Navtool, SaysWhatWentWrong) {
    Folder folder;
    spit(folder.file("broken.gpx"), "<gpx>\n<wpt lat=\"1\" lon=\"1\"><name>A</name></wpt>\n</trk>");
    spit(folder.file("w.csv"), "A,54\xC2\xBA"
                               "30.00'N,010\xC2\xBA"
                               "00.00'E\n");
    const std::string dir = folder.path.string();
    const struct {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"list " + dir + "/none.gpx", 1, "none.gpx: No such file or directory"},
        {"list " + dir + "/broken.gpx", 1, "broken.gpx: line 3: mismatched tag"},
        {"convert " + dir + "/broken.gpx " + dir + "/out.kml", 1, "line 3"},
        {"list --position-form 2 " + dir + "/w.csv", 1, "w.csv: line 1: "},
        {"list " + dir + "/notes.txt", 2, "not a .gpx, .kml, .kmz or .csv file"},
        {"list --position-form 7 x.gpx", 2, "position form \"7\""},
        {"list --csv things x.csv", 2, "--csv takes"},
        {"convert " + dir + "/w.csv", 2, "usage: navtool convert"},
        {"convert " + dir + "/w.csv " + dir + "/missing/out.gpx", 1, "cannot be written"},
        {"convert --help", 0, "usage: navtool convert"},
    };
    for (const auto& c : cases) {
        const Outcome o = navtool(c.args);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.output;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << c.args << "\n" << o.output;
    }
    EXPECT_FALSE(fs::exists(folder.file("out.kml")));
}

} // namespace
