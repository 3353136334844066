#pragma once
// Instrument traffic of the simulated multiplexer: what its four inputs deliver. The device asks
// a TrafficSource for one line at a time, so any producer of sentences (built-in instruments, a
// recorded log, the navigation library's simulator) can feed it.

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

// A small boat under way: GPS on input 1 (position, fix, time), echo sounder on input 2, wind,
// compass and log on input 3 and an AIS receiver on input 4 reporting two ships and a class B
// yacht, plus the own ship's report. Every line carries a valid checksum; AIS comes as "!".
class InstrumentTraffic : public TrafficSource {
public:
    using Clock = std::chrono::system_clock;
    explicit InstrumentTraffic(uint32_t seed = 2114);
    std::optional<TrafficLine> nextLine() override;

    // The time the sentences carry; the system clock unless set (tests).
    void setClock(std::function<Clock::time_point()> clock);

private:
    struct Vessel {
        uint32_t mmsi;
        double lat, lon, sog, cog;
        int type; // AIS message type: 1 class A position, 18 class B
    };
    void advance(Clock::time_point now);
    std::string rmc(Clock::time_point now) const;
    std::string gga(Clock::time_point now) const;
    std::string zda(Clock::time_point now) const;
    std::string ais(const Vessel& vessel, bool own, Clock::time_point now) const;
    double jitter(double amplitude);

    std::function<Clock::time_point()> clock_;
    std::mt19937 random_;
    size_t index_ = 0;
    std::optional<Clock::time_point> last_;
    Vessel own_;
    std::array<Vessel, 3> targets_;
    double heading_, variation_, depth_, windAngle_, windSpeed_, waterSpeed_;
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
