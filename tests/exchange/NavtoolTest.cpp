// navtool convert and list run as a separate process.

#include "Helpers.h"

namespace {

using namespace exchange_test;

const char* const smallGpx = R"(<gpx version="1.1">
<wpt lat="54.5" lon="10.25"><name>Kiel</name><sym>ANCHOR</sym></wpt>
<rte><name>Out</name><rtept lat="54" lon="10"><name>A</name></rtept><rtept lat="55" lon="10"><name>B</name></rtept></rte>
<trk><trkseg><trkpt lat="1" lon="1"><time>2024-05-01T12:00:00Z</time></trkpt></trkseg>
<trkseg><trkpt lat="1" lon="2"><time>2024-05-01T12:00:10Z</time></trkpt></trkseg></trk>
</gpx>)";

TEST(Navtool, ListPrintsEachRecord) {
    Folder folder;
    spit(folder.file("s.gpx"), smallGpx);
    const Outcome o = navtool("list " + quoted(folder.file("s.gpx")));
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_EQ(o.output, "waypoint\tKiel\t54.500000\t10.250000\tANCHOR\n"
                        "waypoint\tA\t54.000000\t10.000000\tBLANK\n"
                        "waypoint\tB\t55.000000\t10.000000\tBLANK\n"
                        "route\tOut\t2 points\t60.00 NM\n"
                        "track\t2 points\t2 segments\t2024-05-01T12:00:00Z\t2024-05-01T12:00:10Z\n");
}

TEST(Navtool, ConvertsBetweenTheFormats) {
    Folder folder;
    spit(folder.file("s.gpx"), smallGpx);
    Outcome o = navtool("convert " + quoted(folder.file("s.gpx")) + " " + quoted(folder.file("s.kmz")));
    ASSERT_EQ(o.status, 0) << o.output;
    o = navtool("convert " + quoted(folder.file("s.kmz")) + " " + quoted(folder.file("k.gpx")));
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(slurp(folder.file("k.gpx")).find("<name>Kiel</name>\n<sym>ANCHOR</sym>"), std::string::npos);

    o = navtool("convert --position-form deg " + quoted(folder.file("s.gpx")) + " " +
                quoted(folder.file("c.csv")));
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_EQ(o.output, "3 waypoints, 1 routes, 2 track points\nwrote " + folder.file("c.csv") + "\nwrote " +
                            folder.file("c-route1.csv") + "\nwrote " + folder.file("c-track.csv") + "\n");
    EXPECT_EQ(slurp(folder.file("c-route1.csv")), "A,54.000000N,010.000000E,\nB,55.000000N,010.000000E,\n");
    // Track files are told by their content, waypoint files need their position form.
    o = navtool("list " + quoted(folder.file("c-track.csv")));
    EXPECT_EQ(o.output, "track\t2 points\t1 segments\t2024-05-01T12:00:00Z\t2024-05-01T12:00:10Z\n");
    o = navtool("list --position-form 2 " + quoted(folder.file("c.csv")));
    EXPECT_EQ(o.output.substr(0, o.output.find('\n')), "waypoint\tKiel\t54.500000\t10.250000\tBLANK");
    o = navtool("list --csv route --position-form 2 " + quoted(folder.file("c-route1.csv")));
    EXPECT_NE(o.output.find("route\tc-route1\t2 points\t60.00 NM\n"), std::string::npos) << o.output;
}

TEST(Navtool, SaysWhatWentWrong) {
    Folder folder;
    spit(folder.file("broken.gpx"), "<gpx>\n<wpt lat=\"1\" lon=\"1\"><name>A</name></wpt>\n</trk>");
    spit(folder.file("w.csv"), "A,54\xC2\xBA"
                               "30.00'N,010\xC2\xBA"
                               "00.00'E\n");
    struct Case {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"list " + folder.file("none.gpx"), 1, "none.gpx: No such file or directory"},
        {"list " + folder.file("broken.gpx"), 1, "broken.gpx: line 3: mismatched tag"},
        {"convert " + folder.file("broken.gpx") + " " + folder.file("out.kml"), 1, "line 3"},
        {"list --position-form 2 " + folder.file("w.csv"), 1, "w.csv: line 1: "},
        {"list " + folder.file("notes.txt"), 2, "not a .gpx, .kml, .kmz or .csv file"},
        {"list --position-form 7 x.gpx", 2, "position form \"7\""},
        {"list --csv things x.csv", 2, "--csv takes"},
        {"convert " + folder.file("w.csv"), 2, "usage: navtool convert"},
        {"convert " + folder.file("w.csv") + " " + folder.path.string() + "/missing/out.gpx", 1,
         "cannot be written"},
        {"list " + folder.path.string() + "/", 2, "not a .gpx"},
    };
    for (const Case& c : cases) {
        const Outcome o = navtool(c.args);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.output;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << c.args << "\n" << o.output;
    }
    EXPECT_FALSE(fs::exists(folder.file("out.kml")));
    EXPECT_EQ(navtool("convert --help").status, 0);
    EXPECT_EQ(navtool("list -h").status, 0);
}

} // namespace
