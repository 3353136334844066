// The serial port on a pseudo-terminal: names, ports listed, line set up, exclusive access, reads.

#include "link/Serial.h"
#include "tests/link/Pty.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

using namespace testing_support;

std::string text(const std::optional<Bytes>& b) {
    return b ? std::string(b->begin(), b->end()) : "<nil>";
}

TEST(LinkSerial, NamesAndTheListedPorts) {
    // clang-format off
    const std::pair<std::string, std::string> names[] = {
        {"/dev/cu.usbserial-1", "usbserial-1"}, {"/dev/ttyUSB0", "ttyUSB0"}, {"/dev/pts/3", "pts/3"}, {"ttyS0", "ttyS0"},
        {"/dev/tty.usbserial-1", "tty.usbserial-1"}, {"/tmp/dev/cu.x", "x"}, {"/var/run/mux", "/var/run/mux"},
    };
    // clang-format on
    for (const auto& [name, shortName] : names)
        EXPECT_EQ(Serial::shortPortName(name), shortName) << name;
    EXPECT_EQ(Serial::portPath("pts/3"), "/dev/pts/3");
    EXPECT_EQ(Serial::portPath("/tmp/mux"), "/tmp/mux");

    // tty class entries with or without a device behind, a UART type, a device node: in natural order.
    const TempFolder root;
    const fs::path sys = root.path / "sys", dev = root.path / "dev";
    auto tty = [&](std::string name, bool device, const char* type, bool node) {
        fs::create_directories(sys / name / (device ? "device" : ""));
        if (type)
            spit(sys / name / "type", type + std::string("\n"));
        std::replace(name.begin(), name.end(), '!', '/');
        if (node)
            spit(dev / name, "");
    };
    // An empty UART slot (type 0), a virtual console (no device), one without a device node.
    tty("ttyUSB10", true, nullptr, true), tty("ttyUSB9", true, nullptr, true), tty("ttyS0", true, "4", true);
    tty("ttyS1", true, "0", true), tty("tty1", false, nullptr, true), tty("ttyACM0", true, nullptr, false);
    tty("usb!ttyX0", true, nullptr, true);
    EXPECT_EQ(Serial::ports(sys.string(), dev.string()),
              (std::vector<std::string>{"ttyS0", "ttyUSB9", "ttyUSB10", "usb/ttyX0"}));
    EXPECT_TRUE(Serial::ports((root.path / "absent").string(), dev.string()).empty());
}

// Raw 8N1 at the rate asked (4800 for one the device does not have), flow control as asked.
TEST(LinkSerial, ConfiguresRawLineAtTheRequestedRate) {
    const std::tuple<const char*, bool, bool, speed_t> cases[] = {
        {"1200", false, false, B1200}, {"2400", false, false, B4800},  {"", false, false, B4800},
        {"38400", true, true, B38400}, {"38400", true, false, B38400},
    };
    for (const auto& [rate, software, hardware, speed] : cases) {
        Pty pty;
        Serial port;
        ASSERT_TRUE(port.openPort(pty.path(), std::string(rate), software, hardware)) << rate;
        termios t{};
        ASSERT_EQ(::tcgetattr(port.fd(), &t), 0);
        EXPECT_EQ(::cfgetospeed(&t), speed) << rate;
        EXPECT_EQ(::cfgetispeed(&t), speed) << rate;
        EXPECT_TRUE((t.c_cflag & (CSIZE | PARENB | CSTOPB | CREAD | CLOCAL)) == (CS8 | CREAD | CLOCAL))
            << rate;
        EXPECT_EQ(((t.c_cflag & CRTSCTS) != 0), hardware) << rate;
        EXPECT_TRUE(t.c_iflag == (software ? IXON | IXOFF | IXANY : 0)) << rate;
        EXPECT_EQ((t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)), 0);
        EXPECT_EQ((t.c_oflag & OPOST), 0);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 5);
    }
}

TEST(LinkSerial, OpenRefusalsAndExclusiveAccess) {
    Pty pty;
    Serial port, second;
    EXPECT_FALSE(port.openPort(std::nullopt, "4800", false, false));
    EXPECT_FALSE(port.openPort(pty.path(), std::nullopt, false, false));
    EXPECT_FALSE(port.openPort("", "4800", false, false));
    EXPECT_FALSE(port.openPort("/nonexistent/tty", "4800", false, false));
    EXPECT_FALSE(port.openPort("/etc/hostname", "4800", false, false));
    EXPECT_FALSE(port.isOpen()); // not a terminal
    // A closed port reads nothing (an empty line, not nil) and writes nothing.
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "");
    EXPECT_EQ(port.writePort(Bytes{'$'}), 0u);

    // Another descriptor keeps the terminal alive throughout. A held port is refused to every
    // second opener, root included, by short name or by path, and it keeps its exclusive access.
    const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(port.openPort(pty.shortName(), "4800", false, false));
    EXPECT_FALSE(second.openPort(pty.path(), "4800", false, false));
    EXPECT_FALSE(second.openPort(pty.shortName(), "4800", false, false));
    EXPECT_FALSE(second.isOpen());
    int exclusive = 0;
    EXPECT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    // Closing gives the line up, though the terminal stays open elsewhere.
    port.closePort(), port.closePort();
    EXPECT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_FALSE(port.isOpen());
    ::close(other);
    EXPECT_TRUE(second.openPort(pty.path(), "4800", false, false));
}

