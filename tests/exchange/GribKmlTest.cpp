// The forecast as KML: a folder per grid on view, symbols, legend, contours, labels, images, and
// what xmllint, gpsbabel and navtool make of it.

#include "Helpers.h"
#include "exchange/KMLExport.h"
#include "nav/grib/GribModel.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace {

using namespace exchange_test;

const GribDate kDate = *parseIsoDate("2011-10-08T06:00Z");
constexpr float kKnot = 1.0f / 1.9438f; // m/s

GribPoints grid(NavPoint origin, unsigned rows, unsigned columns, GribDate date = kDate) {
    GribPoints g;
    g.setPositionOnGPS(origin), g.setIncrement(-1, 1.5f), g.setCount(rows, columns), g.setForecastDate(date);
    return g;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Each ground overlay of the document: "image north south east west rotation".
std::vector<std::string> overlays(const std::string& kml) {
    static const std::regex pattern("<GroundOverlay>\n<Icon>\n<href>([^<]*)</href>\n</Icon>\n<LatLonBox>\n"
                                    "<north>([^<]*)</north>\n<south>([^<]*)</south>\n<east>([^<]*)</east>\n"
                                    "<west>([^<]*)</west>\n<rotation>([^<]*)</rotation>");
    std::vector<std::string> out;
    for (std::sregex_iterator m(kml.begin(), kml.end(), pattern), end; m != end; ++m)
        out.push_back(m->format("$1 $2 $3 $4 $5 $6"));
    return out;
}

// The document for grids of one forecast time; empty when nothing was written.
std::string exported(std::vector<GribPoints> grids) {
    GribModel m;
    m.gribPoints() = std::move(grids);
    m.setViewForecastDate(kDate);
    Folder folder;
    return KMLExport().exportGrib(folder.file("f.kml"), m) ? slurp(folder.file("f.kml")) : "";
}

// Opaque pixels in each row of a 64 x 64 RGBA PNG we wrote (filter 0 on every row, one IDAT chunk).
std::vector<unsigned> opaqueRows(const std::string& png) {
    const size_t idat = png.find("IDAT"), row = 1 + 64 * 4;
    if (idat == std::string::npos)
        return {};
    std::vector<unsigned char> raw(64 * row);
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(&png[idat + 4]),
                   png.size() - idat - 4) != Z_OK)
        return {};
    std::vector<unsigned> rows(64);
    for (size_t k = 0; k < 64 * 64; ++k)
        rows[k / 64] += raw[k / 64 * row + 1 + k % 64 * 4 + 3] > 128;
    return rows;
}

// A low centred in a 12 x 10 grid with wind from the north (force 6), a grid of current at the
// same time and one six hours later.
GribModel forecast() {
    GribModel m;
    GribPoints air = grid({-30, 60}, 10, 12), sea = grid({-30, 60}, 2, 2),
               later = grid({-30, 60}, 2, 2, kDate + std::chrono::hours(6));
    for (unsigned k = 0; k < 120; ++k) {
        air.addPressure(100000.0f + 150.0f * std::hypot(float(k % 12) - 5.5f, float(k / 12) - 4.5f));
        air.adduWindComponent(0), air.addvWindComponent(-25 * kKnot);
    }
    for (int k = 0; k < 4; ++k) {
        sea.adduCurrentComponent(2 * kKnot), sea.addvCurrentComponent(0);
        later.adduCurrentComponent(5 * kKnot), later.addvCurrentComponent(0);
    }
    m.gribPoints() = {air, sea, later};
    m.setViewForecastDate(kDate);
    return m;
}

