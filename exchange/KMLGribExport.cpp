// The forecast on view as KML: per grid a folder named by its forecast time, with a symbol per
// cell for wind, current and waves, the legend, and the contour lines with their labels. The
// images are drawn here and written beside the document, so that it works offline.

#include "exchange/ExportText.h"
#include "exchange/GribImages.h"
#include "exchange/KMLExport.h"
#include "exchange/Kmz.h"
#include "nav/grib/GribModel.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>

using exchange::ExportFile;
using exchange::fixed;
using exchange::GribSymbol;
using exchange::xmlEscaped;

namespace {

// A viewer slows to a crawl with many more overlays; a denser grid gets a symbol on every k-th
// row and column, k times as large.
constexpr size_t kMaxSymbols = 10000;

double wrapped(double longitude) {
    return std::remainder(longitude, 360.0); // -180..180
}

// "%b-%d-%y %H:%M" in UTC, the month's name in English whatever the locale.
std::string folderName(GribDate date) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = std::time_t(date.time_since_epoch().count());
    std::tm tm{};
    if (!::gmtime_r(&seconds, &tm))
        return isoDate(date);
    char text[48];
    std::snprintf(text, sizeof text, "%s-%02d-%02d %02d:%02d", months[tm.tm_mon], tm.tm_mday,
                  ((tm.tm_year + 1900) % 100 + 100) % 100, tm.tm_hour, tm.tm_min);
    return text;
}

size_t strideFor(size_t columns, size_t rows) {
    size_t k = 1;
    while (((columns + k - 1) / k) * ((rows + k - 1) / k) > kMaxSymbols)
        ++k;
    return k;
}

void writeSymbols(KMLExport& kml, ExportFile& file, const GribModel& model, const GribPoints& g) {
    const size_t columns = g.longitudeCount(), rows = g.latitudeCount();
    const size_t k = strideFor(columns, rows);
    const double dLat = g.latitudeIncrement(), dLon = g.longitudeIncrement();
    GribSymbolBox box;
    box.halfHeight = std::fabs(dLat) * double(k) / 3.0;
    box.halfWidth = std::fabs(dLon) * double(k) / 3.0;
    for (size_t row = 0; row < rows; row += k)
        for (size_t column = 0; column < columns; column += k) {
            const size_t i = row * columns + column;
            box.latitude = g.positionOnGPS().y + double(row) * dLat;
            box.longitude = wrapped(g.positionOnGPS().x + double(column) * dLon);
            if (g.hasWind()) {
                const float speed = g.windSpeed(i);
                const int beaufort = model.beaufortIndex(speed);
                if (speed >= 0.1f && beaufort >= 0)
                    kml.writeWind(file, box, g.windDirection(i), beaufort);
            }
            if (g.hasCurrent()) {
                const float speed = g.currentSpeed(i);
                if (speed >= 0.1f)
                    kml.writeCurrent(file, box, g.currentDirection(i), int(std::min(speed, 12.0f)));
            }
            if (g.hasWaveDirection() && !GribPoints::isMissing(g.waveDirection(i)))
                kml.writeWave(file, box, g.waveDirection(i));
        }
}

void writeGrid(KMLExport& kml, ExportFile& file, GribModel& model, GribPoints& g) {
    file << "<Folder>\n<name>" << xmlEscaped(folderName(g.forecastDate()))
         << "</name>\n<visibility>1</visibility>\n";
    writeSymbols(kml, file, model, g);
    if (g.hasWind() || g.hasCurrent())
        kml.writeLogo(file, exchange::gribLegendFile(g.hasWind() ? GribSymbol::wind : GribSymbol::current));
    kml.writeContour(file, model, g);
    file << "</Folder>\n";
}

// A folder beside the document (or inside the archive): relative, and never above it.
bool isLocal(const std::string& location) {
    return location.find("://") == std::string::npos && (location.empty() || location[0] != '/') &&
           location.find("..") == std::string::npos;
}

bool writeBeside(const std::string& document, const std::string& location,
                 const std::vector<std::pair<std::string, std::string>>& images) {
    namespace fs = std::filesystem;
    fs::path folder = fs::path(document).parent_path() / location;
    std::error_code error;
    fs::create_directories(folder, error);
    for (const auto& [name, bytes] : images) {
        ExportFile file;
        if (bytes.empty() || !file.open((folder / name).string()))
            return false;
        file << bytes;
        if (!file.commit())
            return false;
    }
    return true;
}

} // namespace

bool KMLExport::exportGrib(const std::string& path) {
    return exportGrib(path, GribModel::grib());
}

