#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "tests/link/Pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string kEnd = "$END\r\n";

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

// What the device receives up to the end mark, read on a thread of its own so that senders never
// block on a full line.
std::vector<std::string> drainLines(const Pty& pty) {
    const std::string wire = pty.readThrough(kEnd);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = wire.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(wire.substr(start, end - start + 2));
    if (!lines.empty() && lines.back() == kEnd)
        lines.pop_back();
    return lines;
}

bool wholeSentence(const std::string& line) {
    Bytes b(line.begin(), line.end());
    b.push_back(0);
    return line.ends_with("\r\n") && line.find('*') == line.size() - 5 && NMEA::checkSumValid(b);
}

} // namespace

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
        {true, "$AK", 100, true, {"$AK", "*0A\r\n"}},      // two digits, upper case
        {true, "$PQVXCFQ*5B", 100, true, {"$PQVXCFQ*5B"}}, // carries its own checksum: as it stands
        {true, "$PQVXCFQ", 5, false, {"$PQVX"}},           // body cut short: no tail
        {true, "$PQVXCFQ", 10, false, {"$PQVXCFQ", "*5"}},
        {true, "", 100, false, {}}, // an empty command is no sentence
        {false, "$PQVXCFQ", 100, true, {"$PQVXCFQ", "\r\n"}},
        {false, "$PQVXCFQ\r", 100, true, {"$PQVXCFQ\r", "\r\n"}}, // a file line's own CR stays
        {false, "", 100, true, {"", "\r\n"}},
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
    GPSTransfer detached;
    EXPECT_FALSE(detached.sendNMEACommand("$PQVXCFQ"));
    EXPECT_FALSE(detached.sendNMEACommandWithOutCheckSum("$PQVXCFQ"));
}

// A line given piece by piece: the pieces as the source gives them, then CR LF; a short write stops.
TEST(LinkGPSTransfer, LineInPiecesEndsWithCRLFAndStopsAtAShortWrite) {
    const std::string line = "$" + std::string(1500, 'x');
    auto sourceOf = [&line](size_t* at) {
        return [&line, at](uint8_t* buffer, size_t capacity) {
            const size_t n = std::min(capacity, line.size() - *at);
            std::copy_n(line.data() + *at, n, buffer);
            *at += n;
            return n;
        };
    };
    for (size_t capacity : {size_t(10000), size_t(700)}) {
        auto port = std::make_shared<RecordingPort>(capacity);
        GPSTransfer sender;
        sender.setPort(port);
        size_t at = 0;
        EXPECT_EQ(sender.sendLineInPieces(sourceOf(&at)), capacity > line.size());
        std::string wire;
        for (const auto& w : port->writes)
            wire += w;
        EXPECT_EQ(wire, capacity > line.size() ? line + "\r\n" : line.substr(0, capacity));
    }
    size_t at = 0;
    EXPECT_FALSE(GPSTransfer().sendLineInPieces(sourceOf(&at)));
}

// The reader and the sanity timer send at once; a third thread detaches the port as the reader
// does before it closes it. Every sentence arrives whole, in each sender's order.
TEST(LinkGPSTransfer, SendersNeverInterleaveAndDetachWaitsForTheSentence) {
    Pty pty;
    auto port = std::make_shared<Serial>();
    ASSERT_TRUE(port->openPort(pty.path(), "115200", false, false));
    GPSTransfer sender;
    sender.setPort(port);
    std::vector<std::string> lines;
    std::thread drain([&] { lines = drainLines(pty); });

    std::atomic<int> sent{0};
    auto send = [&](const char* tag) {
        for (int i = 0;; ++i) {
            const std::string command = std::string("$PQVX") + tag + "," + std::to_string(i) + ",0123456789";
            if (!sender.sendNMEACommand(command))
                return;
            ++sent;
        }
    };
    std::thread reader(send, "CF"), timer(send, "VE");
    while (sent < 600)
        std::this_thread::yield();
    sender.setPort(nullptr);
    reader.join();
    timer.join();
    port->writePort(Bytes(kEnd.begin(), kEnd.end()));
    drain.join();

    std::map<std::string, int> next;
    for (const auto& l : lines) {
        ASSERT_TRUE(wholeSentence(l)) << "torn sentence: " << l;
        const std::string tag = l.substr(5, 2);
        ASSERT_TRUE(l.starts_with("$PQVX" + tag + "," + std::to_string(next[tag]++) + ",")) << l;
    }
    EXPECT_EQ(static_cast<int>(lines.size()), sent.load());
}
