#include "link/NMEA.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace {

// The buffer read as text: up to the first NUL, or the whole buffer when it holds none.
std::string_view text(const Bytes& buffer) {
    const auto end = std::find(buffer.begin(), buffer.end(), uint8_t{0});
    return {reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(end - buffer.begin())};
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

uint8_t exclusiveOr(std::string_view bytes) {
    uint8_t sum = 0;
    for (char c : bytes)
        sum ^= static_cast<uint8_t>(c);
    return sum;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The received checksum: the (at most) two characters after "*", blanks skipped, hex digits
// read until the first other character; 0 when none can be read.
unsigned receivedChecksum(std::string_view digits) {
    size_t i = 0;
    while (i < digits.size() && isBlank(digits[i]))
        ++i;
    unsigned value = 0;
    for (; i < digits.size(); ++i) {
        const int d = hexDigit(digits[i]);
        if (d < 0)
            break;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return value;
}

// Leading numeric value of a text made of digits and ".", as a float ("" and "." give 0); nil
// when it does not fit. Locale-independent: the console runs under the user's locale.
std::optional<float> numericValue(std::string_view s) {
    float value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        return std::nullopt;
    return error == std::errc() ? value : 0.0f;
}

// Leading decimal integer of a text ("1." gives 1, ".5" gives 0).
int leadingInt(std::string_view s) {
    int value = 0;
    for (char c : s) {
        if (!isDigit(c))
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool isTimeText(const std::optional<std::string>& utc) {
    if (!utc || utc->size() < 6)
        return false;
    return std::all_of(utc->begin(), utc->end(), [](char c) { return isDigit(c) || c == '.'; });
}

} // namespace

NMEA::NMEA(Selector selector) : selector_(std::move(selector)) {
}

std::shared_ptr<const NMEA> NMEA::nmeaWithSelector(Selector selector) {
    return std::make_shared<const NMEA>(std::move(selector));
}

bool NMEA::checkSumValid(Bytes* buffer) {
    if (buffer == nullptr || buffer->empty())
        return false;
    const uint8_t start = (*buffer)[0];
    if (start != '$' && start != '!')
        return false;
    const std::string_view line = text(*buffer);

    const size_t star = line.find('*');
    if (star != std::string_view::npos) {
        const unsigned received = receivedChecksum(line.substr(star + 1, 2));
        const uint8_t computed = exclusiveOr(line.substr(1, star - 1));
        (*buffer)[star] = 0;
        return received == computed;
    }

    const size_t cr = line.find('\r');
    if (cr == std::string_view::npos)
        return false;
    (*buffer)[cr] = 0;
    return true;
}

bool NMEA::lineValid(std::string_view line) {
    if (line.empty() || (line[0] != '$' && line[0] != '!'))
        return false;
    line = line.substr(0, line.find('\0'));
    const size_t star = line.find('*');
    if (star != std::string_view::npos)
        return receivedChecksum(line.substr(star + 1, 2)) == exclusiveOr(line.substr(1, star - 1));
    return line.find('\r') != std::string_view::npos;
}

std::string NMEA::checkSumTail(std::string_view sentence) {
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n",
                  exclusiveOr(sentence.empty() ? sentence : sentence.substr(1)));
    return tail;
}

std::optional<std::string> NMEA::address(const Bytes& buffer, unsigned offset, unsigned length) {
    if (buffer.size() < uint64_t{offset} + length)
        return std::nullopt;
    return std::string(buffer.begin() + offset, buffer.begin() + offset + length);
}

std::optional<std::string> NMEA::command(const Bytes& buffer) {
    return address(buffer, 3, 3);
}
std::optional<std::string> NMEA::talker(const Bytes& buffer) {
    return address(buffer, 1, 2);
}
std::optional<std::string> NMEA::prefix(const Bytes& buffer) {
    return address(buffer, 1, 1);
}

unsigned NMEA::count(const Bytes& buffer) {
    const std::string_view line = text(buffer);
    if (line.empty())
        return 0;
    return static_cast<unsigned>(std::count(line.begin(), line.end(), ',')) + 1;
}

std::optional<std::string> NMEA::parse(const Bytes& buffer, unsigned index) {
    std::string_view line = text(buffer);
    if (line.empty())
        return std::nullopt;
    for (unsigned i = 0; i < index; ++i) {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            return std::nullopt;
        line.remove_prefix(comma + 1);
    }
    return std::string(line.substr(0, line.find(',')));
}

std::optional<std::string> NMEA::name(const std::optional<std::string>& text) {
    if (!text)
        return text;
    std::string safe = *text;
    std::replace_if(
        safe.begin(), safe.end(), [](char c) { return c == ',' || c == '*'; }, ' ');
    return safe;
}

float NMEA::position(const std::optional<std::string>& value, const std::optional<std::string>& hemisphere) {
    if (!value || value->size() <= 2)
        return kNoPosition;
    if (!std::all_of(value->begin(), value->end(), [](char c) { return isDigit(c) || c == '.'; }))
        return kNoPosition;
    if (hemisphere && hemisphere->find_first_not_of("NSWE") != std::string::npos)
        return kNoPosition;
    const size_t p = value->find('.');
    // Fewer than two minute digits before the point: not a position field.
    if (p == std::string::npos || p < 2)
        return kNoPosition;
    if (!hemisphere || hemisphere->empty())
        return kNoPosition;

    const std::string_view v(*value);
    const auto fraction = numericValue(v.substr(p));
    const auto minutes = numericValue(v.substr(p - 2, 2));
    const auto degrees = numericValue(v.substr(0, p - 2));
    if (!fraction || !minutes || !degrees)
        return kNoPosition;
    float result = (*minutes + *fraction) / 60.0f + *degrees;
    if (!std::isfinite(result))
        return kNoPosition;
    if ((*hemisphere)[0] == 'S' || (*hemisphere)[0] == 'W')
        result = -result;
    return result;
}

std::string NMEA::formatUtcToLocal(const std::optional<std::string>& utc) {
    if (!isTimeText(utc))
        return {};
    const std::string& t = *utc;
    return t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
}

std::optional<NMEA::Date> NMEA::dateFromUtc(const std::optional<std::string>& utc) {
    if (!isTimeText(utc))
        return std::nullopt;
    const std::string_view t(*utc);
    const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    // Out-of-range fields roll over into the next minute, hour or day, as a lenient calendar does.
    return Date(today) + std::chrono::hours(leadingInt(t.substr(0, 2))) +
           std::chrono::minutes(leadingInt(t.substr(2, 2))) +
           std::chrono::seconds(leadingInt(t.substr(4, 2)));
}

uint8_t NMEA::sixBitToBinary(uint8_t c) {
    const uint8_t shifted = static_cast<uint8_t>(c + 40);
    const uint8_t v = shifted <= 128 ? static_cast<uint8_t>(c - 48) : static_cast<uint8_t>(c - 56);
    return v & 0x3f;
}

uint8_t NMEA::binaryToSixBit(uint8_t v) {
    return static_cast<uint8_t>(v <= 39 ? v + 48 : v + 56);
}

uint8_t NMEA::binaryToAscii(uint8_t v) {
    return static_cast<uint8_t>(v < 32 ? v + 64 : v);
}

uint8_t NMEA::asciiToBinary(uint8_t c) {
    return static_cast<uint8_t>(c >= 64 ? c - 64 : c);
}

uint32_t NMEA::getUnsignedBits(const std::vector<bool>& bits, unsigned start, unsigned count) {
    if (uint64_t{start} + count > bits.size())
        return 0;
    uint32_t value = 0;
    for (unsigned k = 0; k < count; ++k)
        value = (value << 1) | (bits[start + k] ? 1u : 0u);
    return value;
}

std::string NMEA::getAsciiBits(const std::vector<bool>& bits, unsigned start, unsigned count) {
    if (bits.size() < uint64_t{start} + count)
        return {};
    std::string result;
    result.reserve(count / 6 + 1);
    for (uint64_t i = 0; i < count; i += 6) {
        // A last group running past the end reads as 0, the fill character.
        const auto v = static_cast<uint8_t>(getUnsignedBits(bits, static_cast<unsigned>(start + i), 6));
        const char c = static_cast<char>(binaryToAscii(v));
        result.push_back(c == '@' ? ' ' : c);
    }
    const size_t first = result.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const size_t last = result.find_last_not_of(" \t");
    return result.substr(first, last - first + 1);
}

std::shared_ptr<const NMEA> NMEA::nmeaWithKey(const std::optional<std::string>& key,
                                              const HandlerTable* table) {
    if (!key || table == nullptr)
        return nullptr;
    const auto it = table->find(*key);
    return it == table->end() ? nullptr : it->second;
}

std::shared_ptr<const NMEA> NMEA::nmeaWithPGN(uint32_t pgn, const HandlerTable* table) {
    char key[16];
    std::snprintf(key, sizeof key, "%u", static_cast<unsigned>(pgn));
    return nmeaWithKey(std::string(key), table);
}

std::shared_ptr<const NMEA> NMEA::nmeaWithData(const Bytes& buffer, const HandlerTable* table) {
    return nmeaWithKey(command(buffer), table);
}
