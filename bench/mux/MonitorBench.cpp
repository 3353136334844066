// The monitor as a user gets it. PaintedMonitor shows the window (offscreen platform unless
// QT_QPA_PLATFORM says otherwise), lets the monitor paint at the screen's refresh rate, and feeds
// the device's terminal at a rate raised from run to run, until the console falls behind: with
// the default view, with every option on (time, errors, sent, a filter every line passes), and
// with those and the Sentences tab in front. DeviceToMonitor feeds as fast as the terminal takes
// with no window shown; MonitorMemory and AppendToEmptyPane are what the pane holds and costs per
// line; MemoryOverLines is the process's memory after 100,000 and 2,000,000 lines from the
// terminal; Flood writes the terminal as fast as it takes for a minute with the window shown
// (run it alone: --benchmark_filter=Flood, so the peak is its own).

#include "bench/mux/DeviceTerminal.h"
#include "link/NMEA.h"
#include "mux/MonitorView.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using bench::framed;
using Line = bench::DeviceTerminal;

const std::string kLine = framed("$GPRMC,172037.00,A,4717.1047,N,00230.9854,W,6.1,214.5,061226,0.8,W,A");

void runFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Console {
    Line line;
    std::unique_ptr<MuxController> controller;
    explicit Console(bool shown) {
        Settings::setStorePath("/tmp/bench_mux-prefs.plist");
        Alert::setResponder([](const AlertRequest&) { return 0; });
        MuxOptions options;
        options.variant = MuxVariant::Current;
        options.startDelay = 0ms;
        options.sanityInterval = 3600s; // no queries in between
        options.extraPorts = {line.slave};
        options.selectPort = line.slave;
        options.terminate = [] {};
        controller = std::make_unique<MuxController>(options);
        if (shown) {
            controller->window().show();
            controller->window().raise();
        }
        controller->awakeFromNib();
        while (!controller->hasConnection())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        runFor(100ms);
    }
    MonitorView& view() { return *controller->window().findChild<MonitorView*>("monitorTextView"); }
    // Lines the monitor has taken since the start (its scrollback keeps only the newest).
    uint64_t taken() const { return controller->monitor().scrollback().end(); }
    // 0: the default view; 1: every option on; 2: and the Sentences tab in front.
    void setView(int mode) {
        QWidget& w = controller->window();
        for (const char* name : {"timeButton", "errorsButton", "sentButton"})
            w.findChild<QCheckBox*>(name)->setChecked(mode > 0);
        w.findChild<QLineEdit*>("filterField")->setText(mode > 0 ? "--RMC" : "");
        w.findChild<QTabWidget*>("monitorTabs")->setCurrentIndex(mode == 2 ? 1 : 0);
        QApplication::processEvents();
    }
    QLabel* mark() { return controller->window().findChild<QLabel*>("overflowField1"); }
    // Feeds n lines, then an overflow reply that marks the end, and runs the window until it shows.
    void feed(int n) {
        line.write(framed("$PQVXOV,0"));
        while (!mark()->text().isEmpty())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::string batch;
        for (int i = 0; i < n; ++i)
            batch += kLine;
        batch += framed("$PQVXOV,1");
        std::thread writer([&] { line.write(batch); });
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            line.drain();
            if (!mark()->text().isEmpty())
                loop.quit();
        });
        check.start(2);
        loop.exec();
        writer.join();
    }
};

Console& shownConsole() {
    static Console c(true);
    return c;
}

Console& hiddenConsole() {
    static Console c(false);
    return c;
}

std::map<std::pair<int, long>, bool> gKeptUp; // view, rate -> the console kept up

