#pragma once
// What navtool convert and list share: options, and reading and writing the exchange files into
// and out of the chart models, by their extensions or the formats named on the command line.

#include "exchange/ExportFile.h"
#include "exchange/Importer.h"
#include "tool/Commands.h"

#include <optional>
#include <string>
#include <vector>

enum class FileKind { Gpx, Kml, Kmz, Csv, Unknown };
FileKind kindOfPath(const std::string& path);
// "gpx", "kml", "kmz", "csv"; Unknown for anything else.
FileKind kindOfName(const std::string& name);

struct ExchangeOptions {
    std::optional<unsigned> positionForm; // of CSV waypoint files: the units' position form
    std::string csvKind;                  // "waypoints", "route", "track", or "" to tell by content
    std::optional<FileKind> inputKind;    // -i: the inputs' format whatever their names
    std::optional<FileKind> outputKind;   // -o: the output's format whatever its name
    exchange::ExportParts parts;          // --waypoints, --routes, --tracks: what is written
    bool open = false;                    // --open: the output in a globe viewer
};

// Reads the options of list (and, with `convert`, those of convert) out of the arguments, leaving
// the rest; false (with a message on standard error) for a bad option.
bool takeExchangeOptions(Arguments& args, ExchangeOptions* options, bool convert = false);
// What convert and list do first: help on request (exit status 0), the options taken out, then at
// least `paths` arguments left (exactly, unless `more`), else the usage (status 2). Nullopt when
// the command goes on.
std::optional<int> takeExchangeArguments(Arguments& args, size_t paths, const char* help,
                                         ExchangeOptions* options, bool convert = false, bool more = false);

// The models the commands fill: their own, not the process-wide ones.
struct ToolModels {
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ExchangeModels exchange() { return {waypoints, routes, tracks}; }
};

// Imports the file ("-": standard input) into the models; false with the reason in *error
// ("line 3: mismatched tag"). What was skipped or changed goes into *report.
bool importFile(const std::string& path, const ExchangeOptions& options, ToolModels& models,
                exchange::ImportReport* report, std::string* error);
// Exports what the options choose of the models ("-": standard output); the files written go into
// *written (CSV holds one kind per file: the first kind present takes the path, the others files
// beside it). Losses forced on the way (other kinds of a CSV on standard output) go into *lost.
bool exportFile(const std::string& path, const ExchangeOptions& options, ToolModels& models,
                std::vector<std::string>* written, std::vector<std::string>* lost);

// Prints what an import skipped or changed on standard error, each line after the file's name.
void printReport(const std::string& path, const exchange::ImportReport& report);
