// The simulated instruments on a clock the test moves by hand: the cycle's formats and
// checksums, the legs and the random walks' bounds. (The log file's lines: NMEALogReaderTest.)

#include "nav/NMEASimulator.h"
#include "link/NMEA.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <regex>

namespace {

using namespace std::chrono;

// Starts at 2024-03-05 12:34:56 UTC.
struct TestClock {
    system_clock::time_point now = system_clock::time_point(seconds(1709642096));
    NMEASimulator::Clock clock() {
        return [this] { return now; };
    }
};

TEST(NMEASimulator, FreshCycleAndChecksums) {
    TestClock t;
    NMEASimulator sim(t.clock());
    sim.seed(7);
    const std::regex formats[] = {
        std::regex(R"(\$IIHDM,\d{3}\.\d,M)"),
        std::regex(R"(\$IIHDT,\d{3}\.\d,T)"),
        std::regex(R"(\$IIVHW,\d{3}\.\d,T,\d{3}\.\d,M,\d+\.\d,N,0,K)"),
        std::regex(R"(\$GPRMC,\d{6},A,\d{4}\.\d{3},[NS],\d{5}\.\d{3},[EW],\d+\.\d,\d{3}\.\d,\d{6},,)"),
        std::regex(R"(\$IIDBT,\d+\.\d,f)"),
        std::regex(R"(\$IIMTW,\d+\.\d,F)"),
        std::regex(R"(\$IIVWT,-?\d{2,3}\.\d,R,\d+\.\d,N,\d+\.\d,M,,)"),
        std::regex(R"(\$IIVWR,-?\d+\.\d,R,\d+\.\d,N,,,,)"),
        std::regex(R"(\$IIMWV,-?\d+\.\d,R,\d+\.\d,N,A)"),
        std::regex(R"(\$GPRMC,.*)"),
        std::regex(R"(\$RATTM,01,0\.50,90\.0,R,\d+\.\d,\d+\.\d,T,,,N,,T,,,M)"),
        std::regex(R"(\$RARSD,,,,,,,,,0\.25,270\.0)"),
    };
    const char* fresh[] = {"$IIHDM,000.0,M", "$IIHDT,000.0,T", "$IIVHW,000.0,T,000.0,M,0.0,N,0,K",
                           "$GPRMC,123456,A,0000.000,N,00000.000,E,0.0,000.0,050324,,"};
    for (int cycle = 0; cycle < 50; ++cycle) {
        if (cycle == 1) {
            // far enough per cycle to cross hemispheres and degrees
            sim.setHeading(123.4f), sim.setSpeed(250.0f), sim.setVariation(-7.0f);
        }
        for (int i = 0; i < 12; ++i) {
            const std::optional<Bytes> sentence = sim.nextSentence();
            ASSERT_TRUE(sentence) << "cycle " << cycle << " index " << i;
            Bytes copy = *sentence;
            const std::string s(sentence->begin(), sentence->end()), b = s.substr(0, s.size() - 5);
            EXPECT_TRUE(s.ends_with("\r\n")) << s;
            EXPECT_EQ(s[s.size() - 5], '*') << s;
            EXPECT_TRUE(NMEA::checkSumValid(&copy)) << s;
            EXPECT_TRUE(std::regex_match(b, formats[i])) << b;
            if (cycle == 0 && i < 4) {
                EXPECT_EQ(b, fresh[i]);
            }
        }
        EXPECT_FALSE(sim.nextSentence()) << "the thirteenth call ends the cycle";
        t.now += seconds(3600);
    }
    const std::optional<Bytes> next = sim.nextSentence();
    ASSERT_TRUE(next);
    EXPECT_TRUE(std::string(next->begin(), next->end()).starts_with("$IIHDM,"));
}

TEST(NMEASimulator, HeadingsAndVariation) {
    TestClock t;
    NMEASimulator sim(t.clock());
    sim.setVariation(-3.5f);
    EXPECT_EQ(sim.createHDGSentence(), "$IIHDG,003.5,0.0,E,3.5,W");
    sim.setHeading(2.0f), sim.setVariation(5.0f);
    EXPECT_EQ(sim.createHDMSentence(), "$IIHDM,357.0,M");
    sim.setHeading(0.5f);
    EXPECT_EQ(sim.createTTMSentence(), "$RATTM,01,0.50,90.0,R,0.0,359.5,T,,,N,,T,,,M");
    sim.setHeading(0), sim.setSpeed(6.0f); // one nautical mile north in ten minutes
    t.now += seconds(600);
    EXPECT_EQ(sim.createRMCSentence(), "$GPRMC,124456,A,0001.000,N,00000.000,E,6.0,000.0,050324,,");
}

TEST(NMEASimulator, LegsRestartOnChanges) {
    TestClock t;
    NMEASimulator sim(t.clock());
    sim.setPosition({-1.25f, 50.5f});
    sim.setHeading(90.0f);
    sim.setSpeed(60.0f);
    t.now += seconds(60); // one mile east
    (void)sim.createRMCSentence();
    const NavPoint there = sim.position();
    EXPECT_NEAR(NavMath::distanceFromPoint({-1.25f, 50.5f}, there), 1.0f, 1e-3);

    // An out-of-range position is not taken, but the leg restarts where the vessel is.
    t.now += seconds(600);
    sim.setPosition({200.0f, 10.0f});
    (void)sim.createRMCSentence();
    EXPECT_EQ(sim.position(), there);
    // Setting the same heading again keeps the leg running.
    t.now += seconds(60);
    sim.setHeading(90.0f);
    (void)sim.createRMCSentence();
    EXPECT_NEAR(NavMath::distanceFromPoint(there, sim.position()), 1.0f, 1e-3);
    // A clock that steps back moves nothing rather than backwards; non-finite settings are ignored.
    const NavPoint before = sim.position();
    sim.setSpeed(10.0f);
    t.now -= seconds(3600);
    (void)sim.createRMCSentence();
    EXPECT_EQ(sim.position(), before);
    sim.setHeading(NAN), sim.setSpeed(INFINITY), sim.setVariation(NAN);
    EXPECT_EQ(sim.heading(), 90.0f);
    EXPECT_EQ(sim.speed(), 10.0f);
    EXPECT_EQ(sim.variation(), 0.0f);
}

TEST(NMEASimulator, RandomWalksStayInBounds) {
    TestClock t;
    NMEASimulator sim(t.clock());
    sim.seed(12345);
    sim.setHeading(300.0f);
    sim.setSpeed(5.0f);
    float depth = sim.depth(), temp = sim.temp();
    for (int i = 0; i < 2000; ++i) {
        (void)sim.createDBTSentence(), (void)sim.createMTWSentence();
        ASSERT_GE(sim.depth() - depth, -0.1451f) << sim.depth() - depth;
        ASSERT_LE(sim.depth() - depth, 0.1501f) << sim.depth() - depth;
        ASSERT_GE(sim.temp() - temp, -0.2001f) << sim.temp() - temp;
        ASSERT_LE(sim.temp() - temp, 0.2501f) << sim.temp() - temp;
        depth = sim.depth(), temp = sim.temp();
        const std::string vwt = sim.createVWTSentence();
        const float angle = std::stof(vwt.substr(7)), speed = std::stof(vwt.substr(vwt.find(",R,") + 3));
        // The speed stays just above the floor of 5 before the reset to 10, less one step.
        ASSERT_GE(angle, -179.0f) << vwt;
        ASSERT_LE(angle, 179.0f) << vwt;
        ASSERT_GE(speed, 4.39f) << vwt;
    }
    // A seed makes the stream reproducible.
    NMEASimulator a(t.clock()), b(t.clock());
    a.seed(99);
    b.seed(99);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(a.nextSentence(), b.nextSentence());
}

} // namespace