// The images go beside the document, under a location escaped where it is named.
TEST(GribKml, AFolderPerGridOfTheTimeOnViewWithLegendContoursAndLabels) {
    Folder folder;
    GribModel m = forecast();
    KMLExport exporter;
    exporter.setImageLocation("a&b/");
    ASSERT_TRUE(exporter.exportGrib(folder.file("f.kml"), m));
    const std::string kml = slurp(folder.file("f.kml"));
    EXPECT_EQ(count(kml, "<Folder>\n<name>Oct-08-11 06:00</name>\n<visibility>1</visibility>\n"), 2u);
    EXPECT_EQ(count(kml, "<href>a&amp;b/wind-06.png</href>"), 120u);
    EXPECT_EQ(count(kml, "<href>a&amp;b/current-02.png</href>"), 4u);
    EXPECT_EQ(count(kml, "<name>Corvane</name>\n<Icon>\n<href>a&amp;b/legend-wind.png</href>"), 1u);
    EXPECT_EQ(count(kml, "legend-current.png"), 1u);
    EXPECT_EQ(run("ls " + quoted(folder.file("a&b"))).output,
              "current-02.png\nlegend-current.png\nlegend-wind.png\nwind-06.png\n");
    // The arrow points down (the flow of a north wind): its head is wide at the bottom.
    const std::vector<unsigned> rows = opaqueRows(slurp(folder.path / "a&b/wind-06.png"));
    ASSERT_EQ(rows.size(), 64u);
    EXPECT_GT(rows[40], 2 * rows[10]) << rows[40] << " " << rows[10] << " " << rows[63];
    EXPECT_EQ(rows[63], 0) << rows[40] << " " << rows[10] << " " << rows[63];

    const GribPoints& air = m.gribPoints()[0];
    ASSERT_FALSE(air.contourPath().empty());
    ASSERT_FALSE(air.labels().empty());
    EXPECT_EQ(count(kml, "<color>FFFFFFFF</color>\n<width>2</width>"), air.contourPath().size());
    // Lines lie on the grid itself: -30..-13.5 east, 51..60 north.
    const std::regex point(R"(\n(-?[0-9.]+),(-?[0-9.]+),0(?=\n))");
    for (std::sregex_iterator p(kml.begin(), kml.end(), point), end; p != end; ++p) {
        const double lon = std::stod((*p)[1]), lat = std::stod((*p)[2]);
        EXPECT_GE(lon, -30) << (*p)[0];
        EXPECT_LE(lon, -13.5) << (*p)[0];
        EXPECT_GE(lat, 51) << (*p)[0];
        EXPECT_LE(lat, 60) << (*p)[0];
    }
    if (haveProgram("xmllint") && haveProgram("gpsbabel")) { // CI installs both
        const Outcome lint = run("xmllint --noout " + quoted(folder.file("f.kml")));
        EXPECT_EQ(lint.status, 0) << lint.output;
        const Found found = gpsbabelRead("kml", folder.file("f.kml"));
        ASSERT_EQ(found.waypoints.size(), air.labels().size());
        for (size_t k = 0; k < air.labels().size(); ++k)
            EXPECT_EQ(found.waypoints[k].name, air.labels()[k].text);
        EXPECT_EQ(found.tracks.size() + found.routes.size(), air.contourPath().size());
    }

    m.setViewForecastDate(kDate + std::chrono::hours(1));
    EXPECT_FALSE(KMLExport().exportGrib(folder.file("none.kml"), m));
    EXPECT_FALSE(fs::exists(folder.file("none.kml")));
}

