#pragma once
// The loaded weather forecast: grids grouped by first point and forecast time, sorted by time,
// the time on view, the Beaufort classes of wind speeds, and requests for new files by e-mail.

#include "nav/grib/GribPoints.h"
#include "nav/grib/GribRequest.h"

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

struct GribRecord;

// A view that draws the forecast; redrawn when the model asks.
class GribView {
public:
    virtual ~GribView() = default;
    virtual void setNeedsDisplayForGrib() {}
};

class GribModel {
public:
    GribModel();

    // The process-wide model, created on first use. Main thread only.
    static GribModel& grib();

    // Replaces the loaded grids with those of the file (a ".bz2" file is unpacked beside itself
    // first, see GribUnpack.h). False when the file cannot be read (loadNotes says why); grids
    // decoded before the file's end, or beside a damaged message, stay loaded.
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
    // Contours the grid's field when it has not been contoured yet (see GribContours.h): the
    // chosen field, else the first the grid has.
    void contourGrid(GribPoints& points);
    std::optional<GribField> contourField() const { return contourField_; }
    void setContourField(std::optional<GribField> field) {
        contourField_ = field;
        resetContourPathsAndLabels();
    }
    void resetContourPathsAndLabels();

    // Beaufort class of a speed in knots, -1 when none; its colour.
    int beaufortIndex(float knots) const;
    std::optional<BeaufortColor> beaufortColor(float knots) const;
    const std::vector<BeaufortScale>& beaufortScale() const { return beaufortScaleArray_; }

    // The request settings and the request (GribRequest.h), under the model's names.
    GribRequest& request() { return request_; }
    const GribRequest& request() const { return request_; }
    unsigned interval() const { return request_.interval(); }
    void setInterval(unsigned hours) { request_.setInterval(hours); }
    unsigned days() const { return request_.days(); }
    void setDays(unsigned days) { request_.setDays(days); }
    float resolution() const { return request_.resolution(); }
    void setResolution(float degrees) { request_.setResolution(degrees); }
    bool canRequestGrib() const { return true; }
    bool requestGrib(NavPoint corner1, NavPoint corner2, const std::string& model,
                     const std::string& parameters) const {
        return request_.requestGrib(corner1, corner2, model, parameters);
    }
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

    // The forecast on view as KML. The export lives with the other exchange formats, above this
    // library: it installs itself here (KMLExport::installGribExport) and this forwards to it;
    // false when none is installed or the file was not written.
    using KmlExporter = std::function<bool(GribModel& model, const std::string& path)>;
    static void setKmlExporter(KmlExporter exporter);
    bool kmlExportGrib(const std::string& path);

    // Asks a view that draws the forecast to draw it again.
    void setNeedsDisplay(GribView* view) const {
        if (view)
            view->setNeedsDisplayForGrib();
    }

    // What the last load could not keep, one sentence each for the user ("the file ends inside
    // message 2"); empty when the file was read whole.
    const std::vector<std::string>& loadNotes() const { return loadNotes_; }
    // The file ended inside a message, or a message was damaged.
    bool loadDamaged() const { return loadDamaged_; }
    // Values the model holds at most: a forecast a boat downloads, many times over (a 0.25
    // degree world in thirty fields and times), 128 MiB.
    static constexpr size_t kMaxHeldValues = size_t(1) << 25;
    void setMaxHeldValues(size_t values) { maxHeldValues_ = values; }

private:
    void readFile(std::FILE* file);
    void addRecord(const GribRecord& record);

    std::vector<GribPoints> gribPointsArray_;
    GribDate viewForecastDate_{};
    std::vector<BeaufortScale> beaufortScaleArray_;
    std::string filenameString_;
    GribRequest request_;
    std::optional<GribField> contourField_;
    std::vector<std::string> loadNotes_;
    bool loadDamaged_ = false;
    size_t held_ = 0;
    size_t maxHeldValues_ = kMaxHeldValues;
};
