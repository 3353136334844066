// The simulator as a line: traffic, status sentences, unplugging, log replay, and the device's
// input framing.

#include "SimConsole.h"
#include "sim/MuxDevice.h"
#include "sim/Traffic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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

TEST(SimLine, InstrumentTrafficIsValidAndDecodes) {
    SimOptions options = quiet(MuxFamily::ThirdGeneration);
    options.linesPerSecond = 500;
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    SimConsole console(mux.portPath());
    ASSERT_TRUE(console.isOpen());

    std::set<std::string> addresses;
    int aisReports = 0;
    for (int i = 0; i < 80; ++i) {
        const std::string line = console.readLine();
        ASSERT_TRUE(line.ends_with("\r\n")) << line;
        const auto sentence = checked(line);
        ASSERT_TRUE(sentence) << line;
        const std::string address = NMEA::parse(*sentence, 0).value_or("");
        addresses.insert(address);
        if (address == "$GPRMC") {
            const float lat = NMEA::position(NMEA::parse(*sentence, 3), NMEA::parse(*sentence, 4));
            const float lon = NMEA::position(NMEA::parse(*sentence, 5), NMEA::parse(*sentence, 6));
            EXPECT_NEAR(lat, 47.28, 0.1) << line;
            EXPECT_NEAR(lon, -2.52, 0.1) << line;
            EXPECT_EQ(NMEA::parse(*sentence, 2), "A");
        }
        if (line[0] == '!') { // a position report of 168 bits, armoured in 28 characters
            const std::string payload = NMEA::parse(*sentence, 5).value_or("");
            ASSERT_EQ(payload.size(), 28u) << line;
            EXPECT_EQ(NMEA::parse(*sentence, 6), "0");
            const uint8_t type = NMEA::sixBitToBinary(static_cast<uint8_t>(payload[0]));
            EXPECT_TRUE(type == 1 || type == 18) << line;
            ++aisReports;
        }
    }
    for (const char* expected :
         {"$IIHDM", "$IIHDT", "$IIVHW", "$GPRMC", "$IIDBT", "$IIMTW", "$IIVWT", "$IIVWR", "$IIMWV", "$RATTM",
          "$RARSD", "$GPGGA", "$GPZDA", "!AIVDM", "!AIVDO"})
        EXPECT_TRUE(addresses.count(expected)) << expected;
    EXPECT_GE(aisReports, 10);
}

TEST(SimLine, RepliesStayWholeAmidTraffic) {
    SimOptions options = quiet(MuxFamily::Legacy);
    options.linesPerSecond = 1000;
    for (int i = 0; i < 20; ++i)
        options.filters.push_back({"GP" + std::string(1, static_cast<char>('A' + i)) + "--", "01010", 3});
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
                const char expected = static_cast<char>('A' + replies % 20);
                EXPECT_EQ(line, framed("$PQVXFL,GP" + std::string(1, expected) + "--,01010,3"));
                ++replies;
            } else {
                ++traffic;
            }
        }
        ASSERT_GT(traffic, 0);
    }
    EXPECT_EQ(replies, 200);
}

TEST(SimLine, TalkerIDsRewriteTheirInputsTraffic) {
    SimOptions options = quiet(MuxFamily::Model42);
    options.linesPerSecond = 400;
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    SimConsole console(mux.portPath());
    console.send("$PQVXID,XX,,,");
    console.send("$PQVXIDQ");
    ASSERT_EQ(console.readLineStarting("$PQVXID"), framed("$PQVXID,XX,,,"));
    bool rewritten = false, ais = false;
    for (int i = 0; i < 60; ++i) {
        const std::string line = console.readLine();
        ASSERT_TRUE(checked(line)) << line;
        EXPECT_FALSE(line.starts_with("$GP")) << line; // the GPS is on input 1
        rewritten = rewritten || line.starts_with("$XXRMC,") || line.starts_with("$XXGGA,");
        ais = ais || line.starts_with("!AIVDM,");
    }
    EXPECT_TRUE(rewritten);
    EXPECT_TRUE(ais);
}

TEST(SimLine, StatusSentencesComeUnasked) {
    SimOptions options = quiet(MuxFamily::ThirdGeneration);
    options.statusSeconds = 0.05;
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start());
    SimConsole console(mux.portPath());
    EXPECT_EQ(console.readLine(), framed("$PQVXOV,0"));
    EXPECT_EQ(console.readLine(), framed("$PQVXCN,0,0,0,0"));
}

// Traffic that can be turned off.
class Tap : public TrafficSource {
public:
    std::optional<TrafficLine> nextLine() override {
        if (!flowing)
            return std::nullopt;
        return TrafficLine{framed("$GPTXT,01,01,02,a line of traffic that nobody reads"), 1};
    }
    std::atomic<bool> flowing{true};
};

