#include "tool/GribRender.h"

#include "nav/grib/GribContours.h"
#include "nav/grib/GribModel.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <unordered_map>

namespace {

const QColor kBackground(11, 22, 34);
const QColor kSea(22, 50, 79);
const QColor kGraticule(255, 255, 255, 45);
const QColor kText(230, 236, 242);
const QColor kContour(255, 255, 255, 215);

struct Bounds {
    double west = 1e9, east = -1e9, south = 1e9, north = -1e9;
    bool empty() const { return west > east; }
};

double firstLongitude(const GribPoints& g) {
    double lon = std::remainder(double(g.positionOnGPS().x), 360.0);
    return lon >= 180.0 ? lon - 360.0 : lon;
}

void include(Bounds& b, const GribPoints& g) {
    const double lon0 = firstLongitude(g);
    const double lon1 = lon0 + double(g.longitudeCount() - 1) * g.longitudeIncrement();
    const double lat0 = g.positionOnGPS().y;
    const double lat1 = lat0 + double(g.latitudeCount() - 1) * g.latitudeIncrement();
    b.west = std::min({b.west, lon0, lon1});
    b.east = std::max({b.east, lon0, lon1});
    b.south = std::min({b.south, lat0, lat1});
    b.north = std::max({b.north, lat0, lat1});
}

// Degrees to pixels: equirectangular, shrunk across by the cosine of the middle latitude.
struct Frame {
    Bounds b;
    QRectF area;
    double kx = 1, ky = 1;
    QPointF at(double lon, double lat) const {
        return {area.left() + (lon - b.west) * kx, area.bottom() - (lat - b.south) * ky};
    }
};

Frame fit(const Bounds& b, const QRectF& room) {
    Frame f{b, room};
    const double width = std::max(b.east - b.west, 1e-3), height = std::max(b.north - b.south, 1e-3);
    const double shrink = std::max(0.2, std::cos((b.north + b.south) / 2.0 * M_PI / 180.0));
    const double scale = std::min(room.width() / (width * shrink), room.height() / height);
    f.kx = scale * shrink;
    f.ky = scale;
    const QSizeF size(width * f.kx, height * f.ky);
    f.area = QRectF(room.center() - QPointF(size.width() / 2, size.height() / 2), size);
    return f;
}

QString degrees(double value, bool latitude) {
    double v = latitude ? value : std::remainder(value, 360.0);
    const double a = std::fabs(v);
    const QString number = QString::number(a, 'g', 4) + QChar(0x00b0);
    if (a < 1e-9 || (!latitude && std::fabs(a - 180.0) < 1e-9))
        return number;
    return number + (latitude ? (v > 0 ? "N" : "S") : (v > 0 ? "E" : "W"));
}

double graticuleStep(double span) {
    for (double step : {1.0, 2.0, 2.5, 5.0, 10.0, 15.0, 20.0, 30.0, 45.0, 60.0})
        if (span / step <= 8.0)
            return step;
    return 90.0;
}

QFont font(double pixels, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(int(pixels));
    f.setBold(bold);
    return f;
}

void drawGraticule(QPainter& p, const Frame& f) {
    p.setFont(font(11));
    const QFontMetricsF metrics(p.font());
    p.setPen(QPen(kGraticule, 1));
    const double lonStep = graticuleStep(f.b.east - f.b.west), latStep = graticuleStep(f.b.north - f.b.south);
    for (double lon = std::ceil(f.b.west / lonStep) * lonStep; lon <= f.b.east + 1e-9; lon += lonStep) {
        const double x = f.at(lon, 0).x();
        p.setPen(QPen(kGraticule, 1));
        p.drawLine(QPointF(x, f.area.top()), QPointF(x, f.area.bottom()));
        p.setPen(kText);
        const QString label = degrees(lon, false);
        p.drawText(QPointF(x - metrics.horizontalAdvance(label) / 2, f.area.bottom() + 16), label);
    }
    for (double lat = std::ceil(f.b.south / latStep) * latStep; lat <= f.b.north + 1e-9; lat += latStep) {
        const double y = f.at(0, lat).y();
        p.setPen(QPen(kGraticule, 1));
        p.drawLine(QPointF(f.area.left(), y), QPointF(f.area.right(), y));
        p.setPen(kText);
        const QString label = degrees(lat, true);
        p.drawText(QPointF(f.area.left() - metrics.horizontalAdvance(label) - 6, y + 4), label);
    }
}

// A label where it fits whole inside the map and keeps its distance from the labels before it.
void drawLabel(QPainter& p, const Frame& f, QPointF at, const QString& text, std::vector<QRectF>& taken) {
    const QFontMetricsF metrics(p.font());
    const double width = metrics.horizontalAdvance(text);
    const QRectF box(at.x() - width / 2 - 2, at.y() - metrics.ascent() / 2 - 2, width + 4,
                     metrics.ascent() + 4);
    if (!f.area.contains(box))
        return;
    const QRectF room = box.adjusted(-28, -18, 28, 18);
    for (const QRectF& other : taken)
        if (room.intersects(other))
            return;
    taken.push_back(box);
    QPainterPath path;
    path.addText(QPointF(box.left() + 2, box.bottom() - 2), p.font(), text);
    p.strokePath(path, QPen(kSea, 3));
    p.fillPath(path, kText);
}

void drawContours(QPainter& p, const Frame& f, GribModel& model, GribPoints& g, std::vector<QRectF>& taken) {
    model.contourGrid(g);
    p.setPen(QPen(kContour, 1.3));
    for (const GribPolyline& line : g.contourPath()) {
        QPolygonF polygon;
        for (const NavPoint& q : line)
            polygon << f.at(q.x, q.y);
        p.drawPolyline(polygon);
    }
    p.setFont(font(10, true));
    for (const GribLabel& label : g.labels())
        drawLabel(p, f, f.at(label.position.x, label.position.y), QString::fromStdString(label.text), taken);
}

void drawArrow(QPainter& p, QPointF centre, double towards, double length, const QColor& colour) {
    const double r = towards * M_PI / 180.0;
    const QPointF along(std::sin(r), -std::cos(r));
    const QPointF tip = centre + along * (length / 2), tail = centre - along * (length / 2);
    const QPointF side(-along.y(), along.x());
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(tail, tip);
    QPolygonF head;
    head << tip << tip - along * 6 + side * 3.2 << tip - along * 6 - side * 3.2;
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawPolygon(head);
}

// Arrows downwind (or with the current), thinned to about one per 26 pixels; none where calm.
void drawArrows(QPainter& p, const Frame& f, const GribModel& model, const GribPoints& g) {
    const bool wind = g.hasWind();
    const double cell = std::max(
        1e-6, std::min(std::fabs(g.longitudeIncrement()) * f.kx, std::fabs(g.latitudeIncrement()) * f.ky));
    const unsigned stride = unsigned(std::max(1.0, std::ceil(26.0 / cell)));
    const double length = std::min(22.0, cell * stride * 0.85);
    const double lon0 = firstLongitude(g);
    for (unsigned j = 0; j < g.latitudeCount(); j += stride) {
        for (unsigned i = 0; i < g.longitudeCount(); i += stride) {
            const size_t k = size_t(j) * g.longitudeCount() + i;
            const float u = wind ? g.uWindComponent(k) : g.uCurrentComponent(k);
            const float v = wind ? g.vWindComponent(k) : g.vCurrentComponent(k);
            if (GribPoints::isMissing(u) || GribPoints::isMissing(v))
                continue;
            const float speed = GribPoints::speed(u, v);
            const std::optional<BeaufortColor> c = model.beaufortColor(speed);
            if (!c)
                continue; // calm: no direction worth drawing
            const QColor colour = QColor::fromRgbF(c->red, c->green, c->blue);
            const QPointF at = f.at(lon0 + double(i) * g.longitudeIncrement(),
                                    g.positionOnGPS().y + double(j) * g.latitudeIncrement());
            drawArrow(p, at, GribPoints::direction(u, v) + 180.0, length, colour);
        }
    }
}

void drawLegend(QPainter& p, const GribModel& model, QPointF origin, const QString& what) {
    p.setFont(font(11));
    p.setPen(kText);
    const QFontMetricsF metrics(p.font());
    p.drawText(origin + QPointF(0, 13), what);
    double x = origin.x() + metrics.horizontalAdvance(what) + 10;
    const std::vector<BeaufortScale>& scale = model.beaufortScale();
    for (size_t k = 0; k < scale.size(); ++k) {
        const BeaufortColor& c = scale[k].color;
        const QRectF box(x, origin.y(), 26, 18);
        p.fillRect(box, QColor::fromRgbF(c.red, c.green, c.blue));
        p.setPen(k >= 9 ? QColor(Qt::white) : QColor(Qt::black));
        p.drawText(box, Qt::AlignCenter, QString::number(k));
        x += 28;
    }
}

// The picture in its 256 most frequent colours: the flat colours stay exact, and the few
// antialiasing shades take the nearest of them, so the file is a fraction of the size.
QImage reduceColours(const QImage& image) {
    std::unordered_map<QRgb, size_t> counts;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            ++counts[line[x]];
    }
    std::vector<std::pair<size_t, QRgb>> ranked;
    ranked.reserve(counts.size());
    for (const auto& [colour, count] : counts)
        ranked.emplace_back(count, colour);
    const size_t keep = std::min<size_t>(256, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + long(keep), ranked.end(), std::greater<>());
    QList<QRgb> table;
    for (size_t k = 0; k < keep; ++k)
        table.push_back(ranked[k].second);
    return image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither);
}

} // namespace

