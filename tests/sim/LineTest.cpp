// The simulator as a line: traffic, status sentences, unplugging, log replay, and the device's
// input framing.

#include "SimConsole.h"
#include "base/Format.h"
#include "sim/MuxDevice.h"
#include "sim/Traffic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The line as the console's reader sees it after the checksum test; nil when it fails.
std::optional<Bytes> checked(const std::string& line) {
    Bytes bytes(line.begin(), line.end());
    bytes.push_back(0);
    if (!NMEA::checkSumValid(bytes))
        return std::nullopt;
    return bytes;
}

fs::path scratch(const std::string& name) {
    return fs::temp_directory_path() / ("muxsim-test-" + std::to_string(::getpid()) + "-" + name);
}

TEST(SimLine, InstrumentTrafficIsValidDecodesAndTakesTheTalkerIDs) {
    SimOptions options = quiet(MuxFamily::Model42);
    options.linesPerSecond = 500;
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    SimConsole console(mux.portPath());
    console.send("$PQVXID,XX,,,"); // the GPS is on input 1
    console.send("$PQVXIDQ");
    ASSERT_EQ(console.readLineStarting("$PQVXID"), framed("$PQVXID,XX,,,"));

    std::set<std::string> addresses;
    int aisReports = 0;
    for (int i = 0; i < 80; ++i) {
        const std::string line = console.readLine();
        const auto sentence = checked(line);
        ASSERT_TRUE(sentence) << line;
        auto field = [&](unsigned i) { return NMEA::parse(*sentence, i); };
        addresses.insert(field(0).value_or(""));
        if (line.starts_with("$XXRMC,")) {
            EXPECT_NEAR(NMEA::position(field(3), field(4)), 47.28, 0.1) << line;
            EXPECT_NEAR(NMEA::position(field(5), field(6)), -2.52, 0.1) << line;
        }
        if (line[0] == '!') { // a position report of 168 bits, armoured in 28 characters
            const std::string payload = field(5).value_or("");
            ASSERT_EQ(payload.size(), 28u) << line;
            EXPECT_EQ(field(6), "0");
            auto bits = [&](int from, int count) { // big-endian, six bits a character
                uint32_t value = 0;
                for (int bit = from; bit < from + count; ++bit)
                    value = value << 1 |
                            ((NMEA::sixBitToBinary(static_cast<uint8_t>(payload[bit / 6])) >> (5 - bit % 6)) &
                             1u);
                return value;
            };
            // The own ship and two ships report as class A, the yacht as class B.
            const std::map<uint32_t, uint32_t> kinds{
                {227006420, 1}, {228237700, 1}, {636019825, 1}, {227145390, 18}};
            const uint32_t mmsi = bits(8, 30);
            ASSERT_TRUE(kinds.contains(mmsi)) << mmsi << " in " << line;
            EXPECT_EQ(bits(0, 6), kinds.at(mmsi)) << line;
            ++aisReports;
        }
    }
    EXPECT_EQ(addresses, (std::set<std::string>{"$IIHDM", "$IIHDT", "$IIVHW", "$XXRMC", "$IIDBT", "$IIMTW",
                                                "$IIVWT", "$IIVWR", "$IIMWV", "$RATTM", "$RARSD", "$XXGGA",
                                                "$XXZDA", "!AIVDM", "!AIVDO"}));
    EXPECT_GE(aisReports, 10);
}

TEST(SimLine, RepliesStayWholeAmidTraffic) {
    SimOptions options = quiet(MuxFamily::Legacy);
    options.linesPerSecond = 1000;
    for (int i = 0; i < 20; ++i)
        options.filters.push_back({base::textf("GP%c--", 'A' + i), "01010", 3});
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    SimConsole console(mux.portPath());
    int replies = 0;
    for (int round = 0; round < 10; ++round) {
        console.send("$PQVXFLQ");
        int traffic = 0;
        for (int i = 0; i < 2000 && (replies < 20 * (round + 1) || traffic == 0); ++i) {
            const std::string line = console.readLine();
            ASSERT_TRUE(checked(line)) << line;
            if (line.starts_with("$PQVXFL,")) {
                EXPECT_EQ(line, framed(base::textf("$PQVXFL,GP%c--,01010,3", 'A' + replies % 20)));
                ++replies;
            } else {
                ++traffic;
            }
        }
        ASSERT_GT(traffic, 0);
    }
    EXPECT_EQ(replies, 200);
}

