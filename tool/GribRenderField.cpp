#include "tool/GribRenderField.h"

#include "nav/grib/Contour.h"
#include "nav/grib/GribModel.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// Blue through teal and sand to red.
QColor ramp(double t) {
    static const QColor stops[] = {QColor(40, 70, 150), QColor(40, 120, 140), QColor(120, 150, 110),
                                   QColor(170, 140, 90), QColor(160, 70, 60)};
    t = std::clamp(t, 0.0, 1.0) * 4.0;
    const int k = std::min(3, int(t));
    const double w = t - k;
    const QColor& a = stops[k];
    const QColor& b = stops[k + 1];
    return QColor(int(a.red() + (b.red() - a.red()) * w), int(a.green() + (b.green() - a.green()) * w),
                  int(a.blue() + (b.blue() - a.blue()) * w));
}

// A label where it fits whole inside the map and keeps its distance from the labels before it.
bool placeText(QPainter& p, const RenderFrame& f, QPointF at, const QString& text, std::vector<QRectF>& taken,
               const QColor& colour) {
    const QFontMetricsF metrics(p.font());
    const double width = metrics.horizontalAdvance(text);
    const QRectF box(at.x() - width / 2 - 2, at.y() - metrics.ascent() / 2 - 2, width + 4,
                     metrics.ascent() + 4);
    if (!f.area.contains(box))
        return false;
    const QRectF room = box.adjusted(-28 * f.unit, -18 * f.unit, 28 * f.unit, 18 * f.unit);
    for (const QRectF& other : taken)
        if (room.intersects(other))
            return false;
    taken.push_back(box);
    QPainterPath path;
    path.addText(QPointF(box.left() + 2, box.bottom() - 2), p.font(), text);
    p.strokePath(path, QPen(kRenderSea, 3 * f.unit));
    p.fillPath(path, colour);
    return true;
}

} // namespace

void shadeField(QPainter& p, const RenderFrame& f, const GribContourField& field) {
    float lo = 1e30f, hi = -1e30f;
    for (float v : field.values)
        if (v > kContourMissing)
            lo = std::min(lo, v), hi = std::max(hi, v);
    if (!(hi > lo))
        return;
    // No more cells than about two a pixel: a finer field looks the same and costs its size.
    const double across = std::fabs(field.longitudeStep) * f.kx, down = field.latitudeStep * f.ky;
    const int step = std::max(1, int(std::floor(0.5 / std::max(1e-9, std::min(across, down)))));
    const int nx = (field.NX + step - 1) / step, ny = (field.NY + step - 1) / step;
    QImage cells(nx, ny, QImage::Format_ARGB32);
    for (int row = 0; row < ny; ++row) {
        QRgb* line = reinterpret_cast<QRgb*>(cells.scanLine(ny - 1 - row));
        for (int i = 0; i < nx; ++i) {
            const float v =
                field.values[size_t(row) * size_t(step) * size_t(field.NX) + size_t(i) * size_t(step)];
            line[i] = v > kContourMissing ? ramp((v - lo) / (hi - lo)).rgba() : 0;
        }
    }
    // Each value at its point: the image's pixel centres on the grid points.
    const double lonStep = field.longitudeStep * step, latStep = field.latitudeStep * step;
    const double west = field.firstLongitude - lonStep / 2;
    const double east = west + lonStep * nx;
    const double north = field.southLatitude + latStep * (ny - 0.5);
    const double south = field.southLatitude - latStep / 2;
    const QRectF target = QRectF(f.at(std::min(west, east), north), f.at(std::max(west, east), south));
    p.save();
    p.setOpacity(0.35);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, lonStep < 0 ? cells.mirrored(true, false) : cells);
    p.restore();
}

void drawShore(QPainter& p, const RenderFrame& f, const std::vector<GribPolyline>& lines) {
    p.setPen(QPen(kRenderShore, std::max(0.8, 1.1 * f.unit)));
    p.setBrush(Qt::NoBrush);
    for (const GribPolyline& line : lines) {
        QPolygonF polygon;
        polygon.reserve(qsizetype(line.size()));
        for (const NavPoint& q : line)
            polygon << f.at(q.x, q.y);
        p.drawPolyline(polygon);
    }
}

void drawContours(QPainter& p, const RenderFrame& f, GribModel& model, GribPoints& g,
                  std::vector<QRectF>& taken) {
    model.contourGrid(g);
    p.setPen(QPen(kRenderContour, 1.3 * f.unit));
    for (const GribPolyline& line : g.contourPath()) {
        QPolygonF polygon;
        for (const NavPoint& q : line)
            polygon << f.at(q.x, q.y);
        p.drawPolyline(polygon);
    }
    p.setFont(renderFont(10 * f.unit, true));
    for (const GribLabel& label : g.labels())
        placeText(p, f, f.at(label.position.x, label.position.y), QString::fromStdString(label.text), taken,
                  kRenderText);
}

std::vector<PressureCentre> pressureCentres(const GribContourField& field, int radius, int stride) {
    std::vector<PressureCentre> centres;
    const int nx = field.NX, ny = field.NY, s = std::max(1, stride);
    auto at = [&](int i, int j) { return field.values[size_t(j) * size_t(nx) + size_t(i)]; };
    // On every stride-th point: a window of radius points of the thinned grid.
    const int reach = radius * s;
    for (int j = reach; j < ny - reach; j += s)
        for (int i = reach; i < nx - reach; i += s) {
            const float v = at(i, j);
            if (!(v > kContourMissing))
                continue;
            bool high = true, low = true;
            for (int dj = -reach; dj <= reach && (high || low); dj += s)
                for (int di = -reach; di <= reach && (high || low); di += s) {
                    if (di == 0 && dj == 0)
                        continue;
                    const float w = at(i + di, j + dj);
                    // Ties go to the first point in the scan, so a flat top gets one mark.
                    const bool before = dj < 0 || (dj == 0 && di < 0);
                    high = high && w > kContourMissing && (before ? v > w : v >= w);
                    low = low && w > kContourMissing && (before ? v < w : v <= w);
                }
            if (high != low)
                centres.push_back({high, field.firstLongitude + i * field.longitudeStep,
                                   field.southLatitude + j * field.latitudeStep, v});
        }
    return centres;
}

void drawCentres(QPainter& p, const RenderFrame& f, const std::vector<PressureCentre>& centres,
                 std::vector<QRectF>& taken) {
    for (const PressureCentre& c : centres) {
        const QPointF at = f.at(c.longitude, c.latitude);
        const QColor colour = c.high ? QColor(120, 170, 255) : QColor(255, 110, 100);
        p.setFont(renderFont(20 * f.unit, true));
        if (!placeText(p, f, at, c.high ? "H" : "L", taken, colour))
            continue;
        // The value right under its letter, which keeps others away from both.
        const QString value = QString::number(std::lround(c.hectopascals));
        p.setFont(renderFont(10 * f.unit, true));
        QPainterPath path;
        const double width = QFontMetricsF(p.font()).horizontalAdvance(value);
        path.addText(at + QPointF(-width / 2, 20 * f.unit), p.font(), value);
        p.strokePath(path, QPen(kRenderSea, 3 * f.unit));
        p.fillPath(path, colour);
    }
}
