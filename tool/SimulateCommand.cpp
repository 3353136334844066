// navtool simulate [options]

#include "nav/NMEASimulator.h"
#include "net/NetSocket.h"
#include "net/TCPConnectionModel.h"
#include "tool/Commands.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace {

const char* const help = "usage: navtool simulate [--lat DEG] [--lon DEG] [--heading DEG] [--speed KN]\n"
                         "                        [--variation DEG] [--rate N] [--count N] [--seed N]\n"
                         "                        [--tcp PORT [--bind ADDRESS]]\n"
                         "\n"
                         "Streams the simulated instruments of a vessel that leaves the start position\n"
                         "(decimal degrees, or with a hemisphere letter: 50.8N 1.3W; default 0 0) on the\n"
                         "heading (degrees true) at the speed (knots): heading, log, GPS, depth, water\n"
                         "temperature, wind and radar-target sentences with checksums, CR LF ended.\n"
                         "\n"
                         "  --rate N       sentences per second (default 10, at most 1000)\n"
                         "  --count N      stop after N sentences (default: run until interrupted)\n"
                         "  --variation D  magnetic variation, east positive (default 0)\n"
                         "  --seed N       fixed seed for depth, temperature and wind (default: the clock)\n"
                         "  --tcp PORT     serve the stream to TCP clients instead of standard output;\n"
                         "                 port 0 picks a free one. The port is reported on standard error.\n"
                         "  --bind ADDR    address to listen on (default 0.0.0.0, every interface)\n";

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

void installSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a signal wakes the wait at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

struct Options {
    double lat = 0.0, lon = 0.0, heading = 0.0, speed = 0.0, variation = 0.0, rate = 10.0;
    unsigned long long count = 0;
    bool seeded = false;
    unsigned long seed = 0;
    bool tcp = false;
    uint16_t port = 0;
    std::string bind = "0.0.0.0";
};

bool parseWhole(const std::string& text, unsigned long long max, unsigned long long* out) {
    double v = 0.0;
    if (!parseNumber(text, &v) || v < 0.0 || v > static_cast<double>(max) ||
        v != static_cast<double>(static_cast<unsigned long long>(v)))
        return false;
    *out = static_cast<unsigned long long>(v);
    return true;
}

// Returns 0 when parsed, else the exit status.
int parseOptions(const Arguments& args, Options* o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        if (flag == "--help" || flag == "-h") {
            std::fputs(help, stdout);
            return -1;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "navtool: %s needs a value (see navtool simulate --help)\n", flag.c_str());
            return 2;
        }
        const std::string& value = args[++i];
        bool ok = true;
        unsigned long long whole = 0;
        if (flag == "--lat")
            ok = parseCoordinate(value, true, &o->lat) && o->lat > -90.0 && o->lat < 90.0;
        else if (flag == "--lon")
            ok = parseCoordinate(value, false, &o->lon) && o->lon > -180.0 && o->lon < 180.0;
        else if (flag == "--heading")
            ok = parseNumber(value, &o->heading) && o->heading >= 0.0 && o->heading < 360.0;
        else if (flag == "--speed")
            ok = parseNumber(value, &o->speed) && o->speed >= 0.0 && o->speed < 1000.0;
        else if (flag == "--variation")
            ok = parseNumber(value, &o->variation) && o->variation >= -180.0 && o->variation <= 180.0;
        else if (flag == "--rate")
            ok = parseNumber(value, &o->rate) && o->rate > 0.0 && o->rate <= 1000.0;
        else if (flag == "--count")
            ok = parseWhole(value, 1ULL << 53, &o->count);
        else if (flag == "--seed") {
            ok = parseWhole(value, 0xFFFFFFFFULL, &whole);
            o->seed = static_cast<unsigned long>(whole);
            o->seeded = true;
        } else if (flag == "--tcp") {
            ok = parseWhole(value, 65535, &whole);
            o->port = static_cast<uint16_t>(whole);
            o->tcp = true;
        } else if (flag == "--bind")
            o->bind = value;
        else {
            std::fprintf(stderr, "navtool: unknown option %s (see navtool simulate --help)\n", flag.c_str());
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "navtool: %s \"%s\" is out of range or not a number\n", flag.c_str(),
                         value.c_str());
            return 2;
        }
    }
    return 0;
}

} // namespace

int runSimulate(const Arguments& args) {
    Options o;
    if (const int status = parseOptions(args, &o); status != 0)
        return status < 0 ? 0 : status;

    NMEASimulator simulator;
    if (o.seeded)
        simulator.seed(static_cast<uint32_t>(o.seed));
    simulator.setPosition({static_cast<float>(o.lon), static_cast<float>(o.lat)});
    simulator.setHeading(static_cast<float>(o.heading));
    simulator.setSpeed(static_cast<float>(o.speed));
    simulator.setVariation(static_cast<float>(o.variation));

    installSignals();
    // The same server as the console's; it serves its clients from a thread of its own.
    TCPConnectionModel server;
    if (o.tcp) {
        sockaddr_in address{};
        if (!NetSocket::addressFromString(o.bind, &address)) {
            std::fprintf(stderr, "navtool: \"%s\" is not an IPv4 address\n", o.bind.c_str());
            return 1;
        }
        errno = 0;
        if (!server.createServerConnection(nullptr, std::to_string(o.port),
                                           std::vector<std::string>{o.bind})) {
            std::fprintf(stderr, "navtool: cannot listen on %s port %u: %s\n", o.bind.c_str(), o.port,
                         std::strerror(errno));
            return 1;
        }
        std::fprintf(stderr, "navtool: serving on port %u\n", server.serverPort());
    }

    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / o.rate));
    auto next = Clock::now();
    unsigned long long sent = 0;
    while (!stopRequested && (o.count == 0 || sent < o.count)) {
        std::optional<Bytes> sentence = simulator.nextSentence();
        if (!sentence)
            continue; // end of a cycle: the next call starts the next one
        const std::string line(sentence->begin(), sentence->end());
        if (o.tcp) {
            server.writeNMEASentence(*sentence);
        } else if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() ||
                   std::fflush(stdout) != 0) {
            return errno == EPIPE ? 0 : 1; // the reader has gone
        }
        ++sent;
        next += period;
        // Pace by the schedule, not by the time each write took; a signal ends the wait.
        for (auto now = Clock::now(); now < next && !stopRequested; now = Clock::now())
            ::poll(nullptr, 0,
                   static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count()));
        if (Clock::now() - next > std::chrono::seconds(1))
            next = Clock::now(); // after a stall, no burst to catch up
    }
    return 0;
}
