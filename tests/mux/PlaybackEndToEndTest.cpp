// Send File and Record against the simulated device: what reaches the device byte for byte, the
// pace set by the device's traffic, the button, a port closed halfway, a stop, and a recording
// played back.

#include "nav/NMEASimulator.h"
#include "tests/mux/Rig.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <span>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The turns the reader took while a playback ran: whether it read a line, the file lines taken
// once the playback's step was done, and whether the file was still in play then.
struct Turn {
    bool lineRead;
    uint64_t taken;
    bool inPlay;
};

struct Player {
    std::optional<std::string> chosen;
    std::vector<FileDialogRequest> asked;
    std::mutex mutex;
    std::vector<Turn> turns;
    Rig rig;

    explicit Player(RigOptions o, std::function<void(MuxOptions&)> tune = {})
        : rig(o.withTune([this, tune](MuxOptions& mo) {
              mo.chooseFile = [this](const FileDialogRequest& r) {
                  asked.push_back(r);
                  return chosen;
              };
              if (tune)
                  tune(mo);
          })) {}
    Playback& playback() { return rig.ctl().playback(); }
    uint64_t taken() {
        if (auto p = playback().progress())
            return p->taken;
        return playback().lastEnd() ? playback().lastEnd()->lines : 0;
    }
    void watchTurns() {
        rig.ctl().reader().addTurnObserver([this](bool lineRead) {
            std::lock_guard lock(mutex);
            turns.push_back({lineRead, taken(), playback().inPlay()});
        });
    }
    // Identified, the queries read by the device, and nothing received yet. (The monitor of a
    // device with traffic never rests: only what the device reads is waited for.)
    void ready() {
        ASSERT_TRUE(rig.waitIdentified());
        size_t seen = 0;
        auto quietSince = std::chrono::steady_clock::now();
        Rig::waitFor([&] {
            const size_t now = rig.sim().received().size();
            if (now != seen)
                seen = now, quietSince = std::chrono::steady_clock::now();
            return std::chrono::steady_clock::now() - quietSince > 100ms;
        });
        rig.sim().clearReceived();
    }
    bool play(const std::string& path) {
        chosen = path;
        if (!Rig::waitFor([&] { return rig.files().sendFileButton->isEnabled(); }))
            return false;
        rig.files().sendFileButton->click();
        return playback().playing();
    }
    bool waitReceived(const std::string& wire) {
        return Rig::waitFor([&] { return rig.sim().received().size() >= wire.size(); }, 10s);
    }
    bool waitEnd() {
        return Rig::waitFor([&] { return !playback().playing(); }, 10s);
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
    std::vector<std::string> samples;
    const fs::path folder = fs::path(MUX_SHARED_DATA) / "nmea";
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            samples.push_back(entry.path().string());
    else
        std::printf("no sample logs at %s: the written ones only\n", folder.c_str());
    for (auto [variant, family] : {std::pair{MuxVariant::Current, MuxFamily::ThirdGeneration},
                                   std::pair{MuxVariant::Legacy, MuxFamily::Legacy}}) {
        Player p(RigOptions::of(variant, family), [](MuxOptions& o) { o.silence = 5ms; });
        p.ready();
        if (variant == MuxVariant::Current)
            logs.insert(logs.end(), samples.begin(), samples.end());
        else
            logs.resize(3);
        for (const std::string& log : logs) {
            SCOPED_TRACE(log);
            const std::string wire = wireFor(log);
            ASSERT_TRUE(p.play(log));
            ASSERT_TRUE(p.waitEnd());
            ASSERT_TRUE(p.waitReceived(wire));
            const Bytes got = p.rig.sim().received();
            EXPECT_EQ(std::string(got.begin(), got.end()), wire);
            p.rig.sim().clearReceived();
        }
    }
}

TEST_F(PlaybackEndToEnd, TwentyLinesAfterSilenceOneForEachLineFromABusyDevice) {
    const std::string log = numbered(120);
    for (double traffic : {0.0, 400.0}) {
        SCOPED_TRACE(traffic);
        Player p(RigOptions::of(MuxVariant::Current, MuxFamily::Model42).withTraffic(traffic),
                 [](MuxOptions& o) { o.silence = 50ms; });
        p.ready();
        ASSERT_TRUE(p.play(log));
        ASSERT_TRUE(Rig::waitFor([&] { return p.playback().inPlay(); }));
        p.watchTurns();
        ASSERT_TRUE(p.waitEnd());
        ASSERT_TRUE(p.waitReceived(wireFor(log)));
        const Bytes got = p.rig.sim().received();
        EXPECT_EQ(std::string(got.begin(), got.end()), wireFor(log));

        std::lock_guard lock(p.mutex);
        ASSERT_GT(p.turns.size(), 2u);
        uint64_t before = p.turns[0].taken; // the first turn seen is where the count starts
        int lineTurns = 0, silentTurns = 0;
        for (const Turn& t : std::span(p.turns).subspan(1)) {
            const uint64_t limit = t.lineRead ? Playback::kAfterLine : Playback::kAfterSilence;
            if (t.inPlay)
                EXPECT_EQ(t.taken - before, limit); // the whole allowance, while lines remain
            else
                EXPECT_LE(t.taken - before, limit);
            (t.lineRead ? lineTurns : silentTurns) += t.taken > before;
            before = t.taken;
        }
        EXPECT_EQ(before, 121u); // and the empty piece after the last line feed
        if (traffic > 0) {
            EXPECT_GT(lineTurns, 50);
        } else {
            EXPECT_EQ(lineTurns, 0);
            EXPECT_GE(silentTurns, 4);
        }
    }
}

TEST_F(PlaybackEndToEnd, ButtonComesBackAtTheNextTickAndADialogCancelledChangesNothing) {
    Player p(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration),
             [](MuxOptions& o) { o.sanityInterval = 1h; }); // ticks by hand
    QPushButton* button = p.rig.files().sendFileButton;
    ASSERT_TRUE(Rig::waitFor([&] { return p.rig.ctl().hasConnection(); }));
    EXPECT_FALSE(button->isEnabled());
    p.rig.ctl().sanityTimer();
    ASSERT_TRUE(button->isEnabled());

