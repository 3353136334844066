// navtool grib render: the picture shows what it must (not checked pixel by pixel).

#include "nav/grib/GribModel.h"
#include "tests/grib/GribBuilder.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <map>
#include <set>

namespace {

const std::string kSamples = MUX_SHARED_DATA "/grib";
int render(const std::string& args) {
    return testing_support::navtool("grib render " + args).status;
}

// Beaufort classes whose exact colour shows in a band of rows.
std::set<int> beaufortClassesIn(const QImage& image, int top, int bottom) {
    const GribModel model;
    std::vector<QRgb> colours;
    for (const BeaufortScale& b : model.beaufortScale())
        colours.push_back(
            qRgb(qRound(b.color.red * 255), qRound(b.color.green * 255), qRound(b.color.blue * 255)));
    std::map<int, int> counts;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            for (int k = 0; k < int(colours.size()); ++k)
                if ((image.pixel(x, y) & 0xffffff) == (colours[size_t(k)] & 0xffffff))
                    ++counts[k];
    std::set<int> classes;
    for (const auto& [k, n] : counts)
        if (n >= 4)
            classes.insert(k);
    return classes;
}

int saturation(QRgb c) {
    return QColor(c).hsvSaturation();
}

// Pixels that are near white (contour lines and their labels) or light (text).
int lightPixels(const QImage& image, QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) > 200 && saturation(image.pixel(x, y)) < 40;
    return n;
}

TEST(GribRender, NorthAtlanticSample) {
    const std::string file = kSamples + "/gfs-north-atlantic.grib1";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no sample files in " << kSamples;
    const testing_support::TempFolder folder;
    const std::string out = folder.file("gfs.png");
    ASSERT_EQ(render("'" + file + "' '" + out + "' --size 700x480 --date 2011-10-08T06:00Z"), 0);
    const QImage image(QString::fromStdString(out));
    ASSERT_EQ(image.size(), QSize(700, 480));
    EXPECT_GT(lightPixels(image, QRect(0, 0, 700, 50)), 300);        // the title
    EXPECT_GT(lightPixels(image, QRect(0, 480 - 64, 700, 26)), 100); // longitude labels
    EXPECT_GT(lightPixels(image, QRect(60, 70, 620, 330)), 3000);    // isobars and their labels
    // Winds of this forecast reach force 8 and, at one point, 12; nothing in between.
    const std::set<int> shown = beaufortClassesIn(image, 64, 480 - 66);
    EXPECT_GE(shown.size(), 5u);
    for (int absent : {9, 10, 11})
        EXPECT_FALSE(shown.count(absent)) << absent;
    EXPECT_EQ(beaufortClassesIn(image, 480 - 30, 480).size(), 13u); // the legend
    EXPECT_EQ(render("'" + file + "' '" + out + "' --date 2011-10-09T00:00Z"), 1);
}

TEST(GribRender, UniformWindShowsItsOneClass) {
    GribSpec wind;
    wind.ni = 12;
    wind.nj = 8;
    wind.parameter = 34; // v, 12.86 m/s: 25 knots from the south, force 6
    wind.reference = 12.86;
    wind.bits = 0;
    GribSpec calm = wind;
    calm.parameter = 33;
    calm.reference = 0;
    GribSpec pressure = wind;
    pressure.parameter = 2;
    pressure.bits = 16;
    std::vector<double> pa;
    for (int k = 0; k < 96; ++k)
        pa.push_back(100000 + 40 * (k % 12) * (k / 12));
    packValues(pressure, pa);
    const testing_support::TempFolder folder;
    const std::string both = folder.file("wind.grib"), out = folder.file("wind.png");
    testing_support::spit(both,
                          asText(buildGrib(calm)) + asText(buildGrib(wind)) + asText(buildGrib(pressure)));
    ASSERT_EQ(render(both + " " + out), 0);
    QImage image(QString::fromStdString(out));
    EXPECT_EQ(image.size(), QSize(900, 600));
    EXPECT_EQ(beaufortClassesIn(image, 64, 600 - 66), std::set<int>{6});
    EXPECT_GT(lightPixels(image, QRect(60, 70, 800, 460)), 500);

    const std::string still = folder.file("pressure.grib");
    testing_support::spit(still, asText(buildGrib(pressure)));
    ASSERT_EQ(render(still + " " + out), 0);
    image.load(QString::fromStdString(out));
    EXPECT_TRUE(beaufortClassesIn(image, 0, 600).empty()); // no arrows, no legend
    EXPECT_GT(lightPixels(image, QRect(60, 70, 800, 460)), 500);
}

} // namespace
