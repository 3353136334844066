#pragma once
// The most recent bytes of the stream the server re-serves, held once for all of a sending
// thread's clients: each client is only a position in it. Positions count every byte since the
// start; the log keeps the last `capacity` bytes in a ring and, coarsely, when each arrived, so a
// client's lag is known in bytes and in time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <sys/uio.h>
#include <vector>

class StreamLog {
public:
    using Clock = std::chrono::steady_clock;

    // `keep`: how long arrival times are worth keeping (older bytes only need to be known as old).
    StreamLog(size_t capacity, Clock::duration keep);

    uint64_t head() const { return head_; }
    // The oldest position whose bytes are still held.
    uint64_t tail() const { return head_ > ring_.size() ? head_ - ring_.size() : 0; }
    void append(const uint8_t* bytes, size_t count, Clock::time_point now);
    // The held bytes from `from` to the head, as at most two pieces; `from` must be held.
    int pieces(uint64_t from, iovec out[2]) const;
    // When the byte at the position arrived; long ago for a position no longer timed.
    Clock::time_point arrival(uint64_t position) const;

private:
    struct Mark {
        uint64_t position; // the first byte of an append
        Clock::time_point time;
    };
    std::vector<uint8_t> ring_;
    uint64_t head_ = 0;
    std::deque<Mark> marks_;
    Clock::duration keep_;
};
