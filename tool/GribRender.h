#pragma once
// The forecast on view drawn as a picture: the chosen field as colour and contours with their
// labels, the shorelines, highs and lows, wind (or current) as arrows or barbs in the Beaufort
// colours, a labelled graticule, a title with the field, the valid time, the model run and the
// lead time, the strongest wind, and the Beaufort legend with each colour's knots. Text and
// symbols grow with the picture. Needs a QGuiApplication for fonts.

#include "tool/GribRenderWind.h"

#include "nav/grib/Coastline.h"

#include <QImage>
#include <QString>

#include <functional>

class GribModel;

struct RenderOptions {
    QSize size{900, 600};
    WindStyle wind = WindStyle::arrows;
    // The shorelines of an area at a scale; empty where there are none to draw.
    std::function<std::vector<GribPolyline>(const CoastlineArea& area, double degreesPerPixel)> shore;
};

QImage renderForecast(GribModel& model, const RenderOptions& options, const QString& source);
// Whether the time on view has anything to draw: a field to contour, wind or current.
bool forecastDrawable(const GribModel& model);
