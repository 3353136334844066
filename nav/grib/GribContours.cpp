#include "nav/grib/GribContours.h"

#include "nav/UnitsModel.h"
#include "nav/grib/Contour.h"
#include "nav/grib/GribModel.h"

#include <cmath>

namespace {

const char* temperatureUnit(unsigned units) {
    switch (units) {
    case 0:
        return "\xc2\xb0"
               "F";
    case 1:
        return "\xc2\xb0"
               "C";
    case 2:
        return "K";
    default:
        return "";
    }
}

void set(GribContourField& f, GribField field, const char* name, const char* units) {
    f.field = field;
    f.name = name;
    f.units = units;
}

// The field to draw and how its stored values read in display units.
bool chooseField(const GribPoints& p, GribContourField& f, float (*&convert)(float)) {
    const UnitsModel& units = UnitsModel::units();
    if (p.hasPressure()) {
        set(f, GribField::pressure, "Pressure", "hPa");
        convert = [](float pa) { return pa / 100.0f; };
    } else if (p.hasAirTemperature() || p.hasSeaTemperature()) {
        const bool air = p.hasAirTemperature();
        set(f, air ? GribField::airTemperature : GribField::seaTemperature,
            air ? "Air temperature" : "Sea temperature", temperatureUnit(units.temperatureUnits()));
        convert = [](float k) { return GribPoints::temperature(k); };
    } else if (p.hasGeopotentialHeight()) {
        set(f, GribField::geopotentialHeight, "Geopotential height", "m");
        convert = [](float m) { return m; };
    } else if (p.hasWaveHeight()) {
        const unsigned d = units.surfaceDistanceUnits();
        set(f, GribField::waveHeight, "Wave height", d == 1 || d == 3 ? "m" : "ft");
        convert = [](float m) { return GribPoints::height(m); };
    } else {
        return false;
    }
    return true;
}

} // namespace

std::optional<GribContourField> gribContourField(const GribPoints& p) {
    GribContourField f;
    float (*convert)(float) = nullptr;
    if (!chooseField(p, f, convert) || p.latitudeCount() < 2 || p.longitudeCount() < 2)
        return std::nullopt;
    f.NX = int(p.longitudeCount());
    f.NY = int(p.latitudeCount());
    const size_t nx = size_t(f.NX), ny = size_t(f.NY);
    const bool northward = p.latitudeIncrement() > 0;
    f.values.resize(nx * ny);
    for (size_t row = 0; row < ny; ++row) {
        const size_t from = northward ? row : ny - 1 - row;
        for (size_t i = 0; i < nx; ++i) {
            const float v = p.value(f.field, from * nx + i);
            f.values[row * nx + i] = GribPoints::isMissing(v) ? kContourMissing : convert(v);
        }
    }
    f.firstLongitude = std::remainder(p.positionOnGPS().x, 360.0f);
    if (f.firstLongitude >= 180.0f)
        f.firstLongitude -= 360.0f;
    f.longitudeStep = p.longitudeIncrement();
    f.latitudeStep = std::fabs(p.latitudeIncrement());
    f.southLatitude = northward ? p.positionOnGPS().y : p.positionOnGPS().y - float(ny - 1) * f.latitudeStep;
    return f;
}

GribContours traceGribContours(const GribContourField& f, float interval) {
    ContourContext c;
    c.NX = f.NX;
    c.NY = f.NY;
    c.values = f.values;
    contour(c, interval);
    // Normalised coordinates span first to last point: (NX - 1) and (NY - 1) steps.
    const float width = float(f.NX - 1) * f.longitudeStep;
    const float height = float(f.NY - 1) * f.latitudeStep;
    auto place = [&](float x, float y) {
        return NavPoint{f.firstLongitude + x * width, f.southLatitude + y * height};
    };
    auto inside = [](float x, float y) { return x >= 0 && x <= 1 && y >= 0 && y <= 1; };
    GribContours out;
    out.lines.reserve(c.lines.size());
    for (const ContourLine& line : c.lines) {
        GribPolyline placed;
        placed.reserve(line.size());
        for (const ContourPoint& q : line)
            if (inside(q.x, q.y))
                placed.push_back(place(q.x, q.y));
        if (!placed.empty())
            out.lines.push_back(std::move(placed));
    }
    for (const ContourLabel& l : c.labels)
        if (inside(l.x, l.y))
            out.labels.push_back({place(l.x, l.y), l.text});
    return out;
}

void GribModel::contourGrid(GribPoints& points) {
    if (!points.contourPath().empty() || !points.labels().empty())
        return;
    const std::optional<GribContourField> field = gribContourField(points);
    if (!field)
        return;
    GribContours contours = traceGribContours(*field);
    points.setContourPath(std::move(contours.lines));
    points.setLabels(std::move(contours.labels));
}
