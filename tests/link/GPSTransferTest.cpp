#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "tests/link/Pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A port that records each write call and accepts only so many bytes in all.
class RecordingPort : public Serial {
public:
    explicit RecordingPort(size_t capacity) : capacity_(capacity) {}
    unsigned writePort(const uint8_t* bytes, size_t length) override {
        const size_t taken = std::min(length, capacity_);
        capacity_ -= taken;
        writes.emplace_back(reinterpret_cast<const char*>(bytes), taken);
        return static_cast<unsigned>(taken);
    }
    std::vector<std::string> writes;

private:
    size_t capacity_;
};

struct Line {
    std::shared_ptr<Pty> pty = std::make_shared<Pty>();
    std::shared_ptr<Serial> port = std::make_shared<Serial>();
    Line() {
        if (!port->openPort(pty->path(), "115200", false, false))
            throw std::runtime_error("cannot open " + pty->path());
    }
};

std::vector<std::string> splitLines(const std::string& wire) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = wire.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(wire.substr(start, end - start + 2));
    if (start < wire.size())
        lines.push_back(wire.substr(start));
    return lines;
}

// Collects what the device receives, on a thread of its own so senders never block on a full line.
class Drain {
public:
    explicit Drain(const Pty& pty)
        : thread_([this, &pty] {
              while (running_ || pty.readable(0ms))
                  wire_ += pty.readQuiet(20ms);
          }) {}
    std::string stop() {
        running_ = false;
        thread_.join();
        return wire_;
    }

private:
    std::atomic<bool> running_{true};
    std::string wire_;
    std::thread thread_;
};

std::string withChecksum(const std::string& command) {
    uint8_t x = 0;
    for (size_t k = 1; k < command.size(); ++k)
        x ^= static_cast<uint8_t>(command[k]);
    char tail[4];
    std::snprintf(tail, sizeof tail, "*%02X", x);
    return command + tail;
}

bool wholeSentence(const std::string& line) {
    Bytes b(line.begin(), line.end());
    b.push_back(0);
    return line.size() > 5 && line.ends_with("\r\n") && line.find('*') == line.size() - 5 &&
           NMEA::checkSumValid(b);
}

} // namespace

TEST(LinkGPSTransfer, BytesOnTheWire) {
    struct Case {
        bool withChecksum;
        std::string sent, wire;
    };
    const Case cases[] = {
        {true, "$PQVXCFQ", "$PQVXCFQ*5B\r\n"},
        {true, "$PQVXVER", "$PQVXVER*4E\r\n"},
        {true, "$GPGLL,4916.45,N,12311.12,W,225448,A", "$GPGLL,4916.45,N,12311.12,W,225448,A*3D\r\n"},
        {true, "$AK", "$AK*0A\r\n"}, // two digits, upper case
        {true, "$PQVXFL,GPRMC,10000", "$PQVXFL,GPRMC,10000*7F\r\n"},
        {true, "$PQVXCFQ*5B", "$PQVXCFQ*5B"}, // carries its own checksum: as it stands
        {false, "$GPGLL,4916.45,N,12311.12,W,225448,A*3D", "$GPGLL,4916.45,N,12311.12,W,225448,A*3D\r\n"},
        {false, "$PQVXVER", "$PQVXVER\r\n"},
        {false, "", "\r\n"},
    };
    Line line;
    GPSTransfer sender;
    sender.setPort(line.port);
    for (const auto& c : cases) {
        const bool sent =
            c.withChecksum ? sender.sendNMEACommand(c.sent) : sender.sendNMEACommandWithOutCheckSum(c.sent);
        EXPECT_TRUE(sent) << c.sent;
        EXPECT_EQ(line.pty->readQuiet(100ms), c.wire) << c.sent;
    }
    EXPECT_FALSE(sender.sendNMEACommand("")) << "an empty command is no sentence";

    sender.setPort(nullptr);
    EXPECT_FALSE(sender.sendNMEACommand("$PQVXCFQ"));
    EXPECT_FALSE(sender.sendNMEACommandWithOutCheckSum("$PQVXCFQ"));
    EXPECT_EQ(line.pty->readQuiet(100ms), "");
    EXPECT_FALSE(sender.receiveWaypoints());
    EXPECT_FALSE(sender.sendWaypoints());
    EXPECT_FALSE(sender.receiveTracks());
    EXPECT_FALSE(sender.ident());
}