// The device writes `rate` lines a second for two seconds, in a burst every millisecond; the
// window runs its event loop, painting as it does for a user.
void PaintedMonitor(benchmark::State& state) {
    Console& console = shownConsole();
    MonitorView& view = console.view();
    const long rate = long(state.range(0));
    const int mode = int(state.range(1));
    console.setView(mode);
    const auto period = 2s;
    for (auto _ : state) {
        console.controller->onClear();
        const uint64_t shownBefore = console.taken();
        const unsigned long paintsBefore = view.paints(), shapedBefore = view.linesShaped();
        const unsigned long waitsBefore = console.controller->core().reader().mainThreadWaits();
        const size_t droppedBefore = console.controller->monitor().feed().dropped();
        std::atomic<long> written{0};
        std::atomic<bool> stop{false};
        const auto start = Clock::now();
        std::thread writer([&] {
            while (!stop) {
                const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
                const long due = std::min<long>(long(elapsed * double(rate)), rate * 2) - written;
                std::string batch;
                for (long i = 0; i < due; ++i)
                    batch += kLine;
                console.line.write(batch);
                written += due;
                if (written >= rate * 2)
                    break;
                std::this_thread::sleep_for(1ms);
            }
        });
        QTimer drain;
        QObject::connect(&drain, &QTimer::timeout, [&] { console.line.drain(); });
        drain.start(50);
        runFor(std::chrono::duration_cast<std::chrono::milliseconds>(period));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const long shownInTime = long(console.taken() - shownBefore);
        const long writtenInTime = written;
        stop = true;
        writer.join();
        runFor(300ms); // what was still on its way
        const long shownAtAll = long(console.taken() - shownBefore);
        drain.stop();

        const double lagSeconds = double(std::max(0L, writtenInTime - shownInTime)) / double(rate);
        const double asked = std::min(double(rate) * seconds, double(rate) * 2);
        const bool keptUp = double(writtenInTime) >= 0.97 * asked && lagSeconds < 0.1 &&
                            shownAtAll >= written &&
                            console.controller->monitor().feed().dropped() == droppedBefore;
        gKeptUp[{mode, rate}] = keptUp;
        state.counters["asked_per_s"] = double(rate);
        state.counters["written_per_s"] = double(writtenInTime) / seconds;
        state.counters["shown_per_s"] = double(shownInTime) / seconds;
        state.counters["frames_per_s"] = double(view.paints() - paintsBefore) / seconds;
        state.counters["shaped_per_frame"] =
            double(view.linesShaped() - shapedBefore) / std::max(1.0, double(view.paints() - paintsBefore));
        state.counters["lag_ms"] = lagSeconds * 1000.0;
        state.counters["reader_waits"] =
            double(console.controller->core().reader().mainThreadWaits() - waitsBefore);
        state.counters["kept_up"] = keptUp ? 1 : 0;
    }
    console.controller->onClear();
}
BENCHMARK(PaintedMonitor)
    ->ArgsProduct({{1000, 10000, 40000, 80000, 160000, 320000, 640000}, {0, 1, 2}})
    ->ArgNames({"rate", "view"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// No window: as fast as the terminal takes lines.
void DeviceToMonitor(benchmark::State& state) {
    Console& console = hiddenConsole();
    MuxController& ctl = *console.controller;
    const bool running = state.range(0) != 0;
    if (ctl.monitor().running() != running)
        ctl.onStart();
    const int n = 20000;
    for (auto _ : state)
        console.feed(n);
    state.SetItemsProcessed(state.iterations() * n);
    state.SetLabel(running ? "monitor running, no window" : "monitor stopped, no window");
    ctl.onClear();
    if (!ctl.monitor().running())
        ctl.onStart();
}
BENCHMARK(DeviceToMonitor)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

size_t heapInUse() {
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd; // large blocks are mapped, not in the arena
}

// Heap the monitor holds per line after 100,000 lines, and what one append costs on a full pane.
void MonitorMemory(benchmark::State& state) {
    MuxController& ctl = *hiddenConsole().controller;
    ctl.onClear();
    const std::string text = kLine.substr(0, kLine.find('*'));
    const size_t before = heapInUse();
    const int n = 100000;
    for (int i = 0; i < n; ++i) {
        ctl.updateMonitor(text);
        if (i % 10000 == 0)
            ctl.flushMonitor(); // as the frames do: the queue holds what comes between two
    }
    ctl.flushMonitor();
    QApplication::processEvents();
    const size_t after = heapInUse();
    const QColor green(80, 220, 100);
    for (auto _ : state) {
        ctl.appendMonitor(text, green);
        ctl.appendMonitor("\n", green);
    }
    const MonitorView& view = hiddenConsole().view();
    state.counters["bytes_per_line"] = double(after - before) / n;
    state.counters["line_bytes"] = double(text.size() + 1);
    state.counters["view_bytes_per_line"] = double(view.bytesHeld()) / n;
    state.counters["lines_in_pane"] = double(view.lineCount());
    ctl.onClear();
}
BENCHMARK(MonitorMemory)->Iterations(2000);

// One line appended to an empty pane, for comparison with the full one above.
void AppendToEmptyPane(benchmark::State& state) {
    MuxController& ctl = *hiddenConsole().controller;
    const std::string text = kLine.substr(0, kLine.find('*'));
    const QColor green(80, 220, 100);
    int i = 0;
    for (auto _ : state) {
        if (++i % 1000 == 0) {
            state.PauseTiming();
            ctl.onClear();
            state.ResumeTiming();
        }
        ctl.appendMonitor(text, green);
        ctl.appendMonitor("\n", green);
    }
    ctl.onClear();
}
BENCHMARK(AppendToEmptyPane)->Iterations(2000);

// The process's memory now and at its peak, from the kernel's own count (KiB).
std::pair<long, long> residentKiB() {
    std::ifstream status("/proc/self/status");
    long now = 0, peak = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            now = std::atol(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            peak = std::atol(line.c_str() + 6);
    }
    return {now, peak};
}

// The console's memory after 100,000 lines from the terminal and after 2,000,000: the monitor
// keeps the newest 100,000, so the second is about the first.
void MemoryOverLines(benchmark::State& state) {
    Console& console = hiddenConsole();
    console.controller->onClear();
    for (auto _ : state) {
        for (int i = 0; i < 5; ++i)
            console.feed(20000);
        ::malloc_trim(0);
        const long after100k = residentKiB().first;
        for (int i = 0; i < 95; ++i)
            console.feed(20000);
        ::malloc_trim(0);
        const long after2m = residentKiB().first;
        state.counters["rss_100k_MiB"] = double(after100k) / 1024.0;
        state.counters["rss_2M_MiB"] = double(after2m) / 1024.0;
        state.counters["lines_kept"] = double(console.controller->monitor().scrollback().size());
    }
    console.controller->onClear();
}
BENCHMARK(MemoryOverLines)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The terminal written as fast as it takes for a minute, the window shown and painting.
void Flood(benchmark::State& state) {
    Console& console = shownConsole();
    console.setView(0);
    const auto period = std::chrono::seconds(state.range(0));
    for (auto _ : state) {
        const long startKiB = residentKiB().first;
        const uint64_t before = console.taken();
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            std::string batch;
            for (int i = 0; i < 1000; ++i)
                batch += kLine;
            while (!stop)
                console.line.write(batch);
        });
        QTimer drain;
        QObject::connect(&drain, &QTimer::timeout, [&] { console.line.drain(); });
        drain.start(50);
        runFor(std::chrono::duration_cast<std::chrono::milliseconds>(period));
        stop = true;
        writer.join();
        runFor(300ms);
        drain.stop();
        const auto [now, peak] = residentKiB();
        state.counters["lines"] = double(console.taken() - before);
        state.counters["start_MiB"] = double(startKiB) / 1024.0;
        state.counters["end_MiB"] = double(now) / 1024.0;
        state.counters["peak_MiB"] = double(peak) / 1024.0;
    }
    console.controller->onClear();
}
BENCHMARK(Flood)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::map<int, long> highest;
    for (const auto& [key, kept] : gKeptUp)
        if (kept)
            highest[key.first] = std::max(highest[key.first], key.second);
    static const char* const views[] = {"default view", "every option on", "every option on, Sentences tab"};
    for (const auto& [mode, rate] : highest)
        std::printf("Painted monitor, %s: kept up with %ld lines a second at most (refresh %.0f Hz)\n",
                    views[mode], rate,
                    QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->refreshRate() : 0.0);
    shownConsole().controller.reset(); // before the application object goes
    hiddenConsole().controller.reset();
    return 0;
}
