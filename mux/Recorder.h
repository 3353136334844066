#pragma once
// Recording the device's stream: every line as the reader read it (line end and bad checksums
// included, as the network clients get it) goes into a file of the user's choice, which plays
// back with Send File.
//
// The reader only copies each line into a bounded queue (a line observer) and never waits on
// the disk; a writer thread of the recording's own empties the queue into the file. Lines that
// find the queue full (a disk far slower than the device) are dropped and counted. A write that
// fails (a full disk, a removed stick) ends the recording: what was written stays, cut back to
// its last whole line, and the end reports why.

#include "base/Bytes.h"
#include "base/UniqueFd.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class Recorder {
public:
    static constexpr size_t kQueueBytes = 4u << 20;
    static constexpr size_t kWakeBytes = 256u << 10; // the writer is woken early past this much

    struct Status {
        bool recording = false; // lines are being taken
        bool writing = false;   // the writer is still at work
        std::string path;
        uint64_t lines = 0, bytes = 0; // taken into the recording (after a failure: kept)
        uint64_t dropped = 0;          // lines lost because the disk fell behind
    };
    struct End {
        std::string path;
        uint64_t lines = 0, bytes = 0; // in the file
        std::string error;             // empty when it ended as asked
    };
    using Ended = std::function<void(const End&)>; // on the writer thread

    // The writer puts what is queued into the file at least every flushEvery, and what is in the
    // file on the medium every syncEvery, so a power cut loses no more than those seconds.
    explicit Recorder(std::chrono::milliseconds flushEvery = std::chrono::milliseconds(100),
                      std::chrono::milliseconds syncEvery = std::chrono::seconds(5));
    ~Recorder(); // ends a recording and waits until its lines are in the file
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Main thread. An error text when the file cannot be created; nothing changes then.
    std::optional<std::string> start(const std::string& path, Ended ended);
    void stop();   // takes no more lines; the writer finishes the file on its own
    void finish(); // waits until the writer is done
    Status status() const;

    // Reader thread: one line as read.
    void line(const Bytes& line);

private:
    void run();
    bool writeAll(const std::string& batch, int* error);
    bool sync();
    void fail(int error);

    const std::chrono::milliseconds flushEvery_, syncEvery_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool recording_ = false, writing_ = false;
    std::string queue_; // whole lines, in order
    std::string path_;
    uint64_t lines_ = 0, bytes_ = 0, dropped_ = 0;
    Ended ended_;

    // Writer thread.
    UniqueFd fd_;
    uint64_t written_ = 0, writtenLines_ = 0; // whole lines in the file
    std::thread writer_;
};
