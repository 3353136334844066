// The playback step and the recording on their own, without a window: turns are called by hand,
// the port is a recorder of writes.

#include "mux/Playback.h"
#include "mux/Recorder.h"
#include "tests/mux/Rig.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;

class WirePort : public Serial {
public:
    unsigned writePort(const uint8_t* bytes, size_t length) override {
        std::lock_guard lock(mutex);
        wire.append(reinterpret_cast<const char*>(bytes), length);
        return unsigned(length);
    }
    std::string take() {
        std::lock_guard lock(mutex);
        return std::exchange(wire, {});
    }
    std::mutex mutex;
    std::string wire;
};

class PlaybackStep : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("mux-play-" + std::to_string(::getpid()));
    std::shared_ptr<WirePort> port = std::make_shared<WirePort>();
    GPSTransfer sender;
    void SetUp() override {
        fs::create_directories(dir);
        sender.setPort(port);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& content) {
        const fs::path path = dir / "log.nmea";
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    static uint64_t taken(const Playback& p) {
        if (auto progress = p.progress())
            return progress->taken;
        return p.lastEnd() ? p.lastEnd()->lines : 0;
    }
};

TEST_F(PlaybackStep, OneLineAfterALineTwentyAfterSilenceFromTheStartCharacter) {
    std::string file = "12:00:01 $GPRMC,1*00\n# comment\n\n!AIVDM,1*00\r\nnoise!x$GPGGA,2\nonly!here\n";
    for (int i = 0; i < 30; ++i)
        file += "$L" + std::to_string(i) + "\n";
    Playback playback(sender);
    ASSERT_TRUE(playback.start(write(file)));
    ASSERT_TRUE(Rig::waitFor([&] { return playback.inPlay(); }));
    std::string rest;
    for (int i = 16; i < 30; ++i)
        rest += "$L" + std::to_string(i) + "\r\n";
    const struct {
        bool lineRead;
        uint64_t taken;
        std::string wire;
        bool playing;
    } turns[] = {
        {true, 1, "$GPRMC,1*00\r\n", true},
        {true, 2, "", true}, // the comment uses its turn
        {false, 22,
         "!AIVDM,1*00\r\r\n$GPGGA,2\r\n!here\r\n$L0\r\n$L1\r\n$L2\r\n$L3\r\n$L4\r\n$L5\r\n$L6\r\n$L7\r\n$"
         "L8\r\n"
         "$L9\r\n$L10\r\n$L11\r\n$L12\r\n$L13\r\n$L14\r\n$L15\r\n",
         true},
        {false, 37, rest, false}, // 15 lines (the last one empty), then the end: released at once
        {false, 37, "", false},
    };
    for (const auto& t : turns) {
        playback.turn(t.lineRead);
        EXPECT_EQ(taken(playback), t.taken);
        EXPECT_EQ(port->take(), t.wire);
        EXPECT_EQ(playback.playing(), t.playing);
    }
    ASSERT_TRUE(playback.lastEnd());
    EXPECT_FALSE(playback.lastEnd()->failed || playback.lastEnd()->stopped);
}

TEST_F(PlaybackStep, ALineTooLongToHoldGoesOutWholeFromItsDollar) {
    const std::string sentence = "$GPTXT," + std::string(3 * NMEALogReader::kHeldLine, 'x') + "!*00";
    Playback playback(sender);
    ASSERT_TRUE(playback.start(write("junk!" + sentence))); // no separator: one line
    ASSERT_TRUE(Rig::waitFor([&] { return playback.inPlay(); }));
    playback.turn(true);
    EXPECT_EQ(port->take(), sentence + "\r\n");
    EXPECT_FALSE(playback.sendingLongLine());
    playback.turn(true);
    EXPECT_FALSE(playback.playing());
}