// Both ways of reading give the same bytes and the same line limits.
class LinkSerialReads : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        port.setReadAhead(GetParam());
        ASSERT_TRUE(port.openPort(pty.path(), "115200", false, false));
    }
    Pty pty;
    Serial port;
};
INSTANTIATE_TEST_SUITE_P(ByteByByteAndReadAhead, LinkSerialReads, testing::Bool());

TEST_P(LinkSerialReads, ExactBytesAndLineLimits) {
    const std::string fits = std::string(254, 'A') + "\n"; // 255 bytes with its line feed
    ASSERT_TRUE(pty.write("$GPRMC,225308,A\r\n\x80\xff\x01!AIVDM,1*0E\r\n$PQVXVE,1.0\n" +
                          std::string(1, '\0') + fits + std::string(255, 'B') + "\n$X\r\n" +
                          std::string(256, 'C') + "tail\r\n"));
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$GPRMC,225308,A\r\n");
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "\x80\xff\x01!AIVDM,1*0E\r\n");
    EXPECT_EQ(text(port.readPortUntilChar(0, 256)), ""); // an end byte of 0 returns at once
    EXPECT_EQ(text(port.readPortForLength(3)), "$PQ");
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "VXVE,1.0\n");
    uint8_t byte = 1;
    EXPECT_TRUE(port.readPortChar(&byte));
    EXPECT_EQ(byte, 0);
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), fits);
    EXPECT_FALSE(port.readPortUntilChar('\n', 256)); // the 256th byte is the line feed: refused
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$X\r\n");
    EXPECT_FALSE(port.readPortUntilChar('\n', 256));
    // What is left of an overlong line comes next: nothing is kept across calls.
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "tail\r\n");
    EXPECT_EQ(port.pendingInput(), 0u);

    EXPECT_EQ(port.writePort(Bytes{}), 0);
    EXPECT_EQ(port.writePort(nullptr, 5), 0);
    EXPECT_EQ(port.writePort(Bytes{'$', 0, 0xff, '\n'}), 4u);
    EXPECT_EQ(pty.readThrough("\n"), std::string("$\0\xff\n", 4)); // as they are
    EXPECT_FALSE(port.lineLost());
}

// Read ahead, the second line waits in the port, not on the terminal; a flush drops what has
// arrived and not been read, wherever it waits.
TEST_P(LinkSerialReads, WhatWaitsIsShownAndFlushed) {
    ASSERT_TRUE(pty.write("$A\n$B\n"));
    pollfd p{port.fd(), POLLIN, 0};
    int queued = 0;
    ASSERT_EQ(::poll(&p, 1, 5000), 1) << queued;
    ASSERT_EQ(::ioctl(port.fd(), FIONREAD, &queued), 0) << queued;
    ASSERT_EQ(queued, 6) << queued;
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$A\n");
    EXPECT_EQ(port.pendingInput(), GetParam() ? 3u : 0u);
    ::ioctl(port.fd(), FIONREAD, &queued);
    EXPECT_EQ(queued, GetParam() ? 0 : 3);
    port.flushPort();
    EXPECT_EQ(port.pendingInput(), 0u);
    ASSERT_TRUE(pty.write("$C\n"));
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$C\n");
}

// The device goes away: reported at once; the caller decides to reopen, and a new open starts afresh.
TEST_P(LinkSerialReads, LostLineIsReportedAtOnce) {
    ASSERT_TRUE(pty.write("$GP"));
    EXPECT_EQ(text(port.readPortForLength(3)), "$GP");
    pty.closeMaster();
    uint8_t byte = 0;
    EXPECT_FALSE(port.readPortUntilChar('\n', 256));
    EXPECT_FALSE(port.readPortChar(&byte));
    EXPECT_TRUE(port.lineLost());
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.writePort(Bytes{'$'}), 0);
    Pty again;
    ASSERT_TRUE(port.openPort(again.path(), "4800", false, false));
    EXPECT_FALSE(port.lineLost());
}

// Far more than the terminal holds while nobody reads: a write blocked on a dead line would hang.
TEST(LinkSerial, WriteCutShortByALostLineCountsWhatWent) {
    auto pty = std::make_shared<Pty>();
    auto port = std::make_shared<Serial>();
    ASSERT_TRUE(port->openPort(pty->path(), "115200", false, false));
    const Bytes big(1 << 20, 'x');
    auto writer = std::async(std::launch::async, [port, &big] { return port->writePort(big); });
    ASSERT_TRUE(pty->readable()); // some went; the rest cannot while nobody reads
    pty->closeMaster();
    const unsigned written = writer.get();
    EXPECT_TRUE(written > 0) << written;
    EXPECT_TRUE(written < big.size()) << written;
    EXPECT_TRUE(port->lineLost());
}

} // namespace
