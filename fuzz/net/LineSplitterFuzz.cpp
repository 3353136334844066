// Any bytes a peer may send, cut into chunks anywhere, through the client's line splitting:
// every line handed on ends at its first line feed, the lines and the held rest are exactly
// the bytes received since the last overflow, and nothing held grows past its bound.
#include "net/LineSplitter.h"

#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the chunk sizes, the second how slowly the clock runs per line.
    const size_t step = 1 + data[0] % 97;
    const auto tick = std::chrono::milliseconds(data[1] * 20);
    data += 2;
    size -= 2;
    LineSplitter::Clock::time_point now{};
    Bytes pending, since; // `since`: what came after the last overflow
    for (size_t at = 0; at < size; at += step) {
        const size_t n = std::min(step, size - at);
        pending.insert(pending.end(), data + at, data + at + n);
        since.insert(since.end(), data + at, data + at + n);
        Bytes handed;
        const auto result = LineSplitter::split(
            pending,
            [&](const Bytes& line) {
                check(!line.empty() && line.back() == '\n');
                check(std::find(line.begin(), line.end() - 1, uint8_t{'\n'}) == line.end() - 1);
                handed.insert(handed.end(), line.begin(), line.end());
                return true;
            },
            [&] { return now += tick; });
        if (result == LineSplitter::Result::Overflow) {
            check(pending.empty());
            since.clear();
            continue;
        }
        check(pending.size() <= LineSplitter::kMaxPendingLine);
        check(std::find(pending.begin(), pending.end(), uint8_t{'\n'}) == pending.end());
        handed.insert(handed.end(), pending.begin(), pending.end());
        check(handed == since);
        since = pending;
    }
    return 0;
}