TEST(SimLine, TrafficIsDroppedWhileNobodyReads) {
    auto tap = std::make_shared<Tap>();
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
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (std::chrono::steady_clock::now() < end) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            waiting += static_cast<size_t>(n);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::close(fd);
    EXPECT_GT(waiting, 0u);
    EXPECT_LT(waiting, 8192u);

    tap->flowing = true;
    SimConsole console(mux.portPath());
    console.send("$PQVXVER");
    EXPECT_TRUE(console.readLineStarting("$PQVXVER,").starts_with("$PQVXVER,3.2,"));
    EXPECT_TRUE(checked(console.readLine()));
}

TEST(SimLine, UnplugAndReplugAtTheSameLinkPath) {
    const fs::path link = scratch("link");
    SimOptions options = quiet(MuxFamily::Legacy);
    options.linkPath = link.string();
    SimulatedMux mux(options);
    ASSERT_TRUE(mux.start()) << mux.lastError();
    EXPECT_EQ(mux.portPath(), link.string());
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::read_symlink(link).string().starts_with("/dev/pts/"));
    {
        SimConsole console(link.string());
        ASSERT_TRUE(console.isOpen());
        console.send("$PQVXCF,2,1,0,0,0,0000,0,0");
        console.send("$PQVXCFQ");
        EXPECT_EQ(console.readLine(), framed("$PQVXCF,2,1,0,0,0,0000,0,0"));

        mux.unplug();
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))); // the node goes with the device
        EXPECT_EQ(console.readLine(), "");
        EXPECT_TRUE(console.port().lineLost());
    }
    ASSERT_TRUE(mux.replug()) << mux.lastError();
    ASSERT_TRUE(fs::is_symlink(link));
    SimConsole console(link.string());
    ASSERT_TRUE(console.isOpen());
    console.send("$PQVXCFQ"); // the device kept its settings
    EXPECT_EQ(console.readLine(), framed("$PQVXCF,2,1,0,0,0,0000,0,0"));

    mux.stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    // A link path never replaces a file.
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
        ASSERT_TRUE(console.isOpen());
        std::this_thread::sleep_for(std::chrono::milliseconds(150)); // several of the device's turns
        EXPECT_TRUE(mux.exclusiveClaim());
    }
    const int fd = ::open(mux.portPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(mux.exclusiveClaim());
    ::close(fd);
    EXPECT_TRUE(eventually([&] { return !mux.exclusiveClaim(); }));
    SimConsole again(mux.portPath());
    ASSERT_TRUE(again.isOpen());
    again.send("$PQVXIDQ");
    EXPECT_EQ(again.readLine(), framed("$PQVXID,,,,"));
}

// The same few sentences over and over.
class Cycle : public TrafficSource {
public:
    std::optional<TrafficLine> nextLine() override {
        static const char* const sentences[] = {"$GPRMC,1", "$IIMWV,2", "$GPGGA,3", "!AIVDM,4"};
        return TrafficLine{framed(sentences[next_++ % 4]), 0};
    }

private:
    size_t next_ = 0;
};

TEST(SimLine, TrafficReachesTheComputerAsTheFilterListRoutesIt) {
    SimOptions options = quiet(MuxFamily::ThirdGeneration);
    options.traffic = std::make_shared<Cycle>();
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

    SimOptions missing = options;
    missing.logFile = scratch("absent.log").string();
    SimulatedMux none(missing);
    EXPECT_FALSE(none.start());
    EXPECT_NE(none.lastError().find(missing.logFile), std::string::npos);
}

TEST(SimLine, RecordedLogsLoad) {
    const fs::path sounder = fs::path(MUX_SHARED_DATA) / "nmea" / "sounder.log";
    if (!fs::exists(sounder))
        GTEST_SKIP() << "shared sample data not found at " << MUX_SHARED_DATA;
    auto log = LogTraffic::fromFile(sounder.string());
    ASSERT_TRUE(log);
    EXPECT_GT(log->size(), 10u);
    EXPECT_EQ(log->nextLine()->sentence, "$SDDBT,7.7,f,2.3,M,1.3,F*05"); // after the comment lines
}

// The device's input framing, without a terminal.
TEST(SimDevice, FramingSurvivesSplitsNoiseAndOverlongLines) {
    MuxDevice device(quiet(MuxFamily::Other));
    const std::string query = framed("$PQVXIDQ");
    std::vector<std::string> replies;
    for (char c : query) { // one byte at a time
        auto more = device.feed(reinterpret_cast<const uint8_t*>(&c), 1);
        replies.insert(replies.end(), more.begin(), more.end());
    }
    EXPECT_EQ(replies, std::vector<std::string>{framed("$PQVXID,,,,")});

    const std::string inputs[] = {
        "noise$PQVX" + query,                                   // a new "$" starts over
        std::string(1000, '$') + query,                         // many starts
        "$" + std::string(300, 'A') + "\n" + query,             // an overlong line is skipped to its end
        std::string("\0\0\r\n", 4) + query,                     // NUL bytes between sentences
        "$PQVXIDQ*Z" + std::string(1, '\x7f') + "\r\n" + query, // a checksum that is no number
    };
    for (const auto& input : inputs) {
        auto result = device.feed(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        EXPECT_EQ(result, std::vector<std::string>{framed("$PQVXID,,,,")}) << input.substr(0, 40);
    }
}

} // namespace
