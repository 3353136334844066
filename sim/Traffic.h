#pragma once
// Instrument traffic of the simulated multiplexer: what its four inputs deliver. The device asks
// a TrafficSource for one line at a time, so any producer of sentences (built-in instruments, a
// recorded log, the navigation library's simulator) can feed it.

#include "nav/NMEASimulator.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// The sentence ("$..." or "!...", without checksum) followed by "*", its checksum in two
// upper-case hex digits and CR LF.
std::string nmeaLine(std::string_view sentence);

struct TrafficLine {
    std::string sentence; // as it goes on the wire, with or without its line end
    int channel = 0;      // the input (1-4) it arrived on; 0 when unknown
};

class TrafficSource {
public:
    virtual ~TrafficSource() = default;
    // The next line; nil when the source has nothing this time (the slot stays empty).
    virtual std::optional<TrafficLine> nextLine() = 0;
};

// Six-bit armouring of an AIS bit string: the payload characters and the fill bits that pad
// its last character.
std::string aisArmour(const std::vector<bool>& bits, unsigned* fillBits);

// A small boat under way. The navigation library's instrument simulator supplies heading, log,
// GPS, depth, temperature, wind and radar sentences; between them come a GPS fix and date (GGA,
// ZDA) and an AIS receiver reporting two ships, a class B yacht and the own ship. Every line
// carries a valid checksum; AIS comes as "!". Inputs: GPS 1, sounder 2, instruments 3, AIS 4.
class InstrumentTraffic : public TrafficSource {
public:
    using Clock = std::chrono::system_clock;
    explicit InstrumentTraffic(
        uint32_t seed = 2114, std::function<Clock::time_point()> clock = [] { return Clock::now(); });
    std::optional<TrafficLine> nextLine() override;

private:
    struct Vessel {
        uint32_t mmsi;
        double lat, lon, sog, cog;
        int type; // AIS message type: 1 class A position, 18 class B
    };
    void advance(Clock::time_point now);
    TrafficLine instrument();
    TrafficLine extra(Clock::time_point now);
    std::string gga(Clock::time_point now) const;
    std::string zda(Clock::time_point now) const;
    std::string ais(const Vessel& vessel, bool own, Clock::time_point now) const;

    std::function<Clock::time_point()> clock_;
    NMEASimulator instruments_;
    size_t index_ = 0, extraIndex_ = 0;
    std::optional<Clock::time_point> last_;
    Vessel own_;
    std::array<Vessel, 3> targets_;
};

// A recorded NMEA log played in a loop: only its "$" and "!" lines, comments and blank lines
// skipped.
class LogTraffic : public TrafficSource {
public:
    static constexpr size_t kMaxLine = 250;        // longer lines are no sentences; skipped
    static constexpr size_t kMaxBytes = 64u << 20; // the rest of a bigger file is not read

    explicit LogTraffic(std::vector<std::string> lines);
    // Nil with a reason when the file cannot be read or holds no sentence.
    static std::unique_ptr<LogTraffic> fromFile(const std::string& path, std::string* error = nullptr);
    std::optional<TrafficLine> nextLine() override;
    size_t size() const { return lines_.size(); }

private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
};
