#pragma once
// What every importer shares: the models it fills, the delegate that makes the waypoints, the
// waypoint list of the current search, and fixed forms of positions, names, descriptions and
// dates.

#include "chart/RoutesModel.h"
#include "chart/TracksModel.h"
#include "chart/WaypointsModel.h"
#include "exchange/ImportReport.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The models an import fills and an export writes; the process-wide ones unless given.
struct ExchangeModels {
    WaypointsModel& waypoints;
    RoutesModel& routes;
    TracksModel& tracks;
    static ExchangeModels shared() {
        return {WaypointsModel::waypoints(), RoutesModel::routes(), TracksModel::tracks()};
    }
};

// Makes the records an import reads. The defaults make nothing and show nothing.
class ImportDelegate {
public:
    virtual ~ImportDelegate() = default;
    virtual std::shared_ptr<Waypoint> createWaypointFromGPS(const std::string& name, NavPoint position,
                                                            const std::string& description, bool flag);
    virtual std::shared_ptr<Track> createTrackFromGPS(const std::string& name, NavPoint position, float cog,
                                                      float sog, float heading, float speed, float depth,
                                                      float temperature, float windAngle, float windSpeed,
                                                      long date);
    // A message for the user, by its key ("NSInvalidLatitudeFormat3").
    virtual void showMessageWithKey(const std::string& key);
};

// The usual delegate: waypoints join the waypoints model (marking it changed), track points the
// tracks model. A waypoint without a position the chart keeps (isPlaceable) is not made.
class ModelImportDelegate : public ImportDelegate {
public:
    explicit ModelImportDelegate(ExchangeModels models = ExchangeModels::shared()) : models_(models) {}
    std::shared_ptr<Waypoint> createWaypointFromGPS(const std::string& name, NavPoint position,
                                                    const std::string& description, bool flag) override;
    std::shared_ptr<Track> createTrackFromGPS(const std::string& name, NavPoint position, float cog,
                                              float sog, float heading, float speed, float depth,
                                              float temperature, float windAngle, float windSpeed,
                                              long date) override;
    void showMessageWithKey(const std::string& key) override { messages_.push_back(key); }
    // The keys shown so far, oldest first.
    const std::vector<std::string>& messages() const { return messages_; }

private:
    ExchangeModels models_;
    std::vector<std::string> messages_;
};

class Importer {
public:
    explicit Importer(ExchangeModels models = ExchangeModels::shared()) : models_(models) {}
    virtual ~Importer() = default;
    Importer(const Importer&) = delete;
    Importer& operator=(const Importer&) = delete;

    // Through the delegate; nothing without one.
    std::shared_ptr<Waypoint> createWaypointFromGPS(const std::string& name, NavPoint position,
                                                    const std::string& description, bool flag);
    // Only for a position the chart keeps (isPlaceable).
    std::shared_ptr<Track> createTrackFromGPS(const std::string& name, NavPoint position, float cog,
                                              float sog, float heading, float speed, float depth,
                                              float temperature, float windAngle, float windSpeed, long date);

    // The waypoints model's current matches.
    size_t count() const { return models_.waypoints.countMatch(); }
    std::shared_ptr<Waypoint> waypoint(size_t index) const { return models_.waypoints.waypointMatch(index); }

    // The NMEA field of a latitude (orientation 0) or longitude (1): ddmm.mmm, dddmm.mmm.
    static std::optional<std::string> stringFromPosition(float value, unsigned orientation);
    // Upper case, cut to width; characters other than A-Z and 0-9 become "-"; padded with spaces to
    // the width when pad is set.
    static std::string formattedName(std::string_view text, unsigned width, bool pad);
    // As formattedName, but other characters become spaces and the result is always padded.
    static std::string formattedDescription(std::string_view text, unsigned width, bool flag);
    // YYYY-MM-DD[THH:MM:SS] at fixed positions, in the local time zone.
    static std::optional<ChartDate> dateFromString(std::string_view text);

    void setDelegate(ImportDelegate* delegate) { delegate_ = delegate; }
    // Why the last import failed, for the user ("line 3: mismatched tag").
    const std::string& error() const { return error_; }
    // What the last import skipped or changed.
    const exchange::ImportReport& report() const { return report_; }

    // The most records (waypoints, route points, track points) one import makes: a small archive
    // can unpack to millions of placemarks. What was read up to there stays.
    static constexpr size_t maxRecords = 1'000'000;
    void setRecordLimit(size_t limit) { recordLimit_ = limit; }
    size_t recordLimit() const { return recordLimit_; }

protected:
    // Clears the error, the report and the names handed out.
    void beginImport();
    // A unique name for an unnamed waypoint, counted in the report; nothing (also counted) when
    // every name is taken, and the waypoint is then kept without a name.
    std::string uniqueWaypointName(exchange::RecordKind kind, unsigned long line);
    // Counts one record about to be made; false, with the import's stop reported, past the limit
    // (maxRecords unless set).
    bool countRecord(unsigned long line);

    ExchangeModels models_;
    ImportDelegate* delegate_ = nullptr; // not owned
    std::string error_;
    exchange::ImportReport report_;

private:
    std::optional<chart::UniqueNames> names_; // gathered at the first unnamed waypoint
    size_t records_ = 0;
    size_t recordLimit_ = maxRecords;
};
