#include "net/OneShotTimers.h"

#include <algorithm>
#include <vector>

void OneShotTimers::add(uint64_t id, double seconds, std::function<void()> fired) {
    const auto delay = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    timers_.emplace(id, std::make_pair(Clock::now() + delay, std::move(fired)));
}

std::chrono::milliseconds OneShotTimers::clip(std::chrono::milliseconds wait) const {
    const auto now = Clock::now();
    for (const auto& [id, pending] : timers_) {
        const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(pending.first - now);
        wait = std::max(std::chrono::milliseconds(0), std::min(wait, untilDue));
    }
    return wait;
}

void OneShotTimers::runDue() {
    const auto now = Clock::now();
    std::vector<uint64_t> due;
    for (const auto& [id, pending] : timers_)
        if (pending.first <= now)
            due.push_back(id);
    for (uint64_t id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end())
            continue;
        const std::function<void()> fired = std::move(it->second.second);
        timers_.erase(it); // one shot; the owner's handle now refers to nothing
        fired();
    }
}
