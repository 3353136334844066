#pragma once
// The one-shot timers of a loop that turns by itself (PollRunLoop, EpollRunLoop): when the next is
// due, to cut the loop's wait, and those due, run once each. The loop's thread only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

class OneShotTimers {
public:
    using Clock = std::chrono::steady_clock;

    void add(uint64_t id, double seconds, std::function<void()> fired);
    void remove(uint64_t id) { timers_.erase(id); }
    // The wait, cut to the time until the next timer is due.
    std::chrono::milliseconds clip(std::chrono::milliseconds wait) const;
    // Runs each timer that is due; one may add or remove others as it runs.
    void runDue();

private:
    std::map<uint64_t, std::pair<Clock::time_point, std::function<void()>>> timers_;
};
