#pragma once
// The user's requests to the reader thread, as values: the port to open and the edits waiting for
// the device (DeviceRequest). Each kind is pending at most once: a later post of a kind replaces
// the earlier (the filter list keeps one edit per address, in the order made), so quick edits go
// out as their latest state. Posted on the main thread, where they gather until publish() hands
// them over at the end of the main loop's turn, so the edits of one turn go out together; taken
// whole by the reader in one step, which sends them through the protocol's sequencing without
// asking the main thread anything.

#include "base/UniqueFd.h"
#include "mux/protocol/RequestSequence.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

enum class Request : uint32_t {
    OpenPort = 1u << 0,
    Configuration = 1u << 1,
    Speeds = 1u << 2,
    TalkerIDs = 1u << 3,
    ClearFilters = 1u << 4, // before the entries edited after it
    Filter = 1u << 5,
    Capture = 1u << 6,
};

// What the reader does for the requests it took: open a port, then send.
struct ReaderWork {
    bool open = false;  // close the port; open this one when it has a name
    bool await = false; // a port that does not open is waited for, as a lost one is
    std::optional<std::string> port, rate;
    DeviceRequest device;
};

class Requests {
public:
    Requests();
    ~Requests();
    Requests(const Requests&) = delete;
    Requests& operator=(const Requests&) = delete;

    // Main thread; gathered until publish().
    void openPort(std::optional<std::string> port, std::optional<std::string> rate, bool await = false);
    void configuration(const Configuration& configuration, MuxFamily family);
    void speeds(const Speeds& speeds);
    void talkerIDs(const TalkerIDs& ids);
    void filter(const Filter& entry); // one edit per address waits, the later replacing it
    void clearFilters();              // the edits before it are moot
    void capture(std::vector<Filter> entries);

    // Main thread: what was gathered goes to the reader, and wakes it.
    void publish();
    // Reader thread: everything published, leaving none.
    ReaderWork take();
    // What is posted and not yet taken, as Request bits; published() only what the reader may take.
    uint32_t pending() const { return bits_.load() | gatheredBits_.load(); }
    uint32_t published() const { return bits_.load(); }
    bool has(Request request) const { return (pending() & uint32_t(request)) != 0; }

    // Wakes a wait without a request (the reader is to stop).
    void interrupt();
    // Waits until something is posted, interrupt() is called or the time has passed.
    void wait(std::chrono::milliseconds timeout);
    // Readable while a wake-up is due: lets the reader wait on the serial line and here at once.
    int wakeFd() const { return wake_.get(); }

private:
    template <class Edit>
    void post(Request kind, Edit edit);
    void signal();
    void drain();

    std::vector<std::function<void(ReaderWork&)>> gathered_; // main thread
    std::atomic<uint32_t> gatheredBits_{0};
    std::mutex lock_;
    ReaderWork work_; // under lock_
    std::atomic<uint32_t> bits_{0};
    UniqueFd wake_; // eventfd
};
