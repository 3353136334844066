#pragma once
// The loaded weather forecast: grids grouped by first point and forecast time, sorted by time,
// the time on view, the Beaufort classes of wind speeds, and requests for new files by e-mail.

#include "nav/grib/GribPoints.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct BeaufortColor {
    float red = 0, green = 0, blue = 0, alpha = 1;
    friend bool operator==(const BeaufortColor&, const BeaufortColor&) = default;
};

// One Beaufort class: speeds in knots with lower <= v < upper.
struct BeaufortScale {
    float upper = 0, lower = 0;
    BeaufortColor color;
};

class GribModel {
public:
    GribModel();

    // The process-wide model, created on first use. Main thread only.
    static GribModel& grib();

    // Replaces the loaded grids with those of the file (a ".bz2" file is decompressed beside
    // itself first). False when the file cannot be read; grids decoded before a damaged message
    // stay loaded.
    bool loadGrib(const std::string& path);
    void close();

    const std::vector<GribPoints>& gribPoints() const { return gribPointsArray_; }
    std::vector<GribPoints>& gribPoints() { return gribPointsArray_; }
    // Distinct forecast times, earliest first.
    std::vector<GribDate> forecastDates() const;
    GribDate viewForecastDate() const { return viewForecastDate_; }
    void setViewForecastDate(GribDate date) { viewForecastDate_ = date; }
    // The grids of the time on view.
    std::vector<const GribPoints*> gribPointsOnView() const;
    std::vector<GribPoints*> gribPointsOnView();
    const std::string& filename() const { return filenameString_; }

    // Whether a grid on view has a field to contour, or wind to draw.
    bool canContour() const;
    bool canBarb() const;
    // Contours the grid's field when it has not been contoured yet (see GribContours.h).
    void contourGrid(GribPoints& points);
    void resetContourPathsAndLabels();

    // Beaufort class of a speed in knots, -1 when none; its colour.
    int beaufortIndex(float knots) const;
    std::optional<BeaufortColor> beaufortColor(float knots) const;
    const std::vector<BeaufortScale>& beaufortScale() const { return beaufortScaleArray_; }

    // What a request asks for: hours between forecast times, days, grid spacing in degrees.
    unsigned interval() const { return interval_; }
    void setInterval(unsigned hours) { interval_ = hours; }
    unsigned days() const { return days_; }
    void setDays(unsigned days) { days_ = days; }
    float resolution() const { return resolution_; }
    void setResolution(float degrees) { resolution_ = degrees; }

    // The request text for an area between two corners; none when a corner is missing or not
    // a position on earth.
    std::optional<std::string> requestText(NavPoint corner1, NavPoint corner2, const std::string& model,
                                           const std::string& parameters) const;
    // The "mailto:" address that carries a request text to the request service.
    std::string requestMailto(const std::string& text) const;
    const std::string& requestAddress() const { return requestAddress_; }
    void setRequestAddress(const std::string& address) { requestAddress_ = address; }
    // Hands a "mailto:" address to the desktop; installed by the program's interface layer.
    using Mailer = std::function<bool(const std::string& mailto)>;
    void setMailer(Mailer mailer) { mailer_ = std::move(mailer); }

    bool canRequestGrib() const { return true; }
    // Sends the request; whether the desktop took the mail.
    bool requestGrib(NavPoint corner1, NavPoint corner2, const std::string& model,
                     const std::string& parameters);
    bool requestGribWindSurface(NavPoint c1, NavPoint c2) { return requestGrib(c1, c2, "GFS", "WIND,PRMSL"); }
    bool requestGribWindSurfaceCoamps(NavPoint c1, NavPoint c2) {
        return requestGrib(c1, c2, "COAMPS", "WIND,PRMSL");
    }
    bool requestGribCurrents(NavPoint c1, NavPoint c2) { return requestGrib(c1, c2, "RTOFS", "CUR,WTMP"); }
    bool requestGribHeight500mb(NavPoint c1, NavPoint c2) {
        return requestGrib(c1, c2, "GFS", "WIND500,H500");
    }
    bool requestGribWave(NavPoint c1, NavPoint c2) { return requestGrib(c1, c2, "WW3", "HTSGW,WVDIR"); }
    bool requestGribAirTemperature(NavPoint c1, NavPoint c2) { return requestGrib(c1, c2, "GFS", "AIRTEMP"); }
    bool requestGribSeaTemperature(NavPoint c1, NavPoint c2) { return requestGrib(c1, c2, "GFS", "SEATMP"); }
    bool requestGribPrecipitationRate(NavPoint c1, NavPoint c2) { return requestGrib(c1, c2, "GFS", "RAIN"); }

private:
    bool readFile(std::FILE* file);

    std::vector<GribPoints> gribPointsArray_;
    GribDate viewForecastDate_{};
    std::vector<BeaufortScale> beaufortScaleArray_;
    std::string filenameString_;
    unsigned interval_ = 12;
    unsigned days_ = 3;
    float resolution_ = 0.5f;
    std::string requestAddress_;
    Mailer mailer_;
};

// The request service's address until the program configures another.
extern const char* const kGribRequestAddress;
