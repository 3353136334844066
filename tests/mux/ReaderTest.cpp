// The reader: its observers, opening and failing to open, a port that keeps dropping, a flood of
// malformed bytes, and the program's own events.

#include "tests/mux/Rig.h"

#include "support/Settings.h"

#include <QComboBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <mutex>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

TEST(MuxReader, ObserversSeeEachLineAsReadAndEachTurn) {
    std::mutex lock;
    std::vector<std::string> lines;
    std::vector<bool> turns;
    bool onMainThread = false;
    const auto main = std::this_thread::get_id();
    RigOptions options = RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration);
    options.beforeStart = [&](MuxController& ctl) {
        ctl.reader().addLineObserver([&](const Bytes& line) {
            std::lock_guard guard(lock);
            lines.emplace_back(line.begin(), line.end());
            onMainThread = onMainThread || std::this_thread::get_id() == main;
        });
        ctl.reader().addTurnObserver([&](bool lineRead) {
            std::lock_guard guard(lock);
            turns.push_back(lineRead);
        });
    };
    Rig rig(options);
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle(); // silence: the turns come back empty
    {
        std::lock_guard guard(lock);
        lines.clear();
        turns.clear();
    }
    rig.sim().sendRaw("$PQVXID,AA*00\r\n"); // a bad checksum is still a line as read
    rig.reply("$GPRMC,1");
    rig.sim().sendRaw("noise\r\n");
    ASSERT_TRUE(Rig::waitFor([&] {
        std::lock_guard guard(lock);
        return lines.size() >= 3 && !turns.empty() && !turns.back();
    }));
    std::lock_guard guard(lock);
    EXPECT_EQ(lines, (std::vector<std::string>{"$PQVXID,AA*00\r\n", framed("$GPRMC,1"), "noise\r\n"}));
    EXPECT_EQ(std::count(turns.begin(), turns.end(), true), 3);
    EXPECT_FALSE(onMainThread);
}

// Each open gives a terminal whose other end has already hung up, as a flapping cable does.
TEST(MuxReader, PortThatDropsAtOnceIsTriedLessOftenAndSaidOnce) {
    RigOptions options = RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration);
    options.opener = [](const std::string&, const std::string& rate) -> std::shared_ptr<Serial> {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return nullptr;
        auto serial = std::make_shared<Serial>();
        const bool open = serial->openPort(std::string(::ptsname(master)), rate, false, false);
        ::close(master);
        return open ? serial : nullptr;
    };
    Rig rig(options);
    const QString lost = QString::fromStdString("#### " + Alert::localizedStringWithKey("NSLineLost"));
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().contains(lost); }));
    const auto start = std::chrono::steady_clock::now();
    const unsigned long before = rig.ctl().reader().openAttempts();
    Rig::waitFor([] { return false; }, 400ms);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const unsigned long attempts = rig.ctl().reader().openAttempts() - before;
    // Retried after 20, 40, then every 80 ms here: about a dozen, not hundreds.
    EXPECT_GE(attempts, 4u);
    EXPECT_LE(double(attempts), seconds / 0.08 + 4) << attempts << " in " << seconds << " s";
    EXPECT_EQ(rig.monitor().count(lost), 1);
    EXPECT_EQ(rig.monitor().count("#### Open"), 1);
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(MuxReader, OpenFailsWithOneSheetAndReopensOnRequest) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy).withSelectPort(false));
    rig.settle();
    EXPECT_FALSE(rig.ctl().hasConnection()); // nothing selected, nothing opened
    EXPECT_TRUE(rig.monitor().isEmpty());
    QComboBox* ports = rig.device().portComboBox;
    ports->addItem("/nonexistent/tty");
    ports->setCurrentIndex(ports->count() - 1);
    emit ports->activated(ports->currentIndex());
    ASSERT_TRUE(Rig::waitFor([&] { return !rig.alerts.empty(); }));
    rig.settle();
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].kind, AlertRequest::Kind::Sheet);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSUnableToOpenPort"));
    EXPECT_EQ(rig.alerts[0].informativeText, "/nonexistent/tty");
    EXPECT_FALSE(rig.config().modeComboBox->isEnabled());
    EXPECT_TRUE(rig.sentLines().empty());

    // The device's port, then the same again: closed, reopened and queried anew.
    ports->setCurrentIndex(ports->findText(QString::fromStdString(rig.sim().portPath())));
    emit ports->activated(ports->currentIndex());
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    rig.sim().clearReceived();
    emit ports->activated(ports->currentIndex());
    ASSERT_TRUE(Rig::waitFor([&] { return !rig.device().hasVersion(); }));
    ASSERT_TRUE(rig.waitIdentified());
    EXPECT_TRUE(rig.waitSent("$PQVXVER"));
    EXPECT_EQ(rig.monitor().count("#### Open "), 2);

    rig.ctl().applicationWillSleep(); // no Bluetooth: sleep changes nothing
    EXPECT_EQ(rig.terminations, 0);
    rig.win().close();
    EXPECT_EQ(rig.terminations, 1);
    rig.ctl().applicationWillTerminate();
    Settings::setStorePath(rig.storePath); // read back from the file
    EXPECT_EQ(Settings::text("serialPort"), rig.sim().portPath());
    EXPECT_EQ(Settings::text("rate"), "4800");
    EXPECT_EQ(Settings::text("tcpipServerPort"), "2114");
    EXPECT_EQ(Settings::boolean("tcpipServerEnable"), false);
    EXPECT_EQ(Settings::text("appVersion"), Alert::localizedStringWithKey("CFBundleGetInfoString"));
}

TEST(MuxReader, MalformedFloodLeavesTheConsoleWorking) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withBluetooth(true));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    std::string junk;
    for (int i = 0; i < 2000; ++i)
        junk += char((i * 7919) % 256);
    junk += std::string(600, 'A') + "\r\n";     // overlong
    junk += std::string("$PQVX\0CF,1\r\n", 12); // a NUL inside
    junk += "$PQVXCF,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n";
    junk += framed("$PQVXVER") + framed("$PQVXFL,--RMC,0100") + framed("$") + framed("$PQVXOV");
    for (int i = 0; i < 20; ++i)
        rig.sim().sendRaw(junk);
    ASSERT_TRUE(rig.barrier());
    EXPECT_EQ(rig.terminations, 0);
    EXPECT_TRUE(rig.device().hasVersion());
    rig.ctl().applicationWillSleep(); // a Bluetooth device: sleep ends the program
    EXPECT_EQ(rig.terminations, 1);
}
