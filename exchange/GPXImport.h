#pragma once
// Reads a GPX file (1.0 or 1.1) into the waypoint, route and tracks models, element by element.

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

    std::shared_ptr<Waypoint> waypoint_; // being read
    std::shared_ptr<Route> route_;
    std::shared_ptr<Track> track_;
    ChartColor trackColor_;
};

// A coordinate attribute as a float; the missing mark when absent or not a number.
float coordinateAttribute(const char** attributes, std::string_view name);
