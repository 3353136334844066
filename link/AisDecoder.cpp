#include "link/AisDecoder.h"

#include "link/NMEA.h"

#include <cstdio>

namespace {

constexpr unsigned kMaxFragments = 9; // a count field is one digit

// The comma-separated fields of a VDM/VDO sentence, from its address on, without the checksum.
std::vector<std::string> fieldsOf(std::string_view sentence) {
    std::vector<std::string> f(1);
    for (char c : sentence.substr(0, sentence.find_first_of("*\r\n"))) {
        if (c == ',')
            f.emplace_back();
        else
            f.back() += c;
    }
    return f;
}

struct Bits {
    std::vector<bool> bits;
    uint32_t u(unsigned start, unsigned count) const { return NMEA::getUnsignedBits(bits, start, count); }
    int32_t s(unsigned start, unsigned count) const {
        const uint32_t v = u(start, count);
        return (v & (1u << (count - 1))) ? int32_t(v) - int32_t(1u << count) : int32_t(v);
    }
    std::string text(unsigned start, unsigned count) const { return NMEA::getAsciiBits(bits, start, count); }
    bool has(unsigned count) const { return bits.size() >= count; }
};

std::string fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// A position in ten-thousandths of a minute; none for the value that says "not available".
std::string coordinate(int32_t raw, int32_t unavailable, char positive, char negative) {
    if (raw == unavailable)
        return {};
    const double degrees = raw / 600000.0;
    return fixed(degrees < 0 ? -degrees : degrees, 6) + "° " + (degrees < 0 ? negative : positive);
}

void add(DecodedSentence& out, const char* name, std::string value, const char* unit = "") {
    const char* shownUnit = value.empty() ? "" : unit;
    out.fields.push_back({name, 0, std::move(value), shownUnit});
}

// Speed, position, course and heading, where the report type keeps them.
void movement(DecodedSentence& out, const Bits& b, unsigned speedAt, unsigned lonAt) {
    const uint32_t speed = b.u(speedAt, 10), course = b.u(lonAt + 55, 12), heading = b.u(lonAt + 67, 9);
    add(out, "Latitude", coordinate(b.s(lonAt + 28, 27), 91 * 600000, 'N', 'S'));
    add(out, "Longitude", coordinate(b.s(lonAt, 28), 181 * 600000, 'E', 'W'));
    add(out, "SpeedOverGround", speed == 1023 ? "" : fixed(speed / 10.0, 1), "kn");
    add(out, "CourseOverGround", course == 3600 ? "" : fixed(course / 10.0, 1), "°");
    add(out, "HeadingTrue", heading == 511 ? "" : std::to_string(heading), "°");
}

void report(DecodedSentence& out, const Bits& b) {
    const unsigned type = b.u(0, 6);
    add(out, "MessageType", std::to_string(type));
    add(out, "MMSI", std::to_string(b.u(8, 30)));
    if (type >= 1 && type <= 3 && b.has(137)) {
        add(out, "NavigationalStatus", std::to_string(b.u(38, 4)));
        movement(out, b, 50, 61);
    } else if ((type == 18 || type == 19) && b.has(133)) {
        movement(out, b, 46, 57);
        if (type == 19 && b.has(271)) {
            add(out, "ShipName", b.text(143, 120));
            add(out, "ShipType", std::to_string(b.u(263, 8)));
        }
    } else if (type == 5 && b.has(422)) {
        add(out, "IMO", std::to_string(b.u(40, 30)));
        add(out, "CallSign", b.text(70, 42));
        add(out, "ShipName", b.text(112, 120));
        add(out, "ShipType", std::to_string(b.u(232, 8)));
        add(out, "Draught", fixed(b.u(294, 8) / 10.0, 1), "m");
        add(out, "Destination", b.text(302, 120));
    } else if (type == 24 && b.has(40)) {
        const unsigned part = b.u(38, 2);
        add(out, "PartNumber", std::to_string(part));
        if (part == 0 && b.has(160)) {
            add(out, "ShipName", b.text(40, 120));
        } else if (part == 1 && b.has(132)) {
            add(out, "ShipType", std::to_string(b.u(40, 8)));
            add(out, "CallSign", b.text(90, 42));
        }
    }
}

} // namespace

DecodedSentence AisDecoder::decode(const std::vector<std::string>& fragments) {
    DecodedSentence out;
    Bits b;
    for (const std::string& sentence : fragments) {
        const std::vector<std::string> f = fieldsOf(sentence);
        if (f.size() < 6 || f[0].size() < 4)
            return out;
        out.type = f[0].substr(f[0].size() - 3);
        for (char c : f[5])
            for (int k = 5; k >= 0; --k)
                b.bits.push_back((NMEA::sixBitToBinary(uint8_t(c)) >> k) & 1);
    }
    if (!b.has(38))
        return out;
    out.known = true;
    report(out, b);
    return out;
}

std::optional<std::vector<std::string>> AisDecoder::add(std::string_view sentence) {
    const std::vector<std::string> f = fieldsOf(sentence);
    if (f.size() < 6 || f[1].size() != 1 || f[2].size() != 1)
        return std::nullopt;
    const unsigned count = unsigned(f[1][0] - '0'), number = unsigned(f[2][0] - '0');
    if (count < 1 || count > kMaxFragments || number < 1 || number > count)
        return std::nullopt;
    if (count == 1)
        return std::vector<std::string>{std::string(sentence)};
    const std::string id = f[3] + "," + f[4];
    if (number == 1) {
        pending_.assign(1, std::string(sentence));
        pendingId_ = id;
        pendingCount_ = count;
    } else if (id == pendingId_ && count == pendingCount_ && number == pending_.size() + 1) {
        pending_.emplace_back(sentence);
    } else {
        pending_.clear(); // a fragment lost between: the message cannot be whole
        return std::nullopt;
    }
    if (pending_.size() < count)
        return std::nullopt;
    std::vector<std::string> whole;
    whole.swap(pending_);
    return whole;
}