TEST(SimLine, StatusSentencesComeUnasked) {
    SimOptions options = quiet(MuxFamily::ThirdGeneration);
    options.statusSeconds = 0.05;
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    SimConsole console(mux.portPath());
    // Opening the port drops what waited in it, which may be the first of a pair already sent.
    EXPECT_EQ(console.readLineStarting("$PQVXOV"), framed("$PQVXOV,0"));
    EXPECT_EQ(console.readLine(), framed("$PQVXCN,0,0,0,0"));
}

// Traffic of the test's own: the given sentences over and over, while it flows.
class Script : public TrafficSource {
public:
    explicit Script(std::vector<std::string> sentences) : sentences_(std::move(sentences)) {}
    std::optional<TrafficLine> nextLine() override {
        if (!flowing)
            return std::nullopt;
        return TrafficLine{framed(sentences_[next_++ % sentences_.size()]), 0};
    }
    std::atomic<bool> flowing{true};

private:
    std::vector<std::string> sentences_;
    size_t next_ = 0;
};

TEST(SimLine, TrafficIsDroppedWhileNobodyReads) {
    auto tap = std::make_shared<Script>(std::vector<std::string>{"$GPTXT,01,01,02,a line that nobody reads"});
    SimOptions options = quiet(MuxFamily::ThirdGeneration);
    options.linesPerSecond = 5000;
    options.traffic = tap;
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    EXPECT_TRUE(eventually([&] { return mux.droppedLines() > 0; }));
    tap->flowing = false;

    // What waits for the next console is a few lines, not a stale backlog.
    const int fd = ::open(mux.portPath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    size_t waiting = 0;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        waiting += size_t(n);
    ::close(fd);
    EXPECT_GT(waiting, 0u);
    EXPECT_LT(waiting, 8192u);

    tap->flowing = true;
    SimConsole console(mux.portPath());
    console.send("$PQVXVER");
    EXPECT_TRUE(console.readLineStarting("$PQVXVER,").starts_with("$PQVXVER,3.2,"));
    EXPECT_TRUE(checked(console.readLine()));
}

// The node goes with the device and comes back with it (the console's side: tests/mux); a
// link path never replaces a file.
TEST(SimLine, UnplugAndReplugAtTheSameLinkPath) {
    const fs::path link = scratch("link");
    SimOptions options = quiet(MuxFamily::Legacy);
    options.linkPath = link.string();
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start()) << mux.lastError();
    EXPECT_TRUE(fs::read_symlink(mux.portPath()).string().starts_with("/dev/pts/"));
    mux.unplug();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    ASSERT_TRUE(mux.replug()) << mux.lastError();
    EXPECT_TRUE(fs::read_symlink(link).string().starts_with("/dev/pts/"));
    mux.stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    std::ofstream(link) << "keep";
    SimulatedMux blocked(options);
    EXPECT_FALSE(blocked.start());
    EXPECT_NE(blocked.lastError().find(link.string()), std::string::npos);
    EXPECT_EQ(fs::file_size(link), 4u);
    fs::remove(link);
}

