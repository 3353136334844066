#include "mux/MonitorFeed.h"

MonitorFeed::MonitorFeed(WallClock clock) : clock_(std::move(clock)) {
}

void MonitorFeed::push(MonitorLine::Kind kind, std::string text) {
    const auto now = clock_ ? clock_() : std::chrono::system_clock::now();
    std::lock_guard lock(lock_);
    if (lines_.size() >= kMaxWaiting) {
        ++dropped_;
        return;
    }
    lines_.push_back({kind, std::move(text), now});
}

std::vector<MonitorLine> MonitorFeed::take() {
    std::vector<MonitorLine> taken;
    taken.reserve(64);
    std::lock_guard lock(lock_);
    taken.swap(lines_);
    return taken;
}

size_t MonitorFeed::waiting() const {
    std::lock_guard lock(lock_);
    return lines_.size();
}

size_t MonitorFeed::dropped() const {
    std::lock_guard lock(lock_);
    return dropped_;
}
