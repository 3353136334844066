// navtool convert and list run as a separate process.

#include "Helpers.h"

#include <chrono>
#include <thread>

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

// A conversion gives back what the file held, however often it goes round, through GPX and KML
// (two route points at one place among them).
TEST(Navtool, ConversionsAddNothing) {
    Folder folder;
    std::string route = "<gpx><rte><name>R</name>";
    for (int i = 0; i < 14; ++i)
        route += "<rtept lat=\"54." + std::to_string(i) + "\" lon=\"10\"><name>P" + std::to_string(i) +
                 "</name></rtept>";
    spit(folder.file("0.gpx"), route + "</rte></gpx>");
    auto file = [&](const std::string& name) { return " " + quoted(folder.file(name)); };
    for (const char* extension : {"gpx", "kml"}) {
        std::string previous = "0.gpx";
        for (int round = 1; round <= 3; ++round) {
            const std::string next = std::to_string(round) + "." + extension;
            const Outcome o = navtool("convert" + file(previous) + file(next));
            EXPECT_EQ(o.status, 0) << o.output;
            EXPECT_EQ(o.output.substr(0, o.output.find('\n')), "14 waypoints, 1 routes, 0 track points")
                << extension << " round " << round;
            previous = next;
        }
    }
    EXPECT_EQ(navtool("list" + file("3.kml")).output.find("waypoint\tP0\t"), 0u);
}

// The converter's command line: formats named on it, standard input and output, merged inputs,
// the parts chosen, CSV in decimal degrees and with carriage returns alone, what is dropped said
// with its lines and an exit status of 3.
TEST(Navtool, ConverterCommandLine) {
    Folder folder;
    auto file = [&](const std::string& name) { return " " + quoted(folder.file(name)); };
    spit(folder.file("kml.gpx"), "<kml><Placemark><name>K</name><Point><coordinates>1,2</coordinates></Point>"
                                 "</Placemark></kml>");
    spit(folder.file("w.csv"), "A,54.5,-10.2\nB,-0.5,179.999999\n");
    spit(folder.file("t.csv"), "2024-05-01 12:00:00 +0000,54.5,10.25\r2024-05-01 12:00:10 +0000,54.6,10.25\r"
                               "2024-05-01 12:00:20 +0000,,\r");
    spit(folder.file("bad.gpx"),
         "<gpx>\n<wpt lat=\"91\" lon=\"1\"><name>X</name></wpt>\n<wpt lat=\"1\" lon=\"1\">"
         "<name>a\tb\nc</name></wpt>\n<trk><trkseg><trkpt lat=\"1\" lon=\"1\"/></trkseg></trk></gpx>");
    const struct {
        std::string args;
        int status;
        std::string output;
    } cases[] = {
        {"list" + file("kml.gpx"), 1, "not a GPX document: its root element is <kml>"},
        {"list -i kml" + file("kml.gpx"), 0, "waypoint\tK\t2.000000\t1.000000\tBLANK\n"},
        {"list" + file("w.csv"), 0,
         "waypoint\tA\t54.500000\t-10.200000\tBLANK\nwaypoint\tB\t-0.500000\t180.000000"},
        {"list" + file("t.csv"), 3,
         "t.csv: kept 2 of 3 track points: 1 without a valid position (line 3)\n"
         "track\t2 points\t1 segments\t2024-05-01T12:00:00Z\t2024-05-01T12:00:10Z\n"},
        {"list" + file("bad.gpx"), 3, "kept 1 of 2 waypoints: 1 without a valid position (line 2)\n"},
        {"list" + file("bad.gpx"), 3,
         "waypoint\ta\\tb\\nc\t1.000000\t1.000000\tBLANK\ntrack\t1 points\t1 segments\t-\t-\n"},
        {"convert --tracks" + file("w.csv") + file("t.csv") + file("m.gpx"), 3,
         "2 waypoints, 0 routes, 2 track"},
        {"convert -i kml" + file("kml.gpx") + " -o kmz" + file("k.out"), 0, "wrote " + folder.file("k.out")},
        {"list -i kmz" + file("k.out"), 0, "waypoint\tK\t"},
        {"convert - -o gpx - <" + file("kml.gpx") + " | grep -c '<wpt'", 0, "1\n"}, // told by its bytes
        {"convert -i kml - -o gpx - <" + file("kml.gpx") + " | grep -c '<wpt'", 0, "1\n"},
        {"convert" + file("w.csv") + " x.txt", 2, "-o names the format"},
        {"convert -o shp" + file("w.csv") + " x.txt", 2, "-o takes gpx, kml, kmz or csv"},
    };
    for (const auto& c : cases) {
        const Outcome o = navtool(c.args);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.output;
        EXPECT_NE(o.output.find(c.output), std::string::npos) << c.args << "\n" << o.output;
    }
    // --tracks wrote the track alone, of both inputs merged.
    const std::string merged = slurp(folder.file("m.gpx"));
    EXPECT_EQ(merged.find("<wpt"), std::string::npos);
    EXPECT_NE(merged.find("<trkpt"), std::string::npos);
}

