// The forecast as KML: a folder per grid of the time on view, symbols, legend, contours and
// labels, the images beside the document, and what xmllint, gpsbabel and navtool make of it.

#include "Helpers.h"
#include "nav/exchange/KMLExport.h"
#include "nav/grib/GribModel.h"

#include <zlib.h>

#include <cmath>
#include <set>

namespace {

using namespace exchange_test;

struct Outcome {
    int status;
    std::string output;
};

const GribDate kDate = *parseIsoDate("2011-10-08T06:00Z");
constexpr float kKnot = 1.0f / 1.9438f; // m/s

// A grid of one forecast time; fields are added by the caller.
GribPoints grid(NavPoint origin, float dLat, float dLon, unsigned rows, unsigned columns,
                GribDate date = kDate) {
    GribPoints g;
    g.setPositionOnGPS(origin);
    g.setIncrement(dLat, dLon);
    g.setCount(rows, columns);
    g.setForecastDate(date);
    return g;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

struct Overlay {
    std::string href;
    double north, south, east, west, rotation;
};

std::vector<Overlay> overlays(const std::string& kml) {
    static const std::regex pattern("<GroundOverlay>\n<Icon>\n<href>([^<]*)</href>\n</Icon>\n<LatLonBox>\n"
                                    "<north>([^<]*)</north>\n<south>([^<]*)</south>\n<east>([^<]*)</east>\n"
                                    "<west>([^<]*)</west>\n<rotation>([^<]*)</rotation>");
    std::vector<Overlay> out;
    for (std::sregex_iterator m(kml.begin(), kml.end(), pattern), end; m != end; ++m)
        out.push_back({(*m)[1], std::stod((*m)[2]), std::stod((*m)[3]), std::stod((*m)[4]),
                       std::stod((*m)[5]), std::stod((*m)[6])});
    return out;
}

// A low centred in a 12 x 10 grid with wind, and a second grid of current at the same time.
GribModel forecast() {
    GribModel m;
    GribPoints air = grid({-30, 60}, -1, 1.5f, 10, 12);
    for (unsigned j = 0; j < 10; ++j)
        for (unsigned i = 0; i < 12; ++i) {
            air.addPressure(100000.0f + 150.0f * std::hypot(float(i) - 5.5f, float(j) - 4.5f));
            air.adduWindComponent(0), air.addvWindComponent(-25 * kKnot); // from the north, force 6
        }
    GribPoints sea = grid({-30, 60}, -1, 1.5f, 2, 2);
    for (int k = 0; k < 4; ++k)
        sea.adduCurrentComponent(2 * kKnot), sea.addvCurrentComponent(0);
    GribPoints later = grid({-30, 60}, -1, 1.5f, 2, 2, kDate + std::chrono::hours(6));
    for (int k = 0; k < 4; ++k)
        later.adduCurrentComponent(5 * kKnot), later.addvCurrentComponent(0);
    m.gribPoints() = {air, sea, later};
    m.setViewForecastDate(kDate);
    return m;
}

TEST(GribKml, AFolderPerGridOfTheTimeOnViewWithLegendContoursAndLabels) {
    Folder folder;
    GribModel m = forecast();
    ASSERT_TRUE(KMLExport().exportGrib(folder.file("f.kml"), m));
    const std::string kml = slurp(folder.file("f.kml"));
    EXPECT_EQ(count(kml, "<Folder>\n<name>Oct-08-11 06:00</name>\n<visibility>1</visibility>\n"), 2u);
    EXPECT_EQ(count(kml, "<href>images/wind-06.png</href>"), 120u);
    EXPECT_EQ(count(kml, "<href>images/current-02.png</href>"), 4u);
    EXPECT_EQ(count(kml, "current-05.png"), 0u) << "a grid of another time";
    EXPECT_EQ(
        count(kml, "<ScreenOverlay>\n<name>Corvane</name>\n<Icon>\n<href>images/legend-wind.png</href>"), 1u);
    EXPECT_EQ(count(kml, "legend-current.png"), 1u);
    const GribPoints& air = m.gribPoints()[0];
    ASSERT_FALSE(air.contourPath().empty());
    EXPECT_EQ(count(kml, "<color>FFFFFFFF</color>\n<width>2</width>"), air.contourPath().size());
    for (const GribLabel& l : air.labels())
        EXPECT_NE(kml.find("<name>" + l.text + "</name>\n<Point>\n<coordinates>" +
                           KMLExport::coordinateText(l.position)),
                  std::string::npos);
    // Lines lie on the grid itself: -30..-13.5 east, 51..60 north.
    const std::regex point(R"(\n(-?[0-9.]+),(-?[0-9.]+),0(?=\n))");
    for (std::sregex_iterator p(kml.begin(), kml.end(), point), end; p != end; ++p) {
        EXPECT_TRUE(std::stod((*p)[1]) >= -30 && std::stod((*p)[1]) <= -13.5) << (*p)[0];
        EXPECT_TRUE(std::stod((*p)[2]) >= 51 && std::stod((*p)[2]) <= 60) << (*p)[0];
    }

    m.setViewForecastDate(kDate + std::chrono::hours(1));
    EXPECT_FALSE(KMLExport().exportGrib(folder.file("none.kml"), m));
    EXPECT_FALSE(fs::exists(folder.file("none.kml")));
}

TEST(GribKml, ASymbolPerCellTurnedToItsDirection) {
    struct Case {
        const char* what;
        NavPoint origin;
        bool current;
        float u, v;       // knots
        std::string href; // empty: no symbol
        double rotation, west, east;
    };
    // clang-format off
    const Case cases[] = {
        {"wind from the north", {10, 40},     false, 0, -25,    "wind-06",    0,   9.5,   10.5},
        {"wind from the east",  {10, 40},     false, -10, 0,    "wind-03",    -90, 9.5,   10.5},
        {"calm",                {10, 40},     false, 0.05f, 0,  "",           0,   0,     0},
        {"current 15.7 kn",     {359.5f, 40}, true,  15.7f, 0,  "current-12", 90,  -1,    0},
        {"across 180",          {179.8f, 40}, true,  0, 3.5f,   "current-03", 180, 179.3, -179.7},
    };
    // clang-format on
    for (const Case& c : cases) {
        GribModel m;
        GribPoints g = grid(c.origin, -1, 1.5f, 1, 1);
        g.add(c.current ? GribField::uCurrent : GribField::uWind, c.u * kKnot);
        g.add(c.current ? GribField::vCurrent : GribField::vWind, c.v * kKnot);
        m.gribPoints() = {g};
        m.setViewForecastDate(kDate);
        Folder folder;
        ASSERT_TRUE(KMLExport().exportGrib(folder.file("f.kml"), m)) << c.what;
        const std::vector<Overlay> o = overlays(slurp(folder.file("f.kml")));
        ASSERT_EQ(o.size(), c.href.empty() ? 0u : 1u) << c.what;
        if (o.empty())
            continue;
        EXPECT_EQ(o[0].href, "images/" + c.href + ".png") << c.what;
        EXPECT_NEAR(std::fabs(o[0].rotation), std::fabs(c.rotation), 1e-3) << c.what;
        EXPECT_NEAR(o[0].north, 40 + 1 / 3.0, 1e-6) << c.what;
        EXPECT_NEAR(o[0].south, 40 - 1 / 3.0, 1e-6) << c.what;
        EXPECT_NEAR(o[0].west, c.west, 1e-4) << c.what;
        EXPECT_NEAR(o[0].east, c.east, 1e-4) << c.what;
    }
}

TEST(GribKml, WavesAndDenseGrids) {
    GribModel m;
    GribPoints waves = grid({0, 0}, 1, 1, 1, 2);
    waves.addWaveDirection(45), waves.addWaveDirection(kGribMissingFloat);
    GribPoints dense = grid({0, 0}, 0.1f, 0.1f, 150, 150);
    for (int k = 0; k < 150 * 150; ++k)
        dense.adduWindComponent(10), dense.addvWindComponent(0);
    m.gribPoints() = {waves, dense};
    m.setViewForecastDate(kDate);
    Folder folder;
    ASSERT_TRUE(KMLExport().exportGrib(folder.file("f.kml"), m));
    const std::vector<Overlay> o = overlays(slurp(folder.file("f.kml")));
    ASSERT_EQ(o.size(), 1u + 75 * 75) << "every second row and column of the dense grid";
    EXPECT_EQ(o[0].href, "images/wave.png");
    EXPECT_NEAR(o[0].rotation, -45, 1e-4);
    EXPECT_NEAR(o[1].north - o[1].south, 4 * 0.1 / 3, 1e-5) << "symbols twice as large";
}

// The pixels of a PNG we wrote (RGBA, filter 0 on every row).
std::vector<unsigned char> pixels(const std::string& png, unsigned* width, unsigned* height) {
    auto be32 = [&](size_t at) {
        return unsigned((unsigned char)png[at]) << 24 | unsigned((unsigned char)png[at + 1]) << 16 |
               unsigned((unsigned char)png[at + 2]) << 8 | unsigned((unsigned char)png[at + 3]);
    };
    if (png.size() < 41 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return {};
    *width = be32(16), *height = be32(20);
    const size_t idat = png.find("IDAT");
    std::vector<unsigned char> raw(size_t(*height) * (1 + *width * 4));
    uLongf size = raw.size();
    if (idat == std::string::npos ||
        uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(png.data() + idat + 4),
                   be32(idat - 4)) != Z_OK)
        return {};
    return raw;
}

TEST(GribKml, TheImagesGoBesideTheDocumentEscapedWhereTheyAreNamed) {
    Folder folder;
    GribModel m = forecast();
    KMLExport kml;
    kml.setImageLocation("a&b/");
    ASSERT_TRUE(kml.exportGrib(folder.file("f.kml"), m));
    const std::string text = slurp(folder.file("f.kml"));
    EXPECT_EQ(count(text, "<href>a&amp;b/"), 120u + 4 + 2);
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder.path / "a&b"))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"wind-06.png", "current-02.png", "legend-wind.png",
                                            "legend-current.png"}));
    // The arrow points down (the flow of a north wind): its head is wide at the bottom.
    unsigned w = 0, h = 0;
    const std::vector<unsigned char> raw = pixels(slurp((folder.path / "a&b/wind-06.png").string()), &w, &h);
    ASSERT_EQ(raw.size(), 64u * (1 + 64 * 4));
    auto opaqueIn = [&](unsigned y) {
        unsigned n = 0;
        for (unsigned x = 0; x < w; ++x)
            n += raw[y * (1 + w * 4) + 1 + x * 4 + 3] > 128;
        return n;
    };
    EXPECT_GT(opaqueIn(40), 2 * opaqueIn(10));
    EXPECT_EQ(opaqueIn(63), 0u);
}

