#pragma once
// Writes waypoints, routes, the logged track and a view position as KML 2.0 for a globe viewer:
// one element per line, no indentation. A path ending in ".kmz" gets an archive holding the
// document and the icon images it refers to. The building blocks are public so that further
// exports (the forecast's, in a file of its own) can be written with them.

#include "exchange/ExportFile.h"
#include "exchange/Importer.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

class GribModel;
class GribPoints;

// A forecast symbol's box: centred on a grid cell, half its height and width in degrees.
struct GribSymbolBox {
    double latitude = 0, longitude = 0, halfHeight = 0, halfWidth = 0;
};

class KMLExport {
public:
    explicit KMLExport(ExchangeModels models = ExchangeModels::shared()) : models_(models) {}

    // The path's extension is "kml" or "kmz" in any letter case.
    static bool isKML(const std::string& path);
    static bool isKMZ(const std::string& path);

    // Each answers whether the file was written; a failed export leaves the old file in place.
    bool exportWaypoints(const std::string& path); // the waypoints model's current matches
    bool exportRoute(const std::string& path, const Route& route);
    bool exportTracks(const std::string& path);
    bool exportPosition(const std::string& path, NavPoint position);
    // In one file: the current matches that are waypoints of their own, each route in a folder of
    // its own with its points and line, and the track; or the parts chosen.
    bool exportAll(const std::string& path, exchange::ExportParts parts = {});

    // Where the icon images lie, before each icon's file name; "icons/" beside the document by
    // default, which is where a KMZ archive keeps them. A KML file gets the images it uses written
    // there when the location is a folder beside it.
    void setIconLocation(std::string location) { iconLocation_ = std::move(location); }
    static std::string iconFileName(int iconIndex); // "ANCHOR.svg"

    // The forecast on view (of the shared forecast model, or the given one): a folder per grid of
    // the time on view with its wind, current and wave symbols, legend, contour lines and labels
    // (KMLGribExport.cpp). The images go to the image location beside the document, or into the
    // KMZ archive. False, writing nothing, when no grid is on view or a file cannot be written.
    bool exportGrib(const std::string& path);
    bool exportGrib(const std::string& path, GribModel& model);
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
    void writeContour(exchange::ExportFile& file, GribModel& model, GribPoints& points) const;
    void startContour(exchange::ExportFile& file) const;
    void endContour(exchange::ExportFile& file) const;
    void writeLabel(exchange::ExportFile& file, const std::string& text, NavPoint position) const;

    // Building blocks. writeFile makes the file (or archive) around a body.
    bool writeFile(const std::string& path, const std::function<void(exchange::ExportFile&)>& body);
    void writeHeader(exchange::ExportFile& file, const std::optional<std::string>& name = std::nullopt) const;
    void writeFooter(exchange::ExportFile& file) const;
    void writeString(exchange::ExportFile& file, std::string_view text) const { file.write(text); }
    // A waypoint whose icon index lies outside the icon table goes out with the blank icon.
    void writeWaypoints(exchange::ExportFile& file, const std::vector<std::shared_ptr<Waypoint>>& waypoints);
    void writeRouteLine(exchange::ExportFile& file, const Route& route) const;
    // A route's folder: its points and its line, marked so that an import reads them back as such.
    void writeRouteFolder(exchange::ExportFile& file, const Route& route, size_t number);
    // In a folder of its own: each segment as a line between two markers, and as a gx:Track with
    // the points' times.
    void writeTrack(exchange::ExportFile& file) const;
    void writeGxTrack(exchange::ExportFile& file, const std::vector<std::shared_ptr<Track>>& segment) const;
    void startTrack(exchange::ExportFile& file, const Track& first) const;
    void endTrack(exchange::ExportFile& file, const Track& last) const;
    void writeTrackPoint(exchange::ExportFile& file, const Track& point) const;
    void writeStartPosition(exchange::ExportFile& file, NavPoint position) const;

    // "lon,lat,0" with six decimals each; a record's elevation in place of the 0 when it has one.
    static std::string coordinateText(NavPoint position);
    static std::string coordinateText(const ChartMarker& marker);
    // Eight hexadecimal digits alpha, blue, green, red.
    static std::string colorText(const ChartColor& color);

protected:
    ExchangeModels models_;

private:
    std::string iconLocation_ = "icons/";
    std::set<int> iconsWritten_; // packed into a KMZ
    void writeSymbol(exchange::ExportFile& file, const GribSymbolBox& box, float direction,
                     const std::string& image);
    std::string imageLocation_ = "images/";
    std::set<std::string> gribImages_; // file names of the forecast images the document uses
};
