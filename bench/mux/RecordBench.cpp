// What a recording costs the reader: lines a second from the device's terminal to the monitor's
// queue, no window shown, with and without a recording of every line to a file.

#include "bench/mux/DeviceTerminal.h"
#include "link/NMEA.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using bench::framed;
using Terminal = bench::DeviceTerminal;

const std::string kLine = framed("$GPRMC,172037.00,A,4717.1047,N,00230.9854,W,6.1,214.5,061226,0.8,W,A");

struct Console {
    Terminal line;
    std::unique_ptr<MuxController> controller;
    Console() {
        Settings::setStorePath((fs::temp_directory_path() / "bench_record-prefs.plist").string());
        Alert::setResponder([](const AlertRequest&) { return 0; });
        MuxOptions options;
        options.startDelay = 0ms;
        options.sanityInterval = 3600s; // no queries in between
        options.extraPorts = {line.slave};
        options.selectPort = line.slave;
        options.terminate = [] {};
        controller = std::make_unique<MuxController>(options);
        controller->awakeFromNib();
        while (!controller->hasConnection())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QLabel* mark() { return controller->window().findChild<QLabel*>("overflowField1"); }
    // Feeds n lines and an overflow reply that marks their end; runs the window until it shows.
    void feed(int n) {
        line.write(framed("$PQVXOV,0"));
        while (!mark()->text().isEmpty())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::string batch;
        for (int i = 0; i < n; ++i)
            batch += kLine;
        batch += framed("$PQVXOV,1");
        std::thread writer([&] { line.write(batch); });
        while (mark()->text().isEmpty())
            QApplication::processEvents(QEventLoop::AllEvents, 2);
        writer.join();
    }
};

void DeviceToMonitorWhileRecording(benchmark::State& state) {
    Console console;
    MuxController& ctl = *console.controller;
    const bool recording = state.range(0) != 0;
    const std::string path = (fs::temp_directory_path() / "bench_record.log").string();
    if (recording && ctl.core().recorder().start(path, {}))
        state.SkipWithError("cannot record");
    const int n = 100000;
    for (auto _ : state) {
        console.feed(n);
        ctl.flushMonitor();
    }
    state.SetItemsProcessed(state.iterations() * n);
    if (recording) {
        ctl.core().recorder().stop();
        ctl.core().recorder().finish();
        const auto status = ctl.core().recorder().status();
        state.counters["recorded_lines"] = double(status.lines);
        state.counters["dropped_lines"] = double(status.dropped);
        fs::remove(path);
    }
    state.SetLabel(recording ? "recording to a file" : "no recording");
}
BENCHMARK(DeviceToMonitorWhileRecording)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The reader's share of a recording alone: one line handed over, the writer thread at work.
void RecorderTakesALine(benchmark::State& state) {
    const std::string path = (fs::temp_directory_path() / "bench_record-line.log").string();
    Recorder recorder;
    if (recorder.start(path, {}))
        state.SkipWithError("cannot record");
    const Bytes line(kLine.begin(), kLine.end());
    for (auto _ : state)
        recorder.line(line);
    recorder.stop();
    recorder.finish();
    state.counters["dropped_lines"] = double(recorder.status().dropped);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * int64_t(line.size()));
    fs::remove(path);
}
BENCHMARK(RecorderTakesALine)->Iterations(50000); // within what the queue holds: none dropped

} // namespace
