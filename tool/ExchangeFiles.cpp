#include "tool/ExchangeFiles.h"

#include "exchange/CSVExport.h"
#include "exchange/CSVImport.h"
#include "exchange/ExportText.h"
#include "exchange/GPXExport.h"
#include "exchange/GPXImport.h"
#include "exchange/KMLExport.h"
#include "exchange/KMLImport.h"
#include "exchange/LenientDate.h"
#include "nav/UnitsModel.h"
#include "support/Alert.h"
#include "support/OSXUtil.h"
#include "support/Platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <sys/stat.h>

namespace {

std::optional<unsigned> positionFormOf(const std::string& text) {
    const char* names[] = {"dm", "hdm", "deg", "dms"};
    for (unsigned i = 0; i < 4; ++i) {
        if (text == std::to_string(i) || text == names[i])
            return i;
    }
    return std::nullopt;
}

// An input: a file by its path, or the bytes of standard input.
struct Input {
    std::string path;
    std::optional<std::string> bytes;
    std::string text() const {
        return bytes ? *bytes : support::readFile(path, CSVImport::maxFileBytes).value_or("");
    }
};

// Standard input has no name to tell its format by: its first bytes tell it.
FileKind sniff(const std::string& bytes) {
    if (bytes.rfind("PK\x03\x04", 0) == 0)
        return FileKind::Kmz;
    const std::string head = bytes.substr(0, 4096);
    if (head.find("<gpx") != std::string::npos)
        return FileKind::Gpx;
    if (head.find("<kml") != std::string::npos)
        return FileKind::Kml;
    return FileKind::Csv;
}

// A track file's first line starts with a date and a number; a waypoint file's with a name.
bool looksLikeTrackFile(const std::string& text) {
    const std::string line = text.substr(0, text.find_first_of("\r\n"));
    const size_t first = line.find(','), second = line.find(',', first + 1);
    if (first == std::string::npos)
        return false;
    float latitude = 0.0f;
    return exchange::readDate(line.substr(0, first), exchange::DefaultZone::Local) &&
           exchange::readFloat(
               line.substr(first + 1, second == std::string::npos ? second : second - first - 1), &latitude);
}

// The formatter's message in the user's language in place of its key.
void localizeKeys(const ModelImportDelegate& delegate, std::string* error) {
    for (const std::string& key : delegate.messages()) {
        if (const size_t at = error->find(key); at != std::string::npos)
            error->replace(at, key.size(), Alert::localizedStringWithKey(key));
    }
}

bool importCsv(const Input& input, const ExchangeOptions& options, ToolModels& models,
               exchange::ImportReport* report, std::string* error) {
    CSVImport importer(models.exchange());
    ModelImportDelegate delegate(models.exchange());
    const std::string text = input.text();
    const std::string kind =
        options.csvKind.empty() ? (looksLikeTrackFile(text) ? "track" : "waypoints") : options.csvKind;
    bool ok = false;
    if (kind == "track") {
        ok = importer.importTracksText(text, std::nullopt);
        if (!ok && importer.error().empty())
            *error = "no line holds a date and a position";
    } else {
        std::shared_ptr<Route> route;
        if (kind == "route") {
            route = std::make_shared<Route>();
            route->setName(input.bytes ? std::string("route") : fileStem(input.path));
        }
        ok = importer.importWaypointsText(text, &delegate, route.get());
        if (route && route->count() > 0)
            models.routes.add(route);
    }
    *report = importer.report();
    if (!ok && error->empty()) {
        *error = importer.error().empty() ? "nothing read" : importer.error();
        localizeKeys(delegate, error);
    }
    return ok;
}

template <class Importer, class... Extra>
bool importXml(const Input& input, ToolModels& models, exchange::ImportReport* report, std::string* error,
               Extra... extra) {
    Importer importer(models.exchange());
    ModelImportDelegate delegate(models.exchange());
    const bool ok = input.bytes ? importer.importBytes(*input.bytes, extra..., &delegate)
                                : importer.import(input.path, extra..., &delegate);
    *error = importer.error();
    *report = importer.report();
    return ok;
}

std::string besides(const std::string& path, const std::string& suffix) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + fileStem(path) + suffix + ".csv";
}

