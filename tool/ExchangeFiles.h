#pragma once
// What navtool convert and list share: options, and reading and writing the exchange files by
// their extensions into and out of the chart models.

#include "exchange/Importer.h"
#include "tool/Commands.h"

#include <optional>
#include <string>

struct ExchangeOptions {
    std::optional<unsigned> positionForm; // of CSV waypoint files: the units' position form
    std::string csvKind;                  // "waypoints", "route", "track", or "" to tell by content
};

// Reads "--position-form N" and "--csv KIND" out of the arguments, leaving the rest; false (with
// a message on standard error) for a bad option.
bool takeExchangeOptions(Arguments& args, ExchangeOptions* options);
// What convert and list do first: help on request (exit status 0), the options taken out, then
// exactly `paths` arguments left, else the usage (status 2). Nullopt when the command goes on.
std::optional<int> takeExchangeArguments(Arguments& args, size_t paths, const char* help,
                                         ExchangeOptions* options);

// The models the commands fill: their own, not the process-wide ones.
struct ToolModels {
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ExchangeModels exchange() { return {waypoints, routes, tracks}; }
};

enum class FileKind { Gpx, Kml, Csv, Unknown };
FileKind kindOfPath(const std::string& path);

// Imports the file into the models; false with the reason in *error ("line 3: mismatched tag").
bool importFile(const std::string& path, const ExchangeOptions& options, ToolModels& models,
                std::string* error);
// Exports everything the models hold; the files written go into *written (CSV holds one kind per
// file: the first kind present takes the path, the others files beside it).
bool exportFile(const std::string& path, ToolModels& models, std::vector<std::string>* written);
