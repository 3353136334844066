// navtool listen tcp://HOST:PORT | udp://:PORT [--count N]

#include "net/PollRunLoop.h"
#include "tool/Commands.h"
#include "tool/Listener.h"

#include <csignal>
#include <cstdio>

namespace {

const char* const help = "usage: navtool listen tcp://HOST:PORT [--count N]\n"
                         "       navtool listen udp://:PORT [--count N]\n"
                         "\n"
                         "Prints the lines a TCP server sends (such as the console's server or\n"
                         "navtool simulate --tcp), or the UDP datagrams sent to PORT on this computer\n"
                         "(port 0 picks a free one), as they arrive, until the server closes, N lines\n"
                         "were printed, or SIGINT. A connection must be made within 30 s and the first\n"
                         "datagram come within 90 s. Exit status: 0 done, 1 no connection or no\n"
                         "datagram, 2 bad arguments.\n";

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

} // namespace

int runListen(const Arguments& args) {
    std::optional<Listener::Target> target;
    unsigned long long count = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        double n = 0;
        std::string why;
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(help, stdout);
            return 0;
        } else if (args[i] == "--count" && i + 1 < args.size() && parseNumber(args[i + 1], &n) && n >= 1 &&
                   n == static_cast<double>(static_cast<unsigned long long>(n))) {
            count = static_cast<unsigned long long>(n);
            ++i;
        } else if (!target && args[i].find("://") != std::string::npos) {
            if (!(target = Listener::parse(args[i], &why))) {
                std::fprintf(stderr, "navtool: %s\n", why.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "navtool: unexpected \"%s\" (see navtool listen --help)\n", args[i].c_str());
            return 2;
        }
    }
    if (!target) {
        std::fputs(help, stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const auto loop = PollRunLoop::install();
    TCPConnectionModel model;
    Listener listener(model, stdout, stderr, count);
    if (!listener.start(*target))
        return 1;
    while (!listener.done() && !stopRequested)
        loop->runUntil([&] { return listener.done() || stopRequested; }, 1.0);
    return listener.status();
}
