#pragma once
// The capture: for a while, the distinct addresses of the sentences that arrive, to become
// filter entries. Main thread only; its time comes from the clock it is given.

#include "mux/protocol/Filter.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Capture {
public:
    using Clock = std::chrono::steady_clock;
    // No device lists more; a flood of made-up addresses cannot grow the capture beyond it.
    static constexpr size_t kMaxEntries = 200;

    Capture(std::function<Clock::time_point()> now, Clock::duration length);

    bool running() const { return started_.has_value(); }
    void start(); // nothing when one runs
    // Keeps the sentence's address, or its sentence code while talker IDs are imposed.
    void gather(std::string_view sentence, bool byFormatter);
    // Running for its whole length: the caller ends it (end()) and commits it (take()).
    bool due() const;
    void end() { started_.reset(); }
    // The entries gathered, sorted, all flags clear; none are kept.
    std::vector<Filter> take();
    size_t size() const { return entries_.size(); }

private:
    std::function<Clock::time_point()> now_;
    Clock::duration length_;
    std::optional<Clock::time_point> started_;
    std::map<std::string, Filter> entries_;
};
