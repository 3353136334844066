#include "tool/GribRender.h"

#include "tool/GribRenderField.h"

#include "nav/grib/GribContours.h"
#include "nav/grib/GribModel.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <unordered_map>

namespace {

const QColor kGraticule(255, 255, 255, 45);

double firstLongitude(const GribPoints& g) {
    const double lon = std::remainder(double(g.positionOnGPS().x), 360.0);
    return lon >= 180.0 ? lon - 360.0 : lon;
}

void include(RenderBounds& b, const GribPoints& g) {
    // A grid around the earth shows its seam closed: the whole turn.
    const bool around = std::fabs(g.longitudeCount() * std::fabs(g.longitudeIncrement()) - 360.0) <
                        std::fabs(g.longitudeIncrement()) / 2;
    const double lon0 = firstLongitude(g);
    const double lon1 = lon0 + double(g.longitudeCount() - (around ? 0 : 1)) * g.longitudeIncrement();
    const double lat0 = g.positionOnGPS().y;
    const double lat1 = lat0 + double(g.latitudeCount() - 1) * g.latitudeIncrement();
    b.west = std::min({b.west, lon0, lon1});
    b.east = std::max({b.east, lon0, lon1});
    b.south = std::min({b.south, lat0, lat1});
    b.north = std::max({b.north, lat0, lat1});
}

RenderFrame fit(const RenderBounds& b, const QRectF& room, double unit) {
    RenderFrame f{b, room};
    f.unit = unit;
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
    const double v = latitude ? value : std::remainder(value, 360.0);
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

void drawGraticule(QPainter& p, const RenderFrame& f) {
    p.setFont(renderFont(11 * f.unit));
    const QFontMetricsF metrics(p.font());
    const double lonStep = graticuleStep(f.b.east - f.b.west), latStep = graticuleStep(f.b.north - f.b.south);
    for (double lon = std::ceil(f.b.west / lonStep) * lonStep; lon <= f.b.east + 1e-9; lon += lonStep) {
        const double x = f.at(lon, 0).x();
        p.setPen(QPen(kGraticule, 1));
        p.drawLine(QPointF(x, f.area.top()), QPointF(x, f.area.bottom()));
        p.setPen(kRenderText);
        const QString label = degrees(lon, false);
        p.drawText(QPointF(x - metrics.horizontalAdvance(label) / 2, f.area.bottom() + 16 * f.unit), label);
    }
    for (double lat = std::ceil(f.b.south / latStep) * latStep; lat <= f.b.north + 1e-9; lat += latStep) {
        const double y = f.at(0, lat).y();
        p.setPen(QPen(kGraticule, 1));
        p.drawLine(QPointF(f.area.left(), y), QPointF(f.area.right(), y));
        p.setPen(kRenderText);
        const QString label = degrees(lat, true);
        p.drawText(QPointF(f.area.left() - metrics.horizontalAdvance(label) - 6 * f.unit, y + 4 * f.unit),
                   label);
    }
}

// The Beaufort colours with their forces and, beneath, the knots of each.
void drawLegend(QPainter& p, const GribModel& model, QPointF origin, const QString& what, double unit) {
    p.setFont(renderFont(11 * unit));
    p.setPen(kRenderText);
    const QFontMetricsF metrics(p.font());
    p.drawText(origin + QPointF(0, 13 * unit), what);
    double x = origin.x() + metrics.horizontalAdvance(what) + 10 * unit;
    const std::vector<BeaufortScale>& scale = model.beaufortScale();
    const double box = 34 * unit;
    for (size_t k = 0; k < scale.size(); ++k) {
        const BeaufortColor& c = scale[k].color;
        const QRectF cell(x, origin.y(), box - 2 * unit, 18 * unit);
        p.setFont(renderFont(11 * unit));
        p.fillRect(cell, QColor::fromRgbF(c.red, c.green, c.blue));
        p.setPen(k >= 9 ? QColor(Qt::white) : QColor(Qt::black));
        p.drawText(cell, Qt::AlignCenter, QString::number(k));
        const QString knots = k + 1 == scale.size() ? QString::number(scale[k].lower) + "+"
                                                    : QString::number(k == 0 ? 0 : scale[k].lower) + "-" +
                                                          QString::number(scale[k].upper);
        p.setFont(renderFont(9 * unit));
        p.setPen(kRenderText);
        p.drawText(QRectF(x, origin.y() + 19 * unit, box - 2 * unit, 12 * unit), Qt::AlignCenter, knots);
        x += box;
    }
    p.setFont(renderFont(9 * unit));
    p.drawText(QPointF(x + 2 * unit, origin.y() + 29 * unit), "kn");
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

// "valid Sat 2011-10-08 06:00 UTC, run 2011-10-08 00:00 UTC +6 h".
QString times(GribDate valid, GribDate run) {
    auto text = [](GribDate d) {
        return QString::fromStdString(isoDate(d)).left(16).replace('T', ' ') + " UTC";
    };
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const std::chrono::weekday day{std::chrono::floor<std::chrono::days>(valid)};
    const long long hours = std::chrono::duration_cast<std::chrono::minutes>(valid - run).count();
    const QString lead =
        hours % 60 == 0 ? QString::asprintf("%+lld h", hours / 60) : QString::asprintf("%+lld min", hours);
    return "valid " + QString(weekdays[day.c_encoding()]) + " " + text(valid) + ", run " + text(run) + " " +
           lead;
}

struct Layers {
    std::optional<GribContourField> field;
    bool wind = false, current = false;
    StrongestFlow strongest;
};

Layers drawLayers(QPainter& p, const RenderFrame& frame, GribModel& model, const RenderOptions& options) {
    Layers l;
    std::vector<GribPoints*> grids = model.gribPointsOnView();
    for (GribPoints* g : grids)
        if (std::optional<GribContourField> field = gribContourField(*g, model.contourField())) {
            shadeField(p, frame, *field);
            l.field = l.field ? l.field : field;
        }
    if (options.shore)
        drawShore(p, frame,
                  options.shore({frame.b.west, frame.b.east, frame.b.south, frame.b.north},
                                frame.degreesPerPixel()));
    std::vector<QRectF> taken;
    if (l.field && l.field->field == GribField::pressure) {
        // Points about 8 pixels apart, and a window of about 70 pixels around each.
        const double cell = std::max(1e-6, l.field->latitudeStep * frame.ky);
        const int stride = std::max(1, int(8 * frame.unit / cell));
        const int radius = std::max(2, int(std::ceil(70 * frame.unit / (cell * stride))));
        drawCentres(p, frame, pressureCentres(*l.field, radius, stride), taken);
    }
    for (GribPoints* g : grids)
        drawContours(p, frame, model, *g, taken);
    for (const GribPoints* g : grids) {
        l.wind = l.wind || g->hasWind();
        l.current = l.current || (g->hasCurrent() && !g->hasWind());
        if (g->hasWind() || g->hasCurrent()) {
            const StrongestFlow s = drawFlow(p, frame, model, *g, options.wind);
            if (s.knots > l.strongest.knots)
                l.strongest = s;
        }
    }
    return l;
}

void drawTitle(QPainter& p, const RenderFrame& frame, const GribModel& model, const Layers& l,
               const QString& source) {
    QStringList parts;
    if (l.field)
        parts << QString::fromStdString(l.field->name) + " (" + QString::fromStdString(l.field->units) + ")";
    if (l.wind)
        parts << "wind";
    if (l.current)
        parts << "current";
    const std::vector<const GribPoints*> grids = model.gribPointsOnView();
    const GribDate run = grids.empty() ? model.viewForecastDate() : grids.front()->runDate();
    const double u = frame.unit;
    p.setPen(kRenderText);
    p.setFont(renderFont(17 * u, true));
    p.drawText(QPointF(frame.area.left(), 24 * u), parts.join(", "));
    p.setFont(renderFont(12 * u));
    p.drawText(QPointF(frame.area.left(), 42 * u), times(model.viewForecastDate(), run) + "   " + source);
    if (l.strongest.knots >= 0)
        p.drawText(QPointF(frame.area.left(), 58 * u),
                   QString(l.wind ? "strongest wind " : "strongest current ") +
                       describeStrongest(model, l.strongest, l.wind));
}

} // namespace

bool forecastDrawable(const GribModel& model) {
    for (const GribPoints* g : model.gribPointsOnView())
        if (g->hasWind() || g->hasCurrent() || gribContourField(*g, model.contourField()))
            return true;
    return false;
}

QImage renderForecast(GribModel& model, const RenderOptions& options, const QString& source) {
    const QSize size = options.size;
    QImage image(size, QImage::Format_RGB32);
    image.fill(kRenderBackground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    RenderBounds bounds;
    for (const GribPoints* g : model.gribPointsOnView())
        include(bounds, *g);
    if (bounds.empty())
        return image;
    const double u = std::clamp(std::min(size.width() / 900.0, size.height() / 600.0), 0.5, 4.0);
    const QRectF room(60 * u, 70 * u, size.width() - 84 * u, size.height() - (70 + 72) * u);
    const RenderFrame frame = fit(bounds, room, u);
    p.fillRect(frame.area, kRenderSea);
    drawGraticule(p, frame);
    p.setClipRect(frame.area.adjusted(-1, -1, 1, 1));
    const Layers layers = drawLayers(p, frame, model, options);
    p.setClipping(false);
    drawTitle(p, frame, model, layers, source);
    if (layers.wind || layers.current)
        drawLegend(p, model, QPointF(frame.area.left(), size.height() - 40 * u),
                   layers.wind ? "Wind, Beaufort force" : "Current, Beaufort colours", u);
    p.end();
    return reduceColours(image);
}
