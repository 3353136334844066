#pragma once
// Reads KML (or KMZ) files into the waypoint, route and tracks models. Placemarks become
// waypoints; a line string becomes a route once the file has given waypoints, and a track before;
// a gx:Track (alone or in a gx:MultiTrack) is a track segment with its times. The folders an export
// of everything writes are read back as what they hold: a route's folder its points and line, the
// track's folder its gx:Track segments (the lines and end markers beside them only show them).

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
    enum class FolderKind { Plain, Route, Track };
    struct TimedCoordinate {
        NavPoint position;
        std::optional<float> altitude;
    };

    void begin(ImportDelegate* delegate);
    void finish();
    // An archive that cannot be read because libzip cannot be loaded: fails, saying so.
    bool unreadableArchive();
    void startFolder(const char** attributes);
    bool inFolder(FolderKind kind) const;
    void startLineString();
    void readCoordinates();
    void readRouteCoordinates();
    void readTrackCoordinates();
    std::shared_ptr<Waypoint> routeVertex(NavPoint position);
    void addTrackPoint(NavPoint position, std::optional<ChartDate> date, std::optional<float> altitude,
                       bool segmentStart);
    void endGxTrack();
    void endPlacemark();
    void makePlacemarkWaypoint();
    void addOpenRoute();

    std::shared_ptr<Waypoint> waypoint_;
    std::shared_ptr<Route> route_;
    bool trackOpen_ = false;
    bool skipLine_ = false; // a line the gx:Track beside it carries
    bool placemarkHasTrack_ = false;
    unsigned long placemarkLine_ = 0;
    ChartColor trackColor_;
    std::vector<std::shared_ptr<Waypoint>> waypointsArray_; // made from this file
    std::vector<std::shared_ptr<Waypoint>> folderPoints_;   // of the route folder being read
    std::vector<bool> folderPointUsed_;                     // by its line so far
    std::vector<FolderKind> folders_;
    std::optional<std::vector<std::optional<ChartDate>>> gxWhen_; // while a gx:Track is read
    std::vector<TimedCoordinate> gxCoord_;
};

namespace exchange {
// The positions of a coordinates text: tuples "lon,lat[,alt]" separated by blanks. A text of
// lone numbers separated by blanks only is read three numbers at a time.
std::vector<NavPoint> coordinateTuples(std::string_view text);
// The first two numbers of a coordinates text, separated by commas or blanks.
std::optional<NavPoint> firstPosition(std::string_view text);
// Every number of a coordinates text up to the first thing that is not one.
std::vector<float> coordinateNumbers(std::string_view text);
// "aabbggrr" (eight hexadecimal digits); six digits read as "bbggrr", opaque.
std::optional<ChartColor> readKmlColor(std::string_view text);
} // namespace exchange
