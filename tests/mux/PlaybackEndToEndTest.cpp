// Send File and Record against the simulated device: what reaches the device byte for byte, the
// pace set by the device's traffic, the button, a port closed halfway, a stop, and a recording
// played back.

#include "nav/NMEASimulator.h"
#include "support/Settings.h"
#include "tests/mux/ConsoleRig.h"

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Waits here end at an event; their bound is one that only a hang reaches.
constexpr auto kHang = 60s;

// What the device must receive for a file: each line from its first "$" (else "!") to its end,
// then CR LF; a line with neither is skipped.
std::string wireFor(const std::string& path) {
    std::string wire;
    const auto lines = NMEASimulator::fromFile(path);
    for (const std::string& line : lines.value()) {
        size_t start = line.find('$');
        if (start == std::string::npos)
            start = line.find('!');
        if (start != std::string::npos)
            wire += line.substr(start) + "\r\n";
    }
    return wire;
}

// The turns the reader took while a playback ran: whether it read a line, the file lines taken
// once the playback's step was done, and whether the file was still in play then.
struct Turn {
    bool lineRead;
    uint64_t taken;
    bool inPlay;
};

// The console with its file dialogs answered by the test, and the reader's turns while a file plays.
struct Player {
    std::optional<std::string> chosen;
    std::vector<FileDialogRequest::Kind> asked;
    std::vector<FileDialogRequest> requests;
    std::mutex mutex;
    std::vector<Turn> turns;
    bool watching = false; // under mutex: the rig's controller may be going away
    ConsoleRig rig;

    explicit Player(ConsoleRigOptions o)
        : rig([&] {
              o.tune = [this, tune = o.tune](MuxOptions& mo) {
                  mo.chooseFile = [this](const FileDialogRequest& r) {
                      asked.push_back(r.kind);
                      requests.push_back(r);
                      return chosen;
                  };
                  if (tune)
                      tune(mo);
              };
              return o;
          }()) {}
    ~Player() {
        std::lock_guard lock(mutex);
        watching = false; // the reader keeps turning while the rig takes the console down
    }
    Playback& playback() { return rig.core().playback(); }
    uint64_t taken() {
        if (auto p = playback().progress())
            return p->taken;
        return playback().lastEnd() ? playback().lastEnd()->lines : 0;
    }
    void watchTurns() {
        {
            std::lock_guard lock(mutex);
            watching = true;
        }
        rig.core().reader().addTurnObserver([this](bool lineRead) {
            std::lock_guard lock(mutex);
            if (watching)
                turns.push_back({lineRead, taken(), playback().inPlay()});
        });
    }
    bool identified() {
        return ConsoleRig::waitFor(
            [&] { return rig.device().hasVersion() && rig.config().modeComboBox->currentIndex() >= 0; },
            kHang);
    }
    // Watching: until a turn of the reader's came back empty, so the turns of the lines read
    // before are over (the turn of the last one may end late, once the file plays).
    bool waitSilentTurn() {
        const bool silent = ConsoleRig::waitFor(
            [&] {
                std::lock_guard lock(mutex);
                return std::any_of(turns.begin(), turns.end(), [](const Turn& t) { return !t.lineRead; });
            },
            kHang);
        std::lock_guard lock(mutex);
        turns.clear();
        return silent;
    }
    // Identified, and nothing received yet.
    void ready() {
        ASSERT_TRUE(identified());
        rig.settle();
        rig.sim().clearReceived();
    }
    bool play(const std::string& path) {
        chosen = path;
        if (!ConsoleRig::waitFor([&] { return rig.files().sendFileButton->isEnabled(); }, kHang))
            return false;
        rig.files().sendFileButton->click();
        return !rig.files().sendFileButton->isEnabled(); // off from the click (a short file may be done)
    }
    std::string waitReceived(const std::string& wire) {
        ConsoleRig::waitFor([&] { return rig.sim().received().size() >= wire.size(); }, kHang);
        const Bytes got = rig.sim().received();
        return {got.begin(), got.end()};
    }
    bool waitEnd() {
        return ConsoleRig::waitFor([&] { return !playback().playing(); }, kHang);
    }
    // Lines of the device's own. With a silence too long ever to pass, each is a turn of the
    // reader's and takes one file line: the file goes on only as they come.
    void deviceSends(int lines) {
        std::string traffic;
        for (int k = 0; k < lines; ++k)
            traffic += framed("$GPZDA," + std::to_string(k));
        rig.sim().sendRaw(traffic);
    }
};

class PlaybackEndToEnd : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("mux-e2e-play-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
        return (dir / name).string();
    }
    std::string numbered(int lines) {
        std::string content;
        for (int i = 0; i < lines; ++i)
            content += framed("$GPXXX," + std::to_string(i));
        return write("numbered.log", content);
    }
};