TEST(LinkGPSTransfer, BodyAndTailAreTwoWritesAndAShortWriteStops) {
    struct Case {
        bool withChecksum;
        std::string body;
        size_t capacity;
        bool result;
        std::vector<std::string> writes;
    };
    const Case cases[] = {
        {true, "$PQVXCFQ", 100, true, {"$PQVXCFQ", "*5B\r\n"}},
        {true, "$PQVXCFQ*5B", 100, true, {"$PQVXCFQ*5B"}},
        {true, "$PQVXCFQ", 5, false, {"$PQVX"}}, // body cut short: no tail
        {true, "$PQVXCFQ", 10, false, {"$PQVXCFQ", "*5"}},
        {false, "$PQVXCFQ", 100, true, {"$PQVXCFQ", "\r\n"}},
        {false, "$PQVXCFQ", 3, false, {"$PQ"}},
        {false, "$PQVXCFQ", 9, false, {"$PQVXCFQ", "\r"}},
    };
    for (const auto& c : cases) {
        auto port = std::make_shared<RecordingPort>(c.capacity);
        GPSTransfer sender;
        sender.setPort(port);
        const bool sent =
            c.withChecksum ? sender.sendNMEACommand(c.body) : sender.sendNMEACommandWithOutCheckSum(c.body);
        EXPECT_EQ(sent, c.result) << c.body << " " << c.capacity;
        EXPECT_EQ(port->writes, c.writes) << c.body << " " << c.capacity;
    }
}

TEST(LinkGPSTransfer, TwoThreadsNeverInterleaveSentences) {
    Line line;
    GPSTransfer sender;
    sender.setPort(line.port);
    Drain drain(*line.pty);

    constexpr int kEach = 300;
    auto send = [&sender](const char* tag) {
        for (int i = 0; i < kEach; ++i) {
            const std::string command = std::string("$PQVX") + tag + "," + std::to_string(i) + ",0123456789";
            if (i % 2)
                sender.sendNMEACommand(command);
            else
                sender.sendNMEACommandWithOutCheckSum(withChecksum(command));
        }
    };
    std::thread reader(send, "CF");
    std::thread timer(send, "VE");
    reader.join();
    timer.join();

    std::map<std::string, int> next{{"CF", 0}, {"VE", 0}};
    for (const auto& l : splitLines(drain.stop())) {
        ASSERT_TRUE(wholeSentence(l)) << "torn sentence: " << l;
        const std::string tag = l.substr(5, 2);
        ASSERT_EQ(l.substr(7, std::to_string(next[tag]).size() + 1), "," + std::to_string(next[tag])) << l;
        ++next[tag];
    }
    EXPECT_EQ(next["CF"], kEach);
    EXPECT_EQ(next["VE"], kEach);
}

TEST(LinkGPSTransfer, DetachWaitsForTheSentenceBeingSent) {
    Line line;
    GPSTransfer sender;
    sender.setPort(line.port);
    Drain drain(*line.pty);
    std::atomic<int> sent{0};
    const std::string longCommand = "$PQVXFL," + std::string(200, 'A');
    std::thread timer([&] {
        while (sender.sendNMEACommand(longCommand))
            ++sent;
    });
    while (sent < 20)
        std::this_thread::yield();
    sender.setPort(nullptr); // as the reader does before it closes the port
    timer.join();

    const auto lines = splitLines(drain.stop());
    EXPECT_EQ(static_cast<int>(lines.size()), sent.load());
    for (const auto& l : lines)
        ASSERT_TRUE(wholeSentence(l)) << "torn sentence: " << l;
}