QImage renderForecast(GribModel& model, QSize size, const QString& source) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    std::vector<GribPoints*> grids = model.gribPointsOnView();
    Bounds bounds;
    for (const GribPoints* g : grids)
        include(bounds, *g);
    if (bounds.empty())
        return image;
    const QRectF room(60, 64, size.width() - 60 - 24, size.height() - 64 - 66);
    const Frame frame = fit(bounds, room);
    p.fillRect(frame.area, kSea);
    drawGraticule(p, frame);
    p.setClipRect(frame.area.adjusted(-1, -1, 1, 1));
    std::vector<QRectF> taken;
    std::optional<GribContourField> field;
    for (GribPoints* g : grids) {
        if (!field)
            field = gribContourField(*g);
        drawContours(p, frame, model, *g, taken);
    }
    bool wind = false, current = false;
    for (const GribPoints* g : grids) {
        wind = wind || g->hasWind();
        current = current || (g->hasCurrent() && !g->hasWind());
        if (g->hasWind() || g->hasCurrent())
            drawArrows(p, frame, model, *g);
    }
    p.setClipping(false);
    QStringList parts;
    if (field)
        parts << QString::fromStdString(field->name) + " (" + QString::fromStdString(field->units) + ")";
    if (wind)
        parts << "wind";
    if (current)
        parts << "current";
    p.setPen(kText);
    p.setFont(font(17, true));
    p.drawText(QPointF(frame.area.left(), 26), parts.join(", "));
    // "2011-10-08 06:00 UTC"
    const QString date =
        QString::fromStdString(isoDate(model.viewForecastDate())).left(16).replace('T', ' ') + " UTC";
    p.setFont(font(12));
    p.drawText(QPointF(frame.area.left(), 46), date + "   " + source);
    if (wind || current)
        drawLegend(p, model, QPointF(frame.area.left(), size.height() - 30),
                   wind ? "Wind, Beaufort force" : "Current, Beaufort colours");
    p.end();
    return reduceColours(image);
}
