#pragma once
// The Sentences view's figures: per sentence address seen since the port opened or since Clear,
// how many came, their rate over the last ten seconds, when the last came, how many failed their
// check, and the last one (an AIS message with all its fragments). Fed on the main thread with
// the lines the monitor takes each frame, so the reader pays nothing for it; its time comes from
// the clock it is given. A flood of made-up addresses cannot grow it beyond kMaxAddresses: the
// rest are counted together.

#include "link/AisDecoder.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class SentenceStats {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kMaxAddresses = 512;
    static constexpr int kRateSeconds = 10;
    static constexpr const char* kOther = ""; // lines without an address, and addresses beyond the limit

    struct Row {
        std::string address;
        uint64_t count = 0;    // lines, failed ones included
        uint64_t failures = 0; // failed their check
        double rate = 0;       // lines a second over the last ten seconds
        Clock::time_point last{};
        std::vector<std::string> sentence; // the last whole one (an AIS message's fragments)
    };

    void add(std::string_view line, bool valid, Clock::time_point now);
    void clear();
    std::vector<Row> rows(Clock::time_point now) const; // by address, the others last
    size_t size() const { return rows_.size(); }

private:
    struct Entry {
        Row row;
        std::array<uint32_t, kRateSeconds + 1> perSecond{}; // the newest slot: the second still filling
        int64_t second = 0;                                 // the second perSecond's newest slot counts
        int64_t firstSecond = 0;
        AisDecoder joiner;
    };
    static int64_t secondOf(Clock::time_point t);
    static void roll(Entry& e, int64_t second);

    std::map<std::string, Entry, std::less<>> rows_;
};
