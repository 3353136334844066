#include "mux/Scrollback.h"

#include <algorithm>

Scrollback::Scrollback(size_t limit) : limit_(std::clamp(limit, kSmallest, kLargest)) {
}

void Scrollback::setLimit(size_t limit) {
    limit_ = std::clamp(limit, kSmallest, kLargest);
    trim();
}

void Scrollback::add(Line line) {
    textBytes_ += line.text.capacity() > 15 ? line.text.capacity() + 1 : 0; // beyond the string's own room
    lines_.push_back(std::move(line));
    trim();
}

void Scrollback::trim() {
    while (lines_.size() > limit_) {
        const std::string& text = lines_.front().text;
        textBytes_ -= text.capacity() > 15 ? text.capacity() + 1 : 0;
        lines_.pop_front();
        ++first_;
    }
}

void Scrollback::clear() {
    first_ = end();
    lines_.clear();
    lines_.shrink_to_fit();
    textBytes_ = 0;
}

size_t Scrollback::bytesHeld() const {
    return lines_.size() * sizeof(Line) + textBytes_;
}