    for (const std::optional<std::string>& choice :
         {std::optional<std::string>(), std::optional(dir.string())}) {
        p.chosen = choice; // cancelled, then a folder
        button->click();
        EXPECT_FALSE(p.playback().playing());
        EXPECT_TRUE(button->isEnabled());
    }
    ASSERT_EQ(p.asked.size(), 2u);
    EXPECT_EQ(p.asked[0].kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(p.asked[0].title, Alert::localizedStringWithKey("NSSendFile"));
    EXPECT_EQ(p.asked[0].button, Alert::localizedStringWithKey("NSSend"));

    ASSERT_TRUE(p.play(numbered(30)));
    EXPECT_FALSE(button->isEnabled());
    p.rig.ctl().sanityTimer();
    EXPECT_FALSE(button->isEnabled()); // each tick while playing leaves it off
    ASSERT_TRUE(p.waitEnd());
    p.rig.settle();
    EXPECT_FALSE(button->isEnabled()); // not at once ...
    p.rig.ctl().sanityTimer();
    EXPECT_TRUE(button->isEnabled()); // ... but at the next tick
}

// The toolkit's dialogs themselves: any one file, no filter, the localized title and button.
TEST_F(PlaybackEndToEnd, TheDialogsAskForAnyOneFileInTheUsersLanguage) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration));
    std::vector<std::string> seen;
    auto answer = [&](const char* title, const char* button, QFileDialog::FileMode mode) {
        QTimer::singleShot(0, [&, title, button, mode] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle().toStdString(), Alert::localizedStringWithKey(title));
            EXPECT_EQ(dialog->labelText(QFileDialog::Accept).toStdString(),
                      Alert::localizedStringWithKey(button));
            EXPECT_EQ(dialog->fileMode(), mode);
            EXPECT_LE(dialog->nameFilters().size(), 1); // none, or the toolkit's "All Files (*)"
            seen.push_back(title);
            dialog->reject();
        });
    };
    answer("NSSendFile", "NSSend", QFileDialog::ExistingFile);
    rig.ctl().onSendFile();
    answer("NSRecordFile", "NSRecord", QFileDialog::AnyFile);
    rig.ctl().onRecord();
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_FALSE(rig.ctl().playback().playing() || rig.ctl().recorder().status().recording);
}

