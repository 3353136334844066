// Sending to the device: body and checksum tail as two writes, a short write stops the sentence,
// a line in pieces, and senders on several threads that never interleave.

#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "tests/link/Pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

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

TEST(LinkGPSTransfer, BodyAndTailAreTwoWritesAndAShortWriteStops) {
    // With a checksum or not, the command, what the port takes, whether it went, the writes.
    const std::tuple<bool, std::string, size_t, bool, std::vector<std::string>> cases[] = {
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
    for (const auto& [withChecksum, body, capacity, result, writes] : cases) {
        auto port = std::make_shared<RecordingPort>(capacity);
        GPSTransfer sender;
        sender.setPort(port);
        EXPECT_EQ(withChecksum ? sender.sendNMEACommand(body) : sender.sendNMEACommandWithOutCheckSum(body),
                  result)
            << body << " " << capacity;
        EXPECT_EQ(port->writes, writes) << body << " " << capacity;
    }
    EXPECT_FALSE(GPSTransfer().sendNMEACommand("$PQVXCFQ"));
    EXPECT_FALSE(GPSTransfer().sendNMEACommandWithOutCheckSum("$A"));

    // A line given piece by piece: the pieces as the source gives them, then CR LF.
    const std::string line = "$" + std::string(1500, 'x');
    for (size_t capacity : {size_t(10000), size_t(700), size_t(0)}) {
        auto port = std::make_shared<RecordingPort>(capacity);
        GPSTransfer sender;
        if (capacity)
            sender.setPort(port);
        size_t at = 0;
        const auto source = [&](uint8_t* buffer, size_t room) {
            const size_t n = std::min(room, line.size() - at);
            std::copy_n(line.data() + at, n, buffer);
            at += n;
            return n;
        };
        EXPECT_EQ(sender.sendLineInPieces(source), capacity > line.size());
        std::string wire;
        for (const auto& w : port->writes)
            wire += w;
        EXPECT_EQ(wire, capacity > line.size() ? line + "\r\n" : line.substr(0, capacity));
    }
}

// The reader and the sanity timer send at once; a third thread detaches the port as the reader
// does before it closes it. Every sentence arrives whole, in each sender's order.
TEST(LinkGPSTransfer, SendersNeverInterleaveAndDetachWaitsForTheSentence) {
    Pty pty;
    auto port = std::make_shared<Serial>();
    ASSERT_TRUE(port->openPort(pty.path(), "115200", false, false));
    GPSTransfer sender;
    sender.setPort(port);
    std::string wire; // read on a thread of its own, so that senders never block on a full line
    std::thread drain([&] { wire = pty.readThrough("$END\r\n"); });
    std::atomic<int> sent{0};
    auto send = [&](std::string tag) {
        for (int i = 0; sender.sendNMEACommand("$PQVX" + tag + "," + std::to_string(i) + ",0123456789"); ++i)
            ++sent;
    };
    std::thread reader(send, "CF"), timer(send, "VE");
    while (sent < 600)
        std::this_thread::yield();
    sender.setPort(nullptr);
    reader.join();
    timer.join();
    port->writePort(Bytes{'$', 'E', 'N', 'D', '\r', '\n'});
    drain.join();

    std::map<std::string, int> next;
    int lines = 0;
    for (size_t start = 0, end;
         (end = wire.find("\r\n", start)) != std::string::npos && wire.compare(start, 4, "$END") != 0;
         start = end + 2, ++lines) {
        const std::string l = wire.substr(start, end + 2 - start), tag = l.substr(5, 2);
        Bytes b(l.begin(), l.end());
        b.push_back(0);
        ASSERT_EQ(l.find('*'), l.size() - 5) << "torn sentence: " << l;
        ASSERT_TRUE(NMEA::checkSumValid(b)) << "torn sentence: " << l;
        ASSERT_TRUE(l.starts_with("$PQVX" + tag + "," + std::to_string(next[tag]++) + ",")) << l;
    }
    EXPECT_EQ(lines, sent.load());
}

} // namespace
