#include "sim/Traffic.h"

#include "base/Format.h"
#include "link/NMEA.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <numbers>

std::string nmeaLine(std::string_view sentence) {
    return std::string(sentence) + NMEA::checkSumTail(sentence);
}

std::string aisArmour(const std::vector<bool>& bits, unsigned* fillBits) {
    std::string payload;
    const size_t groups = (bits.size() + 5) / 6;
    for (size_t g = 0; g < groups; ++g) {
        unsigned v = 0;
        for (size_t k = 0; k < 6; ++k) {
            const size_t i = g * 6 + k;
            v = (v << 1) | (i < bits.size() && bits[i] ? 1u : 0u);
        }
        payload.push_back(static_cast<char>(v < 40 ? v + 48 : v + 56));
    }
    if (fillBits != nullptr)
        *fillBits = static_cast<unsigned>(groups * 6 - bits.size());
    return payload;
}

namespace {

constexpr double kRadians = std::numbers::pi / 180.0;

// Most significant bit first; negative values in two's complement over the field's width.
class BitWriter {
public:
    void put(int64_t value, unsigned width) {
        for (unsigned k = width; k-- > 0;)
            bits.push_back(((static_cast<uint64_t>(value) >> k) & 1u) != 0);
    }
    std::vector<bool> bits;
};

// "ddmm.mmmm" / "dddmm.mmmm" and the hemisphere letter.
std::string angle(double degrees, int degreeDigits, char positive, char negative) {
    const long long tenThousandths = std::llround(std::fabs(degrees) * 60.0 * 10000.0);
    const long long whole = tenThousandths / 600000;
    const long long rest = tenThousandths % 600000;
    return base::textf("%0*lld%02lld.%04lld,%c", degreeDigits, whole, rest / 10000, rest % 10000,
                       degrees < 0 ? negative : positive);
}

std::tm utc(InstrumentTraffic::Clock::time_point t) {
    const std::time_t seconds = InstrumentTraffic::Clock::to_time_t(t);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    return parts;
}

std::string timeField(const std::tm& t) {
    return base::textf("%02d%02d%02d.00", t.tm_hour, t.tm_min, t.tm_sec);
}

} // namespace

InstrumentTraffic::InstrumentTraffic(uint32_t seed, std::function<Clock::time_point()> clock)
    : clock_(std::move(clock)),
      instruments_([this] { return clock_(); }), own_{227006420, 47.28520, -2.51630, 6.2, 212.0, 1},
      targets_{{{228237700, 47.24110, -2.58020, 11.4, 62.0, 1},
                {636019825, 47.20190, -2.47310, 13.9, 318.0, 1},
                {227145390, 47.26700, -2.54900, 5.1, 140.0, 18}}} {
    instruments_.seed(seed);
    instruments_.setPosition({static_cast<float>(own_.lon), static_cast<float>(own_.lat)});
    instruments_.setHeading(static_cast<float>(own_.cog));
    instruments_.setSpeed(static_cast<float>(own_.sog));
    instruments_.setVariation(-0.8f);
}

// The own ship is where the instrument simulator has dead-reckoned it; the targets move on their
// own courses.
void InstrumentTraffic::advance(Clock::time_point now) {
    const double dt = last_ ? std::clamp(std::chrono::duration<double>(now - *last_).count(), 0.0, 5.0) : 0.0;
    last_ = now;
    const NavPoint at = instruments_.position();
    own_.lat = at.y, own_.lon = at.x;
    own_.sog = instruments_.speed(), own_.cog = instruments_.heading();
    for (auto& v : targets_) {
        const double miles = v.sog * dt / 3600.0;
        v.lat += miles * std::cos(v.cog * kRadians) / 60.0;
        v.lon += miles * std::sin(v.cog * kRadians) / (60.0 * std::cos(v.lat * kRadians));
    }
}

std::string InstrumentTraffic::gga(Clock::time_point now) const {
    return "$GPGGA," + timeField(utc(now)) + "," + angle(own_.lat, 2, 'N', 'S') + "," +
           angle(own_.lon, 3, 'E', 'W') + ",1,09,0.9,2.1,M,49.6,M,,";
}

std::string InstrumentTraffic::zda(Clock::time_point now) const {
    const std::tm t = utc(now);
    return "$GPZDA," + timeField(t) +
           base::textf(",%02d,%02d,%04d,00,00", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900);
}

