#pragma once
// Bytes waiting to go out: appended at the back, taken from the front without moving the rest
// on every take.

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteQueue {
public:
    const uint8_t* data() const { return bytes_.data() + head_; }
    size_t size() const { return bytes_.size() - head_; }
    bool empty() const { return size() == 0; }

    void append(const uint8_t* bytes, size_t count) { bytes_.insert(bytes_.end(), bytes, bytes + count); }
    void consume(size_t count) {
        head_ += count;
        if (head_ == bytes_.size()) {
            clear();
        } else if (head_ >= 64 * 1024 && head_ * 2 >= bytes_.size()) {
            // Most of the storage is spent bytes: move the rest to the front once.
            bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
    }
    void clear() {
        bytes_.clear();
        head_ = 0;
    }
    // Gives the storage back, for a socket that will send no more.
    void release() {
        std::vector<uint8_t>().swap(bytes_);
        head_ = 0;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t head_ = 0;
};
