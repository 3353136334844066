#include "mux/MonitorFeed.h"

void MonitorFeed::push(MonitorLine::Kind kind, std::string text) {
    std::lock_guard lock(lock_);
    if (lines_.size() >= kMaxWaiting) {
        ++dropped_;
        return;
    }
    lines_.push_back({kind, std::move(text)});
}

std::vector<MonitorLine> MonitorFeed::take() {
    std::vector<MonitorLine> taken;
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
