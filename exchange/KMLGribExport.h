#pragma once
// The forecast pieces of the KML export (KMLExport derives from this): wind, current and wave
// symbols, the legend, contour lines and their labels, and the whole forecast on view as a file
// with its images beside it.

#include "exchange/ExportFile.h"
#include "nav/NavMath.h"

#include <functional>
#include <optional>
#include <set>
#include <string>

class GribModel;
class GribPoints;

// A forecast symbol's box: centred on a grid point, half its height and width in degrees.
struct GribSymbolBox {
    double latitude = 0, longitude = 0, halfHeight = 0, halfWidth = 0;
};

class KMLGribExport {
public:
    // Where the forecast's images lie, before each image's file name; "images/" by default.
    void setImageLocation(std::string location) { imageLocation_ = std::move(location); }
    // Forecast pieces. A symbol is rotated to the direction the flow comes from (degrees true).
    void writeWind(exchange::ExportFile& file, const GribSymbolBox& box, float direction, int beaufort);
    void writeCurrent(exchange::ExportFile& file, const GribSymbolBox& box, float direction, int knots);
    void writeWave(exchange::ExportFile& file, const GribSymbolBox& box, float direction);
    // A legend image (a file name at the image location), placed at the screen's lower left
    // corner or where the viewer puts it.
    void writeLogo(exchange::ExportFile& file, const std::string& image, bool placed = false);
    // The grid's contour lines and their labels, when it has a field to contour.
    void writeContour(exchange::ExportFile& file, GribModel& model, GribPoints& points);
    void startContour(exchange::ExportFile& file) const;
    void endContour(exchange::ExportFile& file) const;
    // A label shown as text at its place, without a pin.
    void writeLabel(exchange::ExportFile& file, const std::string& text, NavPoint position) const;

    // Makes GribModel::kmlExportGrib write through this export.
    static void installGribExport();
    // Symbols per grid at most: a viewer slows to a crawl with many more overlays; a denser
    // grid is thinned to blocks of about equal area, each showing its strongest point.
    static constexpr size_t kMaxSymbols = 10000;

protected:
    using Frame = std::function<void(exchange::ExportFile&)>;
    // The forecast on view between a header and footer; false, writing nothing, when no grid is
    // on view, nothing of it can be drawn, or a file cannot be written.
    bool writeGribFile(const std::string& path, GribModel& model, const Frame& header, const Frame& footer);
    static GribModel& sharedGribModel();

private:
    void writeSymbol(exchange::ExportFile& file, const GribSymbolBox& box, float direction,
                     const std::string& image);
    void writeSymbols(exchange::ExportFile& file, const GribModel& model, const GribPoints& grid);
    std::string imageLocation_ = "images/";
    std::set<std::string> gribImages_; // file names of the forecast images the document uses
    size_t drawn_ = 0;                 // symbols and contour lines written
};
