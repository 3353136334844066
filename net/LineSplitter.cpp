#include "net/LineSplitter.h"

#include <algorithm>

LineSplitter::Result LineSplitter::split(Bytes& pending, const std::function<bool(const Bytes&)>& line,
                                         const std::function<Clock::time_point()>& now) {
    const Clock::time_point start = now();
    size_t taken = 0;
    Result result = Result::Done;
    Bytes one;
    while (taken < pending.size()) {
        if (now() - start > kHandOnLimit) {
            result = Result::Overflow;
            break;
        }
        const auto begin = pending.begin() + static_cast<std::ptrdiff_t>(taken);
        const auto feed = std::find(begin, pending.end(), uint8_t{'\n'});
        if (feed == pending.end())
            break;
        one.assign(begin, feed + 1);
        taken += one.size();
        if (!line(one)) {
            result = Result::Stopped;
            break;
        }
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(taken));
    if (result == Result::Done && pending.size() > kMaxPendingLine)
        result = Result::Overflow;
    if (result == Result::Overflow)
        pending.clear();
    return result;
}
