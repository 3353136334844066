// The monitor's parts without a window: the scrollback, the line filter, the sentence figures.

#include "mux/LineFilter.h"
#include "mux/Scrollback.h"
#include "mux/SentenceStats.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

Scrollback::Line line(const std::string& text) {
    return {text, 0, MonitorLine::Kind::Traffic, Scrollback::Tone::Normal};
}

// The newest lines stay, each keeping its number; a smaller limit drops the oldest at once;
// limits outside reason are brought back into it; memory follows the lines kept, not those seen.
TEST(MuxScrollback, KeepsTheNewestLinesUpToItsLimit) {
    Scrollback kept(150);
    for (int k = 0; k < 400; ++k)
        kept.add(line("$GPRMC," + std::to_string(k) + ",A,4717.1047,N,00230.9854,W,6.1,214.5,061226"));
    EXPECT_EQ(kept.size(), 150u);
    EXPECT_EQ(kept.first(), 250u);
    EXPECT_EQ(kept.at(250).text.substr(0, 11), "$GPRMC,250,");
    EXPECT_EQ(kept.at(kept.end() - 1).text.substr(0, 11), "$GPRMC,399,");
    const size_t bytes = kept.bytesHeld();
    for (int k = 0; k < 4000; ++k)
        kept.add(line("$GPRMC," + std::to_string(k) + ",A,4717.1047,N,00230.9854,W,6.1,214.5,061226"));
    EXPECT_LE(kept.bytesHeld(), bytes + bytes / 10);
    kept.setLimit(100);
    EXPECT_EQ(kept.size(), 100u);
    EXPECT_EQ(kept.end(), 4400u);
    kept.setLimit(0);
    EXPECT_EQ(kept.limit(), Scrollback::kSmallest);
    kept.setLimit(size_t(1) << 40);
    EXPECT_EQ(kept.limit(), Scrollback::kLargest);
    kept.clear();
    EXPECT_EQ(kept.size(), 0u);
    EXPECT_EQ(kept.first(), 4400u); // numbers go on after a clear
}

TEST(MuxLineFilter, TextInAnyCaseOrAddressPatterns) {
    const struct {
        const char* filter;
        const char* line;
        bool shown;
    } cases[] = {
        {"", "anything", true},           {"rmc", "$GPRMC,1,A", true},
        {"  RMC ", "$gprmc,1,a", true},   {"4717", "$GPRMC,1,A,4717.1,N", true},
        {"GGA", "$GPRMC,1,A", false},     {"GP???", "$GPRMC,1", true},
        {"GP???", "$IIMWV,1", false},     {"GP???", "!AIVDM,1", false},
        {"--RMC", "$INRMC,1", true},      {"--rmc", "$GPRMC,1", true},
        {"--RMC", "$GPGGA,1,RMC", false}, // a pattern looks at the address only
        {"--RMC", "junk --RMC", false},   {"AI---", "!AIVDO,1,1", true},
        {"GP?", "$GPRMC", false}, // not five characters: plain text, found nowhere
        {"$PQVX", "$PQVXCF,1", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LineFilter(c.filter).matches(c.line), c.shown) << c.filter << " / " << c.line;
    EXPECT_TRUE(LineFilter("--RMC").isPattern());
    EXPECT_FALSE(LineFilter("GPRMC").isPattern());
}

// Counts and failures per address, the rate over the last ten whole seconds of the clock given,
// the last sentence (an AIS message whole), and a flood of addresses kept within bounds.
TEST(MuxSentenceStats, CountsRatesAndLastSentencePerAddress) {
    SentenceStats stats;
    const auto t0 = SentenceStats::Clock::time_point(1000s);
    for (int second = 0; second < 20; ++second)
        for (int k = 0; k < 5; ++k)
            stats.add("$GPRMC," + std::to_string(second), true,
                      t0 + std::chrono::seconds(second) + k * 100ms);
    stats.add("$GPRMC,bad*00", false, t0 + 19s);
    stats.add("$IIMWV,1", true, t0 + 19s);
    stats.add("garbage", false, t0 + 19s);
    stats.add("!AIVDM,2,1,7,B,53aDpaT000010;CKKB0h4Q8TpLDr222222222216<P:656rd07Tai0CKk5hD,0", true,
              t0 + 19s);
    stats.add("!AIVDM,2,2,7,B,Q1C`8888880,2", true, t0 + 19s);
    auto rows = stats.rows(t0 + 20s);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].address, "AIVDM");
    EXPECT_EQ(rows[0].sentence.size(), 2u);
    EXPECT_EQ(rows[1].address, "GPRMC");
    EXPECT_EQ(rows[1].count, 101u);
    EXPECT_EQ(rows[1].failures, 1u);
    EXPECT_DOUBLE_EQ(rows[1].rate, 5.1);
    EXPECT_EQ(rows[1].sentence, std::vector<std::string>{"$GPRMC,19"}); // a failed one is not the last
    EXPECT_EQ(rows[1].last, t0 + 19s);
    EXPECT_DOUBLE_EQ(rows[2].rate, 1.0);                 // IIMWV: once, in the one second it has been seen
    EXPECT_EQ(rows[3].address, "");                      // no address: counted with the others, last
    EXPECT_DOUBLE_EQ(stats.rows(t0 + 60s)[1].rate, 0.0); // silent since
    const auto young = SentenceStats::Clock::time_point(5000s);
    stats.add("$SDDBT,1", true, young);
    stats.add("$SDDBT,1", true, young + 1s);
    stats.add("$SDDBT,1", true, young + 1500ms);
    EXPECT_DOUBLE_EQ(stats.rows(young + 2s)[3].rate, 1.5); // two seconds seen: over those

    SentenceStats flood;
    for (int k = 0; k < 5000; ++k)
        flood.add("$X" + std::to_string(k) + ",1", true, t0);
    EXPECT_EQ(flood.size(), SentenceStats::kMaxAddresses + 1);
    EXPECT_EQ(flood.rows(t0).back().count, 5000u - SentenceStats::kMaxAddresses);
    flood.clear();
    EXPECT_EQ(flood.size(), 0u);
}

} // namespace
