#include "sim/Traffic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <numbers>

std::string nmeaLine(std::string_view sentence) {
    uint8_t sum = 0;
    for (size_t i = 1; i < sentence.size(); ++i)
        sum ^= static_cast<uint8_t>(sentence[i]);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return std::string(sentence) + tail;
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
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld%02lld.%04lld,%c", degreeDigits, whole, rest / 10000,
                  rest % 10000, degrees < 0 ? negative : positive);
    return text;
}

std::tm utc(InstrumentTraffic::Clock::time_point t) {
    const std::time_t seconds = InstrumentTraffic::Clock::to_time_t(t);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    return parts;
}

std::string timeField(const std::tm& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d%02d%02d.00", t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string format(const char* pattern, auto... values) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

double wrap360(double degrees) {
    degrees = std::fmod(degrees, 360.0);
    return degrees < 0 ? degrees + 360.0 : degrees;
}

} // namespace

InstrumentTraffic::InstrumentTraffic(uint32_t seed)
    : clock_([] { return Clock::now(); }), random_(seed), own_{227006420, 47.28520, -2.51630, 6.2, 215.0, 1},
      targets_{{{228237700, 47.24110, -2.58020, 11.4, 62.0, 1},
                {636019825, 47.20190, -2.47310, 13.9, 318.0, 1},
                {227145390, 47.26700, -2.54900, 5.1, 140.0, 18}}},
      heading_(212.0), variation_(-0.8), depth_(14.2), windAngle_(48.0), windSpeed_(13.5), waterSpeed_(5.9) {
}

void InstrumentTraffic::setClock(std::function<Clock::time_point()> clock) {
    clock_ = std::move(clock);
}

double InstrumentTraffic::jitter(double amplitude) {
    return std::uniform_real_distribution<double>(-amplitude, amplitude)(random_);
}

void InstrumentTraffic::advance(Clock::time_point now) {
    const double dt = last_ ? std::clamp(std::chrono::duration<double>(now - *last_).count(), 0.0, 5.0) : 0.0;
    last_ = now;
    auto move = [dt](Vessel& v) {
        const double miles = v.sog * dt / 3600.0;
        v.lat += miles * std::cos(v.cog * kRadians) / 60.0;
        v.lon += miles * std::sin(v.cog * kRadians) / (60.0 * std::cos(v.lat * kRadians));
    };
    heading_ = wrap360(heading_ + jitter(0.6));
    own_.cog = wrap360(heading_ + 3.0 + jitter(1.0));
    own_.sog = std::clamp(own_.sog + jitter(0.1), 4.5, 7.5);
    waterSpeed_ = std::clamp(own_.sog - 0.3 + jitter(0.1), 4.0, 7.5);
    move(own_);
    for (auto& target : targets_)
        move(target);
    depth_ = std::clamp(depth_ + jitter(0.2), 3.0, 60.0);
    windAngle_ = std::clamp(windAngle_ + jitter(2.0), 20.0, 160.0);
    windSpeed_ = std::clamp(windSpeed_ + jitter(0.4), 4.0, 30.0);
}

std::string InstrumentTraffic::rmc(Clock::time_point now) const {
    const std::tm t = utc(now);
    char date[32];
    std::snprintf(date, sizeof date, "%02d%02d%02d", t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
    return "$GPRMC," + timeField(t) + ",A," + angle(own_.lat, 2, 'N', 'S') + "," +
           angle(own_.lon, 3, 'E', 'W') + format(",%.1f,%.1f,", own_.sog, own_.cog) + date +
           format(",%.1f,%c,A", std::fabs(variation_), variation_ < 0 ? 'W' : 'E');
}

std::string InstrumentTraffic::gga(Clock::time_point now) const {
    return "$GPGGA," + timeField(utc(now)) + "," + angle(own_.lat, 2, 'N', 'S') + "," +
           angle(own_.lon, 3, 'E', 'W') + ",1,09,0.9,2.1,M,49.6,M,,";
}

std::string InstrumentTraffic::zda(Clock::time_point now) const {
    const std::tm t = utc(now);
    return "$GPZDA," + timeField(t) +
           format(",%02d,%02d,%04d,00,00", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900);
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
        const auto heading = own ? std::lround(heading_) % 360 : std::llround(v.cog) % 360;
        w.put(1, 6), w.put(0, 2), w.put(v.mmsi, 30), w.put(0, 4), w.put(0, 8), w.put(sog, 10), w.put(1, 1);
        w.put(lon, 28), w.put(lat, 27), w.put(cog, 12), w.put(heading, 9), w.put(second, 6), w.put(0, 2);
        w.put(0, 3), w.put(0, 1), w.put(0b0000100000000000101, 19);
    }
    unsigned fill = 0;
    const std::string payload = aisArmour(w.bits, &fill);
    const char* channel = (v.mmsi & 1) != 0 ? "B" : "A";
    return std::string(own ? "!AIVDO,1,1,,," : "!AIVDM,1,1,,") + (own ? "" : channel) + (own ? "" : ",") +
           payload + format(",%u", fill);
}

std::optional<TrafficLine> InstrumentTraffic::nextLine() {
    const Clock::time_point now = clock_();
    const double magnetic = wrap360(heading_ - variation_);
    const double feet = depth_ / 0.3048;
    TrafficLine line;
    switch (index_++ % 13) {
    case 0:
        advance(now);
        line = {rmc(now), 1};
        break;
    case 1:
        line = {format("$HEHDT,%.1f,T", heading_), 3};
        break;
    case 2:
        line = {format("$WIMWV,%.1f,R,%.1f,N,A", windAngle_, windSpeed_), 3};
        break;
    case 3:
        line = {format("$SDDBT,%.1f,f,%.1f,M,%.1f,F", feet, depth_, feet / 6.0), 2};
        break;
    case 4:
        line = {gga(now), 1};
        break;
    case 5:
        line = {ais(targets_[0], false, now), 4};
        break;
    case 6:
        line = {format("$HCHDG,%.1f,,,%.1f,%c", magnetic, std::fabs(variation_), variation_ < 0 ? 'W' : 'E'),
                3};
        break;
    case 7:
        line = {format("$SDDPT,%.1f,0.4", depth_), 2};
        break;
    case 8:
        line = {format("$VWVHW,%.1f,T,%.1f,M,%.1f,N,%.1f,K", heading_, magnetic, waterSpeed_,
                       waterSpeed_ * 1.852),
                3};
        break;
    case 9:
        line = {ais(targets_[1], false, now), 4};
        break;
    case 10:
        line = {zda(now), 1};
        break;
    case 11:
        line = {ais(own_, true, now), 4};
        break;
    default:
        line = {ais(targets_[2], false, now), 4};
        break;
    }
    line.sentence = nmeaLine(line.sentence);
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
