#pragma once
// NMEA file playback: the step the reader thread takes after each turn with a port open (one
// file line after a line read, up to twenty after an empty read), and the start and stop the
// window asks for. Attached to the reader as a turn observer; paced by the device's traffic and
// nothing else, so it pauses while no port is open and goes on on whatever port opens next.
//
// Threads. start, stop, playing, progress and lastEnd run on the main thread; turn on the reader
// thread. The file in play (NMEAFile: the lines and the cursor as one object) is published and
// released under one lock; the step works on its own reference, so a file is never released
// under it.

#include "link/GPSTransfer.h"
#include "mux/NMEAFile.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class Playback {
public:
    static constexpr int kAfterLine = 1;     // file lines sent after a line was read
    static constexpr int kAfterSilence = 20; // ... after a read came back empty

    // How the last playback ended.
    struct End {
        uint64_t lines = 0;     // taken from the file
        uint64_t sent = 0;      // of those, sent to the device
        uint64_t skipped = 0;   // of those, with text but neither "$" nor "!"
        bool failed = false;    // the file could not be read any further
        bool stopped = false;   // the user stopped it
        bool shortened = false; // the file ended before the lines it had when counted
    };

    explicit Playback(GPSTransfer& sender, NMEALogReader::ReadAt readAt = {});
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Main thread. False when the file cannot be read or a playback is in progress: nothing
    // changes then. The file goes into play once its first lines are read.
    bool start(const std::string& path);
    void stop();          // as if the file had ended here
    bool playing() const; // in progress: being read or played
    bool inPlay() const;  // its first lines are read: the reader's turns send from it
    std::optional<NMEAFile::Progress> progress() const;
    std::optional<End> lastEnd() const;
    // A line too long to hold is going out (the sender is taken for a while).
    bool sendingLongLine() const { return longLine_.load(); }
    // Stopped while a long line still goes out: the stop takes effect between two of its pieces.
    bool stopping() const { return longLine_.load() && !playing(); }

    // Reader thread: the step of one turn.
    void turn(bool lineRead);

private:
    void ready(NMEAFile* file);
    void finish(const std::shared_ptr<NMEAFile>& file);
    void send(NMEAFile& file, const NMEAFile::Line& line);

    GPSTransfer& sender_;
    NMEALogReader::ReadAt readAt_;
    mutable std::mutex lock_;
    std::shared_ptr<NMEAFile> preparing_; // read, not yet in play
    std::shared_ptr<NMEAFile> nmeaFile_;  // in play
    std::optional<End> lastEnd_;
    std::atomic<bool> longLine_{false};
    std::atomic<uint64_t> sent_{0}, skipped_{0}; // of the file in play
};