TEST_F(PlaybackEndToEnd, LogsArriveByteForByteInBothPrograms) {
    std::vector<std::string> logs{
        write("stamped.log",
              "# a logger's\r\n12:00:01 $GPRMC,1,2*00\r\n\r\n!AIVDM,1\r\nnone\r\nx!y$GPGGA\r\n"),
        write("cr.log", "$A,1\r$B,2\r\r"), write("single.log", "junk $GPGGA,no,separator")};
    // The recorded logs go through one program; the playback step is the same object in both.
    const fs::path folder = fs::path(MUX_SHARED_DATA) / "nmea";
    if (!fs::is_directory(folder))
        std::printf("no sample logs at %s: the written ones only\n", folder.c_str());
    for (MuxFamily family : {MuxFamily::Legacy, MuxFamily::ThirdGeneration}) {
        Player p({.family = family, .tune = [](MuxOptions& o) { o.silence = 5ms; }});
        p.ready();
        if (family == MuxFamily::ThirdGeneration && fs::is_directory(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                logs.push_back(entry.path().string());
        for (const std::string& log : logs) {
            SCOPED_TRACE(log);
            ASSERT_TRUE(p.play(log));
            ASSERT_TRUE(p.waitEnd());
            EXPECT_EQ(p.waitReceived(wireFor(log)), wireFor(log));
            p.rig.sim().clearReceived();
        }
    }
}

// The device's own lines pace the busy case: its silence is too long ever to pass, so every turn
// reads a line. The silent device sends none once the rig's own lines are read, so every turn is
// a silence. Each turn is watched from before the file starts, so the counts are exact.
TEST_F(PlaybackEndToEnd, TwentyLinesAfterSilenceOneForEachLineFromABusyDevice) {
    const std::string log = numbered(120); // 121 pieces: the empty one after the last line feed too
    for (double traffic : {0.0, 400.0}) {
        SCOPED_TRACE(traffic);
        const auto silence = traffic > 0 ? std::chrono::milliseconds(1h) : 50ms;
        Player p({.family = MuxFamily::Model42, .traffic = traffic, .tune = [silence](MuxOptions& o) {
                      o.silence = silence;
                  }});
        p.ready();
        p.watchTurns();
        if (traffic == 0) {
            ASSERT_TRUE(p.waitSilentTurn());
        }
        ASSERT_TRUE(p.play(log));
        ASSERT_TRUE(p.waitEnd());
        EXPECT_EQ(p.waitReceived(wireFor(log)), wireFor(log));
        // The turn that ended the file is told to the watcher after the end is seen here.
        ASSERT_TRUE(p.playback().lastEnd());
        const uint64_t ended = p.playback().lastEnd()->lines;
        ASSERT_TRUE(ConsoleRig::waitFor(
            [&] {
                std::lock_guard lock(p.mutex);
                return !p.turns.empty() && p.turns.back().taken == ended;
            },
            kHang));

        std::lock_guard lock(p.mutex);
        uint64_t before = 0;
        int lineTurns = 0, silentTurns = 0;
        for (const Turn& t : p.turns) {
            const uint64_t limit = t.lineRead ? 1 : 20; // file lines after a line read, after a silence
            if (t.inPlay)
                EXPECT_EQ(t.taken - before, limit); // the whole allowance, while lines remain
            else
                EXPECT_LE(t.taken - before, limit);
            (t.lineRead ? lineTurns : silentTurns) += t.taken > before;
            before = t.taken;
        }
        EXPECT_EQ(before, 121u);
        if (traffic > 0) {
            EXPECT_EQ(lineTurns, 121); // one piece for each line the device sent
            EXPECT_EQ(silentTurns, 0);
        } else {
            EXPECT_EQ(lineTurns, 0);
            EXPECT_EQ(silentTurns, 7); // twenty a silence: 6 x 20, then the last piece
        }
    }
}

TEST_F(PlaybackEndToEnd, ButtonComesBackAtTheNextTickAndADialogCancelledChangesNothing) {
    // Ticks by hand; the file goes on only as the device's lines come, so it plays at the tick.
    Player p({.tune = [](MuxOptions& o) { o.sanityInterval = o.silence = 1h; }});
    QPushButton* button = p.rig.files().sendFileButton;
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return p.rig.ctl().hasConnection(); }, kHang));
    EXPECT_FALSE(button->isEnabled());
    p.rig.ctl().sanityTimer();
    for (const std::optional<std::string>& choice :
         {std::optional<std::string>(), std::optional(dir.string())}) {
        p.chosen = choice; // cancelled, then a folder
        button->click();
        EXPECT_FALSE(p.playback().playing());
        EXPECT_TRUE(button->isEnabled());
    }
    EXPECT_EQ(p.asked, std::vector(2, FileDialogRequest::Kind::Open));

    ASSERT_TRUE(p.play(numbered(30)));
    p.rig.ctl().sanityTimer();
    EXPECT_FALSE(button->isEnabled()); // each tick while playing leaves it off
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return p.playback().inPlay(); }, kHang));
    p.deviceSends(40);
    ASSERT_TRUE(p.waitEnd());
    EXPECT_FALSE(button->isEnabled()); // not at once ...
    p.rig.ctl().sanityTimer();
    EXPECT_TRUE(button->isEnabled()); // ... but at the next tick
}

