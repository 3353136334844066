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
    // Winds of this forecast reach force 8 and, at one point, 12; nothing in between.
    const std::set<int> shown = beaufortClassesIn(image, 64, 480 - 66);
    EXPECT_GE(shown.size(), 5u);
    for (int absent : {9, 10, 11})
        EXPECT_FALSE(shown.count(absent)) << absent;
    EXPECT_EQ(beaufortClassesIn(image, 480 - 30, 480).size(), 13u); // the legend
    EXPECT_EQ(navtool(args + " --date 2011-10-09T00:00Z").status, 1);
}

} // namespace
