#pragma once
// A small instrument simulator: an imaginary vessel dead-reckoned from a start point, with depth,
// water temperature and wind that wander, producing a fixed cycle of twelve NMEA 0183 sentences
// with checksums. Also reads NMEA log files into lines for playback.
//
// Not locked: one thread at a time drives an instance. Each user (the console, a simulated
// device, a test) may keep its own instance with its own clock; nmeaSimulator() is the shared one.

#include "base/Bytes.h"
#include "nav/NavMath.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

class NMEASimulator {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // The clock gives "now" for the dead reckoning and the RMC time; it also seeds the generator.
    explicit NMEASimulator(Clock clock = std::chrono::system_clock::now);

    static NMEASimulator& nmeaSimulator();

    // The lines of a text file, split at LF, else at CR LF, else at CR (each piece kept, empty
    // ones too). Nil when the file cannot be read or is larger than kMaxFileSize.
    static std::optional<std::vector<std::string>> fromFile(const std::string& path);
    static constexpr uintmax_t kMaxFileSize = 256u * 1024u * 1024u;

    // The next sentence of the cycle with "*hh\r\n"; nil after the twelfth, then the cycle restarts.
    std::optional<Bytes> nextSentence();

    NavPoint position() const { return positionOnGPSPoint_; }
    float heading() const { return heading_; }
    float speed() const { return speed_; }
    float variation() const { return variation_; }
    float depth() const { return depth_; }
    float temp() const { return temp_; }

    // Changing heading, speed or position starts a new leg from the last position produced.
    // Non-finite values are ignored; a position outside -180 < x < 180, -90 < y < 90 is not
    // taken but still restarts the leg.
    void setHeading(float degrees);
    void setSpeed(float knots);
    void setPosition(NavPoint position);
    void setVariation(float degrees);
    void resetStartPosition();

    // Replaces the clock-derived seed (tests, reproducible streams).
    void seed(uint32_t value) { random_.seed(value); }

    // The sentences without checksum and line end; empty when one cannot be made.
    std::string createHDMSentence() const;
    std::string createHDTSentence() const;
    std::string createHDGSentence() const;
    std::string createVHWSentence() const;
    std::string createRMCSentence();
    std::string createDBTSentence();
    std::string createMTWSentence();
    std::string createVWTSentence();
    std::string createVWRSentence();
    std::string createMWVSentence();
    std::string createTTMSentence() const;
    std::string createRSDSentence() const;

private:
    float magneticHeading() const { return NavMath::magneticBearing(heading_, variation_); }
    uint32_t nextRandom() { return random_(); }
    void updateApparentWind();

    Clock clock_;
    std::mt19937 random_;

    float heading_ = 0.0f;
    float speed_ = 0.0f;
    float variation_ = 0.0f;
    float depth_ = 100.0f;
    float temp_ = 50.0f;
    float trueWindAngle_ = 0.0f;
    float trueWindSpeed_ = 0.0f;
    float apparentWindAngle_ = 0.0f;
    float apparentWindSpeed_ = 0.0f;
    float realWindAngle_ = 45.0f;
    float realWindSpeed_ = 10.0f;
    int sentenceIndex_ = 0;
    NavPoint positionOnGPSPoint_{0.0f, 0.0f};
    NavPoint startPositionOnGPSPoint_{0.0f, 0.0f};
    std::optional<std::chrono::system_clock::time_point> startPositionDate_;
};
