#pragma once
// Splits the bytes a peer sends into lines ending in a line feed, the way the NMEA client hands
// them on: whole lines in arrival order, an unfinished line kept for the next chunk. A handing-on
// that takes longer than the time limit, or an unfinished line longer than any sentence could be,
// discards what is held and reports an overflow.

#include "base/Bytes.h"

#include <chrono>
#include <cstddef>
#include <functional>

class LineSplitter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kHandOnLimit{2};
    // Far beyond the longest sentence of any device; a peer that sends more without a line feed
    // is not sending lines.
    static constexpr size_t kMaxPendingLine = 4096;

    enum class Result { Done, Stopped, Overflow };

    // Takes every whole line from the front of `pending` and gives it to `line`, which answers
    // whether to go on (a false answer leaves the rest in `pending` and gives Stopped). Overflow:
    // `pending` was emptied. `now` is asked before each line.
    static Result split(Bytes& pending, const std::function<bool(const Bytes&)>& line,
                        const std::function<Clock::time_point()>& now = Clock::now);
};
