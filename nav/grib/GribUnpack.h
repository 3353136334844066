#pragma once
// Forecast files that arrive bzip2-compressed ("FILE.grib.bz2") are unpacked beside themselves
// ("FILE.grib"). The unpacking is bounded, goes into a temporary file that takes the final name
// only when complete, and never replaces a file that is not an earlier unpacking of the same
// input (one with the input's modification time, which every unpacking takes, or the same bytes).

#include <cstdint>
#include <string>

// More than any forecast file a boat downloads; an input that unpacks to more is refused.
inline constexpr uint64_t kGribMaxUnpacked = uint64_t(256) << 20;

struct GribUnpacked {
    bool ok = false;
    std::string path;  // the unpacked file
    std::string error; // why not, for the user
};

// Whether the path ends in ".bz2" in any letter case.
bool isBzip2Path(const std::string& path);
GribUnpacked unpackGribBz2(const std::string& path, uint64_t maxBytes = kGribMaxUnpacked);
