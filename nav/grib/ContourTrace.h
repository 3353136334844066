#pragma once
// Following iso-lines from cell to cell: the steps of tracing every level, and cursor-relative
// access to values and face marks.

#include "nav/grib/Contour.h"

void startLine(ContourContext& context);
void startEdge(ContourContext& context, double level, int side);
void startInterior(ContourContext& context, double level);
void drawLine(ContourContext& context, ContourCursor cursor, double level);
bool savePoint(ContourContext& context, const ContourCursor& cursor, double level);
void Polyline(ContourContext& context);
ContourPoint lastPoint(const ContourContext& context);
void Text(ContourContext& context, const std::string& text, float x, float y);

// Cursor-relative access: the value at a corner of the cursor's cell, and the mark of a side.
float getDataPoint(const ContourContext& context, const ContourCursor& cursor, int corner);
void markInUse(ContourContext& context, const ContourCursor& cursor, int side);
bool faceInUse(const ContourContext& context, const ContourCursor& cursor, int side);
ContourCursor initPoint(int i, int j, int d);

// The process's label counter (one label every eleventh saved point).
std::atomic<uint64_t>& contourLabelCounter();
