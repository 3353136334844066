// navtool grib render: the picture shows what it must (not checked pixel by pixel).

#include "nav/grib/GribModel.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <map>
#include <set>

namespace {

using namespace testing_support;

// Beaufort classes whose exact colour shows (four pixels or more) in a band of rows.
std::set<int> beaufortClassesIn(const QImage& image, int top, int bottom) {
    std::map<QRgb, int> classOf;
    int k = 0;
    const GribModel model; // the scale lives in the model: keep it for the loop
    for (const BeaufortScale& b : model.beaufortScale())
        classOf[qRgb(qRound(b.color.red * 255), qRound(b.color.green * 255), qRound(b.color.blue * 255))] =
            k++;
    std::map<int, int> counts;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (auto c = classOf.find(image.pixel(x, y) | 0xff000000); c != classOf.end())
                ++counts[c->second];
    std::set<int> classes;
    for (const auto& [c, n] : counts)
        if (n >= 4)
            classes.insert(c);
    return classes;
}

// Pixels that are near white (contour lines and their labels) or light grey (text).
int lightPixels(const QImage& image, QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) > 200 && QColor(image.pixel(x, y)).hsvSaturation() < 40;
    return n;
}

TEST(GribRender, NorthAtlanticSample) {
    const std::string file = MUX_SHARED_DATA "/grib/gfs-north-atlantic.grib1";
    if (!fs::exists(file))
        GTEST_SKIP() << "no sample file " << file;
    const TempFolder folder;
    const std::string out = folder.file("gfs.png"), args = "grib render '" + file + "' '" + out + "'";
    ASSERT_EQ(navtool(args + " --size 700x480 --date 2011-10-08T06:00Z").status, 0);
    const QImage image(QString::fromStdString(out));
    ASSERT_EQ(image.size(), QSize(700, 480));
    EXPECT_GT(lightPixels(image, QRect(0, 0, 700, 50)), 300);        // the title
    EXPECT_GT(lightPixels(image, QRect(0, 480 - 64, 700, 26)), 100); // longitude labels
    EXPECT_GT(lightPixels(image, QRect(60, 70, 620, 330)), 3000);    // isobars and their labels
    // Winds of this forecast reach force 8 and, at one point, 12; nothing in between. Thinning
    // keeps the strongest point of each block, so the hurricane point shows.
    const std::set<int> shown = beaufortClassesIn(image, 64, 480 - 66);
    EXPECT_GE(shown.size(), 5u);
    EXPECT_TRUE(shown.count(12));
    EXPECT_TRUE(shown.count(8));
    for (int absent : {9, 10, 11})
        EXPECT_FALSE(shown.count(absent)) << absent;
    EXPECT_EQ(beaufortClassesIn(image, 480 - 40, 480).size(), 13u); // the legend
    EXPECT_EQ(navtool(args + " --date 2011-10-09T00:00Z").status, 1);
}

// Pixels of the shore's colour inside the map.
int shorePixels(const QImage& image) {
    int n = 0;
    for (int y = 80; y < image.height() - 80; ++y)
        for (int x = 80; x < image.width() - 40; ++x)
            n += image.pixel(x, y) == qRgb(238, 214, 160);
    return n;
}

TEST(GribRender, CoastlinesStepsAndDamage) {
    const std::string file = MUX_SHARED_DATA "/grib/gfs-north-atlantic.grib1";
    if (!fs::exists(file))
        GTEST_SKIP() << "no sample file " << file;
    const TempFolder folder;
    const std::string out = folder.file("gfs.png");
    const Outcome plain = navtool("grib render '" + file + "' '" + out + "' --wind barbs",
                                  "env MUX_COASTLINE_DIR=" + quoted(folder.file("none")));
    EXPECT_EQ(plain.status, 0) << plain.output;
    EXPECT_NE(plain.output.find("drawing without coastlines: no coastline data"), std::string::npos);
    EXPECT_NE(plain.output.find("gmt-gshhg-low"), std::string::npos) << plain.output;
    EXPECT_EQ(shorePixels(QImage(QString::fromStdString(out))), 0);
    if (fs::exists("/usr/share/gmt-gshhg/binned_GSHHS_c.nc")) {
        ASSERT_EQ(navtool("grib render '" + file + "' '" + out + "'").status, 0);
        EXPECT_GT(shorePixels(QImage(QString::fromStdString(out))),
                  500); // America's east coast, Europe's west
    }
    // One picture per step, named by its time.
    const Outcome all = navtool("grib render '" + file + "' --all " + quoted(folder.file("steps")));
    EXPECT_EQ(all.status, 0) << all.output;
    EXPECT_TRUE(fs::exists(folder.file("steps/gfs-north-atlantic-20111008-0600.png"))) << all.output;
    // A file cut inside its second message has only u wind: nothing to draw, and it says why.
    const std::string bytes = slurp(file);
    const size_t first = size_t(uint8_t(bytes[4])) << 16 | size_t(uint8_t(bytes[5])) << 8 | uint8_t(bytes[6]);
    spit(folder.file("cut.grib"), bytes.substr(0, first + 100));
    const Outcome cut = navtool("grib render " + quoted(folder.file("cut.grib")) + " " + quoted(out));
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.output.find("ends inside message 2"), std::string::npos) << cut.output;
    EXPECT_NE(cut.output.find("nothing to draw"), std::string::npos) << cut.output;
}

} // namespace
