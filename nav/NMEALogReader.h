#pragma once
// An NMEA log read a piece at a time, split exactly as NMEASimulator::fromFile splits a whole
// file: at every line feed when the file holds one, else at every carriage return; every piece
// kept, empty ones too, in file order. Memory stays bounded whatever the file holds: a piece
// longer than kHeldLine comes as its place in the file and where its sentence starts, and its
// bytes are read with readAt.
//
// Blocking reads. One thread at a time calls prepare, next and countMore; readAt, scanned and
// size may be called from another thread meanwhile.

#include "base/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class NMEALogReader {
public:
    static constexpr size_t kHeldLine = 64 * 1024;
    static constexpr size_t kBlock = 64 * 1024;
    static constexpr uint64_t npos = UINT64_MAX;

    enum class Split { LineFeed, CarriageReturn };

    struct Piece {
        uint64_t offset = 0;      // of its first byte in the file
        uint64_t length = 0;      // without its separator
        uint64_t sentence = npos; // file offset of its first "$", else of its first "!"; npos: neither
        bool held = false;        // text is the whole piece
        std::string text;
        uint64_t end() const { return offset + length; }
    };

    // Reads length bytes at offset into buffer, as pread does (tests put failures here).
    using ReadAt = std::function<ssize_t(int fd, void* buffer, size_t length, uint64_t offset)>;

    explicit NMEALogReader(size_t block = kBlock, size_t heldLine = kHeldLine, ReadAt readAt = {});

    // False when the file cannot be read: missing, not permitted, a folder, its start unreadable.
    bool open(const std::string& path);
    // Finds how the file splits: reads up to its first line feed, through the whole file when it
    // has none. False when a read failed or stop was set.
    bool prepare(const std::atomic<bool>* stop = nullptr);
    std::optional<Split> split() const { return split_; }
    // The next piece; nil after the last one, or when a read failed (failed() says so).
    std::optional<Piece> next();
    bool failed() const { return failed_; }
    // Counts separators ahead of next(), a block at a time; false once there is nothing more to
    // count (or a read failed: the total stays unknown).
    bool countMore();
    // The number of pieces, once known (after prepare when the file has no line feed).
    std::optional<uint64_t> total() const { return total_; }
    uint64_t size() const { return size_; }                          // when opened
    uint64_t scanned() const { return scanned_.load(); }             // how far prepare has read
    uint64_t position() const { return pieceStart_; }                // where the next piece begins
    size_t readAt(uint64_t offset, char* into, size_t length) const; // fewer at the end or on failure

private:
    bool fill();

    const size_t block_, heldLine_;
    ReadAt read_;
    UniqueFd fd_;
    uint64_t size_ = 0;
    std::optional<Split> split_;
    char separator_ = '\n';
    std::optional<uint64_t> total_;
    std::atomic<uint64_t> scanned_{0};

    std::vector<char> buffer_; // one block of the file, from bufferAt_
    uint64_t bufferAt_ = 0;
    size_t used_ = 0, filled_ = 0;
    uint64_t pieceStart_ = 0;
    bool atEnd_ = false, done_ = false, failed_ = false;

    std::vector<char> countBuffer_;
    uint64_t countAt_ = 0, separators_ = 0;
    bool counted_ = false;
};
