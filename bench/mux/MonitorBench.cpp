// The monitor as a user gets it. PaintedMonitor shows the window (offscreen platform unless
// QT_QPA_PLATFORM says otherwise), lets the monitor paint at the screen's refresh rate, and feeds
// the device's terminal at a rate raised from run to run, until the console falls behind.
// DeviceToMonitor feeds as fast as the terminal takes with no window shown; MonitorMemory and
// AppendToEmptyPane are what the pane holds and costs per line.

#include "bench/mux/DeviceTerminal.h"
#include "link/NMEA.h"
#include "mux/MonitorView.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
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

std::map<long, bool> gKeptUp; // rate -> the console kept up

// The device writes `rate` lines a second for two seconds, in a burst every millisecond; the
// window runs its event loop, painting as it does for a user.
void PaintedMonitor(benchmark::State& state) {
    Console& console = shownConsole();
    MonitorView& view = console.view();
    const long rate = long(state.range(0));
    const auto period = 2s;
    for (auto _ : state) {
        console.controller->onClear();
        const size_t shownBefore = view.lineCount();
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
        const long shownInTime = long(view.lineCount() - shownBefore);
        const long writtenInTime = written;
        stop = true;
        writer.join();
        runFor(300ms); // what was still on its way
        const long shownAtAll = long(view.lineCount() - shownBefore);
        drain.stop();

        const double lagSeconds = double(std::max(0L, writtenInTime - shownInTime)) / double(rate);
        const double asked = std::min(double(rate) * seconds, double(rate) * 2);
        const bool keptUp = double(writtenInTime) >= 0.97 * asked && lagSeconds < 0.1 &&
                            shownAtAll >= written &&
                            console.controller->monitor().feed().dropped() == droppedBefore;
        gKeptUp[rate] = keptUp;
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
    ->Arg(1000)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Arg(80000)
    ->Arg(160000)
    ->Arg(320000)
    ->Arg(640000)
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

} // namespace

int main(int argc, char** argv) {
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    long highest = 0;
    for (const auto& [rate, kept] : gKeptUp)
        if (kept)
            highest = std::max(highest, rate);
    if (!gKeptUp.empty())
        std::printf("Painted monitor: kept up with %ld lines a second at most (refresh %.0f Hz)\n", highest,
                    QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->refreshRate() : 0.0);
    shownConsole().controller.reset(); // before the application object goes
    hiddenConsole().controller.reset();
    return 0;
}
