#include "net/IncomingBuffer.h"
#include "net/TextEncoding.h"

#include <algorithm>
#include <cstring>

namespace {

std::optional<std::string> decode(const uint8_t* p, size_t n, IncomingBuffer::Encoding encoding) {
    switch (encoding) {
    case IncomingBuffer::Encoding::ASCII:
        if (std::any_of(p, p + n, [](uint8_t c) { return c >= 0x80; }))
            return std::nullopt;
        break;
    case IncomingBuffer::Encoding::UTF8:
        if (!validUtf8(p, n))
            return std::nullopt;
        break;
    case IncomingBuffer::Encoding::Latin1: {
        std::string text;
        for (size_t i = 0; i < n; ++i) {
            if (p[i] < 0x80) {
                text += static_cast<char>(p[i]);
            } else {
                text += static_cast<char>(0xC0 | (p[i] >> 6));
                text += static_cast<char>(0x80 | (p[i] & 0x3F));
            }
        }
        return text;
    }
    }
    return std::string(reinterpret_cast<const char*>(p), n);
}

} // namespace

size_t IncomingBuffer::read(void* out, size_t amount) {
    const size_t n = std::min(amount, bytes_.size());
    if (n > 0)
        std::memcpy(out, bytes_.data(), n);
    take(n);
    return n;
}

size_t IncomingBuffer::readOntoData(Bytes& data, size_t amount) {
    const size_t n = std::min(amount, bytes_.size());
    data.insert(data.end(), bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
    take(n);
    return n;
}

std::optional<Bytes> IncomingBuffer::readData(size_t amount) {
    if (bytes_.empty())
        return std::nullopt;
    Bytes data;
    readOntoData(data, amount);
    return data;
}

std::optional<std::string> IncomingBuffer::readString(Encoding encoding, size_t amount) {
    const size_t n = std::min(amount, bytes_.size());
    if (n == 0)
        return std::nullopt;
    std::optional<std::string> text = decode(bytes_.data(), n, encoding);
    if (text)
        take(n);
    return text;
}

size_t IncomingBuffer::readOntoString(std::string& text, Encoding encoding, size_t amount) {
    const size_t n = std::min(amount, bytes_.size());
    std::optional<std::string> decoded = n ? readString(encoding, n) : std::nullopt;
    if (!decoded)
        return 0;
    text += *decoded;
    return n;
}