#define NEED(program)                                                                                        \
    if (!haveProgram(program))                                                                               \
    GTEST_SKIP() << program " is not installed here (CI installs it)"

TEST(GribKml, XmllintAndGpsbabelReadIt) {
    NEED("xmllint");
    NEED("gpsbabel");
    Folder folder;
    GribModel m = forecast();
    ASSERT_TRUE(KMLExport().exportGrib(folder.file("f.kml"), m));
    std::string output;
    EXPECT_EQ(run("xmllint --noout " + quoted(folder.file("f.kml")), &output), 0) << output;
    const Found found = gpsbabelRead("kml", folder.file("f.kml"));
    const GribPoints& air = m.gribPoints()[0];
    ASSERT_EQ(found.waypoints.size(), air.labels().size());
    for (size_t k = 0; k < air.labels().size(); ++k)
        EXPECT_EQ(found.waypoints[k].name, air.labels()[k].text);
    EXPECT_EQ(found.tracks.size() + found.routes.size(), air.contourPath().size());
}

Outcome navtool(const std::string& args, const std::string& environment = "") {
    Outcome o;
    o.status = run(environment + " '" MUX_BINARY_DIR "/bin/navtool' " + args, &o.output);
    return o;
}

TEST(GribKml, NavtoolWritesTheSample) {
    const std::string sample = std::string(MUX_SHARED_DATA) + "/grib/gfs-north-atlantic.grib1";
    if (!fs::exists(sample))
        GTEST_SKIP() << "no " << sample;
    Folder folder;
    Outcome o = navtool("grib kml " + quoted(sample) + " " + quoted(folder.file("f.kml")) +
                        " --date 2011-10-08T06:00Z");
    ASSERT_EQ(o.status, 0) << o.output;
    const std::string kml = slurp(folder.file("f.kml"));
    EXPECT_EQ(overlays(kml).size(), 1025u);
    EXPECT_GT(count(kml, "<LineString>"), 10u);
    EXPECT_TRUE(fs::exists(folder.path / "images/legend-wind.png"));
    o = navtool("grib kml " + quoted(sample) + " " + quoted(folder.file("g.kml")) + " --date 2011-10-09");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("no forecast for 2011-10-09T00:00:00Z"), std::string::npos) << o.output;
    EXPECT_EQ(navtool("grib kml " + quoted(sample) + " " + quoted(folder.file("g.txt"))).status, 2);
    EXPECT_EQ(
        navtool("grib kml " + quoted(folder.file("absent")) + " " + quoted(folder.file("g.kml"))).status, 1);
}

