// The playback step and the recording on their own, without a window: turns are called by hand,
// the port keeps what is written.

#include "mux/Playback.h"
#include "mux/Recorder.h"
#include "tests/mux/ConsoleRig.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/resource.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Waits here end at an event; their bound is one that only a hang reaches.
constexpr auto kHang = 60s;

class WirePort : public Serial {
public:
    unsigned writePort(const uint8_t* bytes, size_t length) override {
        wire.append(reinterpret_cast<const char*>(bytes), length);
        return unsigned(length);
    }
    std::string wire; // written by the test's own thread only
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
        std::ofstream(dir / "log.nmea", std::ios::binary) << content;
        return (dir / "log.nmea").string();
    }
};

TEST_F(PlaybackStep, ALineTooLongToHoldGoesOutWholeFromItsDollar) {
    const std::string sentence = "$GPTXT," + std::string(3 * NMEALogReader::kHeldLine, 'x') + "!*00";
    Playback playback(sender);
    ASSERT_TRUE(playback.start(write("junk!" + sentence))); // no separator: one line
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return playback.inPlay(); }, kHang));
    playback.turn(true);
    EXPECT_EQ(port->wire, sentence + "\r\n");
    playback.turn(true);
    EXPECT_FALSE(playback.playing());
}

TEST_F(PlaybackStep, UnreadableEndlessAndFailingFilesEndCleanly) {
    Playback playback(sender);
    EXPECT_FALSE(playback.start((dir / "missing").string()));
    EXPECT_FALSE(playback.start(dir.string()));
    EXPECT_FALSE(playback.playing());
    EXPECT_FALSE(playback.lastEnd());
    // Endless and without a line end: read while it is asked for, and stopped at once.
    ASSERT_TRUE(playback.start("/dev/zero"));
    ASSERT_TRUE(ConsoleRig::waitFor(
        [&] { return playback.progress() && playback.progress()->bytes > (8u << 20); }, kHang));
    EXPECT_TRUE(playback.progress()->preparing);
    playback.stop();
    EXPECT_FALSE(playback.playing());

    // Past its first 100 000 bytes the file cannot be read: what was read goes out, then it ends.
    std::string file, played;
    for (int i = 0; i < 20000; ++i) {
        file += "$GPXXX," + std::to_string(i) + "\n";
        played += "$GPXXX," + std::to_string(i) + "\r\n";
    }
    Playback failing(sender, [](int fd, void* buffer, size_t length, uint64_t offset) -> ssize_t {
        if (offset >= 100000) {
            errno = EIO;
            return -1;
        }
        return ::pread(fd, buffer, std::min<uint64_t>(length, 100000 - offset), off_t(offset));
    });
    ASSERT_TRUE(failing.start(write(file)));
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return failing.inPlay(); }, kHang));
    while (failing.playing())
        failing.turn(false);
    ASSERT_TRUE(failing.lastEnd());
    EXPECT_TRUE(failing.lastEnd()->failed);
    EXPECT_GT(port->wire.size(), 100000u);
    EXPECT_LT(port->wire.size(), played.size());
    EXPECT_TRUE(port->wire.ends_with("\r\n"));   // whole lines ...
    EXPECT_TRUE(played.starts_with(port->wire)); // ... in order
}

// A file cut short while it plays says so, with the lines sent; a stop while a long line is still
// going out is a stop in progress until the line's write returns.
TEST_F(PlaybackStep, ACutShortFileAndAStopDuringALongLineAreToldAsTheyAre) {
    std::string file;
    for (int i = 0; i < 40000; ++i) // beyond one block of the reader's
        file += "$GPXXX," + std::to_string(i) + "\n";
    const std::string path = write(file);
    Playback cut(sender);
    ASSERT_TRUE(cut.start(path));
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return cut.inPlay() && cut.progress()->total; }));
    EXPECT_EQ(*cut.progress()->total, 40001u);
    fs::resize_file(path, file.size() / 2);
    while (cut.playing())
        cut.turn(false);
    ASSERT_TRUE(cut.lastEnd());
    EXPECT_TRUE(cut.lastEnd()->shortened);
    EXPECT_FALSE(cut.lastEnd()->failed);
    EXPECT_LT(cut.lastEnd()->sent, 40000u);

    class GatedPort : public Serial {
    public:
        unsigned writePort(const uint8_t*, size_t length) override {
            std::unique_lock lock(mutex);
            writing = true;
            wake.notify_all();
            wake.wait(lock, [&] { return open; });
            return unsigned(length);
        }
        std::mutex mutex;
        std::condition_variable wake;
        bool writing = false, open = false;
    };
    auto gated = std::make_shared<GatedPort>();
    sender.setPort(gated);
    Playback playback(sender);
    ASSERT_TRUE(playback.start(write("$GPTXT," + std::string(3 * NMEALogReader::kHeldLine, 'x'))));
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return playback.inPlay(); }));
    std::thread reader([&] { playback.turn(true); });
    {
        std::unique_lock lock(gated->mutex);
        gated->wake.wait(lock, [&] { return gated->writing; });
    }
    playback.stop();
    EXPECT_TRUE(playback.stopping()); // the device has not taken the line's piece yet
    {
        std::lock_guard lock(gated->mutex);
        gated->open = true;
    }
    gated->wake.notify_all();
    reader.join();
    EXPECT_FALSE(playback.stopping());
    ASSERT_TRUE(playback.lastEnd());
    EXPECT_TRUE(playback.lastEnd()->stopped);
}

// Put on the medium after every batch: the recording still holds every line, in order.
TEST(Recording, SyncedAlongTheWayKeepsEveryLine) {
    const fs::path path = fs::temp_directory_path() / ("mux-sync-" + std::to_string(::getpid()));
    Recorder recorder(std::chrono::milliseconds(1), std::chrono::milliseconds(0));
    std::vector<Recorder::End> ends;
    ASSERT_FALSE(recorder.start(path.string(), [&](const Recorder::End& e) { ends.push_back(e); }));
    std::string all;
    for (int i = 0; i < 2000; ++i) {
        const std::string line = "$GPZDA," + std::to_string(i) + "*00\r\n";
        recorder.line(Bytes(line.begin(), line.end()));
        all += line;
    }
    recorder.stop();
    recorder.finish();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].error, "");
    EXPECT_EQ(ends[0].lines, 2000u);
    EXPECT_EQ(testing_support::slurp(path), all);
    fs::remove(path);
}

// A file size limit stands in for a full disk: the writer stops at the failed write, the file
// keeps its whole lines, and the end says why.
TEST(Recording, KeepsTheWholeLinesWrittenUpToAFailedWrite) {
    const fs::path path = fs::temp_directory_path() / ("mux-rec-" + std::to_string(::getpid()));
    const std::string line = "$GPRMC,1,2,3*00\r\n";
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
    EXPECT_EQ(fs::file_size(path), ends[0].lines * line.size());
    recorder.line(Bytes(line.begin(), line.end())); // over: nothing more is taken
    EXPECT_FALSE(recorder.status().recording);
    EXPECT_EQ(recorder.status().lines, ends[0].lines);
    fs::remove(path);
    EXPECT_TRUE(Recorder().start((path / "no" / "folder").string(), {}).has_value());
}

} // namespace
