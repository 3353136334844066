#pragma once
// Iso-lines through a regular grid of values: levels chosen from the data's statistics, every
// line of every level traced across the grid cells, numeric labels along the lines. Output
// coordinates are grid-normalised: x = column / (NX - 1), y = row / (NY - 1).
//
// A cursor is a cell (column i, row j; it spans points i..i+1 and j..j+1) and a direction d, the
// side through which the line entered. Corners: 0 (i, j), 1 (i, j+1), 2 (i+1, j+1), 3 (i+1, j);
// side k runs from corner k to corner k+1. Moving on in direction d crosses side d+2.

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Grid values at or below this are missing.
inline constexpr float kContourMissing = -1000.0f;
// What a missing or out-of-grid value counts as: above every level.
inline constexpr float kContourOutside = 4294967296.0f;
// However the data is spread, no more levels than this are traced.
inline constexpr int kContourMaxLevels = 1000;
// Nor more points than this (8 MiB of them, 60 MB of KML): ten times what a 0.25 degree world
// of pressure needs, and the bound on time, memory and output for a field of noise.
inline constexpr size_t kContourMaxPoints = size_t(1) << 20;

struct ContourPoint {
    float x = 0, y = 0;
    friend bool operator==(const ContourPoint&, const ContourPoint&) = default;
};
using ContourLine = std::vector<ContourPoint>;

struct ContourLabel {
    float x = 0, y = 0;
    std::string text; // at most 20 characters
};

struct ContourCursor {
    int i = 0, j = 0, d = 0;
};

struct ContourContext {
    // Inputs: the grid's width and height and its NX * NY values, row 0 first.
    int NX = 0, NY = 0;
    std::span<const float> values;
    // Counts saved points for the labels; the process's own counter when none is given.
    std::atomic<uint64_t>* labelCounter = nullptr;
    size_t maxPoints = kContourMaxPoints;

    // Computed.
    double maximum = 0, minimum = 0, mean = 0, standardDeviation = 0;
    bool levelFlag = false; // the level being traced is at or above the mean
    double firstLevel = 0, step = 0;
    int labelDecimals = 0; // as many as the step needs: "1012" beside "1016", "0.5" beside "1.0"
    size_t savedPoints = 0;
    bool truncated = false; // maxPoints was reached: the lines so far are kept, the rest not traced

    // Work: face marks ((NX + 1) * NY bytes) and those set at this level, the values with
    // missing ones replaced, each level's interior starts, and the line being traced.
    std::vector<uint8_t> marks;
    std::vector<size_t> touched;
    std::vector<float> grid;
    std::vector<std::vector<uint32_t>> interiorStarts;
    std::vector<ContourPoint> points;

    // Output, kept for the caller.
    std::vector<ContourLine> lines;
    std::vector<ContourLabel> labels;
};

// Chooses the levels for the interval (0: about sixteen from the spread of the data; below 0:
// about |interval| levels; above 0: that step, doubled until fewer than 41 levels; the first
// level the first whole step above the minimum) and traces them. Lines and labels stay in the
// context.
void contour(ContourContext& context, float interval);
