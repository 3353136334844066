#pragma once
// The file being played: the console's nmeaFileArray and nmeaFileEnumerator as one object, so
// the lines and the place of the next one are always published and released together.
//
// A thread of its own reads the lines ahead into a bounded queue, so whoever takes them (the
// reader thread) never waits on the disk, and memory stays bounded whatever the file holds: a
// line too long to hold waits in the queue as its place in the file. The same thread counts the
// file's lines while the queue is full, for the progress shown.

#include "nav/NMEALogReader.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class NMEAFile {
public:
    using Line = NMEALogReader::Piece;
    static constexpr size_t kAheadLines = 1024;
    static constexpr size_t kAheadBytes = 1u << 20;

    struct Progress {
        bool preparing = true;         // still finding how the file splits
        uint64_t taken = 0;            // lines taken (sent or skipped)
        std::optional<uint64_t> total; // lines in the file, once counted
        uint64_t bytes = 0;            // of the file taken, or scanned while preparing
        uint64_t size = 0;             // of the file when opened; 0 when not a plain file
        bool failed = false;           // the file could not be read any further
        bool shortened = false;        // it ended before the lines counted at first: cut short
    };
    enum class Next { Line, NotYet, End };

    // Nil when the file cannot be read.
    static std::shared_ptr<NMEAFile> open(const std::string& path, NMEALogReader::ReadAt readAt = {});
    ~NMEAFile(); // stops the thread and waits for it
    NMEAFile(const NMEAFile&) = delete;
    NMEAFile& operator=(const NMEAFile&) = delete;

    // Starts reading ahead. ready runs once on the file's own thread, when the first lines wait
    // to be taken (or the file turned out to have no more, or could not be read).
    void begin(std::function<void(NMEAFile*)> ready);
    // The next line; never waits. End once the last line was taken, or the file failed.
    Next take(Line* line);
    // A long line's bytes; fewer at a failure.
    size_t readAt(uint64_t offset, char* into, size_t length) const {
        return reader_.readAt(offset, into, length);
    }
    void markFailed(); // a long line could not be read: nothing more is taken

    void cancel();
    bool cancelled() const { return stop_.load(); }
    Progress progress() const;

private:
    explicit NMEAFile(NMEALogReader::ReadAt readAt);
    void run();
    bool hasRoom() const { return ahead_.size() < kAheadLines && aheadBytes_ < kAheadBytes; }
    // Refilled once down to half: the thread wakes once per half queue, not once per line.
    bool lowWater() const { return ahead_.size() <= kAheadLines / 2 && aheadBytes_ <= kAheadBytes / 2; }
    bool fillOne(std::unique_lock<std::mutex>& lock);

    NMEALogReader reader_;
    std::function<void(NMEAFile*)> ready_;

    mutable std::mutex lock_;
    std::condition_variable room_;
    std::deque<Line> ahead_;
    size_t aheadBytes_ = 0;
    bool prepared_ = false, end_ = false, failed_ = false, counting_ = true, shortened_ = false;
    uint64_t read_ = 0, taken_ = 0, takenBytes_ = 0;
    std::optional<uint64_t> total_;

    std::atomic<bool> stop_{false};
    std::thread thread_;
};
