#pragma once
// The window's requests to the reader thread: a set of kinds, each pending at most once. The
// window posts; the reader takes the whole set in one step and carries it out in the order of
// the kinds below, building each from the window as it stands at that moment. Posting the same
// kind twice before the reader takes it makes one request; kinds never replace each other.

#include "base/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <cstdint>

enum class Request : uint32_t {
    OpenPort = 1u << 0,
    Configuration = 1u << 1,
    Speeds = 1u << 2,
    TalkerIDs = 1u << 3,
    ClearFilters = 1u << 4, // before the entries edited after it
    Filter = 1u << 5,
    Capture = 1u << 6,
};

class Requests {
public:
    Requests();
    ~Requests();
    Requests(const Requests&) = delete;
    Requests& operator=(const Requests&) = delete;

    void post(Request request); // any thread; wakes the reader
    uint32_t take();            // the pending set, leaving none
    uint32_t pending() const { return bits_.load(); }
    bool has(Request request) const { return (pending() & uint32_t(request)) != 0; }

    // Wakes a wait without a request (the reader is to stop).
    void interrupt();
    // Waits until something is posted, interrupt() is called or the time has passed.
    void wait(std::chrono::milliseconds timeout);
    // Readable while a wake-up is due: lets the reader wait on the serial line and here at once.
    int wakeFd() const { return wake_.get(); }

private:
    void signal();
    void drain();

    std::atomic<uint32_t> bits_{0};
    UniqueFd wake_; // eventfd
};
