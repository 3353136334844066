#pragma once
// Lines on their way to the monitor. The reader thread puts received traffic here without
// waiting for the window, the main thread adds the replies its handlers show, and a frame timer
// on the main thread takes everything at once, so the monitor draws once per frame however many
// lines came in between, in the order they came.

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

struct MonitorLine {
    enum class Kind { Traffic, Shown };
    Kind kind;
    std::string text; // the sentence as the checksum check leaves it, or a line of the console's own
};

class MonitorFeed {
public:
    // Lines beyond this wait for no frame: they are dropped (and counted) rather than held.
    static constexpr size_t kMaxWaiting = 1u << 16;

    void push(MonitorLine::Kind kind, std::string text); // any thread
    std::vector<MonitorLine> take();                     // everything waiting, oldest first
    size_t waiting() const;
    size_t dropped() const;

private:
    mutable std::mutex lock_;
    std::vector<MonitorLine> lines_;
    size_t dropped_ = 0;
};
