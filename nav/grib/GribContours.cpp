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

struct FieldChoice {
    GribField field;
    const char* name;
    float (*convert)(float);
};

float hectopascals(float pa) {
    return pa / 100.0f;
}
float same(float v) {
    return v;
}
float temperature(float k) {
    return GribPoints::temperature(k);
}
float height(float m) {
    return GribPoints::height(m);
}
float rate(float perSecond) {
    return GribPoints::rate(perSecond);
}

// In the order a grid's field is chosen when none is asked for.
constexpr FieldChoice kChoices[] = {
    {GribField::pressure, "Pressure", hectopascals},
    {GribField::airTemperature, "Air temperature", temperature},
    {GribField::seaTemperature, "Sea temperature", temperature},
    {GribField::geopotentialHeight, "Geopotential height", same},
    {GribField::waveHeight, "Wave height", height},
    {GribField::precipitationRate, "Rain", rate},
};

std::string unitsOf(GribField field) {
    const UnitsModel& units = UnitsModel::units();
    switch (field) {
    case GribField::pressure:
        return "hPa";
    case GribField::airTemperature:
    case GribField::seaTemperature:
        return temperatureUnit(units.temperatureUnits());
    case GribField::geopotentialHeight:
        return "m";
    case GribField::waveHeight:
        return units.surfaceDistanceUnits() == 1 || units.surfaceDistanceUnits() == 3 ? "m" : "ft";
    default:
        return units.temperatureUnits() == 0   ? "in/h"
               : units.temperatureUnits() <= 2 ? "cm/h"
                                               : "kg/m\xc2\xb2/s";
    }
}

const FieldChoice* chooseField(const GribPoints& p, std::optional<GribField> wanted) {
    for (const FieldChoice& c : kChoices) {
        const bool asked = !wanted || c.field == *wanted ||
                           (*wanted == GribField::airTemperature && c.field == GribField::seaTemperature);
        if (asked && p.has(c.field) && (wanted || c.field != GribField::precipitationRate))
            return &c;
    }
    return nullptr;
}

} // namespace

std::optional<GribContourField> gribContourField(const GribPoints& p, std::optional<GribField> wanted) {
    const FieldChoice* choice = chooseField(p, wanted);
    if (!choice || p.latitudeCount() < 2 || p.longitudeCount() < 2)
        return std::nullopt;
    GribContourField f;
    f.field = choice->field;
    f.name = choice->name;
    f.units = unitsOf(f.field);
    const size_t columns = p.longitudeCount(), ny = p.latitudeCount();
    const float around = float(columns) * std::fabs(p.longitudeIncrement());
    f.wrapped = std::fabs(around - 360.0f) < std::fabs(p.longitudeIncrement()) / 2;
    const size_t nx = columns + (f.wrapped ? 1 : 0);
    f.NX = int(nx);
    f.NY = int(ny);
    const bool northward = p.latitudeIncrement() > 0;
    f.values.resize(nx * ny);
    for (size_t row = 0; row < ny; ++row) {
        const size_t from = northward ? row : ny - 1 - row;
        for (size_t i = 0; i < nx; ++i) {
            const float v = p.value(f.field, from * columns + i % columns);
            f.values[row * nx + i] = GribPoints::isMissing(v) ? kContourMissing : choice->convert(v);
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
    GribContours out;
    ContourContext c;
    c.NX = f.NX;
    c.NY = f.NY;
    c.values = f.values;
    contour(c, interval);
    out.truncated = c.truncated;
    // Normalised coordinates span first to last point: (NX - 1) and (NY - 1) steps.
    const float width = float(f.NX - 1) * f.longitudeStep;
    const float height = float(f.NY - 1) * f.latitudeStep;
    auto place = [&](float x, float y) {
        return NavPoint{f.firstLongitude + x * width, f.southLatitude + y * height};
    };
    auto inside = [](float x, float y) { return x >= 0 && x <= 1 && y >= 0 && y <= 1; };
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
    const std::optional<GribContourField> field = gribContourField(points, contourField_);
    if (!field)
        return;
    GribContours contours = traceGribContours(*field);
    points.setContourPath(std::move(contours.lines));
    points.setLabels(std::move(contours.labels));
    points.setContourTruncated(contours.truncated);
}
