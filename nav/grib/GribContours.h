#pragma once
// The field of a grid that contour lines are drawn for, and those lines in degrees: what the
// forecast's views and exports draw over a grid.

#include "nav/grib/GribPoints.h"

#include <optional>
#include <string>
#include <vector>

struct GribContourField {
    GribField field = GribField::pressure;
    std::string name;   // "Pressure"
    std::string units;  // "hPa", in the user's units where there is a choice
    int NX = 0, NY = 0; // columns (west-east as scanned) and rows
    // Rows from south to north; missing values are -1000.
    std::vector<float> values;
    float firstLongitude = 0; // of column 0, brought into -180..180
    float longitudeStep = 0;  // signed degrees per column
    float southLatitude = 0;  // of row 0
    float latitudeStep = 0;   // degrees per row, positive
    // A grid around the whole earth repeats its first column after its last, so that lines
    // close across the seam.
    bool wrapped = false;
};

// The field to contour: the wanted one (air temperature stands for sea temperature too), else the
// first of pressure (hPa), air temperature, sea temperature (the chosen temperature unit),
// geopotential height (m) and wave height (feet or metres by the distance unit) that the grid
// has; none when it has not that field or fewer than 2 x 2 points.
std::optional<GribContourField> gribContourField(const GribPoints& points,
                                                 std::optional<GribField> wanted = std::nullopt);

struct GribContours {
    // Longitudes continue eastward from the field's first longitude (past 180 where the grid
    // crosses it).
    std::vector<GribPolyline> lines;
    std::vector<GribLabel> labels;
    bool truncated = false; // too detailed to trace in full
};

// Contours at the interval (0: chosen from the data) placed on the grid's own coordinates.
GribContours traceGribContours(const GribContourField& field, float interval = 0.0f);
