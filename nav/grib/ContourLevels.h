#pragma once
// Choosing contour levels from the data's statistics.

#include "nav/grib/Contour.h"

// Sets minimum, maximum, mean, deviation, step and first level for the interval (see contour);
// false when there is nothing to draw.
bool scaleData(ContourContext& context, float interval);
