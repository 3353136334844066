#include "nav/grib/Coastline.h"

#include <netcdf.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

struct NetCdf {
    int id = -1;
    ~NetCdf() {
        if (id >= 0)
            nc_close(id);
    }
};

template <class T, class Get>
bool readVariable(int file, const char* name, size_t expected, std::vector<T>& out, Get get) {
    int var = 0, dims = 0, dim = 0;
    size_t length = 0;
    if (nc_inq_varid(file, name, &var) != NC_NOERR || nc_inq_varndims(file, var, &dims) != NC_NOERR ||
        dims != 1 || nc_inq_vardimid(file, var, &dim) != NC_NOERR ||
        nc_inq_dimlen(file, dim, &length) != NC_NOERR)
        return false;
    if (expected && length != expected)
        return false;
    out.resize(length);
    return length == 0 || get(file, var, out.data()) == NC_NOERR;
}

bool ints(int file, const char* name, size_t expected, std::vector<int>& out) {
    return readVariable(file, name, expected, out, nc_get_var_int);
}

bool shorts(int file, const char* name, size_t expected, std::vector<short>& out) {
    return readVariable(file, name, expected, out, nc_get_var_short);
}

const char* resolutionName(char letter) {
    return letter == 'c' ? "crude" : letter == 'l' ? "low" : "intermediate";
}

} // namespace

std::string Coastline::dataFolder() {
    const char* folder = std::getenv("MUX_COASTLINE_DIR");
    return folder && *folder ? folder : "/usr/share/gmt-gshhg";
}

std::string Coastline::pathFor(double degreesPerPixel) {
    // The crude shore is good to about a fifth of a degree, the low to a few hundredths.
    const char letter = degreesPerPixel > 0.15 ? 'c' : degreesPerPixel > 0.02 ? 'l' : 'i';
    return dataFolder() + "/binned_GSHHS_" + letter + ".nc";
}

std::optional<Coastline> Coastline::read(const std::string& path, std::string& why) {
    NetCdf file;
    if (nc_open(path.c_str(), NC_NOWRITE, &file.id) != NC_NOERR) {
        file.id = -1;
        why = "no coastline data in \"" + path + "\" (Debian package gmt-gshhg-low)";
        return std::nullopt;
    }
    std::vector<int> size, across, down, firstSegment, packed, firstPoint;
    std::vector<short> segmentsInBin, dx, dy;
    const bool ok = ints(file.id, "Bin_size_in_minutes", 1, size) &&
                    ints(file.id, "N_bins_in_360_longitude_range", 1, across) &&
                    ints(file.id, "N_bins_in_180_degree_latitude_range", 1, down) &&
                    ints(file.id, "Id_of_first_segment_in_a_bin", 0, firstSegment) &&
                    shorts(file.id, "N_segments_in_a_bin", firstSegment.size(), segmentsInBin) &&
                    ints(file.id, "Embedded_npts_levels_exit_entry_for_a_segment", 0, packed) &&
                    ints(file.id, "Id_of_first_point_in_a_segment", packed.size(), firstPoint) &&
                    shorts(file.id, "Relative_longitude_from_SW_corner_of_bin", 0, dx) &&
                    shorts(file.id, "Relative_latitude_from_SW_corner_of_bin", dx.size(), dy);
    const size_t binCount =
        size_t(std::max(0, across.empty() ? 0 : across[0])) * size_t(std::max(0, down.empty() ? 0 : down[0]));
    if (!ok || size[0] <= 0 || binCount != firstSegment.size()) {
        why = "coastline data \"" + path + "\" is not in the expected form";
        return std::nullopt;
    }
    Coastline c;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    c.resolution_ = resolutionName(name.size() > 16 ? name[13] : 'i');
    c.binSize_ = size[0] / 60.0;
    c.segments_.reserve(packed.size());
    for (size_t s = 0; s < packed.size(); ++s) {
        // Points in the high bits, then the level (1 shore, 2 lake, 3 and 4 islands and ponds
        // within those: only the sea's shore is drawn), then the sides of the bin the segment
        // leaves and enters by (4: none).
        const unsigned count = unsigned(packed[s]) >> 9, level = (unsigned(packed[s]) >> 6) & 7;
        const unsigned exit = (unsigned(packed[s]) >> 3) & 7, entry = unsigned(packed[s]) & 7;
        const bool fits = firstPoint[s] >= 0 && size_t(firstPoint[s]) + count <= dx.size();
        c.segments_.push_back(
            {fits ? unsigned(firstPoint[s]) : 0, fits && level == 1 ? count : 0, exit == 4 && entry == 4});
    }
    c.bins_.reserve(binCount);
    c.points_.resize(dx.size());
    for (size_t b = 0; b < binCount; ++b) {
        Bin bin;
        bin.west = double(b % size_t(across[0])) * c.binSize_;
        bin.south = 90.0 - double(b / size_t(across[0]) + 1) * c.binSize_;
        const bool fits = firstSegment[b] >= 0 && segmentsInBin[b] >= 0 &&
                          size_t(firstSegment[b]) + size_t(segmentsInBin[b]) <= c.segments_.size();
        bin.firstSegment = fits ? unsigned(firstSegment[b]) : 0;
        bin.segments = fits ? unsigned(segmentsInBin[b]) : 0;
        const double scale = c.binSize_ / 65535.0;
        for (unsigned s = bin.firstSegment; s < bin.firstSegment + bin.segments; ++s)
            for (unsigned p = c.segments_[s].first; p < c.segments_[s].first + c.segments_[s].count; ++p)
                c.points_[p] = {float(bin.west + double(uint16_t(dx[p])) * scale),
                                float(bin.south + double(uint16_t(dy[p])) * scale)};
        c.bins_.push_back(bin);
    }
    return c;
}

std::vector<GribPolyline> Coastline::lines(const CoastlineArea& area) const {
    std::vector<GribPolyline> out;
    for (const Bin& bin : bins_) {
        if (bin.south > area.north || bin.south + binSize_ < area.south)
            continue;
        // Every whole turn that brings the bin into the area.
        for (double turn = std::floor((area.west - bin.west - binSize_) / 360.0) * 360.0;
             bin.west + turn <= area.east; turn += 360.0) {
            if (bin.west + turn + binSize_ < area.west)
                continue;
            for (unsigned s = bin.firstSegment; s < bin.firstSegment + bin.segments; ++s) {
                const Segment& seg = segments_[s];
                if (seg.count < 2)
                    continue;
                GribPolyline line;
                line.reserve(seg.count + 1);
                for (unsigned p = seg.first; p < seg.first + seg.count; ++p)
                    line.push_back({points_[p].x + float(turn), points_[p].y});
                if (seg.closed)
                    line.push_back(line.front());
                out.push_back(std::move(line));
            }
        }
    }
    return out;
}
