#include "link/Serial.h"
#include "tests/link/Pty.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string text(const std::optional<Bytes>& b) {
    return b ? std::string(b->begin(), b->end()) : "<nil>";
}

} // namespace

TEST(LinkSerial, ShortNamesAndPaths) {
    const std::pair<std::string, std::string> names[] = {
        {"/dev/cu.usbserial-1", "usbserial-1"},
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"/dev/pts/3", "pts/3"},
        {"ttyS0", "ttyS0"},
        {"/dev/tty.usbserial-1", "tty.usbserial-1"},
        {"/tmp/dev/cu.x", "x"},
        {"/var/run/mux", "/var/run/mux"},
    };
    for (const auto& [name, shortName] : names)
        EXPECT_EQ(Serial::shortPortName(name), shortName) << name;
    EXPECT_EQ(Serial::portPath("pts/3"), "/dev/pts/3");
    EXPECT_EQ(Serial::portPath("/tmp/mux"), "/tmp/mux");
}

TEST(LinkSerial, ListsDeviceBackedPortsInNaturalOrder) {
    const testing_support::TempFolder root;
    const fs::path sys = root.path / "sys", dev = root.path / "dev";
    // A tty class entry, with or without a device behind it, a UART type and a device node.
    auto tty = [&](std::string name, bool device, const char* type, bool node) {
        fs::create_directories(sys / name / (device ? "device" : ""));
        if (type)
            testing_support::spit(sys / name / "type", type + std::string("\n"));
        std::replace(name.begin(), name.end(), '!', '/');
        if (node)
            testing_support::spit(dev / name, "");
    };
    tty("ttyUSB10", true, nullptr, true);
    tty("ttyUSB9", true, nullptr, true);
    tty("ttyS0", true, "4", true);
    tty("ttyS1", true, "0", true);        // empty UART slot
    tty("tty1", false, nullptr, true);    // virtual console
    tty("ttyACM0", true, nullptr, false); // no device node
    tty("usb!ttyX0", true, nullptr, true);
    EXPECT_EQ(Serial::ports(sys.string(), dev.string()),
              (std::vector<std::string>{"ttyS0", "ttyUSB9", "ttyUSB10", "usb/ttyX0"}));
    EXPECT_TRUE(Serial::ports((root.path / "absent").string(), dev.string()).empty());
}

TEST(LinkSerial, ConfiguresRawLineAtTheRequestedRate) {
    struct Case {
        const char* rate;
        bool software, hardware;
        speed_t speed;
    };
    const Case cases[] = {
        {"1200", false, false, B1200}, {"115200", false, false, B115200}, {"2400", false, false, B4800},
        {"", false, false, B4800},     {"38400", true, true, B38400},     {"38400", true, false, B38400},
    };
    for (const auto& c : cases) {
        Pty pty;
        Serial port;
        ASSERT_TRUE(port.openPort(pty.path(), std::string(c.rate), c.software, c.hardware)) << c.rate;
        ASSERT_TRUE(port.isOpen());
        termios t{};
        ASSERT_EQ(::tcgetattr(port.fd(), &t), 0);
        EXPECT_EQ(::cfgetospeed(&t), c.speed) << c.rate;
        EXPECT_EQ(::cfgetispeed(&t), c.speed) << c.rate;
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CREAD | CLOCAL), tcflag_t(CS8 | CREAD | CLOCAL));
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.hardware) << c.rate;
        EXPECT_EQ(t.c_iflag, c.software ? tcflag_t(IXON | IXOFF | IXANY) : 0) << c.rate;
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 5);
    }
}

TEST(LinkSerial, OpenRefusals) {
    Pty pty;
    Serial port;
    EXPECT_FALSE(port.openPort(std::nullopt, "4800", false, false));
    EXPECT_FALSE(port.openPort(pty.path(), std::nullopt, false, false));
    EXPECT_FALSE(port.openPort("", "4800", false, false));
    EXPECT_FALSE(port.openPort("/nonexistent/tty", "4800", false, false));
    EXPECT_FALSE(port.openPort("/etc/hostname", "4800", false, false)); // not a terminal
    EXPECT_FALSE(port.isOpen());

    // Another descriptor that keeps the terminal alive throughout.
    const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);

    // A held port is refused to every second opener, root included, by short name or by path.
    ASSERT_TRUE(port.openPort(pty.shortName(), "4800", false, false));
    Serial second;
    EXPECT_FALSE(second.openPort(pty.path(), "4800", false, false));
    EXPECT_FALSE(second.openPort(pty.shortName(), "4800", false, false));
    EXPECT_FALSE(second.isOpen());
    int exclusive = 0;
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "a refused opener must not lift the holder's exclusive access";

    // Closing gives the line up, though the terminal stays open elsewhere.
    port.closePort();
    port.closePort();
    EXPECT_FALSE(port.isOpen());
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(other);
    EXPECT_TRUE(second.openPort(pty.path(), "4800", false, false));
}