TEST(GribKml, NavtoolHandsARequestToTheDesktop) {
    Folder folder;
    spit(folder.file("xdg-open"), "#!/bin/sh\nprintf '%s' \"$*\" > \"$0.got\"\n");
    fs::permissions(folder.file("xdg-open"), fs::perms::owner_all);
    const Outcome o =
        navtool("grib request 10.5S 30.9W 20.2N 40E --send",
                "env -u DISPLAY -u WAYLAND_DISPLAY PATH=" + quoted(folder.path.string()) + ":\"$PATH\"");
#ifdef MUX_GRIB_MAILER
    ASSERT_EQ(o.status, 0) << o.output;
    for (int k = 0; k < 100 && !fs::exists(folder.file("xdg-open.got")); ++k)
        ::usleep(50000); // the opener runs detached
    EXPECT_EQ(slurp(folder.file("xdg-open.got")),
              "mailto:gribrequest@example.org?subject=GRIB%20Request&body="
              "GFS%3A10S%2C20N%2C30W%2C40E%7C0.5%2C0.5%7C0%2C12..72%7CWIND%2CPRMSL");
#else
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("--send is unavailable"), std::string::npos) << o.output;
#endif
    EXPECT_EQ(o.output.find("GFS:10S,20N,30W,40E|0.5,0.5|0,12..72|WIND,PRMSL\n"), 0u) << o.output;
}

} // namespace
