// The forecast on view as KML: per grid a folder named by its forecast time, with a symbol per
// cell for wind, current and waves, the legend, and the contour lines with their labels. The
// images are drawn here and written beside the document, so that it works offline.

#include "exchange/KMLGribExport.h"

#include "exchange/ExportText.h"
#include "exchange/GribImages.h"
#include "exchange/KMLExport.h"
#include "exchange/Kmz.h"
#include "nav/grib/GribModel.h"
#include "nav/grib/GribThinning.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>

using exchange::ExportFile;
using exchange::fixed;
using exchange::GribSymbol;
using exchange::xmlEscaped;

namespace {

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

// How strong a point's flow is, for keeping the strongest of a block; below 0 where nothing is
// drawn.
float strength(const GribPoints& g, size_t i) {
    float s = -1;
    if (g.hasWind())
        s = std::max(s, g.windSpeed(i) >= 0.1f ? g.windSpeed(i) : -1.0f);
    if (g.hasCurrent())
        s = std::max(s, g.currentSpeed(i) >= 0.1f ? g.currentSpeed(i) : -1.0f);
    if (g.hasWaveDirection() && !GribPoints::isMissing(g.waveDirection(i)))
        s = std::max(s,
                     g.hasWaveHeight() && !GribPoints::isMissing(g.waveHeight(i)) ? g.waveHeight(i) : 0.0f);
    return s;
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

GribModel& KMLGribExport::sharedGribModel() {
    return GribModel::grib();
}

void KMLGribExport::installGribExport() {
    GribModel::setKmlExporter(
        [](GribModel& model, const std::string& path) { return KMLExport().exportGrib(path, model); });
}

void KMLGribExport::writeSymbols(ExportFile& file, const GribModel& model, const GribPoints& g) {
    const unsigned columns = g.longitudeCount(), rows = g.latitudeCount();
    const double dLat = g.latitudeIncrement(), dLon = g.longitudeIncrement();
    const size_t kinds = size_t(g.hasWind()) + size_t(g.hasCurrent()) + size_t(g.hasWaveDirection());
    const GribBlocks blocks =
        blocksByArea(rows, columns, kMaxSymbols / std::max<size_t>(1, kinds),
                     [&](unsigned row) { return g.positionOnGPS().y + double(row) * dLat; });
    const std::vector<size_t> kept =
        strongestOfBlocks(rows, columns, blocks, [&](size_t i) { return strength(g, i); });
    for (size_t i : kept) {
        const size_t row = i / columns, column = i % columns;
        GribSymbolBox box;
        box.latitude = g.positionOnGPS().y + double(row) * dLat;
        box.longitude = wrapped(g.positionOnGPS().x + double(column) * dLon);
        box.halfHeight = std::fabs(dLat) * double(blocks.rows) / 3.0;
        box.halfWidth = std::fabs(dLon) * double(blocks.columnsAt(unsigned(row - row % blocks.rows))) / 3.0;
        if (g.hasWind()) {
            const float speed = g.windSpeed(i);
            const int beaufort = model.beaufortIndex(speed);
            if (speed >= 0.1f && beaufort >= 0)
                writeWind(file, box, g.windDirection(i), beaufort);
        }
        if (g.hasCurrent()) {
            const float speed = g.currentSpeed(i);
            if (speed >= 0.1f)
                writeCurrent(file, box, g.currentDirection(i), int(std::min(speed, 12.0f)));
        }
        if (g.hasWaveDirection() && !GribPoints::isMissing(g.waveDirection(i)))
            writeWave(file, box, g.waveDirection(i));
    }
}

bool KMLGribExport::writeGribFile(const std::string& path, GribModel& model, const Frame& header,
                                  const Frame& footer) {
    const std::vector<GribPoints*> grids = model.gribPointsOnView();
    if (grids.empty())
        return false;
    gribImages_.clear();
    drawn_ = 0;
    const bool zipped = KMLExport::isKMZ(path);
    ExportFile file;
    if (!zipped && !file.open(path))
        return false;
    header(file);
    for (GribPoints* g : grids) {
        file << "<Folder>\n<name>" << xmlEscaped(folderName(g->forecastDate()))
             << "</name>\n<visibility>1</visibility>\n";
        writeSymbols(file, model, *g);
        if (g->hasWind() || g->hasCurrent())
            writeLogo(file, exchange::gribLegendFile(g->hasWind() ? GribSymbol::wind : GribSymbol::current));
        writeContour(file, model, *g);
        file << "</Folder>\n";
    }
    footer(file);
    if (drawn_ == 0)
        return false; // an empty folder is no forecast
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

void KMLGribExport::writeSymbol(ExportFile& file, const GribSymbolBox& box, float direction,
                                const std::string& image) {
    gribImages_.insert(image);
    ++drawn_;
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

void KMLGribExport::writeWind(ExportFile& file, const GribSymbolBox& box, float direction, int beaufort) {
    writeSymbol(file, box, direction, exchange::gribSymbolFile(GribSymbol::wind, beaufort));
}

void KMLGribExport::writeCurrent(ExportFile& file, const GribSymbolBox& box, float direction, int knots) {
    writeSymbol(file, box, direction, exchange::gribSymbolFile(GribSymbol::current, knots));
}

void KMLGribExport::writeWave(ExportFile& file, const GribSymbolBox& box, float direction) {
    writeSymbol(file, box, direction, exchange::gribSymbolFile(GribSymbol::wave));
}

void KMLGribExport::writeLogo(ExportFile& file, const std::string& image, bool placed) {
    gribImages_.insert(image);
    file << "<ScreenOverlay>\n<name>Corvane</name>\n<Icon>\n<href>" << xmlEscaped(imageLocation_ + image)
         << "</href>\n</Icon>\n";
    if (placed)
        file << "<overlayXY x=\"0\" y=\"0\" xunits=\"pixels\" yunits=\"pixels\"/>\n"
                "<screenXY x=\"0\" y=\"0\" xunits=\"pixels\" yunits=\"pixels\"/>\n";
    file << "</ScreenOverlay>\n";
}

void KMLGribExport::writeContour(ExportFile& file, GribModel& model, GribPoints& points) {
    model.contourGrid(points);
    for (const GribPolyline& line : points.contourPath()) {
        if (line.size() < 2) // a line string needs two points
            continue;
        ++drawn_;
        startContour(file);
        for (NavPoint p : line)
            file << KMLExport::coordinateText({float(wrapped(p.x)), p.y}) << "\n";
        endContour(file);
    }
    for (const GribLabel& label : points.labels())
        writeLabel(file, label.text, label.position);
}

void KMLGribExport::startContour(ExportFile& file) const {
    file << "<Placemark>\n<Style>\n<LineStyle>\n<color>FFFFFFFF</color>\n<width>2</width>\n</LineStyle>\n"
            "</Style>\n<LineString>\n<coordinates>\n";
}

void KMLGribExport::endContour(ExportFile& file) const {
    file << "</coordinates>\n</LineString>\n</Placemark>\n";
}

void KMLGribExport::writeLabel(ExportFile& file, const std::string& text, NavPoint position) const {
    // An icon of scale 0: the viewer shows the text alone instead of a pin beside it.
    file
        << "<Placemark>\n<name>" << xmlEscaped(text)
        << "</name>\n<Style>\n<IconStyle>\n<scale>0</scale>\n</IconStyle>\n<LabelStyle>\n<scale>0.8</scale>\n"
           "</LabelStyle>\n</Style>\n<Point>\n<coordinates>"
        << KMLExport::coordinateText({float(wrapped(position.x)), position.y})
        << "</coordinates>\n</Point>\n</Placemark>\n";
}