TEST_F(PlaybackStep, UnreadableStoppedAndFailingFilesEndCleanly) {
    Playback playback(sender);
    EXPECT_FALSE(playback.start((dir / "missing").string()));
    EXPECT_FALSE(playback.start(dir.string()));
    EXPECT_FALSE(playback.playing());
    EXPECT_FALSE(playback.lastEnd());
    // Endless and without a line end: read while it is asked for, and stopped at once.
    ASSERT_TRUE(playback.start("/dev/zero"));
    ASSERT_TRUE(Rig::waitFor([&] { return playback.progress() && playback.progress()->bytes > (8u << 20); }));
    EXPECT_TRUE(playback.progress()->preparing);
    playback.stop();
    EXPECT_FALSE(playback.playing());

    std::string file, played;
    for (int i = 0; i < 20000; ++i) {
        file += "$GPXXX," + std::to_string(i) + "\n";
        played += "$GPXXX," + std::to_string(i) + "\r\n";
    }
    const std::string path = write(file);
    ASSERT_TRUE(playback.start(path));
    EXPECT_FALSE(playback.start(path)); // one at a time
    ASSERT_TRUE(Rig::waitFor([&] { return playback.inPlay(); }));
    playback.turn(false);
    playback.stop();
    EXPECT_FALSE(playback.playing());
    playback.turn(false);
    EXPECT_EQ(port->take().size(), 20 * std::string("$GPXXX,10\r\n").size() - 10);
    EXPECT_TRUE(playback.lastEnd() && playback.lastEnd()->stopped && playback.lastEnd()->lines == 20);

    // The file turns unreadable past its first 100 000 bytes: what was read goes out, then it ends.
    Playback failing(sender, [](int fd, void* buffer, size_t length, uint64_t offset) -> ssize_t {
        if (offset >= 100000) {
            errno = EIO;
            return -1;
        }
        return ::pread(fd, buffer, std::min<uint64_t>(length, 100000 - offset), off_t(offset));
    });
    ASSERT_TRUE(failing.start(path));
    ASSERT_TRUE(Rig::waitFor([&] { return failing.inPlay(); }));
    while (failing.playing())
        failing.turn(false);
    const std::string wire = port->take();
    EXPECT_TRUE(failing.lastEnd() && failing.lastEnd()->failed);
    EXPECT_GT(wire.size(), 100000u);
    EXPECT_LT(wire.size(), played.size());
    EXPECT_TRUE(wire.ends_with("\r\n") && played.starts_with(wire)); // whole lines, in order
}

// Disk full or a stick pulled: the writer stops, the file keeps its whole lines, the end says why.
TEST(Recording, KeepsWhatWasWrittenUpToAFailedWrite) {
    const fs::path path = fs::temp_directory_path() / ("mux-rec-" + std::to_string(::getpid()));
    const std::string line = "$GPRMC,1,2,3*00\r\n";
    {
        Recorder recorder;
        std::vector<Recorder::End> ends;
        ASSERT_FALSE(recorder.start(path.string(), [&](const Recorder::End& e) { ends.push_back(e); }));
        for (int i = 0; i < 100; ++i)
            recorder.line(Bytes(line.begin(), line.end()));
        recorder.stop();
        recorder.line(Bytes(line.begin(), line.end())); // after the stop: not taken
        recorder.finish();
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].lines, 100u);
        EXPECT_TRUE(ends[0].error.empty());
        EXPECT_EQ(fs::file_size(path), 100 * line.size());
    }
    // A file size limit stands in for a full disk: the writes past it fail.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Recorder recorder;
    std::vector<Recorder::End> ends;
    ASSERT_FALSE(recorder.start(path.string(), [&](const Recorder::End& e) { ends.push_back(e); }));
    for (int i = 0; i < 100; ++i)
        recorder.line(Bytes(line.begin(), line.end()));
    recorder.finish(); // ends on its own at the failure
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].error, std::strerror(EFBIG));
    EXPECT_EQ(ends[0].lines, 1000 / line.size());
    EXPECT_EQ(fs::file_size(path), ends[0].lines * line.size()); // whole lines only
    EXPECT_FALSE(recorder.status().recording);
    EXPECT_EQ(recorder.status().lines, ends[0].lines);
    recorder.line(Bytes(line.begin(), line.end()));
    EXPECT_EQ(recorder.status().lines, ends[0].lines);
    fs::remove(path);
    EXPECT_TRUE(Recorder().start((path / "no" / "folder").string(), {}).has_value());
}

} // namespace