bool exportCsv(const std::string& path, const exchange::ExportParts& parts, ToolModels& models,
               std::vector<std::string>* written) {
    CSVExport exporter(models.exchange());
    bool pathTaken = false;
    const auto next = [&](const std::string& suffix) {
        const std::string file = pathTaken ? besides(path, suffix) : path;
        pathTaken = true;
        written->push_back(file);
        return file;
    };
    // Route points go with their routes.
    const auto own = ownWaypoints(models.waypoints);
    if (parts.waypoints && !own.empty() && !exporter.exportWaypoints(next(""), own))
        return false;
    for (size_t i = 0; parts.routes && i < models.routes.count(); ++i) {
        if (!exporter.exportRoute(next("-route" + std::to_string(i + 1)), *models.routes.route(i)))
            return false;
    }
    if (parts.tracks && models.tracks.count() > 0 && !exporter.exportTracks(next("-track")))
        return false;
    if (!pathTaken && !exporter.exportWaypoints(next(""), {}))
        return false;
    return true;
}

bool writeKind(const std::string& path, FileKind kind, const exchange::ExportParts& parts, ToolModels& models,
               std::vector<std::string>* written) {
    switch (kind) {
    case FileKind::Gpx:
        written->push_back(path);
        return GPXExport(models.exchange()).exportAll(path, parts);
    case FileKind::Kml:
    case FileKind::Kmz:
        written->push_back(path);
        return KMLExport(models.exchange()).exportAll(path, parts);
    case FileKind::Csv:
        return exportCsv(path, parts, models, written);
    case FileKind::Unknown:
        break;
    }
    return false;
}

const char* extensionOf(FileKind kind) {
    const char* names[] = {".gpx", ".kml", ".kmz", ".csv", ""};
    return names[static_cast<size_t>(kind)];
}

// Written in a scratch folder, then copied out: one file only, so the routes and the track of a
// CSV with waypoints cannot go along.
bool exportToStandardOutput(FileKind kind, const exchange::ExportParts& parts, ToolModels& models,
                            std::vector<std::string>* lost) {
    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "navtool-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        return false;
    std::vector<std::string> written;
    bool ok = writeKind(folder + "/out" + extensionOf(kind), kind, parts, models, &written);
    if (ok && !written.empty()) {
        const auto bytes = support::readFile(written.front(), SIZE_MAX);
        ok = bytes && std::fwrite(bytes->data(), 1, bytes->size(), stdout) == bytes->size() &&
             std::fflush(stdout) == 0;
        for (size_t i = 1; i < written.size(); ++i)
            lost->push_back(fs::path(written[i]).stem().string().substr(4) +
                            " not written: standard output takes one CSV file");
    }
    std::error_code error;
    fs::remove_all(folder, error);
    return ok;
}

} // namespace

FileKind kindOfName(const std::string& name) {
    const char* names[] = {"gpx", "kml", "kmz", "csv"};
    for (size_t i = 0; i < 4; ++i) {
        if (name == names[i])
            return static_cast<FileKind>(i);
    }
    return FileKind::Unknown;
}

FileKind kindOfPath(const std::string& path) {
    if (GPXExport::isGPX(path))
        return FileKind::Gpx;
    if (KMLExport::isKMZ(path))
        return FileKind::Kmz;
    if (KMLExport::isKML(path))
        return FileKind::Kml;
    if (CSVExport::isCSV(path))
        return FileKind::Csv;
    return FileKind::Unknown;
}

bool importFile(const std::string& path, const ExchangeOptions& options, ToolModels& models,
                exchange::ImportReport* report, std::string* error) {
    error->clear();
    Input input{path, std::nullopt};
    if (path == "-") {
        input.bytes = std::string(std::istreambuf_iterator<char>(std::cin), {});
    } else if (FilePtr probe = OSXUtil::fopenForRead(path, "rb"); !probe) {
        *error = std::strerror(errno);
        return false;
    } else if (struct stat info{}; ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = "is a folder";
        return false;
    }
    const FileKind kind = options.inputKind ? *options.inputKind
                          : input.bytes     ? sniff(*input.bytes)
                                            : kindOfPath(path);
    bool ok = false;
    switch (kind) {
    case FileKind::Gpx:
        ok = importXml<GPXImport>(input, models, report, error, std::optional<ChartColor>());
        break;
    case FileKind::Kml:
    case FileKind::Kmz:
        ok = importXml<KMLImport>(input, models, report, error);
        break;
    case FileKind::Csv:
        ok = importCsv(input, options, models, report, error);
        break;
    case FileKind::Unknown:
        *error = "not a .gpx, .kml, .kmz or .csv file (-i names the format)";
        break;
    }
    models.waypoints.setMatch(std::nullopt);
    return ok;
}