TEST(LinkSerial, ClosedPort) {
    Serial port;
    uint8_t byte = 0;
    EXPECT_FALSE(port.readPortChar(&byte));
    const auto line = port.readPortUntilChar('\n', 256);
    ASSERT_TRUE(line); // empty, not nil
    EXPECT_TRUE(line->empty());
    EXPECT_EQ(port.writePort(Bytes{'$'}), 0u);
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

TEST_P(LinkSerialReads, ExactBytes) {
    const std::string all =
        "$GPRMC,225308,A\r\n\x80\xff\x01!AIVDM,1*0E\r\n$PQVXVE,1.0\n" + std::string(1, '\0');
    ASSERT_TRUE(pty.write(all));
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$GPRMC,225308,A\r\n");
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "\x80\xff\x01!AIVDM,1*0E\r\n");
    // An end byte of 0 returns at once without reading.
    EXPECT_EQ(text(port.readPortUntilChar(0, 256)), "");
    EXPECT_EQ(text(port.readPortForLength(3)), "$PQ");
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "VXVE,1.0\n");
    uint8_t byte = 1;
    EXPECT_TRUE(port.readPortChar(&byte));
    EXPECT_EQ(byte, 0);
    EXPECT_EQ(port.pendingInput(), 0u);

    Bytes out;
    for (int b = 0; b < 256; ++b)
        out.push_back(static_cast<uint8_t>(b));
    EXPECT_EQ(port.writePort(out), 256u);
    EXPECT_EQ(port.writePort(Bytes{}), 0u);
    EXPECT_EQ(port.writePort(nullptr, 5), 0u);
    EXPECT_EQ(pty.read(256), std::string(out.begin(), out.end()));
    EXPECT_FALSE(port.lineLost());
}

TEST_P(LinkSerialReads, WhatWaitsIsShownAndFlushed) {
    ASSERT_TRUE(pty.write("$A\n$B\n"));
    int queued = 0;
    for (int i = 0; i < 200 && queued < 6; ++i, std::this_thread::sleep_for(5ms))
        ::ioctl(port.fd(), FIONREAD, &queued);
    ASSERT_EQ(queued, 6);
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$A\n");
    // Read ahead, the second line waits in the port, not on the terminal.
    EXPECT_EQ(port.pendingInput(), GetParam() ? 3u : 0u);
    ::ioctl(port.fd(), FIONREAD, &queued);
    EXPECT_EQ(queued, GetParam() ? 0 : 3);
    // A flush drops what has arrived and not been read, wherever it waits.
    port.flushPort();
    EXPECT_EQ(port.pendingInput(), 0u);
    ASSERT_TRUE(pty.write("$C\n"));
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$C\n");
}

TEST_P(LinkSerialReads, LineLengthLimit) {
    const std::string fits = std::string(254, 'A') + "\n"; // 255 bytes with its line feed
    const std::string tooLong = std::string(255, 'B') + "\n";
    const std::string overlong = std::string(256, 'C') + "tail\r\n";
    ASSERT_TRUE(pty.write(fits + tooLong + "$X\r\n" + overlong));
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), fits);
    EXPECT_FALSE(port.readPortUntilChar('\n', 256)); // the 256th byte is the line feed: refused
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "$X\r\n");
    EXPECT_FALSE(port.readPortUntilChar('\n', 256));
    // What is left of an overlong line comes next: nothing is kept across calls.
    EXPECT_EQ(text(port.readPortUntilChar('\n', 256)), "tail\r\n");
    EXPECT_FALSE(port.lineLost());
}

TEST_P(LinkSerialReads, LostLineIsReportedAtOnce) {
    ASSERT_TRUE(pty.write("$GP"));
    EXPECT_EQ(text(port.readPortForLength(3)), "$GP");
    pty.closeMaster(); // the device goes away

    EXPECT_FALSE(port.readPortUntilChar('\n', 256));
    EXPECT_TRUE(port.lineLost());
    uint8_t byte = 0;
    EXPECT_FALSE(port.readPortChar(&byte));
    EXPECT_EQ(port.writePort(Bytes{'$'}), 0u);
    EXPECT_TRUE(port.isOpen()); // the caller decides to reopen

    // A new open starts afresh.
    Pty again;
    ASSERT_TRUE(port.openPort(again.path(), "4800", false, false));
    EXPECT_FALSE(port.lineLost());
}

TEST(LinkSerial, WriteCutShortByALostLineCountsWhatWent) {
    auto pty = std::make_shared<Pty>();
    auto port = std::make_shared<Serial>();
    ASSERT_TRUE(port->openPort(pty->path(), "115200", false, false));
    const Bytes big(1 << 20, 'x'); // far more than the terminal holds while nobody reads
    auto writer = std::async(std::launch::async, [port, &big] { return port->writePort(big); });
    ASSERT_TRUE(pty->readable(5s)); // some went; the rest cannot while nobody reads
    pty->closeMaster();
    const unsigned written = writer.get(); // a write blocked on a dead line would hang here
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    EXPECT_TRUE(port->lineLost());
}
