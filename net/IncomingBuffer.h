#pragma once
// The bytes a socket received and its owner has not taken yet. Every read takes from the front;
// a text read that does not decode takes nothing.

#include "base/Bytes.h"
#include "net/TextEncoding.h"

#include <optional>
#include <string>

class IncomingBuffer {
public:
    using Encoding = TextEncoding;

    void append(const uint8_t* bytes, size_t count) { bytes_.insert(bytes_.end(), bytes, bytes + count); }
    void clear() { bytes_.clear(); }
    size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }

    size_t read(void* out, size_t amount);
    size_t readOntoData(Bytes& data, size_t amount);
    std::optional<Bytes> readData(size_t amount);
    // Nothing, and the buffer unchanged, when the bytes do not decode.
    std::optional<std::string> readString(Encoding encoding, size_t amount);
    size_t readOntoString(std::string& text, Encoding encoding, size_t amount);

private:
    void take(size_t count) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
    }
    Bytes bytes_;
};
