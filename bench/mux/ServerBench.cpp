// The console's network server as a user runs it: the device's terminal (a pseudo-terminal the
// console has open) is fed stamped lines at a set rate; the console reads them, forwards each to
// its server and shows it in the monitor; 1-500 clients on 127.0.0.1 read the stream. Figures:
// lines a second delivered to every client, the delay from the terminal to each client's socket,
// lost or reordered lines, the console's CPU time per delivered line (the process's less the
// clients' and the feeding thread's), and its memory with one client that never reads.

#include "bench/mux/DeviceTerminal.h"
#include "bench/net/ClientFleet.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "net/TCPConnectionModel.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>

namespace {

using bench::framed;
using Terminal = bench::DeviceTerminal;

using namespace std::chrono;

double cpuSeconds(clockid_t clock) {
    timespec t{};
    ::clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

TCPConnectionModel& net() {
    return TCPConnectionModel::tcpConnection();
}

// One console for the whole run, its server switched on from its pane, its window not shown.
struct Console {
    Terminal terminal;
    std::unique_ptr<MuxController> controller;
    Console() {
        Settings::setStorePath("/tmp/bench_mux_server-prefs.plist");
        Alert::setResponder([](const AlertRequest&) { return 0; });
        MuxOptions options;
        options.startDelay = milliseconds(0);
        options.sanityInterval = seconds(3600); // nothing written to the device in between
        options.extraPorts = {terminal.slave};
        options.selectPort = terminal.slave;
        options.terminate = [] {};
        controller = std::make_unique<MuxController>(options);
        controller->awakeFromNib();
        controller->window().findChild<QLineEdit*>("portField")->setText("0");
        controller->window().findChild<QCheckBox*>("enableButton")->click();
        await([&] { return controller->hasConnection(); }, 10);
    }
    // Runs the console's event loop, as the program does, until done() holds (looked at every
    // 5 ms) or the time is up.
    static bool await(const std::function<bool()>& done, double limit) {
        const auto until =
            steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(limit));
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done() || steady_clock::now() > until)
                loop.quit();
        });
        check.start(5);
        if (!done())
            loop.exec();
        return done();
    }
};

Console& console() {
    static Console c;
    return c;
}

struct Feed {
    uint64_t lines = 0;
    double rate = 0; // lines a second; 0: as fast as the slowest reading client takes them
    std::atomic<double> cpuSeconds{0};
    std::atomic<bool> done{false};
};

// Writes stamped lines into the terminal from a thread of its own, as the device does.
std::thread feed(const Terminal& terminal, const bench::ClientFleet& fleet, Feed& f) {
    return std::thread([&terminal, &fleet, &f] {
        const auto start = steady_clock::now();
        for (uint64_t i = 0; i < f.lines; ++i) {
            if (f.rate > 0)
                std::this_thread::sleep_until(
                    start + duration_cast<steady_clock::duration>(duration<double>(i / f.rate)));
            else
                while (i % 64 == 0 && i > fleet.deliveredToAll() + 4000)
                    std::this_thread::sleep_for(microseconds(200)); // well inside the server's cap
            terminal.write(bench::stampedLine(i));
        }
        f.cpuSeconds = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        f.done = true;
    });
}

std::unique_ptr<bench::ClientFleet> connect(size_t clients, size_t stalled) {
    // A closed client counts until a line goes to it: the last run's are sent one.
    for (int i = 0; i < 100 && net().clientsConnected() > 0; ++i) {
        console().terminal.write(framed("$GPZDA,201530.00,04,07,2002,00,00"));
        Console::await([] { return net().clientsConnected() == 0; }, 0.05);
    }
    auto fleet = std::make_unique<bench::ClientFleet>(net().serverPort(), clients, stalled, 2,
                                                      [] { return size_t{net().clientsConnected()}; });
    if (!Console::await([&] { return fleet->ready() && net().clientsConnected() == clients; }, 60))
        return nullptr;
    return fleet;
}

