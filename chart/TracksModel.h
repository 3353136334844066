#pragma once
// The logged track: points in time order, the logger with its interval and 5000-point limit, the
// completion of course and speed, and the rule that cuts the track into segments.

#include "chart/ChartMarkersModel.h"

class TracksModel : public ChartMarkersModel<Track> {
public:
    static constexpr size_t maxLoggedPoints = 5000;

    TracksModel() = default;
    // The process-wide model, made on first use.
    static TracksModel& tracks();

    bool load(const std::string& fileName) { return loadChartMarkers(fileName); }
    bool save(const std::string& fileName) { return saveChartMarkers(fileName); }

    // Logs a point taken every interval seconds (see the .cpp); true when it was added.
    bool add(Pointer track, unsigned interval);
    using ChartMarkersModel::add;
    // The next point is taken whatever its interval.
    void addNext() { addNext_ = true; }
    bool addNextPending() const { return addNext_; }

    double startTrackInterval() const { return startTrackInterval_; }
    void setStartTrackInterval(double seconds) { startTrackInterval_ = seconds; }

    Pointer track(size_t index) const { return at(index); }
    Pointer firstTrack() const { return firstChartMarker(); }
    Pointer lastTrack() const { return lastChartMarker(); }
    Pointer nextTrack(const Pointer& track) const;
    Pointer previousTrack(const Pointer& track) const;
    void remove(size_t index, bool markChanged);
    using ChartMarkersModel::remove;

    // Orders the points by date, then fills a missing course and speed over ground from each
    // point to the next.
    void sort();
    // Whether the point begins a new segment (see the .cpp).
    bool isStart(const Pointer& track) const;
    bool isStart(size_t index) const;

protected:
    void sortAfterLoad() override { sort(); }

private:
    double startTrackInterval_ = 900.0;
    bool addNext_ = false;
};
