#include "net/StreamLog.h"

#include <algorithm>
#include <cstring>

namespace {
// Appends closer together than this share one time: ages are needed to a second, not a line.
constexpr auto kMarkSpacing = std::chrono::milliseconds(10);
} // namespace

StreamLog::StreamLog(size_t capacity, Clock::duration keep)
    : ring_(std::max<size_t>(capacity, 1)), keep_(keep) {
}

void StreamLog::append(const uint8_t* bytes, size_t count, Clock::time_point now) {
    if (count == 0)
        return;
    if (marks_.empty() || now - marks_.back().time >= kMarkSpacing)
        marks_.push_back({head_, now});
    // Only the last `capacity` bytes of a longer append can be held.
    const size_t skip = count > ring_.size() ? count - ring_.size() : 0;
    head_ += skip;
    bytes += skip;
    count -= skip;
    const size_t at = static_cast<size_t>(head_ % ring_.size());
    const size_t first = std::min(count, ring_.size() - at);
    std::memcpy(ring_.data() + at, bytes, first);
    std::memcpy(ring_.data(), bytes + first, count - first);
    head_ += count;
    // A time is dropped once the next one is past keeping too, or its bytes are gone.
    while (marks_.size() > 1 && (marks_[1].position <= tail() || now - marks_[1].time > keep_))
        marks_.pop_front();
}

int StreamLog::pieces(uint64_t from, iovec out[2]) const {
    const size_t count = static_cast<size_t>(head_ - from);
    const size_t at = static_cast<size_t>(from % ring_.size());
    const size_t first = std::min(count, ring_.size() - at);
    out[0] = {const_cast<uint8_t*>(ring_.data() + at), first};
    out[1] = {const_cast<uint8_t*>(ring_.data()), count - first};
    return count > first ? 2 : 1;
}

StreamLog::Clock::time_point StreamLog::arrival(uint64_t position) const {
    const auto after = std::upper_bound(marks_.begin(), marks_.end(), position,
                                        [](uint64_t p, const Mark& m) { return p < m.position; });
    return after == marks_.begin() ? Clock::time_point::min() : std::prev(after)->time;
}
