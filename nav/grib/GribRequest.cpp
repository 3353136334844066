#include "nav/grib/GribRequest.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

bool onEarth(NavPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.y) <= 90.0f && std::fabs(p.x) <= 180.0f;
}

// Whole degrees and hemisphere: "10S", "40E".
std::string coordinate(float value, char positive, char negative) {
    char text[16];
    std::snprintf(text, sizeof text, "%u%c", unsigned(std::fabs(value)), value > 0.0f ? positive : negative);
    return text;
}

} // namespace

bool GribRequest::resolutionFits(double degrees) {
    const double tenths = degrees * 10.0;
    return std::isfinite(degrees) && degrees > 0 && std::fabs(tenths - std::round(tenths)) < 1e-6;
}

bool GribRequest::isMailAddress(const std::string& address) {
    const size_t at = address.find('@');
    if (at == 0 || at == std::string::npos || at + 1 >= address.size() ||
        address.find('@', at + 1) != std::string::npos)
        return false;
    for (unsigned char c : address)
        if (c <= ' ' || c >= 0x7f || c == ',' || c == ';' || c == '<' || c == '>' || c == '"' || c == '?' ||
            c == '&')
            return false;
    return true;
}

std::optional<std::string> GribRequest::requestText(NavPoint corner1, NavPoint corner2,
                                                    const std::string& model,
                                                    const std::string& parameters) const {
    if (corner1 == kNoNavPoint || corner2 == kNoNavPoint || !onEarth(corner1) || !onEarth(corner2))
        return std::nullopt;
    const std::string area = coordinate(corner1.y, 'N', 'S') + "," + coordinate(corner2.y, 'N', 'S') + "," +
                             coordinate(corner1.x, 'E', 'W') + "," + coordinate(corner2.x, 'E', 'W');
    if (model == "COAMPS")
        return "COAMPS:" + area + "|0.2,0.2|0,6..48|" + parameters;
    if (model == "RTOFS")
        return "RTOFS:" + area + "|0.25,0.25|0,12..120|" + parameters;
    char grid[64], times[64];
    std::snprintf(grid, sizeof grid, "%.1f,%.1f", double(resolution_), double(resolution_));
    std::snprintf(times, sizeof times, "%u,%u..%u", 0u, interval_, days_ * 24);
    return model + ":" + area + "|" + grid + "|" + times + "|" + parameters;
}

std::string GribRequest::requestMailto(const std::string& text) const {
    // Everything but the unreserved characters is escaped, so any text survives the address.
    auto escape = [](const std::string& s, bool address = false) {
        std::string out;
        for (unsigned char c : s) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || (address && c == '@')) {
                out += char(c);
            } else {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", c);
                out += hex;
            }
        }
        return out;
    };
    return "mailto:" + escape(requestAddress_, true) + "?subject=" + escape("GRIB Request") +
           "&body=" + escape(text);
}

bool GribRequest::requestGrib(NavPoint corner1, NavPoint corner2, const std::string& model,
                              const std::string& parameters) const {
    const std::optional<std::string> text = requestText(corner1, corner2, model, parameters);
    if (!text || !mailer_ || !isMailAddress(requestAddress_))
        return false;
    return mailer_(requestMailto(*text));
}
