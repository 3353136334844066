#pragma once
// Shorelines to draw under a forecast, from the GSHHG shoreline database as Debian ships it
// (gmt-gshhg-low: binned netCDF files in /usr/share/gmt-gshhg, read with libnetcdf). Three
// resolutions are there; the one that fits the picture's scale is read, and only the bins that
// meet the picture's area are handed out.

#include "nav/grib/GribPoints.h"

#include <optional>
#include <string>
#include <vector>

struct CoastlineArea {
    // Degrees; west..east may run past 180 (a Pacific picture from 150 to 240).
    double west = 0, east = 0, south = 0, north = 0;
};

class Coastline {
public:
    // The folder of the data: $MUX_COASTLINE_DIR when set, else the package's folder.
    static std::string dataFolder();
    // The file of the resolution for a picture of that many degrees per pixel.
    static std::string pathFor(double degreesPerPixel);
    // Reads one file (binned_GSHHS_c.nc, _l or _i); none, with a one-line reason, when it is
    // absent or not in that form.
    static std::optional<Coastline> read(const std::string& path, std::string& why);

    // Shorelines of the sea in the bins that meet the area, their longitudes shifted by
    // whole turns into it; a painter clips them to the area itself.
    std::vector<GribPolyline> lines(const CoastlineArea& area) const;
    const std::string& resolution() const { return resolution_; } // "crude", "low", "intermediate"

private:
    struct Segment {
        unsigned first = 0, count = 0;
        bool closed = false;
    };
    struct Bin {
        double west = 0, south = 0;
        unsigned firstSegment = 0, segments = 0;
    };
    double binSize_ = 0;
    std::vector<Bin> bins_;
    std::vector<Segment> segments_;
    std::vector<NavPoint> points_; // absolute degrees, longitudes 0..360
    std::string resolution_;
};
