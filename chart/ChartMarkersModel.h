#pragma once
// The common part of the waypoints and tracks models: the ordered records, the changed flag, and
// the model file (load and save). One thread at a time; the models hold no lock.

#include "chart/ChartMarker.h"
#include "chart/ModelFile.h"
#include "chart/StoredForm.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

template <class Marker>
class ChartMarkersModel {
public:
    using Pointer = std::shared_ptr<Marker>;

    ChartMarkersModel() = default;
    virtual ~ChartMarkersModel() = default;
    ChartMarkersModel(const ChartMarkersModel&) = delete;
    ChartMarkersModel& operator=(const ChartMarkersModel&) = delete;

    // A new record of the model's kind (not yet in the model).
    Pointer chartMarker() const { return std::make_shared<Marker>(); }

    size_t count() const { return chartMarkerArray_.size(); }
    const std::vector<Pointer>& chartMarkers() const { return chartMarkerArray_; }
    Pointer at(size_t index) const { return index < count() ? chartMarkerArray_[index] : nullptr; }

    void add(Pointer marker) {
        if (marker)
            chartMarkerArray_.push_back(std::move(marker));
    }
    void insert(Pointer marker) {
        if (marker)
            chartMarkerArray_.insert(chartMarkerArray_.begin(), std::move(marker));
    }
    void remove(size_t index) {
        if (index < count())
            chartMarkerArray_.erase(chartMarkerArray_.begin() + static_cast<std::ptrdiff_t>(index));
    }
    void replace(size_t index, Pointer marker) {
        if (index < count() && marker)
            chartMarkerArray_[index] = std::move(marker);
    }
    void removeAll() { chartMarkerArray_.clear(); }
    std::optional<size_t> indexOf(const Marker* marker) const {
        for (size_t i = 0; i < count(); ++i) {
            if (chartMarkerArray_[i].get() == marker)
                return i;
        }
        return std::nullopt;
    }
    Pointer firstChartMarker() const {
        return chartMarkerArray_.empty() ? nullptr : chartMarkerArray_.front();
    }
    Pointer lastChartMarker() const { return chartMarkerArray_.empty() ? nullptr : chartMarkerArray_.back(); }
    // Stable; only with at least two records.
    template <class Less>
    void sort(Less less) {
        if (count() >= 2)
            std::stable_sort(chartMarkerArray_.begin(), chartMarkerArray_.end(), less);
    }

    bool changed() const { return changed_; }
    void setChanged(bool changed) { changed_ = changed; }
    std::optional<ChartDate> lastSaveDate() const { return lastSaveDate_; }

    // Appends the records of a model file; nothing happens when it cannot be read. True when read.
    bool loadChartMarkers(const std::string& fileName) {
        const auto path = chart::modelFilePath(fileName);
        const auto root = path ? chart::readModelFile(*path) : std::nullopt;
        if (!root)
            return false;
        loadFromDictionary(root->get());
        return true;
    }

    // Appends the records of a model dictionary whose position the chart keeps (isPlaceable; others
    // are dropped), then sorts the model; returns how many joined.
    size_t loadFromDictionary(plist_t root) {
        size_t kept = 0;
        chart::forEachEntry(root, [&](std::string_view, plist_t value) {
            if (support::plistKind(value) != support::PlistKind::Dictionary)
                return;
            Pointer marker = chartMarker();
            chart::fromDictionary(*marker, value);
            if (isPlaceable(marker->positionOnGPS())) {
                chartMarkerArray_.push_back(std::move(marker));
                ++kept;
            }
        });
        if (kept > 0)
            sortAfterLoad();
        return kept;
    }

    // Writes every named record; false when the folder is not writable or the write fails, and
    // the old file is then untouched and the model stays changed.
    bool saveChartMarkers(const std::string& fileName) {
        const auto path = chart::modelFilePath(fileName);
        if (!path)
            return false;
        chart::ModelDictionary dictionary;
        for (const Pointer& marker : chartMarkerArray_)
            dictionary.add(marker->name(), chart::toDictionary(*marker));
        if (!chart::writeModelFile(*path, dictionary.get()))
            return false;
        changed_ = false;
        lastSaveDate_ = chartNow();
        return true;
    }

protected:
    virtual void sortAfterLoad() = 0;

    std::vector<Pointer> chartMarkerArray_;
    bool changed_ = false;
    std::optional<ChartDate> lastSaveDate_;
};
