// Lines per second from the device's terminal to the monitor, with the monitor running and
// stopped, and what the monitor holds per line.

#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include "mux/MonitorView.h"
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::string framed(const std::string& sentence) {
    return sentence + NMEA::checkSumTail(sentence);
}

const std::string kLine = framed("$GPRMC,172037.00,A,4717.1047,N,00230.9854,W,6.1,214.5,061226,0.8,W,A");

// A pseudo-terminal whose far end the benchmark writes as fast as the console reads.
struct Line {
    int master = -1;
    std::string slave;
    Line() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        slave = ptsname(master);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    ~Line() { close(master); }
    void write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += size_t(n);
            else
                std::this_thread::sleep_for(1ms);
        }
    }
    // Discards what the console writes (its queries), so the terminal never fills.
    void drain() {
        char buffer[4096];
        int flags = fcntl(master, F_GETFL);
        fcntl(master, F_SETFL, flags | O_NONBLOCK);
        while (::read(master, buffer, sizeof buffer) > 0) {
        }
        fcntl(master, F_SETFL, flags);
    }
};

struct Console {
    Line line;
    std::unique_ptr<MuxController> controller;
    Console() {
        Settings::setStorePath("/tmp/bench_mux-prefs.plist");
        Alert::setResponder([](const AlertRequest&) { return 0; });
        MuxOptions options;
        options.variant = MuxVariant::Current;
        options.startDelay = 10ms;
        options.sanityInterval = 3600s; // no queries in between
        options.idleSleep = 10ms;
        options.extraPorts = {line.slave};
        options.selectPort = line.slave;
        options.terminate = [] {};
        controller = std::make_unique<MuxController>(options);
        controller->awakeFromNib();
        while (!controller->hasConnection())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QLabel* mark() { return controller->window().overflowFields[0]; }
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
        // The window waits in its event loop, as in the program; a timer looks for the mark.
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

size_t heapInUse() {
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd; // large blocks are mapped, not in the arena
}

Console& console() {
    static Console c;
    return c;
}

void setMonitor(bool running) {
    MuxController& ctl = *console().controller;
    if (ctl.startMonitor() != running)
        ctl.onStart();
}

void DeviceToMonitor(benchmark::State& state) {
    const bool running = state.range(0) != 0;
    setMonitor(running);
    const int n = 5000;
    for (auto _ : state)
        console().feed(n);
    state.SetItemsProcessed(state.iterations() * n);
    state.SetLabel(running ? "monitor running" : "monitor stopped");
    console().controller->onClear();
    setMonitor(true);
}
BENCHMARK(DeviceToMonitor)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

// Heap the monitor holds per line after 100,000 lines, and what one append costs on a full pane.
void MonitorMemory(benchmark::State& state) {
    MuxController& ctl = *console().controller;
    setMonitor(true);
    ctl.onClear();
    const std::string text = kLine.substr(0, kLine.find('*'));
    const size_t before = heapInUse();
    const int n = 100000;
    for (int i = 0; i < n; ++i)
        ctl.updateMonitor(text);
    QApplication::processEvents();
    const size_t after = heapInUse();
    for (auto _ : state)
        ctl.updateMonitor(text);
    state.counters["bytes_per_line"] = double(after - before) / n;
    state.counters["line_bytes"] = double(text.size() + 1);
    state.counters["view_bytes_per_line"] = double(ctl.window().monitorTextView->bytesHeld()) / n;
    state.counters["lines_in_pane"] = double(ctl.window().monitorTextView->lineCount());
    ctl.onClear();
}
BENCHMARK(MonitorMemory)->Iterations(2000);

// One append to an empty pane, for comparison with the full one above.
void AppendToEmptyPane(benchmark::State& state) {
    MuxController& ctl = *console().controller;
    const std::string text = kLine.substr(0, kLine.find('*'));
    int i = 0;
    for (auto _ : state) {
        if (++i % 1000 == 0) {
            state.PauseTiming();
            ctl.onClear();
            state.ResumeTiming();
        }
        ctl.updateMonitor(text);
    }
    ctl.onClear();
}
BENCHMARK(AppendToEmptyPane)->Iterations(2000);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    console().controller.reset(); // before the application object goes
    return 0;
}
