#include "nav/grib/GribModel.h"

#include "nav/grib/GribDecoder.h"
#include "nav/grib/GribUnpack.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

GribModel::KmlExporter& kmlExporter() {
    static GribModel::KmlExporter exporter;
    return exporter;
}

std::optional<GribField> fieldForParameter(int parameter) {
    switch (parameter) {
    case 2:
        return GribField::pressure;
    case 7:
        return GribField::geopotentialHeight;
    case 11:
        return GribField::airTemperature;
    case 33:
        return GribField::uWind;
    case 34:
        return GribField::vWind;
    case 49:
        return GribField::uCurrent;
    case 50:
        return GribField::vCurrent;
    case 59:
        return GribField::precipitationRate;
    case 80:
        return GribField::seaTemperature;
    case 100:
    case 102:
        return GribField::waveHeight;
    case 101:
    case 107:
        return GribField::waveDirection;
    case 103:
    case 108:
    case 110:
        return GribField::wavePeriod;
    default:
        return std::nullopt;
    }
}

// Appends the record's values to the field in row order (north-south rows of west-east points,
// in whichever direction the file scans them).
void appendRows(GribPoints& grid, GribField field, const GribRecord& r) {
    std::vector<float>& list = grid.values(field);
    const size_t ni = size_t(r.ni), nj = size_t(r.nj);
    list.reserve(ni * nj);
    if (r.scanMode & 0x20) { // the file runs down columns
        for (size_t j = 0; j < nj; ++j)
            for (size_t i = 0; i < ni; ++i)
                list.push_back(float(r.values[i * nj + j]));
        return;
    }
    for (double v : r.values)
        list.push_back(float(v));
}

} // namespace

GribModel::GribModel() {
    static const float table[13][5] = {
        {0.1f, 1, 0.4f, 0.6f, 1.0f}, {1, 3, 0.6f, 0.8f, 1.0f},   {3, 7, 0.6f, 1.0f, 1.0f},
        {7, 11, 0.8f, 1.0f, 1.0f},   {11, 17, 0.8f, 1.0f, 0.8f}, {17, 22, 1.0f, 1.0f, 0.8f},
        {22, 28, 1.0f, 0.8f, 0.6f},  {28, 34, 1.0f, 0.6f, 0.4f}, {34, 41, 1.0f, 0.4f, 0.6f},
        {41, 48, 1.0f, 0.2f, 0.0f},  {48, 56, 0.8f, 0.2f, 0.0f}, {56, 64, 0.8f, 0.0f, 0.0f},
        {64, 999, 0.6f, 0.0f, 0.0f},
    };
    for (const auto& row : table)
        beaufortScaleArray_.push_back({row[1], row[0], {row[2], row[3], row[4], 1.0f}});
}

GribModel& GribModel::grib() {
    static GribModel model;
    return model;
}

bool GribModel::loadGrib(const std::string& path) {
    close();
    std::string file = path;
    if (isBzip2Path(path)) {
        const GribUnpacked unpacked = unpackGribBz2(path);
        if (!unpacked.ok) {
            loadNotes_.push_back(unpacked.error);
            return false;
        }
        file = unpacked.path;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!stream) {
        loadNotes_.push_back("cannot read \"" + file + "\": " + std::strerror(errno));
        return false;
    }
    filenameString_ = path;
    readFile(stream.get());
    std::stable_sort(
        gribPointsArray_.begin(), gribPointsArray_.end(),
        [](const GribPoints& a, const GribPoints& b) { return a.forecastDate() < b.forecastDate(); });
    const std::vector<GribDate> dates = forecastDates();
    if (!dates.empty() && std::find(dates.begin(), dates.end(), viewForecastDate_) == dates.end())
        viewForecastDate_ = dates.front();
    return true;
}

namespace {

std::string messages(unsigned first, unsigned last, unsigned count) {
    if (first == last)
        return "message " + std::to_string(first);
    if (count == last - first + 1)
        return "messages " + std::to_string(first) + " to " + std::to_string(last);
    return std::to_string(count) + " messages from " + std::to_string(first) + " to " + std::to_string(last);
}

} // namespace

