#include "net/RunLoop.h"

#include <algorithm>

namespace {
thread_local std::weak_ptr<RunLoop> currentLoop;
}

std::shared_ptr<RunLoop> RunLoop::current() {
    return currentLoop.lock();
}

void RunLoop::setCurrent(const std::shared_ptr<RunLoop>& loop) {
    currentLoop = loop;
}

bool RunLoop::turnUntil(const std::function<bool()>& done, double seconds,
                        const std::function<void(std::chrono::milliseconds)>& turn) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!done()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        turn(std::min(left, std::chrono::milliseconds(10)));
    }
    return true;
}
