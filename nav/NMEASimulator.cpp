#include "nav/NMEASimulator.h"

#include "base/Format.h"
#include "link/NMEA.h"
#include "nav/Formatters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

using base::textf;

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
        pieces.push_back(text.substr(start, at - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

uint32_t clockSeed(const NMEASimulator::Clock& clock) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(clock().time_since_epoch()).count();
    return static_cast<uint32_t>(seconds);
}

} // namespace

NMEASimulator::NMEASimulator(Clock clock)
    : clock_(std::move(clock)), random_(clockSeed(clock_)), startPositionDate_(clock_()) {
}

NMEASimulator& NMEASimulator::nmeaSimulator() {
    static NMEASimulator shared;
    return shared;
}

std::optional<std::vector<std::string>> NMEASimulator::fromFile(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return std::nullopt;
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        if (text.size() + got > kMaxFileSize)
            return std::nullopt;
        text.append(buffer, got);
    }
    if (std::ferror(file.get()))
        return std::nullopt; // a folder, or a read error
    std::vector<std::string> lines = split(text, "\n");
    if (lines.size() > 1)
        return lines;
    lines = split(text, "\r\n");
    if (lines.size() > 1)
        return lines;
    return split(text, "\r");
}

std::optional<Bytes> NMEASimulator::nextSentence() {
    if (sentenceIndex_ >= 12) {
        sentenceIndex_ = 0;
        return std::nullopt;
    }
    std::string text;
    switch (sentenceIndex_++) {
    case 0:
        text = createHDMSentence();
        break;
    case 1:
        text = createHDTSentence();
        break;
    case 2:
        text = createVHWSentence();
        break;
    case 3:
    case 9:
        text = createRMCSentence();
        break;
    case 4:
        text = createDBTSentence();
        break;
    case 5:
        text = createMTWSentence();
        break;
    case 6:
        text = createVWTSentence();
        break;
    case 7:
        text = createVWRSentence();
        break;
    case 8:
        text = createMWVSentence();
        break;
    case 10:
        text = createTTMSentence();
        break;
    default:
        text = createRSDSentence();
        break;
    }
    if (text.empty())
        return std::nullopt;
    text += NMEA::checkSumTail(text);
    return Bytes(text.begin(), text.end());
}

void NMEASimulator::setHeading(float degrees) {
    if (!std::isfinite(degrees) || degrees == heading_)
        return;
    heading_ = degrees;
    resetStartPosition();
}

void NMEASimulator::setSpeed(float knots) {
    if (!std::isfinite(knots) || knots == speed_)
        return;
    speed_ = knots;
    resetStartPosition();
}

void NMEASimulator::setPosition(NavPoint position) {
    if (position == positionOnGPSPoint_)
        return;
    if (position.x > -180.0f && position.x < 180.0f && position.y > -90.0f && position.y < 90.0f)
        positionOnGPSPoint_ = position;
    resetStartPosition();
}

void NMEASimulator::setVariation(float degrees) {
    if (std::isfinite(degrees))
        variation_ = degrees;
}

void NMEASimulator::resetStartPosition() {
    startPositionOnGPSPoint_ = positionOnGPSPoint_;
    startPositionDate_ = clock_();
}

std::string NMEASimulator::createHDMSentence() const {
    return textf("$IIHDM,%05.1f,M", static_cast<double>(magneticHeading()));
}

std::string NMEASimulator::createHDTSentence() const {
    return textf("$IIHDT,%05.1f,T", static_cast<double>(heading_));
}

std::string NMEASimulator::createHDGSentence() const {
    return textf("$IIHDG,%05.1f,0.0,E,%.1f,%c", static_cast<double>(magneticHeading()),
                 std::fabs(static_cast<double>(variation_)), variation_ < 0.0f ? 'W' : 'E');
}

std::string NMEASimulator::createVHWSentence() const {
    return textf("$IIVHW,%05.1f,T,%05.1f,M,%.1f,N,0,K", static_cast<double>(heading_),
                 static_cast<double>(magneticHeading()), static_cast<double>(speed_));
}

