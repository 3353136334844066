#include "tool/ExchangeFiles.h"

#include "nav/UnitsModel.h"
#include "exchange/CSVExport.h"
#include "exchange/CSVImport.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"
#include "exchange/GPXExport.h"
#include "exchange/GPXImport.h"
#include "exchange/KMLExport.h"
#include "exchange/KMLImport.h"
#include "support/Alert.h"
#include "support/OSXUtil.h"
#include "support/Platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// A track file's first line starts with a date and a number; a waypoint file's with a name.
bool looksLikeTrackFile(const std::string& path) {
    const auto text = support::readFile(path, CSVImport::maxFileBytes);
    if (!text)
        return false;
    const std::string line = text->substr(0, text->find_first_of("\r\n"));
    const size_t first = line.find(','), second = line.find(',', first + 1);
    if (first == std::string::npos)
        return false;
    float latitude = 0.0f;
    return exchange::readDate(line.substr(0, first), exchange::DefaultZone::Local) &&
           exchange::readFloat(
               line.substr(first + 1, second == std::string::npos ? second : second - first - 1), &latitude);
}

bool importCsv(const std::string& path, const ExchangeOptions& options, ToolModels& models,
               std::string* error) {
    CSVImport importer(models.exchange());
    ModelImportDelegate delegate(models.exchange());
    const std::string kind =
        options.csvKind.empty() ? (looksLikeTrackFile(path) ? "track" : "waypoints") : options.csvKind;
    bool ok = false;
    if (kind == "track") {
        ok = importer.importTracks(path, std::nullopt);
        if (!ok && importer.error().empty())
            *error = "no line holds a date";
    } else if (kind == "route") {
        auto route = std::make_shared<Route>();
        route->setName(fileStem(path));
        ok = importer.importRoute(path, &delegate, route.get());
        if (route->count() > 0)
            models.routes.add(route);
    } else {
        ok = importer.importWaypoints(path, &delegate);
    }
    if (!ok && error->empty()) {
        *error = importer.error().empty() ? "nothing read" : importer.error();
        // The formatter's message in the user's language in place of its key.
        for (const std::string& key : delegate.messages()) {
            if (const size_t at = error->find(key); at != std::string::npos)
                error->replace(at, key.size(), Alert::localizedStringWithKey(key));
        }
    }
    return ok;
}

std::string besides(const std::string& path, const std::string& suffix) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + fileStem(path) + suffix + ".csv";
}

bool exportCsv(const std::string& path, ToolModels& models, std::vector<std::string>* written) {
    CSVExport exporter(models.exchange());
    bool pathTaken = false;
    const auto next = [&](const std::string& suffix) {
        const std::string file = pathTaken ? besides(path, suffix) : path;
        pathTaken = true;
        written->push_back(file);
        return file;
    };
    if (models.waypoints.countMatch() > 0 && !exporter.exportWaypoints(next("")))
        return false;
    for (size_t i = 0; i < models.routes.count(); ++i) {
        if (!exporter.exportRoute(next("-route" + std::to_string(i + 1)), *models.routes.route(i)))
            return false;
    }
    if (models.tracks.count() > 0 && !exporter.exportTracks(next("-track")))
        return false;
    if (!pathTaken && !exporter.exportWaypoints(next("")))
        return false;
    return true;
}

} // namespace

std::optional<int> takeExchangeArguments(Arguments& args, size_t paths, const char* help,
                                         ExchangeOptions* options) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(help, stdout);
        return 0;
    }
    if (!takeExchangeOptions(args, options))
        return 2;
    if (args.size() != paths) {
        std::fputs(help, stderr);
        return 2;
    }
    return std::nullopt;
}

bool takeExchangeOptions(Arguments& args, ExchangeOptions* options) {
    Arguments rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--position-form" || a == "--csv") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "navtool: %s needs a value\n", a.c_str());
                return false;
            }
            const std::string& value = args[++i];
            if (a == "--position-form") {
                options->positionForm = positionFormOf(value);
                if (!options->positionForm) {
                    std::fprintf(stderr, "navtool: position form \"%s\" is not 0-3 (dm, hdm, deg, dms)\n",
                                 value.c_str());
                    return false;
                }
            } else if (value == "waypoints" || value == "route" || value == "track") {
                options->csvKind = value;
            } else {
                std::fprintf(stderr, "navtool: --csv takes waypoints, route or track, not \"%s\"\n",
                             value.c_str());
                return false;
            }
        } else {
            rest.push_back(a);
        }
    }
    if (options->positionForm)
        UnitsModel::units().setPositionFormatUnits(*options->positionForm);
    args = rest;
    return true;
}

FileKind kindOfPath(const std::string& path) {
    if (GPXExport::isGPX(path))
        return FileKind::Gpx;
    if (KMLExport::isKML(path))
        return FileKind::Kml;
    if (CSVExport::isCSV(path))
        return FileKind::Csv;
    return FileKind::Unknown;
}

bool importFile(const std::string& path, const ExchangeOptions& options, ToolModels& models,
                std::string* error) {
    error->clear();
    if (FilePtr probe = OSXUtil::fopenForRead(path, "rb"); !probe) {
        *error = std::strerror(errno);
        return false;
    }
    if (struct stat info{}; ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = "is a folder";
        return false;
    }
    bool ok = false;
    ModelImportDelegate delegate(models.exchange());
    switch (kindOfPath(path)) {
    case FileKind::Gpx: {
        GPXImport importer(models.exchange());
        ok = importer.import(path, std::nullopt, &delegate);
        *error = importer.error();
        break;
    }
    case FileKind::Kml: {
        KMLImport importer(models.exchange());
        ok = importer.import(path, &delegate);
        *error = importer.error();
        break;
    }
    case FileKind::Csv:
        ok = importCsv(path, options, models, error);
        break;
    case FileKind::Unknown:
        *error = "not a .gpx, .kml, .kmz or .csv file";
        break;
    }
    models.waypoints.setMatch(std::nullopt);
    return ok;
}

bool exportFile(const std::string& path, ToolModels& models, std::vector<std::string>* written) {
    models.waypoints.setMatch(std::nullopt);
    switch (kindOfPath(path)) {
    case FileKind::Gpx:
        written->push_back(path);
        return GPXExport(models.exchange()).exportAll(path);
    case FileKind::Kml:
        written->push_back(path);
        return KMLExport(models.exchange()).exportAll(path);
    case FileKind::Csv:
        return exportCsv(path, models, written);
    case FileKind::Unknown:
        break;
    }
    return false;
}