// A failed open is said on one sheet; a playback waits for the next port and goes on there, each
// line once, until it is stopped. Then the program's own events, and what it stores. The file goes
// on only as the device's lines come, so it is still in play when the port goes.
TEST_F(PlaybackEndToEnd, PortsFailAndComeBackUnderAPlaybackUntilItStops) {
    Player p(
        {.family = MuxFamily::Legacy, .selectPort = false, .tune = [](MuxOptions& o) { o.silence = 1h; }});
    EXPECT_FALSE(p.rig.ctl().hasConnection()); // nothing selected, nothing opened
    QComboBox* ports = p.rig.device().portComboBox;
    ports->addItem("/nonexistent/tty");
    auto choose = [&](const std::string& port) {
        ports->setCurrentIndex(ports->findText(QString::fromStdString(port)));
        emit ports->activated(ports->currentIndex());
    };
    choose(p.rig.sim().portPath());
    p.ready();
    const std::string log = numbered(400);
    ASSERT_TRUE(p.play(log));
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return p.playback().inPlay(); }, kHang));
    p.deviceSends(40);
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return p.rig.sentLines().size() >= 40; }, kHang));
    choose("/nonexistent/tty");
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return !p.rig.alerts.empty(); }, kHang));
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return !p.rig.ctl().hasConnection(); }, kHang));
    EXPECT_EQ(p.rig.alerts[0].kind, AlertRequest::Kind::Sheet);
    EXPECT_EQ(p.rig.alerts[0].message, Alert::localizedStringWithKey("NSUnableToOpenPort"));
    EXPECT_EQ(p.rig.alerts[0].informativeText, "/nonexistent/tty");
    EXPECT_FALSE(p.rig.config().modeComboBox->isEnabled());
    const uint64_t paused = p.taken();
    EXPECT_TRUE(p.playback().playing());

    choose(p.rig.sim().portPath()); // opened and queried anew
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return p.rig.ctl().hasConnection(); }, kHang));
    p.deviceSends(60); // after the open, which drops what waited
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return p.taken() >= paused + 60; }, kHang));
    EXPECT_TRUE(p.rig.files().stopSendingButton->isEnabled());
    p.rig.files().stopSendingButton->click();
    EXPECT_FALSE(p.playback().playing());
    EXPECT_FALSE(p.rig.files().stopSendingButton->isEnabled());
    ASSERT_TRUE(p.identified());
    p.rig.settle();
    ASSERT_TRUE(p.playback().lastEnd());
    EXPECT_TRUE(p.playback().lastEnd()->stopped);
    std::string wire; // each line once, in order, up to the stop (the new port's queries aside)
    for (const std::string& line : p.rig.sentLines())
        if (!line.starts_with("$PQVX"))
            wire += line;
    EXPECT_EQ(size_t(std::count(wire.begin(), wire.end(), '\n')), p.playback().lastEnd()->lines);
    EXPECT_TRUE(wireFor(log).starts_with(wire));
    EXPECT_LT(wire.size(), wireFor(log).size());
    EXPECT_EQ(p.rig.monitor().count("#### Open "), 2); // each choice opens once
    EXPECT_EQ(p.rig.alerts.size(), 1u);

    p.rig.ctl().applicationWillSleep(); // no Bluetooth: sleep changes nothing
    EXPECT_EQ(p.rig.terminations, 0);
    p.rig.win().close();
    EXPECT_EQ(p.rig.terminations, 1);
    p.rig.ctl().applicationWillTerminate();
    Settings::setStorePath(p.rig.storePath); // read back from the file
    EXPECT_EQ(Settings::text("serialPort"), p.rig.sim().portPath());
    EXPECT_EQ(Settings::text("rate"), "4800");
    EXPECT_EQ(Settings::text("tcpipServerPort"), "2114");
    EXPECT_EQ(Settings::boolean("tcpipServerEnable"), false);
    EXPECT_EQ(Settings::text("appVersion"), Alert::localizedStringWithKey("CFBundleGetInfoString"));
}

