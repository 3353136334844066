#include "exchange/ExportText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace exchange {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD"; // U+FFFD

// Length of the well-formed UTF-8 sequence at the text's start (shortest form, no surrogates, at
// most U+10FFFF), 0 when there is none; its code point in *code.
size_t sequenceAt(std::string_view text, uint32_t* code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    size_t length = 0;
    uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    uint32_t c = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *code = c;
    return length;
}

bool xmlCannotCarry(uint32_t code) {
    return (code < 0x20 && code != '\t' && code != '\n' && code != '\r') || code == 0xFFFE || code == 0xFFFF;
}

template <class Append>
void repair(std::string_view text, Append&& append) {
    while (!text.empty()) {
        uint32_t code = 0;
        const size_t length = sequenceAt(text, &code);
        if (length == 0) {
            append(replacement, 0xFFFD);
            text.remove_prefix(1);
            continue;
        }
        if (xmlCannotCarry(code))
            append(replacement, 0xFFFD);
        else
            append(text.substr(0, length), code);
        text.remove_prefix(length);
    }
}

} // namespace

std::string xmlEscaped(std::string_view text) {
    // Most names and descriptions are plain ASCII with nothing to escape.
    const auto plain = [](char c) {
        return (c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>') || c == '\t' || c == '\n';
    };
    if (std::all_of(text.begin(), text.end(), plain))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    repair(text, [&](std::string_view piece, uint32_t code) {
        switch (code) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += piece;
        }
    });
    return out;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    repair(text, [&](std::string_view piece, uint32_t) { out += piece; });
    return out;
}

namespace {

// The digits of a value that single precision holds, as the general conversion writes them: such
// a value times 10^decimals (decimals up to 9) is exact in double precision, so rounding it to an
// integer (to even at a tie, as the conversion does) gives the same digits. Positions, speeds and
// elevations are floats; a track writes several per point.
bool fixedFloat(double value, int decimals, std::string* out) {
    static constexpr double scales[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const double magnitude = std::fabs(value);
    if (decimals < 0 || decimals > 9 || magnitude >= 1e9 ||
        static_cast<double>(static_cast<float>(value)) != value)
        return false;
    const auto scale = static_cast<uint64_t>(scales[decimals]);
    const auto scaled = static_cast<uint64_t>(std::nearbyint(magnitude * scales[decimals]));
    char buffer[32];
    char* end = std::to_chars(buffer, buffer + sizeof buffer, scaled / scale).ptr;
    if (decimals > 0) {
        *end++ = '.';
        uint64_t fraction = scaled % scale;
        for (char* digit = end + decimals; digit > end; fraction /= 10)
            *--digit = static_cast<char>('0' + fraction % 10);
        end += decimals;
    }
    out->assign(std::signbit(value) ? "-" : "");
    out->append(buffer, end);
    return true;
}

} // namespace

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    if (std::string text; fixedFloat(value, decimals, &text))
        return text;
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string();
}

std::string zeroPadded(double value, int width, int decimals) {
    std::string text = fixed(value, decimals);
    if (!std::isfinite(value) || static_cast<int>(text.size()) >= width)
        return text;
    const size_t signLength = text[0] == '-' ? 1 : 0;
    text.insert(signLength, static_cast<size_t>(width) - text.size(), '0');
    return text;
}

namespace {

template <class Number>
bool readNumber(std::string_view text, Number* value) {
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    if (text.empty() || text[0] == '+')
        return false;
    Number v{};
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

} // namespace

bool readFloat(std::string_view text, float* value) {
    return readNumber(text, value);
}

bool readDouble(std::string_view text, double* value) {
    return readNumber(text, value);
}

} // namespace exchange