void printReport(const std::string& path, const exchange::ImportReport& report) {
    for (const std::string& line : report.summary())
        std::fprintf(stderr, "navtool: %s: %s\n", path == "-" ? "standard input" : path.c_str(),
                     line.c_str());
}

bool exportFile(const std::string& path, const ExchangeOptions& options, ToolModels& models,
                std::vector<std::string>* written, std::vector<std::string>* lost) {
    models.waypoints.setMatch(std::nullopt);
    const FileKind kind = options.outputKind ? *options.outputKind : kindOfPath(path);
    if (path == "-")
        return exportToStandardOutput(kind, options.parts, models, lost);
    const bool keml = kind == FileKind::Kml || kind == FileKind::Kmz;
    if (!keml || kindOfPath(path) == kind)
        return writeKind(path, kind, options.parts, models, written);
    // A KML document or a KMZ archive is told by its name: written under one that says which, then
    // renamed.
    const std::string staged = path + ".navtool" + extensionOf(kind);
    std::vector<std::string> staging;
    const bool ok = writeKind(staged, kind, options.parts, models, &staging) &&
                    std::rename(staged.c_str(), path.c_str()) == 0;
    std::remove(staged.c_str());
    written->push_back(path);
    return ok;
}

std::optional<int> takeExchangeArguments(Arguments& args, size_t paths, const char* help,
                                         ExchangeOptions* options, bool convert, bool more) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(help, stdout);
        return 0;
    }
    if (!takeExchangeOptions(args, options, convert))
        return 2;
    if (args.size() < paths || (!more && args.size() != paths)) {
        std::fputs(help, stderr);
        return 2;
    }
    return std::nullopt;
}

namespace {

// An option with a value; false after saying why.
bool takeValue(const std::string& option, const std::string& value, ExchangeOptions* options) {
    if (option == "--position-form") {
        options->positionForm = positionFormOf(value);
        if (!options->positionForm) {
            std::fprintf(stderr, "navtool: position form \"%s\" is not 0-3 (dm, hdm, deg, dms)\n",
                         value.c_str());
            return false;
        }
    } else if (option == "--csv") {
        if (value != "waypoints" && value != "route" && value != "track") {
            std::fprintf(stderr, "navtool: --csv takes waypoints, route or track, not \"%s\"\n",
                         value.c_str());
            return false;
        }
        options->csvKind = value;
    } else {
        const FileKind kind = kindOfName(value);
        if (kind == FileKind::Unknown) {
            std::fprintf(stderr, "navtool: %s takes gpx, kml, kmz or csv, not \"%s\"\n", option.c_str(),
                         value.c_str());
            return false;
        }
        (option == "-i" ? options->inputKind : options->outputKind) = kind;
    }
    return true;
}

} // namespace

bool takeExchangeOptions(Arguments& args, ExchangeOptions* options, bool convert) {
    Arguments rest;
    exchange::ExportParts chosen{false, false, false};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool valued = a == "--position-form" || a == "--csv" || a == "-i" || (convert && a == "-o");
        if (valued) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "navtool: %s needs a value\n", a.c_str());
                return false;
            }
            if (!takeValue(a, args[++i], options))
                return false;
        } else if (convert && (a == "--waypoints" || a == "--routes" || a == "--tracks")) {
            (a == "--waypoints" ? chosen.waypoints : a == "--routes" ? chosen.routes : chosen.tracks) = true;
        } else if (convert && a == "--open") {
            options->open = true;
        } else {
            rest.push_back(a);
        }
    }
    if (chosen.waypoints || chosen.routes || chosen.tracks)
        options->parts = chosen;
    if (options->positionForm)
        UnitsModel::units().setPositionFormatUnits(*options->positionForm);
    args = rest;
    return true;
}
