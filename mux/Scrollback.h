#pragma once
// What the monitor keeps: the newest lines up to a limit, the oldest dropped as new ones come, so
// memory stays flat however long the console runs. Each line has a number that stays with it
// (first() to end()), so a view can hold its place while older lines go. Main thread.

#include "mux/MonitorFeed.h"

#include <cstdint>
#include <deque>

class Scrollback {
public:
    static constexpr size_t kDefaultLimit = 100000;
    static constexpr size_t kSmallest = 100, kLargest = 10000000;
    enum class Tone : uint8_t { Normal, Capture }; // Capture: came in while a capture ran

    struct Line {
        std::string text;
        int64_t millisecond; // wall-clock time, milliseconds since the epoch
        MonitorLine::Kind kind;
        Tone tone;
    };

    explicit Scrollback(size_t limit = kDefaultLimit);
    // Kept within the bounds above; lines beyond a smaller limit go at once.
    void setLimit(size_t limit);
    size_t limit() const { return limit_; }

    void add(Line line);
    void clear();
    uint64_t first() const { return first_; } // number of the oldest line kept
    uint64_t end() const { return first_ + lines_.size(); }
    size_t size() const { return lines_.size(); }
    const Line& at(uint64_t number) const { return lines_[size_t(number - first_)]; }
    size_t bytesHeld() const;

private:
    void trim();

    std::deque<Line> lines_;
    uint64_t first_ = 0;
    size_t limit_;
    size_t textBytes_ = 0;
};
