#include "tool/GribRenderWind.h"

#include "nav/grib/GribModel.h"
#include "nav/grib/GribThinning.h"

#include <QPolygonF>

#include <cmath>

namespace {

double firstLongitude(const GribPoints& g) {
    const double lon = std::remainder(double(g.positionOnGPS().x), 360.0);
    return lon >= 180.0 ? lon - 360.0 : lon;
}

void drawArrow(QPainter& p, QPointF centre, double towards, double length, double unit,
               const QColor& colour) {
    const double r = towards * M_PI / 180.0;
    const QPointF along(std::sin(r), -std::cos(r));
    const QPointF tip = centre + along * (length / 2), tail = centre - along * (length / 2);
    const QPointF side(-along.y(), along.x());
    p.setPen(QPen(colour, 1.6 * unit, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(tail, tip);
    QPolygonF head;
    head << tip << tip - along * 6 * unit + side * 3.2 * unit << tip - along * 6 * unit - side * 3.2 * unit;
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawPolygon(head);
}

// A barb: the staff points to where the wind comes from, the station at the point; pennants of
// 50 knots, full barbs of 10 and half barbs of 5 on the staff's clockwise side (north of the
// equator's convention, kept everywhere for one reading).
void drawBarb(QPainter& p, QPointF station, double from, float knots, double length, double unit,
              const QColor& colour) {
    const double r = from * M_PI / 180.0;
    const QPointF along(std::sin(r), -std::cos(r));  // towards the wind's source
    const QPointF side(along.y() * -1.0, along.x()); // clockwise of the staff
    const QPointF end = station + along * length;
    p.setPen(QPen(colour, 1.4 * unit, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(colour);
    p.drawEllipse(station, 1.6 * unit, 1.6 * unit);
    if (knots < 2.5f)
        return; // calm: the station alone
    p.drawLine(station, end);
    int rest = int(std::lround(knots / 5.0f)) * 5;
    const double gap = length * 0.16, feather = length * 0.42;
    QPointF at = end;
    for (; rest >= 50; rest -= 50, at -= along * gap * 1.3) {
        QPolygonF pennant;
        pennant << at << at - side * feather - along * gap * 0.5 << at - along * gap * 1.2;
        p.drawPolygon(pennant);
    }
    for (; rest >= 10; rest -= 10, at -= along * gap)
        p.drawLine(at, at - side * feather + along * gap * 0.5);
    if (rest >= 5) {
        if (at == end)
            at -= along * gap; // a lone half barb stands off the end
        p.drawLine(at, at - side * feather * 0.5 + along * gap * 0.25);
    }
}

QString degrees(double value, bool latitude) {
    const double v = latitude ? value : std::remainder(value, 360.0);
    return QString::number(std::fabs(v), 'f', 1) + (latitude ? (v >= 0 ? "N" : "S") : (v >= 0 ? "E" : "W"));
}

} // namespace

StrongestFlow drawFlow(QPainter& p, const RenderFrame& f, const GribModel& model, const GribPoints& g,
                       WindStyle style) {
    const bool wind = g.hasWind();
    const double cell = std::max(
        1e-6, std::min(std::fabs(g.longitudeIncrement()) * f.kx, std::fabs(g.latitudeIncrement()) * f.ky));
    const double spacing = (style == WindStyle::barbs ? 34.0 : 26.0) * f.unit;
    const unsigned stride = unsigned(std::max(1.0, std::ceil(spacing / cell)));
    const double length = std::min(22.0 * f.unit, cell * stride * 0.85);
    auto speed = [&](size_t k) {
        const float u = wind ? g.uWindComponent(k) : g.uCurrentComponent(k);
        const float v = wind ? g.vWindComponent(k) : g.vCurrentComponent(k);
        return GribPoints::isMissing(u) || GribPoints::isMissing(v) ? NAN : GribPoints::speed(u, v);
    };
    GribBlocks blocks;
    blocks.rows = stride;
    blocks.columnsAt = [stride](unsigned) { return stride; };
    StrongestFlow strongest;
    const double lon0 = firstLongitude(g);
    for (size_t k : strongestOfBlocks(g.latitudeCount(), g.longitudeCount(), blocks, speed)) {
        const float knots = speed(k);
        const std::optional<BeaufortColor> c = model.beaufortColor(knots);
        if (!c)
            continue; // calm: no direction worth drawing
        const QColor colour = QColor::fromRgbF(c->red, c->green, c->blue);
        const double lon = lon0 + double(k % g.longitudeCount()) * g.longitudeIncrement();
        const double lat = g.positionOnGPS().y + double(k / g.longitudeCount()) * g.latitudeIncrement();
        const float from = wind ? g.windDirection(k) : g.currentDirection(k);
        if (style == WindStyle::barbs)
            drawBarb(p, f.at(lon, lat), from, knots, length * 1.2, f.unit, colour);
        else
            drawArrow(p, f.at(lon, lat), from + 180.0, length, f.unit, colour);
        if (knots > strongest.knots)
            strongest = {knots, lon, lat};
    }
    return strongest;
}

QString describeStrongest(const GribModel& model, const StrongestFlow& s, bool wind) {
    const QString force = wind ? " (force " + QString::number(model.beaufortIndex(s.knots)) + ")" : QString();
    return QString::number(s.knots, 'f', 1) + " kn" + force + " at " + degrees(s.latitude, true) + " " +
           degrees(s.longitude, false);
}