std::string InstrumentTraffic::ais(const Vessel& v, bool own, Clock::time_point now) const {
    BitWriter w;
    const auto lon = std::llround(v.lon * 600000.0);
    const auto lat = std::llround(v.lat * 600000.0);
    const auto sog = std::llround(v.sog * 10.0);
    const auto cog = std::llround(v.cog * 10.0) % 3600;
    const int second = utc(now).tm_sec;
    if (v.type == 18) {
        w.put(18, 6), w.put(0, 2), w.put(v.mmsi, 30), w.put(0, 8), w.put(sog, 10), w.put(1, 1);
        w.put(lon, 28), w.put(lat, 27), w.put(cog, 12), w.put(511, 9), w.put(second, 6), w.put(0, 2);
        w.put(1, 1), w.put(0, 1), w.put(1, 1), w.put(1, 1), w.put(1, 1), w.put(0, 1), w.put(0, 1);
        w.put(0b11100000000000000110, 20);
    } else {
        const auto heading = std::llround(v.cog) % 360;
        w.put(1, 6), w.put(0, 2), w.put(v.mmsi, 30), w.put(0, 4), w.put(0, 8), w.put(sog, 10), w.put(1, 1);
        w.put(lon, 28), w.put(lat, 27), w.put(cog, 12), w.put(heading, 9), w.put(second, 6), w.put(0, 2);
        w.put(0, 3), w.put(0, 1), w.put(0b0000100000000000101, 19);
    }
    unsigned fill = 0;
    const std::string payload = aisArmour(w.bits, &fill);
    const char* channel = (v.mmsi & 1) != 0 ? "B" : "A";
    return std::string(own ? "!AIVDO,1,1,,," : "!AIVDM,1,1,,") + (own ? "" : channel) + (own ? "" : ",") +
           payload + base::textf(",%u", fill);
}

// The simulator's talkers: GPS on input 1, the sounder's depth and temperature on input 2, the
// rest on input 3.
TrafficLine InstrumentTraffic::instrument() {
    auto sentence = instruments_.nextSentence();
    if (!sentence) // end of its cycle; the next call starts the next one
        sentence = instruments_.nextSentence();
    std::string text = sentence ? std::string(sentence->begin(), sentence->end()) : std::string();
    int channel = 3;
    if (text.starts_with("$GP"))
        channel = 1;
    else if (text.starts_with("$IIDBT") || text.starts_with("$IIMTW"))
        channel = 2;
    return {std::move(text), channel};
}

TrafficLine InstrumentTraffic::extra(Clock::time_point now) {
    advance(now);
    switch (extraIndex_++ % 6) {
    case 0:
        return {nmeaLine(gga(now)), 1};
    case 1:
        return {nmeaLine(ais(targets_[0], false, now)), 4};
    case 2:
        return {nmeaLine(ais(targets_[1], false, now)), 4};
    case 3:
        return {nmeaLine(zda(now)), 1};
    case 4:
        return {nmeaLine(ais(own_, true, now)), 4};
    default:
        return {nmeaLine(ais(targets_[2], false, now)), 4};
    }
}

std::optional<TrafficLine> InstrumentTraffic::nextLine() {
    TrafficLine line = ++index_ % 3 == 0 ? extra(clock_()) : instrument();
    if (line.sentence.empty())
        return std::nullopt;
    return line;
}

LogTraffic::LogTraffic(std::vector<std::string> lines) : lines_(std::move(lines)) {
}

std::unique_ptr<LogTraffic> LogTraffic::fromFile(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> std::unique_ptr<LogTraffic> {
        if (error != nullptr)
            *error = why;
        return nullptr;
    };
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return fail("cannot read the log file " + path);
    const auto size = file.tellg();
    file.seekg(0);
    std::string content(size > 0 ? std::min(static_cast<size_t>(size), kMaxBytes) : 0, '\0');
    file.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<size_t>(file.gcount()));

    // Lines end in LF, CR LF or CR alike.
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = content.size();
        std::string_view line(content.data() + start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.size() > kMaxLine || (line.front() != '$' && line.front() != '!'))
            continue; // blank, comment, or no sentence
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            continue;
        lines.emplace_back(line);
    }
    if (lines.empty())
        return fail("no NMEA sentence in the log file " + path);
    return std::make_unique<LogTraffic>(std::move(lines));
}

std::optional<TrafficLine> LogTraffic::nextLine() {
    if (lines_.empty())
        return std::nullopt;
    const std::string& line = lines_[next_];
    next_ = (next_ + 1) % lines_.size();
    return TrafficLine{line, 0};
}