// The claim is the console's while it holds the port; one left behind (a console that ended
// without letting go) is cleared once nobody holds the terminal, so the port opens again.
TEST(SimLine, ExclusiveClaimIsLeftAloneWhileTheConsoleHoldsThePort) {
    SimulatedMux mux(quiet(MuxFamily::Model42));
    ASSERT_TRUE(mux.start());
    {
        SimConsole console(mux.portPath());
        for (int i = 0; i < 3; ++i) { // each answer is a turn of the device's, which minds the claim
            console.send("$PQVXIDQ");
            EXPECT_EQ(console.readLine(), framed("$PQVXID,,,,"));
        }
        EXPECT_TRUE(mux.exclusiveClaim());
    }
    EXPECT_TRUE(eventually([&] { return !mux.exclusiveClaim(); }));
    EXPECT_TRUE(SimConsole(mux.portPath()).send("$PQVXIDQ"));
    // A console that ended without letting go.
    const int gone = ::open(mux.portPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(gone, 0);
    ASSERT_EQ(::ioctl(gone, TIOCEXCL), 0);
    ::close(gone);
    EXPECT_TRUE(eventually([&] { return !mux.exclusiveClaim(); }));
}

TEST(SimLine, TrafficReachesTheComputerAsTheFilterListRoutesIt) {
    SimOptions options = quiet(MuxFamily::ThirdGeneration);
    options.traffic =
        std::make_shared<Script>(std::vector<std::string>{"$GPRMC,1", "$IIMWV,2", "$GPGGA,3", "!AIVDM,4"});
    options.linesPerSecond = 400;
    // The exact address first, then the sentence code, then the talker; no entry passes.
    options.filters = {
        {"GP---", "10000", 0}, {"--RMC", "01000", 0}, {"IIMWV", "00000", 0}, {"--MWV", "10000", 0}};
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    SimConsole console(mux.portPath());
    std::set<std::string> seen;
    for (int i = 0; i < 40; ++i)
        seen.insert(console.readLine().substr(0, 6));
    EXPECT_EQ(seen, (std::set<std::string>{"$GPGGA", "!AIVDM"}));
    console.send("$PQVXFL,--RMC,10000");
    EXPECT_EQ(console.readLineStarting("$GPRMC"), framed("$GPRMC,1"));
}

TEST(SimLine, LogFileReplaysItsSentencesInALoop) {
    const fs::path log = scratch("log.nmea");
    const std::string gll = framed("$GPGLL,4916.45,N,12311.12,W,225448,A");
    const std::string dbt = framed("$SDDBT,7.7,f,2.3,M,1.3,F");
    const std::string vdm = framed("!AIVDM,1,1,,B,177KQJ5000G?tO`K>RA1wUbN0TKH,0");
    {
        std::ofstream file(log, std::ios::binary);
        file << "# a recorded log\r\n\r\n"
             << gll << "   \nnot a sentence\n"
             << dbt.substr(0, dbt.size() - 2) << "\n"
             << vdm.substr(0, vdm.size() - 2) << "\r";
    }
    SimOptions options = quiet(MuxFamily::ThirdGeneration);
    options.logFile = log.string();
    options.linesPerSecond = 300;
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start()) << mux.lastError();
    SimConsole console(mux.portPath());
    ASSERT_EQ(console.readLineStarting("$GPGLL"), gll);
    EXPECT_EQ(console.readLine(), dbt);
    EXPECT_EQ(console.readLine(), vdm);
    EXPECT_EQ(console.readLine(), gll);
    fs::remove(log);

    options.logFile = scratch("absent.log").string();
    SimulatedMux none(options);
    EXPECT_FALSE(none.start());
    EXPECT_NE(none.lastError().find(options.logFile), std::string::npos);
}

// The device's input framing and what it does not take, without a terminal: each input, fed a
// byte at a time, ends with a query whose answer is all that comes back.
TEST(SimDevice, FramingSurvivesSplitsNoiseAndOverlongLinesAndSkipsWhatItDoesNotTake) {
    MuxDevice device(quiet(MuxFamily::Other));
    const std::string inputs[] = {
        "",
        "noise$PQVX",                                        // a new "$" starts over
        std::string(1000, '$'),                              // many starts
        "$" + std::string(300, 'A') + "\n",                  // an overlong line is skipped to its end
        std::string("\0\0\r\n\xff\x80$", 7),                 // NUL and binary bytes between sentences
        "$PQVXIDQ*Z" + std::string(1, '\x7f') + "\r\n",      // a checksum that is no number
        "$PQVXVER*00\r\n$PQVXFL,--RMC,00000*00\r\n",         // wrong checksums
        "$PQVXFL,--HDT,00000\r\n",                           // none at all, but a line end: taken
        framed("$PQVXZZQ") + framed("$PQVXOV,3"),            // unknown to the device; its own sentence
        framed("$GPRMC,120000,A,4807.038,N,01131.000,E,,,"), // traffic from the console
    };
    for (const auto& input : inputs) {
        std::vector<std::string> replies;
        for (char c : input + framed("$PQVXIDQ")) { // one byte at a time
            auto more = device.feed(reinterpret_cast<const uint8_t*>(&c), 1);
            replies.insert(replies.end(), more.begin(), more.end());
        }
        EXPECT_EQ(replies, std::vector<std::string>{framed("$PQVXID,,,,")}) << input.substr(0, 40);
    }
    ASSERT_EQ(device.state().filters.size(), 1u);
    EXPECT_EQ(device.state().filters[0].sentence, "--HDT");
}

} // namespace
