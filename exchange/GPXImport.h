#pragma once
// Reads a GPX file (1.0 or 1.1) into the waypoint, route and tracks models, element by element.
// Route points become waypoints marked as route points; every segment start is kept on its point;
// a track point without a time is kept without one. What is skipped or changed is in report().

#include "exchange/XmlImport.h"

#include <optional>

class GPXImport : public XmlImport {
public:
    explicit GPXImport(ExchangeModels models = ExchangeModels::shared()) : XmlImport(models) {}

    // The file's first 128 bytes hold "<gpx".
    static bool isGPX(const std::string& path);

    // Parses the file; the delegate makes the waypoints, the colour (black when none) seeds the
    // track points' colour. True when the whole file was read; what was read before an error stays.
    bool import(const std::string& path, std::optional<ChartColor> color, ImportDelegate* delegate);
    // The same from bytes in memory.
    bool importBytes(std::string_view bytes, std::optional<ChartColor> color, ImportDelegate* delegate);

protected:
    void startElement(std::string_view name, const char** attributes) override;
    void endElement(std::string_view name) override;

private:
    void begin(std::optional<ChartColor> color, ImportDelegate* delegate);
    void finish();
    std::shared_ptr<Waypoint> createReadWaypoint();
    void addReadTrackPoint();
    void endField(std::string_view name);

    std::shared_ptr<Waypoint> waypoint_; // being read
    exchange::RecordKind waypointKind_ = exchange::RecordKind::Waypoint;
    std::shared_ptr<Route> route_;
    std::shared_ptr<Track> track_;
    ChartColor trackColor_;
    bool segmentBegins_ = true;    // the next track point begins a segment
    unsigned long recordLine_ = 0; // where the record being read began
};

// A coordinate attribute as a float; the missing mark when absent or not a number.
float coordinateAttribute(const char** attributes, std::string_view name);
