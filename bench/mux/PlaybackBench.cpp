// File playback. A 1 GB log (written here once, in the temporary folder) of sentences, and one of
// a single line with no separator at all: the time from Send File to the first line on the wire
// and the peak memory of playing all of it, through a port that only counts. Then the pace the
// playback takes against the simulated device: silent (twenty lines per read that times out,
// at the real five seconds) and busy (one line per line read).

#include "bench/chart/PeakMemory.h"
#include "bench/mux/DeviceTerminal.h"
#include "link/NMEA.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "sim/SimulatedMux.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t kGigabyte = 1ull << 30;

// A port that takes everything at once and counts it.
class CountingPort : public Serial {
public:
    unsigned writePort(const uint8_t*, size_t length) override {
        if (bytes == 0)
            first = Clock::now();
        bytes += length;
        return unsigned(length);
    }
    std::atomic<uint64_t> bytes{0};
    Clock::time_point first;
};

struct Log {
    std::string path;
    uint64_t lines = 0;
};

std::string logPath(bool singleLine) {
    return (fs::temp_directory_path() / (singleLine ? "bench_playback-line.log" : "bench_playback-1g.log"))
        .string();
}

// Sentences as a logger writes them (CR LF, now and then a comment), to a gigabyte; or one line
// of a gigabyte, a time stamp before its "$" and no separator anywhere.
Log gigabyteLog(bool singleLine) {
    std::string block, head, tail;
    if (singleLine) {
        block.assign(1 << 20, 'x');
        head = "12:00:01 $GPTXT,";
        tail = "*00";
    } else {
        for (int i = 0; block.size() < (1 << 20) - 200; ++i) {
            std::string s = "$GPRMC,1720" + std::to_string(10 + i % 50) +
                            ".00,A,4717.1047,N,00230.9854,W,6.1," + std::to_string(i % 360) +
                            ".5,061226,0.8,W,A";
            block += (i % 97 == 0 ? "# comment\r\n" : "") + s + NMEA::checkSumTail(s);
        }
    }
    const uint64_t blocks = kGigabyte / block.size();
    const Log log{logPath(singleLine),
                  singleLine ? 1 : blocks * uint64_t(std::count(block.begin(), block.end(), '\n')) + 1};
    std::error_code ignored;
    if (fs::file_size(log.path, ignored) == head.size() + blocks * block.size() + tail.size())
        return log;
    std::ofstream out(log.path, std::ios::binary | std::ios::trunc);
    out << head;
    for (uint64_t i = 0; i < blocks; ++i)
        out.write(block.data(), std::streamsize(block.size()));
    out << tail;
    return log;
}

// Plays the whole file through a counting port; the turns come as fast as they are taken.
uint64_t playThrough(const std::string& path, Clock::duration* firstLine = nullptr) {
    auto port = std::make_shared<CountingPort>();
    GPSTransfer sender;
    sender.setPort(port);
    Playback playback(sender);
    const auto start = Clock::now();
    if (!playback.start(path))
        return 0;
    while (playback.playing()) {
        playback.turn(false);
        if (firstLine != nullptr && port->bytes > 0) {
            *firstLine = port->first - start;
            break;
        }
        if (!playback.inPlay())
            std::this_thread::sleep_for(50us);
    }
    return port->bytes;
}

void FirstLineOfAGigabyteLog(benchmark::State& state) {
    const Log log = gigabyteLog(state.range(0) != 0);
    for (auto _ : state) {
        Clock::duration first{};
        playThrough(log.path, &first);
        state.counters["first_line_ms"] = std::chrono::duration<double, std::milli>(first).count();
    }
    state.SetLabel(state.range(0) != 0 ? "1 GB, one line" : "1 GB of sentences");
}
BENCHMARK(FirstLineOfAGigabyteLog)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole gigabyte played in a process of its own: its peak memory beyond an idle one.
void PlayingAGigabyteLog(benchmark::State& state) {
    const Log log = gigabyteLog(state.range(0) != 0);
    for (auto _ : state) {
        const auto start = Clock::now();
        const long busy = bench_support::jobPeakKiB("play", log.path);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const long idle = bench_support::jobPeakKiB("idle", log.path);
        state.counters["peak_MiB"] = busy < 0 || idle < 0 ? -1.0 : double(busy - idle) / 1024.0;
        state.counters["seconds"] = seconds;
        state.counters["lines_per_s"] = double(log.lines) / seconds;
    }
    state.SetLabel(state.range(0) != 0 ? "1 GB, one line" : "1 GB of sentences");
}
BENCHMARK(PlayingAGigabyteLog)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

const bench_support::PeakJob jobs[] = {
    {"play", [](const std::string& path) { playThrough(path); }},
};
MUX_BENCH_PEAK_JOBS();

void runFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// Lines a second reaching the simulated device while a log plays, against its own traffic.
void PlaybackIntoTheDevice(benchmark::State& state) {
    const long traffic = long(state.range(0));
    SimOptions so;
    so.linesPerSecond = double(traffic);
    so.statusSeconds = 0;
    SimulatedMux sim(so);
    if (!sim.start()) {
        state.SkipWithError(sim.lastError().c_str());
        return;
    }
    Settings::setStorePath((fs::temp_directory_path() / "bench_playback-prefs.plist").string());
    Alert::setResponder([](const AlertRequest&) { return 0; });
    MuxOptions mo;
    mo.startDelay = 0ms;
    mo.sanityInterval = 200ms; // identified quickly; no queries once it is
    mo.extraPorts = {sim.portPath()};
    mo.selectPort = sim.portPath();
    mo.terminate = [] {};
    MuxController ctl(mo);
    ctl.awakeFromNib();
    while (!ctl.core().identity())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    runFor(500ms);
    const auto period = traffic == 0 ? 10500ms : 3000ms; // silent: two five-second silences
    for (auto _ : state) {
        ctl.core().playback().start(gigabyteLog(false).path);
        const unsigned long before = sim.receivedLines();
        runFor(period);
        const double lines = double(sim.receivedLines() - before);
        ctl.core().playback().stop();
        state.counters["device_lines_per_s"] = double(traffic);
        state.counters["played_per_s"] = lines / std::chrono::duration<double>(period).count();
    }
    state.SetLabel(traffic == 0 ? "silent device, 5 s silence" : "busy device");
}
BENCHMARK(PlaybackIntoTheDevice)
    ->Arg(0)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (bool single : {false, true}) // two gigabytes are not left behind
        fs::remove(logPath(single));
    return 0;
}
