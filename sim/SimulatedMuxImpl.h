#pragma once
// The simulated multiplexer's insides, shared by its life cycle (SimulatedMux.cpp) and its
// device thread (SimulatedMuxImpl.cpp). Not for use outside sim/.

#include "base/UniqueFd.h"
#include "sim/MuxDevice.h"
#include "sim/SimulatedMux.h"
#include "sim/Traffic.h"

#include <sys/eventfd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

namespace simline {

using Clock = std::chrono::steady_clock;

// Replies owed beyond this while nobody reads are dropped, as a device's output buffer
// overflows; it keeps reading and applying commands all the same.
constexpr size_t kReplyBacklog = 64 * 1024;
// Unsolicited lines wait no further than this much unread input on the console's side: past
// it nobody is reading, and stale traffic piled up in the terminal would reach the next console.
constexpr int kUnreadLimit = 2048;
// A line that hung up (no slave side open) is looked at again after this, never in a tight loop.
constexpr auto kHangupPause = std::chrono::milliseconds(100);
// The longest the device thread sleeps; also how soon a closed console's exclusive claim is let go.
constexpr auto kLongestWait = std::chrono::milliseconds(25);

} // namespace simline

struct SimulatedMux::Impl {
    explicit Impl(SimOptions o)
        : options(std::move(o)), device(options), wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    bool openTerminal();
    void closeTerminal();
    bool placeLink();
    void removeLink();
    void startThread();
    void stopThread();
    bool plugIn();  // a terminal, its link and the device thread
    void pullOut(); // the reverse
    void wakeUp() const;
    void fail(std::string why);

    // Device thread.
    void run();
    void serveLine(simline::Clock::time_point deadline, simline::Clock::time_point* hungUpUntil);
    void readInput(simline::Clock::time_point now, simline::Clock::time_point* hungUpUntil);
    bool pumpReplies();
    void offer(std::string line);
    void sendTraffic();
    void sendStatus();
    void releaseExclusive();
    void watchOpens();

    SimOptions options;

    mutable std::mutex lifecycle; // start, stop, unplug and replug one at a time
    bool started = false;
    bool plugged = false;

    mutable std::mutex mutex; // what the device thread shares with the callers
    MuxDevice device;
    Bytes received;
    std::deque<std::string> replies; // whole lines owed to the console, in order
    size_t replyBytes = 0;
    std::string slavePath;
    std::string error;
    std::atomic<unsigned long> dropped{0};
    std::atomic<unsigned long> lineFeeds{0};

    UniqueFd wake; // eventfd: stop, or new bytes to send
    UniqueFd master;
    UniqueFd held;      // our own slave descriptor: the line stays up while no console has it open
    UniqueFd opens;     // inotify on the terminal: who else has it open
    int holders = 0;    // device thread: descriptors of the terminal open elsewhere
    size_t unheard = 0; // device thread: unsolicited bytes written since nobody else held it
    std::thread thread;
    std::atomic<bool> stopping{false};

    // Owned by the device thread while it runs.
    std::shared_ptr<TrafficSource> traffic;
    std::string out; // the line being written; finished before any other begins
    size_t outPos = 0;
    std::mt19937 random{42};
    unsigned counts[4] = {};
};