// No port: the playback waits where it is, goes on on the next port, and a stop ends it there.
TEST_F(PlaybackEndToEnd, PausesWithoutAPortGoesOnOnTheNextOneAndStops) {
    Player p(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy), [](MuxOptions& o) { o.silence = 50ms; });
    p.ready();
    const std::string log = numbered(400);
    auto played = [&] { // the new port's queries aside
        std::string wire;
        for (const std::string& line : p.rig.sentLines())
            if (!line.starts_with("$PQVX"))
                wire += line;
        return wire;
    };
    ASSERT_TRUE(p.play(log));
    ASSERT_TRUE(Rig::waitFor([&] { return p.rig.sentLines().size() >= 40; }));
    QComboBox* ports = p.rig.device().portComboBox;
    ports->addItem("/nonexistent/tty0");
    ports->setCurrentIndex(ports->count() - 1);
    p.rig.ctl().onPortChange();
    ASSERT_TRUE(Rig::waitFor([&] { return !p.rig.ctl().hasConnection() && !p.rig.alerts.empty(); }));
    const uint64_t paused = p.taken();
    p.rig.settle();
    EXPECT_EQ(p.taken(), paused);
    EXPECT_TRUE(p.playback().playing());

    ports->setCurrentIndex(ports->findText(QString::fromStdString(p.rig.sim().portPath())));
    p.rig.ctl().onPortChange();
    ASSERT_TRUE(Rig::waitFor([&] { return p.taken() >= paused + 60; }));
    EXPECT_TRUE(p.rig.files().stopSendingButton->isEnabled());
    p.rig.files().stopSendingButton->click();
    EXPECT_FALSE(p.playback().playing());
    EXPECT_FALSE(p.rig.files().stopSendingButton->isEnabled());
    p.rig.settle();
    ASSERT_TRUE(p.playback().lastEnd() && p.playback().lastEnd()->stopped);
    const std::string wire = played(); // each line once, in order, up to the stop
    EXPECT_EQ(size_t(std::count(wire.begin(), wire.end(), '\n')), p.playback().lastEnd()->lines);
    EXPECT_TRUE(wireFor(log).starts_with(wire));
    EXPECT_LT(wire.size(), wireFor(log).size());
}

TEST_F(PlaybackEndToEnd, ARecordingHoldsTheLinesAsReadAndPlaysBackToThem) {
    Player p(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withTraffic(300));
    std::mutex mutex;
    std::string read; // every line the reader read, as it read it
    p.rig.ctl().reader().addLineObserver([&](const Bytes& line) {
        std::lock_guard lock(mutex);
        read.append(line.begin(), line.end());
    });
    p.ready();
    const std::string path = (dir / "recording.log").string();
    p.chosen = path;
    QPushButton* record = p.rig.files().recordButton;
    record->click();
    ASSERT_EQ(p.asked.size(), 1u);
    EXPECT_EQ(p.asked[0].kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(p.asked[0].title, Alert::localizedStringWithKey("NSRecordFile"));
    EXPECT_EQ(p.asked[0].button, Alert::localizedStringWithKey("NSRecord"));
    EXPECT_EQ(record->text().toStdString(), Alert::localizedStringWithKey("NSStopRecording"));
    const std::string bad = "$GPXDR,bad*00\r\n";
    p.rig.sim().sendRaw(bad);
    ASSERT_TRUE(Rig::waitFor([&] { return p.rig.ctl().recorder().status().lines >= 60; }));
    record->click();
    ASSERT_TRUE(Rig::waitFor([&] { return !p.rig.ctl().recorder().status().writing; }));
    p.rig.ctl().updateFiles();
    EXPECT_EQ(record->text().toStdString(), Alert::localizedStringWithKey("NSRecordFile"));
    const auto status = p.rig.ctl().recorder().status();
    EXPECT_TRUE(p.rig.files().recordStatus->text().contains(QLocale().toString(qulonglong(status.lines))));

    const std::string recording = contents(path);
    EXPECT_NE(recording.find(bad), std::string::npos); // a bad checksum is recorded too
    {
        std::lock_guard lock(mutex);
        EXPECT_NE(read.find(recording), std::string::npos); // as read, none left out in between
    }
    EXPECT_TRUE(recording.ends_with("\r\n"));

    p.rig.sim().clearReceived();
    ASSERT_TRUE(p.play(path));
    ASSERT_TRUE(p.waitEnd());
    std::string expected; // each line with its own CR before the CR LF the playback appends
    for (size_t at = 0, end; (end = recording.find("\r\n", at)) != std::string::npos; at = end + 2)
        expected += recording.substr(at, end - at) + "\r\r\n";
    ASSERT_TRUE(p.waitReceived(expected));
    const Bytes got = p.rig.sim().received();
    EXPECT_EQ(std::string(got.begin(), got.end()), expected);
}

TEST_F(PlaybackEndToEnd, AFullDiskEndsTheRecordingWithAMessage) {
    Player p(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withTraffic(300));
    ASSERT_TRUE(p.rig.waitIdentified());
    p.chosen = "/dev/full";
    p.rig.files().recordButton->click();
    ASSERT_TRUE(Rig::waitFor([&] { return !p.rig.alerts.empty(); }));
    EXPECT_EQ(p.rig.alerts[0].kind, AlertRequest::Kind::Sheet);
    EXPECT_NE(p.rig.alerts[0].message.find(std::strerror(ENOSPC)), std::string::npos);
    EXPECT_FALSE(p.rig.ctl().recorder().status().recording);
    EXPECT_EQ(p.rig.files().recordButton->text().toStdString(),
              Alert::localizedStringWithKey("NSRecordFile"));
}

} // namespace
