#pragma once
// Reads KML (or KMZ) files into the waypoint, route and tracks models. Placemarks become
// waypoints; a line string becomes a route once the file has given waypoints, and a track before.

#include "exchange/XmlImport.h"

#include <vector>

class KMLImport : public XmlImport {
public:
    explicit KMLImport(ExchangeModels models = ExchangeModels::shared()) : XmlImport(models) {}

    // The path's extension is "kml" or "kmz" in any letter case.
    static bool isKML(const std::string& path);

    // Parses the file (a KMZ archive's KML document); the delegate makes the waypoints. True when
    // the whole document was read; what was read before an error stays.
    bool import(const std::string& path, ImportDelegate* delegate);
    // The same from bytes in memory, KML or a KMZ archive.
    bool importBytes(std::string_view bytes, ImportDelegate* delegate);

    // A waypoint this import made at exactly that position.
    std::shared_ptr<Waypoint> waypointForPosition(NavPoint position) const;

protected:
    void startElement(std::string_view name, const char** attributes) override;
    void endElement(std::string_view name) override;

private:
    void begin(ImportDelegate* delegate);
    void finish();
    void readCoordinates();
    void endPlacemark();
    void addOpenRoute();

    std::shared_ptr<Waypoint> waypoint_;
    std::shared_ptr<Route> route_;
    bool trackOpen_ = false;
    ChartColor trackColor_;
    std::vector<std::shared_ptr<Waypoint>> waypointsArray_; // made from this file
};

namespace exchange {
// The positions of a coordinates text: tuples "lon,lat[,alt]" separated by blanks. A text of
// lone numbers separated by blanks only is read three numbers at a time.
std::vector<NavPoint> coordinateTuples(std::string_view text);
// The first two numbers of a coordinates text, separated by commas or blanks.
std::optional<NavPoint> firstPosition(std::string_view text);
// "aabbggrr" (eight hexadecimal digits); six digits read as "bbggrr", opaque.
std::optional<ChartColor> readKmlColor(std::string_view text);
} // namespace exchange
