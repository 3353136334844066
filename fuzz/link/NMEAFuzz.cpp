// Any bytes as a received line through every text operation of the toolkit: framing, counts,
// fields, address cuts, position and time fields, and an AIS payload through bits to text.
#include "link/NMEA.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

const NMEA::HandlerTable& table() {
    static const NMEA::HandlerTable handlers{{"CF", NMEA::nmeaWithSelector([](const Bytes&) {})},
                                             {"RMC", NMEA::nmeaWithSelector([](const Bytes&) {})}};
    return handlers;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the bytes given, no terminator added: the operations must stop at the buffer's end.
    Bytes line(data, data + size);

    const unsigned offset = size > 0 ? data[0] : 0;
    const unsigned length = size > 1 ? data[1] % 16 : 2;
    const auto cut = NMEA::address(line, offset, length);
    check(!cut || (cut->size() == length && offset + length <= size));
    NMEA::command(line);
    NMEA::talker(line);
    NMEA::prefix(line);
    NMEA::nmeaWithData(line, &table());
    NMEA::nmeaWithKey(NMEA::address(line, 5, 2), &table());

    const bool valid = NMEA::checkSumValid(line);
    check(line.size() == size);
    (void)valid;

    const unsigned fields = NMEA::count(line);
    check(!NMEA::parse(line, fields));
    std::vector<std::optional<std::string>> parsed;
    for (unsigned i = 0; i < fields && i < 64; ++i) {
        parsed.push_back(NMEA::parse(line, i));
        check(parsed.back().has_value());
    }

    for (size_t i = 0; i + 1 < parsed.size(); ++i) {
        const float p = NMEA::position(parsed[i], parsed[i + 1]);
        check(p == NMEA::kNoPosition || std::isfinite(p));
        const std::string hms = NMEA::formatUtcToLocal(parsed[i]);
        check(hms.empty() || hms.size() == 8);
        check(hms.empty() == !NMEA::dateFromUtc(parsed[i]).has_value());
        NMEA::name(parsed[i]);
    }

    // The payload field of an encapsulated sentence, or the whole line, as six-bit armour.
    const std::string payload = parsed.size() > 5 ? *parsed[5] : std::string(line.begin(), line.end());
    std::vector<bool> bits;
    for (char c : payload) {
        const uint8_t v = NMEA::sixBitToBinary(static_cast<uint8_t>(c));
        check(v < 64);
        check(NMEA::sixBitToBinary(NMEA::binaryToSixBit(v)) == v);
        check(NMEA::asciiToBinary(NMEA::binaryToAscii(v)) == v);
        for (int k = 5; k >= 0; --k)
            bits.push_back((v >> k) & 1);
    }
    const unsigned start = size > 2 ? data[2] : 0;
    const unsigned count = size > 3 ? data[3] % 33 : 6;
    const uint32_t value = NMEA::getUnsignedBits(bits, start, count);
    check(count == 32 || value < (1u << count));
    const std::string text = NMEA::getAsciiBits(
        bits, start,
        static_cast<unsigned>(bits.size()) - std::min<unsigned>(start, static_cast<unsigned>(bits.size())));
    check(text.size() <= bits.size() / 6 + 1);
    NMEA::getAsciiBits(bits, 0, static_cast<unsigned>(bits.size()));
    return 0;
}