std::string NMEASimulator::createRMCSentence() {
    if (!startPositionDate_)
        return {};
    const auto now = clock_();
    const double elapsed = std::max(0.0, std::chrono::duration<double>(now - *startPositionDate_).count());
    const float distance = static_cast<float>(elapsed) * (speed_ / 3600.0f);
    const NavPoint next =
        NavMath::fixPosition(NavMath::positionAtDistance(startPositionOnGPSPoint_, heading_, distance));
    if (next == kNoNavPoint || !std::isfinite(next.x) || !std::isfinite(next.y))
        return {};
    positionOnGPSPoint_ = next;

    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    if (gmtime_r(&seconds, &utc) == nullptr)
        return {};
    const std::string time = textf("%02d%02d%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
    const std::string date = textf("%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year - 100);

    NSPositionFormatter formatter(NSPositionFormatter::Latitude);
    const std::optional<std::string> latitude = formatter.nmeaFormat(next.y);
    formatter.setOrientation(NSPositionFormatter::Longitude);
    const std::optional<std::string> longitude = formatter.nmeaFormat(next.x);
    if (!latitude || !longitude)
        return {};
    return textf("$GPRMC,%s,A,%s,%c,%s,%c,%.1f,%05.1f,%s,,", time.c_str(), latitude->c_str(),
                 next.y >= 0.0f ? 'N' : 'S', longitude->c_str(), next.x >= 0.0f ? 'E' : 'W',
                 static_cast<double>(speed_), static_cast<double>(heading_), date.c_str());
}

std::string NMEASimulator::createDBTSentence() {
    depth_ += static_cast<float>(static_cast<int>(nextRandom() % 60) - 29) / 200.0f;
    return textf("$IIDBT,%.1f,f", static_cast<double>(depth_));
}

std::string NMEASimulator::createMTWSentence() {
    temp_ += static_cast<float>(static_cast<int>(nextRandom() % 10) - 4) / 20.0f;
    return textf("$IIMTW,%.1f,F", static_cast<double>(temp_));
}

std::string NMEASimulator::createVWTSentence() {
    const double step = static_cast<double>(static_cast<int>(nextRandom() % 5) - 2) / 3.33;
    realWindAngle_ = static_cast<float>(realWindAngle_ + step);
    realWindSpeed_ = static_cast<float>(realWindSpeed_ + step);
    if (realWindSpeed_ < 5.0f)
        realWindSpeed_ = 10.0f;
    trueWindAngle_ = std::clamp(realWindAngle_ - heading_, -179.0f, 179.0f);
    trueWindSpeed_ = realWindSpeed_;
    return textf("$IIVWT,%05.1f,R,%.1f,N,%.1f,M,,", static_cast<double>(trueWindAngle_),
                 static_cast<double>(trueWindSpeed_), static_cast<double>(trueWindSpeed_));
}

void NMEASimulator::updateApparentWind() {
    apparentWindSpeed_ = std::fabs(std::cos(degreesToRadians(trueWindAngle_)) * speed_);
    apparentWindAngle_ = realWindAngle_;
}

std::string NMEASimulator::createVWRSentence() {
    updateApparentWind();
    return textf("$IIVWR,%.1f,R,%.1f,N,,,,", static_cast<double>(apparentWindAngle_),
                 static_cast<double>(apparentWindSpeed_));
}

std::string NMEASimulator::createMWVSentence() {
    updateApparentWind();
    return textf("$IIMWV,%.1f,R,%.1f,N,A", static_cast<double>(apparentWindAngle_),
                 static_cast<double>(apparentWindSpeed_));
}

std::string NMEASimulator::createTTMSentence() const {
    return textf("$RATTM,01,0.50,90.0,R,%.1f,%.1f,T,,,N,,T,,,M", static_cast<double>(speed_),
                 static_cast<double>(NavMath::fixBearing(heading_ - 1.0f)));
}

std::string NMEASimulator::createRSDSentence() const {
    return "$RARSD,,,,,,,,,0.25,270.0";
}