// Args: clients, lines a second (0: as fast as every client takes them). With no client, what
// reading and showing the lines costs the console.
void BM_ConsoleDelivery(benchmark::State& state) {
    Console& c = console();
    const auto clients = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        c.controller->onClear();
        auto fleet = connect(clients, 0);
        if (!fleet) {
            state.SkipWithError("clients did not connect");
            return;
        }
        Feed f;
        f.rate = static_cast<double>(state.range(1));
        f.lines =
            f.rate > 0 ? static_cast<uint64_t>(f.rate * 3) : std::min<uint64_t>(60000, 300000 / clients);
        const double cpuBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - fleet->cpuSeconds();
        fleet->clearLatency();
        const auto start = steady_clock::now();
        std::thread feeder = feed(c.terminal, *fleet, f);
        Console::await([&] { return f.done && (clients == 0 || fleet->deliveredToAll() >= f.lines); }, 60);
        const double wall = duration<double>(steady_clock::now() - start).count();
        feeder.join();
        Console::await([&] { return fleet->stampedTotal() >= f.lines * clients; }, 1);
        const double cpu =
            cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - fleet->cpuSeconds() - f.cpuSeconds - cpuBefore;
        const bench::Percentiles delay = fleet->latency();
        const auto delivered = static_cast<double>(fleet->stampedTotal());
        state.counters["lines_per_s_to_all"] = static_cast<double>(fleet->deliveredToAll()) / wall;
        state.counters["delivered_pct"] =
            clients > 0 ? 100.0 * delivered / static_cast<double>(f.lines * clients) : 0;
        state.counters["lost"] = static_cast<double>(fleet->lost());
        state.counters["reordered"] = static_cast<double>(fleet->reordered());
        state.counters["delay_median_us"] = delay.median;
        state.counters["delay_p99_us"] = delay.p99;
        state.counters["delay_max_us"] = delay.max;
        state.counters["console_cpu_us_per_line"] =
            1e6 * cpu / std::max(delivered, static_cast<double>(f.lines));
        state.counters["console_cpu_pct"] = 100.0 * cpu / wall;
        fleet.reset();
        Console::await([] { return net().clientsConnected() == 0; }, 10);
    }
}
BENCHMARK(BM_ConsoleDelivery)
    ->ArgNames({"clients", "rate"})
    ->Args({0, 200})
    ->Args({0, 1000})
    ->ArgsProduct({{1, 10, 100, 500}, {200, 1000}})
    ->Args({1, 0})
    ->Args({10, 0})
    ->Args({100, 0})
    ->Args({500, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Clients that never read while another takes 20 MB of lines through the console, as fast as it
// reads them. The monitor is stopped for the run (it keeps every line it shows, by design).
// Arg: the clients that never read.
void BM_ConsoleStalledClientMemory(benchmark::State& state) {
    Console& c = console();
    const auto stalled = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        c.controller->onClear();
        c.controller->onStart(); // monitor off
        auto fleet = connect(stalled + 1, stalled);
        if (!fleet) {
            state.SkipWithError("clients did not connect");
            return;
        }
        fleet->recordDelays(false); // the fleet's own memory is not the console's
        const double before = residentMegabytes(), kernelBefore = bench::tcpKernelMegabytes();
        double peak = before, kernelPeak = kernelBefore;
        Feed f;
        f.lines = 20 * 1024 * 1024 / 40;
        std::thread feeder = feed(c.terminal, *fleet, f);
        Console::await(
            [&] {
                peak = std::max(peak, residentMegabytes());
                kernelPeak = std::max(kernelPeak, bench::tcpKernelMegabytes());
                return f.done && fleet->deliveredToAll() >= f.lines;
            },
            120);
        feeder.join();
        state.counters["rss_before_MB"] = before;
        state.counters["rss_growth_MB"] = peak - before;
        state.counters["kernel_tcp_growth_MB"] = kernelPeak - kernelBefore;
        state.counters["stalled_dropped"] = static_cast<double>(stalled + 1 - net().clientsConnected());
        state.counters["fast_client_lost"] = static_cast<double>(fleet->lost());
        state.counters["fast_client_lines"] = static_cast<double>(fleet->deliveredToAll());
        c.controller->onStart(); // monitor on again
        fleet.reset();
    }
}
BENCHMARK(BM_ConsoleStalledClientMemory)
    ->ArgName("stalled")
    ->Arg(1)
    ->Arg(60)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A chart plotter feeding the autopilot through the multiplexer: one TCP client sends a sentence
// every 20 ms with "Accept sentences from clients" ticked; the delay is from the client's send to
// the sentence's arrival on the device's end of the terminal.
void BM_ClientSentenceToDevice(benchmark::State& state) {
    Console& c = console();
    c.controller->window().findChild<QCheckBox*>("acceptButton")->click();
    const int rate = static_cast<int>(state.range(0));
    const int count = 10 * rate;
    for (auto _ : state) {
        c.terminal.drain();
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(net().serverPort());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            state.SkipWithError("the client did not connect");
            return;
        }
        const int yes = 1; // each sentence leaves at once: the delay measured is the console's
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        const ClientSentences::Counts before = c.controller->core().clientSentences().counts();
        std::vector<steady_clock::time_point> sent(static_cast<size_t>(count));
        std::vector<int64_t> delays;
        std::atomic<bool> done{false}, sentAll{false};
        std::thread device([&] { // the device's end: each sentence's number, as it arrives
            std::string pending;
            char chunk[4096];
            while (!done) {
                pollfd p{c.terminal.master, POLLIN, 0};
                if (::poll(&p, 1, 100) <= 0)
                    continue;
                const ssize_t n = ::read(c.terminal.master, chunk, sizeof chunk);
                const auto now = steady_clock::now();
                pending.append(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
                for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                    const size_t at = pending.find("$IIXDR,C,");
                    if (at < end)
                        delays.push_back(
                            duration_cast<nanoseconds>(now - sent[std::stoul(pending.substr(at + 9))])
                                .count());
                }
                if (static_cast<int>(delays.size()) == count)
                    done = true;
            }
        });
        std::thread plotter([&] {
            const auto start = steady_clock::now();
            for (int i = 0; i < count; ++i) {
                std::this_thread::sleep_until(start + microseconds(1000000LL * i / rate));
                const std::string line = framed("$IIXDR,C," + std::to_string(i) + ",C,AUTOPILOT");
                sent[static_cast<size_t>(i)] = steady_clock::now();
                [[maybe_unused]] ssize_t n = ::send(client, line.data(), line.size(), MSG_NOSIGNAL);
            }
            sentAll = true;
        });
        Console::await([&] { return sentAll.load(); }, 30);
        plotter.join();
        Console::await([&] { return done.load(); }, 1); // what is still on its way
        done = true;
        device.join();
        ::close(client);
        const bench::Percentiles delay = bench::percentiles(delays);
        state.counters["sentences"] = static_cast<double>(count);
        state.counters["reached_device"] = static_cast<double>(delays.size());
        state.counters["delay_median_us"] = delay.median;
        state.counters["delay_p99_us"] = delay.p99;
        state.counters["delay_max_us"] = delay.max;
        const ClientSentences::Counts after = c.controller->core().clientSentences().counts();
        state.counters["over_rate"] = static_cast<double>(after.overRate - before.overRate);
        state.counters["not_written"] = static_cast<double>(after.notWritten - before.notWritten);
    }
    c.controller->window().findChild<QCheckBox*>("acceptButton")->click();
}
BENCHMARK(BM_ClientSentenceToDevice)
    ->ArgNames({"rate"})
    ->Arg(50) // the limit: a line that comes early by the sender's jitter is over it
    ->Arg(45)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    console().controller.reset(); // before the application object goes
    return 0;
}
