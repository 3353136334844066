// Drawing helpers: a path holds a rectangle only if all its samples are inside, on any numbers;
// a rounded rectangle keeps its edges and cuts its corners.

#include "support/OSXUtilUI.h"

#include <QApplication>
#include <QPainterPath>
#include <QRectF>
#include <QSize>
#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>

namespace {

TEST(Drawing, PathContainsRectSamplesInsideOnly) {
    QPainterPath square;
    square.addRect(0, 0, 1000, 1000);
    QPainterPath circle;
    circle.addEllipse(QPointF(500, 500), 300, 300);
    struct Case {
        const QPainterPath& path;
        QRectF rect;
        bool inside;
    } cases[] = {
        {square, {10, 10, 100, 100}, true},
        {square, {900, 900, 200, 50}, false}, // sticks out on the right
        {circle, {450, 450, 100, 100}, true},
        {circle, {200, 200, 600, 600}, false}, // corners outside the circle
        {square, {10, 10, 0, 0}, true},        // no samples at all
        {square, {10, 10, NAN, 5}, true},
        {square, {1e20, 1e20, 10, 10}, true}, // too far out to step through: returns, no samples
        {square, {0, 0, 1e300, 10}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OSXUtil::pathContainsRect(c.path, c.rect), c.inside)
            << c.rect.x() << "," << c.rect.y() << " " << c.rect.width() << "x" << c.rect.height();
}

TEST(Drawing, RoundedRectKeepsEdgesAndCutsCorners) {
    const QRectF rect(0, 0, 200, 100);
    const QPainterPath path = OSXUtil::bezierPathWithRoundedRect(rect, 20, 40);
    EXPECT_EQ(path.boundingRect(), rect);
    // The middle, an edge's middle, inside the a arc; the corners of radius a and b, outside the b arc.
    for (QPointF inside : {QPointF(100, 50), QPointF(100, 2), QPointF(20, 20)})
        EXPECT_TRUE(path.contains(inside)) << inside.x() << "," << inside.y();
    for (QPointF outside : {QPointF(2, 2), QPointF(196, 4), QPointF(190, 10)})
        EXPECT_FALSE(path.contains(outside)) << outside.x() << "," << outside.y();
    EXPECT_TRUE(OSXUtil::bezierPathWithRoundedRect(rect, 0, 0).contains(QPointF(1, 1)));
}

} // namespace
