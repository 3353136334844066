// The NMEA server at the library level: lines fed from a reader thread (as the console's reader
// hands them on) to 1-500 clients on 127.0.0.1. Figures: lines a second delivered to every
// client, the delay from the feed to each client's socket, lost or reordered lines, the
// server's CPU time (feeding thread and event loop) per delivered line, and memory with a
// client that never reads.

#include "bench/net/ClientFleet.h"
#include "net/PollRunLoop.h"
#include "net/TCPConnectionModel.h"
#include "net/UDPSender.h"
#ifdef MUX_NET_QT
#include "net/QtRunLoop.h"
#include <QCoreApplication>
#endif

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <ctime>
#include <fstream>
#include <poll.h>

namespace {

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

struct Server {
    Server() {
#ifdef MUX_NET_QT
        loop = QtRunLoop::install(); // the console's loop
#else
        loop = PollRunLoop::install();
#endif
        model.createServerConnection(nullptr, "0", "127.0.0.1");
    }
    ~Server() {
        model.closeServerConnection();
        RunLoop::setCurrent(nullptr);
    }
    bool await(const std::function<bool()>& done, double seconds = 60) {
        return loop->runUntil(done, seconds);
    }
    std::shared_ptr<RunLoop> loop;
    TCPConnectionModel model;
};

struct Feed {
    uint64_t lines = 0;
    double rate = 0;       // lines a second; 0: as fast as the slowest reading client takes them
    double cpuSeconds = 0; // the feeding thread's
    std::atomic<bool> done{false};
};

// Feeds stamped lines from its own thread, as the console's reader does.
std::thread feed(Server& server, const bench::ClientFleet& fleet, Feed& f) {
    return std::thread([&server, &fleet, &f] {
        const auto start = steady_clock::now();
        for (uint64_t i = 0; i < f.lines; ++i) {
            if (f.rate > 0)
                std::this_thread::sleep_until(
                    start + duration_cast<steady_clock::duration>(duration<double>(i / f.rate)));
            else
                while (i % 64 == 0 && i > fleet.deliveredToAll() + 4000)
                    std::this_thread::sleep_for(microseconds(200)); // stay well inside the cap
            const std::string line = bench::stampedLine(i);
            server.model.writeNMEASentence(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        }
        f.done = true;
    });
}

// serverCpu: the process's CPU time less the client fleet's (the feeding thread counts as the
// console's reader).
void report(benchmark::State& state, const bench::ClientFleet& fleet, const Feed& f, double seconds,
            double serverCpu, size_t clients) {
    const bench::Percentiles delay = fleet.latency();
    const double delivered = static_cast<double>(fleet.stampedTotal());
    state.counters["lines_per_s_to_all"] = static_cast<double>(fleet.deliveredToAll()) / seconds;
    state.counters["delivered_pct"] = 100.0 * delivered / static_cast<double>(f.lines * clients);
    state.counters["lost"] = static_cast<double>(fleet.lost());
    state.counters["reordered"] = static_cast<double>(fleet.reordered());
    state.counters["delay_median_us"] = delay.median;
    state.counters["delay_p99_us"] = delay.p99;
    state.counters["delay_max_us"] = delay.max;
    state.counters["server_cpu_us_per_line"] = delivered > 0 ? 1e6 * serverCpu / delivered : 0;
}

// Args: clients, lines a second (0: as fast as every client takes them).
void BM_Delivery(benchmark::State& state) {
    const auto clients = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        Server server;
        bench::ClientFleet fleet(server.model.serverPort(), clients, 0, 2,
                                 [&] { return size_t{server.model.clientsConnected()}; });
        if (!server.await([&] { return fleet.ready() && server.model.clientsConnected() == clients; })) {
            state.SkipWithError("clients did not connect");
            return;
        }
        Feed f;
        f.rate = static_cast<double>(state.range(1));
        f.lines =
            f.rate > 0 ? static_cast<uint64_t>(f.rate * 2) : std::min<uint64_t>(30000, 200000 / clients);
        const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - fleet.cpuSeconds();
        fleet.clearLatency();
        const auto start = steady_clock::now();
        std::thread feeder = feed(server, fleet, f);
        server.await([&] { return f.done && fleet.deliveredToAll() >= f.lines; });
        const double seconds = duration<double>(steady_clock::now() - start).count();
        feeder.join();
        server.await([&] { return fleet.stampedTotal() >= f.lines * clients; }, 1);
        report(state, fleet, f, seconds, cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - fleet.cpuSeconds() - cpu,
               clients);
    }
}
BENCHMARK(BM_Delivery)
    ->ArgNames({"clients", "rate"})
    ->ArgsProduct({{1, 10, 100, 500}, {200, 1000}})
    ->Args({1, 0})
    ->Args({10, 0})
    ->Args({100, 0})
    ->Args({500, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Clients that never read while another takes 40 MB of lines: the server's memory stays flat,
// and so does the system's. Arg: the clients that never read.
void BM_StalledClientMemory(benchmark::State& state) {
    const auto stalled = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        Server server;
        bench::ClientFleet fleet(server.model.serverPort(), stalled + 1, stalled);
        fleet.recordDelays(false); // the fleet's own memory is not the server's
        server.await([&] { return fleet.ready() && server.model.clientsConnected() == stalled + 1; });
        const double before = residentMegabytes(), kernelBefore = bench::tcpKernelMegabytes();
        double peak = before, kernelPeak = kernelBefore;
        Feed f;
        f.lines = 40 * 1024 * 1024 / 40;
        std::thread feeder = feed(server, fleet, f);
        server.await([&] {
            peak = std::max(peak, residentMegabytes());
            kernelPeak = std::max(kernelPeak, bench::tcpKernelMegabytes());
            return f.done && fleet.deliveredToAll() >= f.lines;
        });
        feeder.join();
        state.counters["rss_growth_MB"] = peak - before;
        state.counters["kernel_tcp_growth_MB"] = kernelPeak - kernelBefore;
        state.counters["stalled_dropped"] =
            static_cast<double>(stalled + 1 - server.model.clientsConnected());
        state.counters["fast_client_lost"] = static_cast<double>(fleet.lost());
    }
}
BENCHMARK(BM_StalledClientMemory)
    ->ArgName("stalled")
    ->Arg(1)
    ->Arg(60)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// UDP to receivers on 127.0.0.1 at a device's pace: the sending thread's processor time (the
// reader's, in the console) as a share of one core, and what arrived. With no receiver, what the
// pacing and the lines cost without UDP.
void BM_UDPDestinations(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const int count = static_cast<int>(state.range(1));
    const int seconds = 5;
    for (auto _ : state) {
        std::vector<int> receivers;
        std::vector<std::string> destinations;
        for (int i = 0; i < count; ++i) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof at;
            ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
            receivers.push_back(fd);
            destinations.push_back("127.0.0.1:" + std::to_string(ntohs(at.sin_port)));
        }
        UDPSender sender;
        std::string why;
        if (count > 0 && !sender.start(destinations, &why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        std::atomic<bool> done{false};
        std::atomic<uint64_t> arrived{0};
        std::thread reading([&] {
            char buffer[2048];
            while (!done) {
                std::vector<pollfd> ready;
                for (int fd : receivers)
                    ready.push_back({fd, POLLIN, 0});
                ::poll(ready.data(), ready.size(), 50);
                for (int fd : receivers)
                    while (::recv(fd, buffer, sizeof buffer, 0) > 0)
                        ++arrived;
            }
        });
        double cpu = 0;
        std::thread reader([&] { // the console's reader, handing each line on
            const double cpuStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            const auto start = steady_clock::now();
            for (int i = 0; i < rate * seconds; ++i) {
                std::this_thread::sleep_until(start + microseconds(1000000LL * i / rate));
                const std::string line = bench::stampedLine(static_cast<uint64_t>(i));
                sender.send(reinterpret_cast<const uint8_t*>(line.data()), line.size());
            }
            cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
        });
        reader.join();
        std::this_thread::sleep_for(milliseconds(200)); // the last datagrams on their way
        done = true;
        reading.join();
        for (int fd : receivers)
            ::close(fd);
        state.counters["cpu_pct_of_core"] = 100.0 * cpu / seconds;
        state.counters["datagrams_sent"] = static_cast<double>(sender.counts().sent);
        state.counters["datagrams_arrived"] = static_cast<double>(arrived.load());
        state.counters["dropped"] = static_cast<double>(sender.counts().dropped);
    }
}
BENCHMARK(BM_UDPDestinations)
    ->ArgNames({"rate", "destinations"})
    ->Args({1000, 0})
    ->Args({1000, 3})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
#ifdef MUX_NET_QT
    QCoreApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
