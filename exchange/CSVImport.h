#pragma once
// Reads waypoints, a route or a track from comma-separated lines, as CSVExport writes them.

#include "exchange/Importer.h"

#include <optional>
#include <string>

class CSVImport : public Importer {
public:
    // Larger files are not read.
    static constexpr size_t maxFileBytes = 256u << 20;
    // Longer lines of a track file are skipped.
    static constexpr size_t maxTrackLine = 1u << 16;

    explicit CSVImport(ExchangeModels models = ExchangeModels::shared()) : Importer(models) {}

    static bool isCSV(const std::string& path);

    // Lines "name,latitude,longitude[,description]" in the user's position form, or in signed
    // decimal degrees ("A,54.5,-10.2") whatever the form. Stops with false
    // at a line without three fields, and at a position the form does not read (after showing the
    // formatter's message through the delegate); waypoints made before stay.
    bool importWaypoints(const std::string& path, ImportDelegate* delegate);
    // The same, appending each waypoint to the route; false without a route.
    bool importRoute(const std::string& path, ImportDelegate* delegate, Route* route);
    // Track lines as CSVExport writes them, each point in the given colour (black when none).
    // Lines whose date or position cannot be read are skipped and counted in report(). Lines end
    // with line feeds, or with carriage returns alone.
    bool importTracks(const std::string& path, std::optional<ChartColor> color);

    // The same from text in memory.
    bool importWaypointsText(std::string_view text, ImportDelegate* delegate, Route* route = nullptr);
    bool importTracksText(std::string_view text, std::optional<ChartColor> color);

private:
    std::optional<exchange::Reason> importTrackLine(std::string_view line, const ChartColor& color);
};