// libzip is loaded only when an archive is met: without a usable one, KMZ fails saying why and
// writes nothing, while GPX goes on as before.
TEST(Navtool, SaysWhenKmzArchivesCannotBeHandled) {
    Folder folder;
    spit(folder.file("s.gpx"), "<gpx><wpt lat=\"54.5\" lon=\"10.25\"><name>Kiel</name></wpt></gpx>");
    auto file = [&](const char* name) { return " " + quoted(folder.file(name)); };
    ASSERT_EQ(navtool("convert" + file("s.gpx") + file("s.kmz")).status, 0);
    fs::create_directory(folder.file("lib"));
    spit(folder.file("lib/" MUX_LIBZIP_SONAME), "not a library");
    const std::string broken = "env LD_LIBRARY_PATH=" + quoted(folder.file("lib"));
    const std::string why = "KMZ archives need " MUX_LIBZIP_SONAME ", which cannot be loaded";

    Outcome o = navtool("list" + file("s.kmz"), broken);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("s.kmz: " + why), std::string::npos) << o.output;
    o = navtool("convert" + file("s.gpx") + file("out.kmz"), broken);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("out.kmz: " + why), std::string::npos) << o.output;
    EXPECT_FALSE(fs::exists(folder.file("out.kmz")));
    EXPECT_EQ(navtool("convert" + file("s.gpx") + file("out.gpx"), broken).status, 0);
}

// --open hands the written file to the globe viewer, started without a shell: here a stand-in on
// PATH that notes its arguments.
TEST(Navtool, OpensTheOutputInTheGlobeViewer) {
    Folder folder;
    spit(folder.file("w.csv"), "A,54.5,-10.2\n");
    const std::string out = folder.file("with space.kml");
    const Outcome o = navtool("convert --open " + quoted(folder.file("w.csv")) + " " + quoted(out),
                              "env PATH=" + quoted(folder.path.string() + ":/usr/bin:/bin"));
#ifndef MUX_GRIB_MAILER
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("--open needs the Qt build"), std::string::npos) << o.output;
    GTEST_SKIP() << "navtool without Qt";
#endif
    (void)o;
    const std::string noted = folder.file("opened");
    spit(folder.file("google-earth"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + quoted(noted) + ".part && mv " +
                                          quoted(noted) + ".part " + quoted(noted) + "\n");
    fs::permissions(folder.file("google-earth"), fs::perms::owner_all);
    const Outcome opened = navtool("convert --open " + quoted(folder.file("w.csv")) + " " + quoted(out),
                                   "env PATH=" + quoted(folder.path.string() + ":/usr/bin:/bin"));
    EXPECT_EQ(opened.status, 0) << opened.output;
    // The stand-in runs on its own: wait for its note, with a bound only a hang reaches.
    for (int i = 0; i < 1000 && !fs::exists(noted); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(slurp(noted), out + "\n");
}

} // namespace