void GribModel::readFile(std::FILE* file) {
    GribRecord record;
    unsigned number = 0, firstLeft = 0, lastLeft = 0, left = 0;
    for (;;) {
        record.valueLimit = maxHeldValues_ - std::min(held_, maxHeldValues_);
        const int status = unpackgrib(file, record);
        if (status == kGribEnd)
            break;
        ++number;
        if (status != kGribRead) {
            loadDamaged_ = true;
            loadNotes_.push_back(status == kGribShortRead
                                     ? "the file ends inside message " + std::to_string(number)
                                     : "message " + std::to_string(number) +
                                           " is damaged: " + record.skipped);
            break;
        }
        if (record.damaged) {
            loadDamaged_ = true;
            loadNotes_.push_back("message " + std::to_string(number) + " is damaged: " + record.skipped);
        } else if (record.overLimit) {
            firstLeft = firstLeft ? firstLeft : number;
            lastLeft = number;
            ++left;
        }
        addRecord(record);
    }
    if (firstLeft)
        loadNotes_.push_back(messages(firstLeft, lastLeft, left) + " left out: a forecast holds at most " +
                             std::to_string(maxHeldValues_) + " values");
}

void GribModel::addRecord(const GribRecord& record) {
    const std::optional<GribField> field = fieldForParameter(record.parameter);
    // Tables from 128 on are a centre's own, where these numbers mean other things.
    if (!record.decoded || record.gridType != 0 || record.tableVersion >= 128 || !field)
        return;
    float di = float(record.di), dj = float(record.dj);
    if (record.scanMode & 0x81)
        di = -di;
    if (!(record.scanMode & 0x42))
        dj = -dj;
    const NavPoint position{float(record.lo1), float(record.la1)};
    const GribDate date = gribForecastDate(record);
    const unsigned nj = unsigned(record.nj), ni = unsigned(record.ni);
    auto same = [&](const GribPoints& g) {
        return g.positionOnGPS() == position && g.forecastDate() == date && g.latitudeCount() == nj &&
               g.longitudeCount() == ni && g.latitudeIncrement() == dj && g.longitudeIncrement() == di;
    };
    auto grid = std::find_if(gribPointsArray_.begin(), gribPointsArray_.end(), same);
    if (grid == gribPointsArray_.end()) {
        GribPoints points = GribPoints::gribPoints();
        points.setPositionOnGPS(position);
        points.setIncrement(dj, di);
        points.setCount(nj, ni);
        points.setForecastDate(date);
        points.setRunDate(gribReferenceDate(record));
        gribPointsArray_.push_back(std::move(points));
        grid = gribPointsArray_.end() - 1;
    }
    if (grid->has(*field))
        return; // another level of a field already held: the first one stays
    held_ += record.values.size();
    appendRows(*grid, *field, record);
}

void GribModel::close() {
    gribPointsArray_.clear();
    filenameString_.clear();
    loadNotes_.clear();
    loadDamaged_ = false;
    held_ = 0;
}

void GribModel::setKmlExporter(KmlExporter exporter) {
    kmlExporter() = std::move(exporter);
}

bool GribModel::kmlExportGrib(const std::string& path) {
    const KmlExporter& exporter = kmlExporter();
    return exporter && exporter(*this, path);
}

std::vector<GribDate> GribModel::forecastDates() const {
    std::vector<GribDate> dates;
    for (const GribPoints& g : gribPointsArray_)
        if (dates.empty() || dates.back() != g.forecastDate())
            dates.push_back(g.forecastDate());
    return dates;
}

std::vector<const GribPoints*> GribModel::gribPointsOnView() const {
    std::vector<const GribPoints*> list;
    for (const GribPoints& g : gribPointsArray_)
        if (g.forecastDate() == viewForecastDate_)
            list.push_back(&g);
    return list;
}

std::vector<GribPoints*> GribModel::gribPointsOnView() {
    std::vector<GribPoints*> list;
    for (GribPoints& g : gribPointsArray_)
        if (g.forecastDate() == viewForecastDate_)
            list.push_back(&g);
    return list;
}

bool GribModel::canContour() const {
    for (const GribPoints* g : gribPointsOnView())
        if (g->hasPressure() || g->hasAirTemperature() || g->hasSeaTemperature() || g->hasWaveHeight() ||
            g->hasWavePeriod() || g->hasGeopotentialHeight() || g->hasPrecipitationRate())
            return true;
    return false;
}

bool GribModel::canBarb() const {
    for (const GribPoints* g : gribPointsOnView())
        if (g->hasWind())
            return true;
    return false;
}

void GribModel::resetContourPathsAndLabels() {
    for (GribPoints& g : gribPointsArray_) {
        g.setContourPath({});
        g.setLabels({});
        g.setContourTruncated(false);
    }
}

int GribModel::beaufortIndex(float knots) const {
    for (size_t k = 0; k < beaufortScaleArray_.size(); ++k)
        if (beaufortScaleArray_[k].lower <= knots && knots < beaufortScaleArray_[k].upper)
            return int(k);
    return -1;
}

std::optional<BeaufortColor> GribModel::beaufortColor(float knots) const {
    const int index = beaufortIndex(knots);
    if (index < 0)
        return std::nullopt;
    return beaufortScaleArray_[size_t(index)].color;
}