bool KMLExport::exportGrib(const std::string& path, GribModel& model) {
    const std::vector<GribPoints*> grids = model.gribPointsOnView();
    if (grids.empty())
        return false;
    gribImages_.clear();
    const bool zipped = isKMZ(path);
    ExportFile file;
    if (!zipped && !file.open(path))
        return false;
    writeHeader(file);
    for (GribPoints* g : grids)
        writeGrid(*this, file, model, *g);
    writeFooter(file);
    std::vector<std::pair<std::string, std::string>> images;
    if (isLocal(imageLocation_))
        for (const std::string& name : gribImages_)
            images.emplace_back(name, exchange::gribImagePng(name));
    if (zipped) {
        for (auto& image : images)
            image.first = imageLocation_ + image.first;
        return exchange::writeKmz(path, file.text(), images);
    }
    return writeBeside(path, imageLocation_, images) && file.commit();
}

void KMLExport::writeSymbol(ExportFile& file, const GribSymbolBox& box, float direction,
                            const std::string& image) {
    gribImages_.insert(image);
    // KML turns an overlay counterclockwise, within -180..180.
    const double rotation = std::isfinite(direction) ? std::remainder(360.0 - double(direction), 360.0) : 0.0;
    file << "<GroundOverlay>\n<Icon>\n<href>" << xmlEscaped(imageLocation_ + image)
         << "</href>\n</Icon>\n<LatLonBox>\n<north>"
         << fixed(std::min(box.latitude + box.halfHeight, 90.0), 6) << "</north>\n<south>"
         << fixed(std::max(box.latitude - box.halfHeight, -90.0), 6) << "</south>\n<east>"
         << fixed(wrapped(box.longitude + box.halfWidth), 6) << "</east>\n<west>"
         << fixed(wrapped(box.longitude - box.halfWidth), 6) << "</west>\n<rotation>" << fixed(rotation, 6)
         << "</rotation>\n</LatLonBox>\n</GroundOverlay>\n";
}

void KMLExport::writeWind(ExportFile& file, const GribSymbolBox& box, float direction, int beaufort) {
    writeSymbol(file, box, direction, exchange::gribSymbolFile(GribSymbol::wind, beaufort));
}

void KMLExport::writeCurrent(ExportFile& file, const GribSymbolBox& box, float direction, int knots) {
    writeSymbol(file, box, direction, exchange::gribSymbolFile(GribSymbol::current, knots));
}

void KMLExport::writeWave(ExportFile& file, const GribSymbolBox& box, float direction) {
    writeSymbol(file, box, direction, exchange::gribSymbolFile(GribSymbol::wave));
}

void KMLExport::writeLogo(ExportFile& file, const std::string& image, bool placed) {
    gribImages_.insert(image);
    file << "<ScreenOverlay>\n<name>Corvane</name>\n<Icon>\n<href>" << xmlEscaped(imageLocation_ + image)
         << "</href>\n</Icon>\n";
    if (placed)
        file << "<overlayXY x=\"0\" y=\"0\" xunits=\"pixels\" yunits=\"pixels\"/>\n"
                "<screenXY x=\"0\" y=\"0\" xunits=\"pixels\" yunits=\"pixels\"/>\n";
    file << "</ScreenOverlay>\n";
}

void KMLExport::writeContour(ExportFile& file, GribModel& model, GribPoints& points) const {
    model.contourGrid(points);
    for (const GribPolyline& line : points.contourPath()) {
        if (line.size() < 2) // a line string needs two points
            continue;
        startContour(file);
        for (NavPoint p : line)
            file << coordinateText({float(wrapped(p.x)), p.y}) << "\n";
        endContour(file);
    }
    for (const GribLabel& label : points.labels())
        writeLabel(file, label.text, label.position);
}

void KMLExport::startContour(ExportFile& file) const {
    file << "<Placemark>\n<Style>\n<LineStyle>\n<color>FFFFFFFF</color>\n<width>2</width>\n</LineStyle>\n"
            "</Style>\n<LineString>\n<coordinates>\n";
}

void KMLExport::endContour(ExportFile& file) const {
    file << "</coordinates>\n</LineString>\n</Placemark>\n";
}

void KMLExport::writeLabel(ExportFile& file, const std::string& text, NavPoint position) const {
    file << "<Placemark>\n<name>" << xmlEscaped(text) << "</name>\n<Point>\n<coordinates>"
         << coordinateText({float(wrapped(position.x)), position.y})
         << "</coordinates>\n</Point>\n</Placemark>\n";
}