// One cell each, 1.5 degrees wide, a third of a degree high; waves have no strength; rotation
// within -180..180. A dense grid gets a symbol on every k-th row and column, k times as large.
TEST(GribKml, SymbolsTurnedToTheirDirection) {
    const GribField wu = GribField::uWind, wv = GribField::vWind, cu = GribField::uCurrent,
                    cv = GribField::vCurrent, wave = GribField::waveDirection;
    const struct {
        NavPoint origin;
        GribField u, v;
        float x, y; // knots, or a wave direction
        const char* overlay;
    } cases[] = {
        // clang-format off
        {{10, 40}, wu, wv, 0, -25, "wind-06.png 40.333333 39.666667 10.500000 9.500000 0.000000"},
        {{10, 40}, wu, wv, -10, 0, "wind-03.png 40.333333 39.666667 10.500000 9.500000 -90.000000"},
        {{10, 40}, wu, wv, 0.05f, 0, ""}, // calm
        {{359.5f, 40}, cu, cv, 15.7f, 0, "current-12.png 40.333333 39.666667 0.000000 -1.000000 90.000000"},
        {{179.8f, 40}, cu, cv, 0, 3.5f, "current-03.png 40.333333 39.666667 -179.699997 179.300003 180.000000"},
        {{10, 40}, wave, wave, 45, 0, "wave.png 40.333333 39.666667 10.500000 9.500000 -45.000000"},
        {{10, 40}, wave, wave, kGribMissingFloat, 0, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        GribPoints g = grid(c.origin, 1, 1);
        g.add(c.u, c.u == wave ? c.x : c.x * kKnot);
        if (c.v != wave)
            g.add(c.v, c.y * kKnot);
        std::vector<std::string> expected;
        if (*c.overlay)
            expected.push_back("images/" + std::string(c.overlay));
        EXPECT_EQ(overlays(exported({g})), expected);
    }
    // A grid beyond the symbol limit keeps blocks of about equal area on the earth, each shown by
    // its strongest point: a world of 2.5 degrees loses its polar crowd, not three quarters of
    // its arrows, and never its one hurricane point.
    GribPoints world = grid({0, 90}, 73, 144);
    world.setIncrement(-2.5f, 2.5f);
    for (int k = 0; k < 73 * 144; ++k)
        world.adduWindComponent(k == 40 * 144 + 77 ? 66.5f * kKnot : 10 * kKnot), world.addvWindComponent(0);
    const std::vector<std::string> o = overlays(exported({world}));
    EXPECT_LE(o.size(), KMLGribExport::kMaxSymbols) << o.size();
    EXPECT_GT(o.size(), 73u * 144 / 2) << o.size();
    EXPECT_EQ(std::count_if(o.begin(), o.end(),
                            [](const std::string& x) { return x.rfind("images/wind-12", 0) == 0; }),
              1);
    EXPECT_TRUE(exported({grid({0, 0}, 2, 2)}).empty()) << "a grid with nothing to draw writes nothing";
    GribPoints halfWind = grid({0, 0}, 1, 1);
    halfWind.adduWindComponent(5); // a file cut before the v component
    EXPECT_TRUE(exported({halfWind}).empty());
}

TEST(GribKml, NavtoolWritesTheSample) {
    const std::string sample = quoted(std::string(MUX_SHARED_DATA) + "/grib/gfs-north-atlantic.grib1");
    if (!fs::exists(MUX_SHARED_DATA "/grib/gfs-north-atlantic.grib1"))
        GTEST_SKIP() << "no " << sample;
    Folder folder;
    const std::string kml = quoted(folder.file("f.kml"));
    ASSERT_EQ(navtool("grib kml " + sample + " " + kml + " --date 2011-10-08T06:00Z").status, 0);
    const std::string text = slurp(folder.file("f.kml"));
    EXPECT_EQ(overlays(text).size(), 41 * 25);
    EXPECT_GT(count(text, "<LineString>"), 10);
    // Contour labels are text on the map, not pins.
    EXPECT_EQ(count(text, "<IconStyle>\n<scale>0</scale>"), count(text, "<Point>"));
    EXPECT_GT(count(text, "<Point>"), 10u);
    EXPECT_TRUE(fs::exists(folder.path / "images/legend-wind.png"));
    const Outcome o = navtool("grib kml " + sample + " " + kml + " --date 2011-10-09");
    EXPECT_EQ(o.status, 1) << o.output;
    EXPECT_NE(o.output.find("no forecast for 2011-10-09T00:00:00Z"), std::string::npos) << o.output;
    EXPECT_EQ(navtool("grib kml " + sample + " " + quoted(folder.file("g.txt"))).status, 2);
    // The contoured field is chosen; one the file lacks leaves the wind alone in the folder.
    ASSERT_EQ(navtool("grib kml " + sample + " " + kml + " --field height500").status, 0);
    const std::string heights = slurp(folder.file("f.kml"));
    EXPECT_NE(heights.find("<name>5"), std::string::npos);
    EXPECT_EQ(heights.find("<name>1012</name>"), std::string::npos);
    EXPECT_EQ(navtool("grib kml " + sample + " " + kml + " --field snow").status, 2);
    // The model's own export is this one, once installed.
    GribModel model;
    ASSERT_TRUE(model.loadGrib(MUX_SHARED_DATA "/grib/gfs-north-atlantic.grib1"));
    KMLExport::installGribExport();
    ASSERT_TRUE(model.kmlExportGrib(folder.file("m.kml")));
    const std::string own = slurp(folder.file("m.kml")); // labels fall by the process's own count
    EXPECT_EQ(overlays(own), overlays(text));
    EXPECT_EQ(count(own, "<LineString>"), count(text, "<LineString>"));
    EXPECT_EQ(navtool("grib kml " + quoted(folder.file("absent")) + " " + kml).status, 1);
}

TEST(GribKml, NavtoolHandsARequestToTheDesktop) {
    Folder folder;
    // The opener runs detached: it writes the address into a pipe the test reads to its end, and
    // first lets go of navtool's output so the run can end while it waits for the reader.
    spit(folder.file("xdg-open"),
         "#!/bin/sh\nexec </dev/null >/dev/null 2>&1\nprintf '%s' \"$*\" > \"$0.got\"\n");
    fs::permissions(folder.file("xdg-open"), fs::perms::owner_all);
    ASSERT_EQ(::mkfifo(folder.file("xdg-open.got").c_str(), 0600), 0);
    const Outcome o =
        navtool("grib request 10.5S 30.9W 20.2N 40E --send --to grib@service.test",
                "env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME=" + quoted(folder.path.string()) +
                    " PATH=" + quoted(folder.path.string()) + ":\"$PATH\"");
#ifdef MUX_GRIB_MAILER
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_EQ(run("timeout 60 cat " + quoted(folder.file("xdg-open.got"))).output,
              "mailto:grib@service.test?subject=GRIB%20Request&body="
              "GFS%3A10S%2C20N%2C30W%2C40E%7C0.5%2C0.5%7C0%2C12..72%7CWIND%2CPRMSL");
#else
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("--send is unavailable"), std::string::npos) << o.output;
#endif
}

} // namespace
