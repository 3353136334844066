#include "net/TextEncoding.h"

bool validUtf8(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n;) {
        const uint8_t c = p[i];
        const size_t length = c < 0x80           ? 1
                              : (c >> 5) == 0x6  ? 2
                              : (c >> 4) == 0xE  ? 3
                              : (c >> 3) == 0x1E ? 4
                                                 : 0;
        if (length == 0 || i + length > n)
            return false;
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        static constexpr uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<Bytes> encodeText(std::string_view text, TextEncoding encoding) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    if (!validUtf8(p, text.size()))
        return std::nullopt;
    if (encoding == TextEncoding::UTF8)
        return Bytes(p, p + text.size());
    const uint8_t highest = encoding == TextEncoding::ASCII ? 0x7F : 0xFF;
    Bytes bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = p[i];
        if (code >= 0x80) { // a valid sequence: two bytes encode up to 0x7FF, more go beyond 0xFF
            if ((code >> 5) != 0x6)
                return std::nullopt;
            code = ((code & 0x1F) << 6) | (p[++i] & 0x3F);
        }
        if (code > highest)
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(code));
    }
    return bytes;
}
