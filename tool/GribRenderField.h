#pragma once
// The field on a forecast picture: its values as colour, the shorelines, the contour lines with
// their labels, and the centres of high and low pressure.

#include "tool/GribRenderFrame.h"

#include "nav/grib/GribContours.h"

#include <QPainter>

#include <vector>

class GribModel;
class GribPoints;

// The field's values as a soft colour wash, cold to warm, over the grid's cells.
void shadeField(QPainter& p, const RenderFrame& f, const GribContourField& field);
void drawShore(QPainter& p, const RenderFrame& f, const std::vector<GribPolyline>& lines);
// Contours of the model's chosen field, labels kept apart from each other (taken grows).
void drawContours(QPainter& p, const RenderFrame& f, GribModel& model, GribPoints& g,
                  std::vector<QRectF>& taken);

struct PressureCentre {
    bool high = false;
    double longitude = 0, latitude = 0;
    float hectopascals = 0;
};
// Highs and lows: points above (below) every other point within radius points, away from the
// edge of the grid, where the picture has room for a mark. A grid finer than the picture is
// searched on every stride-th point.
std::vector<PressureCentre> pressureCentres(const GribContourField& field, int radius, int stride = 1);
void drawCentres(QPainter& p, const RenderFrame& f, const std::vector<PressureCentre>& centres,
                 std::vector<QRectF>& taken);