TEST_F(PlaybackEndToEnd, ARecordingHoldsTheLinesAsReadPlaysBackToThemAndAFullDiskEndsIt) {
    std::mutex mutex;
    std::string read; // every line the reader read, as it read it (outlives the reader)
    Player p({.traffic = 300});
    p.rig.core().reader().addLineObserver([&](const Bytes& line) {
        std::lock_guard lock(mutex);
        read.append(line.begin(), line.end());
    });
    p.ready();
    const std::string path = (dir / "recording.log").string();
    p.chosen = path;
    QPushButton* record = p.rig.files().recordButton;
    record->click();
    EXPECT_EQ(p.asked, std::vector{FileDialogRequest::Kind::Save});
    const std::string bad = "$GPXDR,bad*00\r\n";
    p.rig.sim().sendRaw(bad);
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return p.rig.core().recorder().status().lines >= 60; }, kHang));
    record->click();
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return !p.rig.core().recorder().status().writing; }, kHang));
    p.rig.ctl().updateFiles();
    const auto status = p.rig.core().recorder().status();
    EXPECT_TRUE(p.rig.files().recordStatus->text().contains(QLocale().toString(qulonglong(status.lines))));

    std::ifstream file(path, std::ios::binary);
    const std::string recording{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(recording.find(bad), std::string::npos); // a bad checksum is recorded too
    // As read, none left out in between. The reader hands a line to the recording before the
    // test's own observer: the last one recorded may not be in `read` yet.
    EXPECT_TRUE(ConsoleRig::waitFor(
        [&] {
            std::lock_guard lock(mutex);
            return read.find(recording) != std::string::npos;
        },
        kHang));
    EXPECT_TRUE(recording.ends_with("\r\n"));

    p.rig.sim().clearReceived();
    ASSERT_TRUE(p.play(path));
    ASSERT_TRUE(p.waitEnd());
    std::string expected; // each line with its own CR before the CR LF the playback appends
    for (size_t at = 0, end; (end = recording.find("\r\n", at)) != std::string::npos; at = end + 2)
        expected += recording.substr(at, end - at) + "\r\r\n";
    EXPECT_EQ(p.waitReceived(expected), expected);

    p.chosen = "/dev/full";
    record->click();
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return !p.rig.alerts.empty(); }, kHang));
    EXPECT_EQ(p.rig.alerts[0].kind, AlertRequest::Kind::Sheet);
    EXPECT_NE(p.rig.alerts[0].message.find(std::strerror(ENOSPC)), std::string::npos);
    EXPECT_FALSE(p.rig.core().recorder().status().recording);
    EXPECT_EQ(record->text().toStdString(), Alert::localizedStringWithKey("NSRecordFile"));
}

} // namespace

namespace {

// The status says what was sent and what was skipped, not what the file was split into (an empty
// file is no line played; a comment line is not sent); the dialogs open where the last file was
// chosen, and Send File offers the usual log names.
TEST_F(PlaybackEndToEnd, StatusSaysWhatWasSentAndTheDialogsRememberTheFolder) {
    Player p({.family = MuxFamily::ThirdGeneration});
    p.ready();
    QLabel* status = p.rig.files().sendStatus;
    auto said = [](const char* key, uint64_t n) {
        return QString::fromStdString(Alert::localizedStringWithKey(key))
            .arg(QLocale().toString(qulonglong(n)));
    };
    ASSERT_TRUE(p.play(write("empty.log", "")));
    ASSERT_TRUE(p.waitEnd());
    p.rig.ctl().updateFiles();
    EXPECT_EQ(status->text(), said("NSSendDone", 0));

    std::string log;
    for (int i = 0; i < 14; ++i)
        log += i % 3 == 0 && i < 15 ? "# comment " + std::to_string(i) + "\n"
                                    : framed("$GPXXX," + std::to_string(i));
    const std::string path = write("fourteen.log", log); // 5 comments, 9 sentences
    ASSERT_TRUE(p.play(path));
    ASSERT_TRUE(p.waitEnd());
    p.rig.ctl().updateFiles();
    EXPECT_EQ(status->text(), said("NSSendDone", 9) + " · " + said("NSSendSkipped", 5));

    ASSERT_GE(p.requests.size(), 2u);
    EXPECT_EQ(p.requests[0].folder, "");           // nothing chosen yet: the current folder
    EXPECT_EQ(p.requests[1].folder, dir.string()); // where the first file was chosen
    ASSERT_EQ(p.requests[1].filters.size(), 2u);
    EXPECT_TRUE(p.requests[1].filters[0].ends_with("(*.log *.nmea *.txt)"));
    EXPECT_TRUE(p.requests[1].filters[1].ends_with("(*)"));
    p.chosen = std::nullopt;
    p.rig.files().recordButton->click(); // a cancelled Record asks in the same folder
    EXPECT_EQ(p.requests.back().kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(p.requests.back().folder, dir.string());
    EXPECT_EQ(Settings::text("logFileFolder"), dir.string());
}

} // namespace
