#include "chart/TracksModel.h"

TracksModel& TracksModel::tracks() {
    static TracksModel model;
    return model;
}

// With the model's last point l: unless addNext is set, a point fewer than interval seconds after
// l is refused (both dated, interval not 0). With interval 0 a point whose date equals a logged
// point's replaces it in place and is not counted as added. Appending pushes out the oldest
// points beyond the limit.
bool TracksModel::add(Pointer track, unsigned interval) {
    if (!track)
        return false;
    const Pointer last = lastTrack();
    if (last && last->hasDate() && track->hasDate() && !addNext_) {
        const double elapsed = track->date() - last->date();
        if (interval != 0 && elapsed < static_cast<double>(interval))
            return false;
    }
    if (interval == 0) {
        // From the end: a repeated date is most likely among the latest points.
        for (size_t i = count(); i-- > 0;) {
            if (chartMarkerArray_[i]->date() == track->date()) {
                chartMarkerArray_[i] = std::move(track);
                return false;
            }
        }
    }
    chartMarkerArray_.push_back(std::move(track));
    if (chartMarkerArray_.size() > maxLoggedPoints)
        chartMarkerArray_.erase(chartMarkerArray_.begin(),
                                chartMarkerArray_.end() - static_cast<std::ptrdiff_t>(maxLoggedPoints));
    addNext_ = false;
    if (interval != 0)
        setChanged(true);
    return true;
}

TracksModel::Pointer TracksModel::nextTrack(const Pointer& track) const {
    const auto index = indexOf(track.get());
    return index ? at(*index + 1) : nullptr;
}

TracksModel::Pointer TracksModel::previousTrack(const Pointer& track) const {
    const auto index = indexOf(track.get());
    return index && *index > 0 ? at(*index - 1) : nullptr;
}

void TracksModel::remove(size_t index, bool markChanged) {
    if (index >= count())
        return;
    ChartMarkersModel::remove(index);
    if (markChanged)
        setChanged(true);
}

void TracksModel::sort() {
    ChartMarkersModel::sort([](const Pointer& a, const Pointer& b) { return a->date() < b->date(); });
    for (size_t i = 0; i + 1 < count(); ++i) {
        Track& from = *chartMarkerArray_[i];
        const Track& to = *chartMarkerArray_[i + 1];
        if (!from.hasPosition() || !to.hasPosition())
            continue;
        if (from.cog() == kNotLogged)
            from.setCog(NavMath::bearingFromPoint(from.positionOnGPS(), to.positionOnGPS()));
        // Two points of the same moment give no speed: it stays missing.
        const double seconds = to.date() - from.date();
        if (from.sog() == kNotLogged && from.hasDate() && seconds > 0.0)
            from.setSog(static_cast<float>(
                NavMath::distanceFromPoint(from.positionOnGPS(), to.positionOnGPS()) / seconds * 3600.0));
    }
}

// A segment begins at the model's first point; where a file began one (points read from a file
// say whether they begin one); and, for logged points, after a pause longer than
// startTrackInterval + 30 seconds while that interval is below three hours, and where the colour
// changes.
bool TracksModel::isStart(size_t index) const {
    if (index >= count())
        return false;
    if (index == 0)
        return true;
    const Track& point = *chartMarkerArray_[index];
    if (const auto start = point.segmentStart())
        return *start;
    const Track& previous = *chartMarkerArray_[index - 1];
    if (startTrackInterval_ < 10800.0 && point.date() - previous.date() > startTrackInterval_ + 30.0)
        return true;
    const ChartColor& a = point.color();
    const ChartColor& b = previous.color();
    return a.red != b.red || a.green != b.green || a.blue != b.blue;
}

bool TracksModel::isStart(const Pointer& track) const {
    const auto index = indexOf(track.get());
    return index && isStart(*index);
}
