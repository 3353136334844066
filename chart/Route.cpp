#include "chart/Route.h"

#include "chart/Names.h"

#include <algorithm>

void Route::setName(std::string_view name) {
    nameString_ = chart::trimBlanks(name);
}

std::optional<WaypointReference> Route::waypointReference(size_t index) const {
    if (index >= waypointReferenceArray_.size())
        return std::nullopt;
    return waypointReferenceArray_[index];
}

void Route::addWaypointReference(WaypointReference reference) {
    waypointReferenceArray_.push_back(std::move(reference));
}

void Route::insertWaypointReference(size_t index, WaypointReference reference) {
    index = std::min(index, waypointReferenceArray_.size());
    waypointReferenceArray_.insert(waypointReferenceArray_.begin() + static_cast<std::ptrdiff_t>(index),
                                   std::move(reference));
}

void Route::replaceWaypointReference(size_t index, WaypointReference reference) {
    if (index < waypointReferenceArray_.size())
        waypointReferenceArray_[index] = std::move(reference);
}

void Route::removeWaypointReference(size_t index) {
    if (index < waypointReferenceArray_.size())
        waypointReferenceArray_.erase(waypointReferenceArray_.begin() + static_cast<std::ptrdiff_t>(index));
}

void Route::exchangeWaypointReference(size_t a, size_t b) {
    if (a < waypointReferenceArray_.size() && b < waypointReferenceArray_.size())
        std::swap(waypointReferenceArray_[a], waypointReferenceArray_[b]);
}

void Route::invertWaypointReferences() {
    std::reverse(waypointReferenceArray_.begin(), waypointReferenceArray_.end());
}

std::optional<size_t> Route::indexOf(const std::optional<WaypointReference>& ref) const {
    if (!ref)
        return std::nullopt;
    const auto at = std::find(waypointReferenceArray_.begin(), waypointReferenceArray_.end(), *ref);
    if (at == waypointReferenceArray_.end())
        return std::nullopt;
    return static_cast<size_t>(at - waypointReferenceArray_.begin());
}

std::optional<WaypointReference>
Route::nextWaypointReference(const std::optional<WaypointReference>& ref) const {
    const auto index = indexOf(ref);
    if (!index)
        return std::nullopt;
    return waypointReference(*index + 1);
}

std::optional<WaypointReference>
Route::previousWaypointReference(const std::optional<WaypointReference>& ref) const {
    const auto index = indexOf(ref);
    if (!index || *index == 0)
        return std::nullopt;
    return waypointReference(*index - 1);
}

std::optional<WaypointReference> Route::lastWaypointReference() const {
    if (waypointReferenceArray_.empty())
        return std::nullopt;
    return waypointReferenceArray_.back();
}

std::optional<WaypointReference>
Route::waypointReferenceFromWaypoint(const std::shared_ptr<Waypoint>& waypoint) const {
    if (!waypoint || !hasWaypoint(waypoint))
        return std::nullopt;
    return WaypointReference{waypoint};
}

std::optional<WaypointReference> Route::waypointReferenceFromName(std::string_view name) const {
    const std::string wanted = chart::trimBlanks(name);
    for (const WaypointReference& ref : waypointReferenceArray_) {
        if (ref.waypoint && ref.waypoint->name() == wanted)
            return ref;
    }
    return std::nullopt;
}

bool Route::hasWaypoint(const std::shared_ptr<Waypoint>& waypoint) const {
    return std::find(waypointReferenceArray_.begin(), waypointReferenceArray_.end(),
                     WaypointReference{waypoint}) != waypointReferenceArray_.end();
}

bool Route::removeWaypoint(const std::shared_ptr<Waypoint>& waypoint) {
    const size_t before = waypointReferenceArray_.size();
    std::erase(waypointReferenceArray_, WaypointReference{waypoint});
    return waypointReferenceArray_.size() != before;
}

bool Route::legEnds(size_t index, NavPoint* from, NavPoint* to) const {
    if (index == 0 || index >= waypointReferenceArray_.size())
        return false;
    const auto& a = waypointReferenceArray_[index - 1].waypoint;
    const auto& b = waypointReferenceArray_[index].waypoint;
    if (!a || !b || a == b || !a->hasPosition() || !b->hasPosition())
        return false;
    *from = a->positionOnGPS();
    *to = b->positionOnGPS();
    return true;
}

float Route::distance(size_t from, size_t to) const {
    if (to >= waypointReferenceArray_.size())
        return 0.0f;
    float sum = 0.0f;
    for (size_t i = from + 1; i <= to; ++i) {
        NavPoint a, b;
        if (legEnds(i, &a, &b))
            sum += NavMath::distanceFromPoint(a, b);
    }
    return sum;
}

float Route::bearing(size_t index) const {
    NavPoint a, b;
    if (!legEnds(index, &a, &b))
        return 0.0f;
    return NavMath::bearingFromPoint(a, b);
}
