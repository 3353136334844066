#pragma once
// Wind (or current) on a forecast picture: arrows downwind or barbs in knots, in the Beaufort
// colours, thinned to the picture keeping the strongest point of each block; and the strongest
// wind of the picture.

#include "tool/GribRenderFrame.h"

#include <QPainter>
#include <QString>

#include <optional>

class GribModel;
class GribPoints;

struct StrongestFlow {
    float knots = -1;
    double longitude = 0, latitude = 0;
};

enum class WindStyle { arrows, barbs };

// Draws the grid's flow; the strongest point drawn.
StrongestFlow drawFlow(QPainter& p, const RenderFrame& f, const GribModel& model, const GribPoints& g,
                       WindStyle style);
// "66.5 kn (force 12) at 23.5N 75.0W"; a current has no force.
QString describeStrongest(const GribModel& model, const StrongestFlow& s, bool wind);
