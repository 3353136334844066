#pragma once
// Lines on their way to the monitor. The reader thread puts received traffic (and the lines that
// fail their check) here without waiting for the window, the command sender what goes out, the
// main thread the replies its handlers show; a frame timer on the main thread takes everything at
// once, so the monitor draws once per frame however many lines came in between, in the order they
// came. Each line keeps the wall-clock time it arrived.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct MonitorLine {
    enum class Kind : uint8_t {
        Traffic, // a checked sentence no handler took
        Shown,   // a reply the console handled, or a line of the console's own
        Invalid, // failed its check, or starts with neither "$" nor "!"
        Sent,    // what the console wrote to the device
    };
    Kind kind;
    std::string text; // without checksum tail for checked lines; as read (line end cut) otherwise
    std::chrono::system_clock::time_point time;
};

class MonitorFeed {
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    // Lines beyond this wait for no frame: they are dropped (and counted) rather than held.
    static constexpr size_t kMaxWaiting = 1u << 16;

    explicit MonitorFeed(WallClock clock = {});
    void push(MonitorLine::Kind kind, std::string text); // any thread
    std::vector<MonitorLine> take();                     // everything waiting, oldest first
    size_t waiting() const;
    size_t dropped() const;

private:
    WallClock clock_;
    mutable std::mutex lock_;
    std::vector<MonitorLine> lines_;
    size_t dropped_ = 0;
};
