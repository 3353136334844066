#pragma once
// Sentences that the network server's clients send, on their way to the device: an autopilot fed
// by a chart plotter through the multiplexer. Only while accepting, only well-formed sentences
// ("$" or "!" first, printable ASCII, at most 82 characters before the line end, a correct
// checksum where there is one), never one addressed to the device itself ($PQVX: no client may
// reconfigure it), at most 50 a second from each client. Whatever is not written is counted.
// Each sentence goes to the device whole through the command sender, so it never comes between
// the pieces of the console's own commands; a thread of its own waits on the port, so no client
// and no server thread ever does.
//
// Threads: line() from any thread (the server's sending threads); the rest from any thread too.

#include "base/Bytes.h"
#include "link/GPSTransfer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

class ClientSentences {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kPerSecond = 50; // from one client
    static constexpr size_t kMaxLength = 82; // before the line end
    static constexpr size_t kQueued = 256;   // waiting for the port, from all clients

    enum class Verdict { WellFormed, Malformed, DeviceCommand };
    // What is not written, by reason, and what is.
    struct Counts {
        uint64_t written = 0;
        uint64_t malformed = 0;
        uint64_t deviceCommands = 0;
        uint64_t overRate = 0;
        uint64_t notWritten = 0; // no port open, the port failed, or too many waiting for it
        bool operator==(const Counts&) const = default;
    };

    // The counts as the user reads them, in the user's language.
    static std::string said(const Counts& counts);
    // The line's form alone; a line feed, with or without its carriage return, ends it.
    static Verdict judge(const Bytes& line);

    explicit ClientSentences(GPSTransfer& sender, std::function<Clock::time_point()> now = Clock::now);
    ~ClientSentences(); // what waits for the port is dropped
    ClientSentences(const ClientSentences&) = delete;
    ClientSentences& operator=(const ClientSentences&) = delete;

    // Off by default; off, every line is ignored (and not counted).
    void setAccepting(bool on) { accepting_ = on; }
    bool accepting() const { return accepting_; }

    // One line from a client, its line end included (an empty one: bytes that were no line).
    void line(uint64_t client, const Bytes& line);
    Counts counts() const;

private:
    bool withinRate(uint64_t client);
    void run();

    GPSTransfer& sender_;
    std::function<Clock::time_point()> now_;
    std::atomic<bool> accepting_{false};
    std::atomic<uint64_t> written_{0}, malformed_{0}, deviceCommands_{0}, overRate_{0}, notWritten_{0};

    std::mutex rateMutex_;
    std::unordered_map<uint64_t, std::deque<Clock::time_point>> recent_; // each client's last lines
    Clock::time_point lastSweep_{}; // when clients that went quiet were last forgotten

    std::mutex queueMutex_;
    std::condition_variable queued_;
    std::deque<std::string> queue_; // bodies without their line end
    bool stopping_ = false;
    std::thread writer_; // last: it uses all of the above
};
