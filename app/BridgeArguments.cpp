#include "app/BridgeArguments.h"

#include "link/Serial.h"
#include "support/Settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kRates[] = {"4800", "9600", "19200", "38400"};

void usage(const char* program, FILE* out) {
    std::fprintf(
        out,
        "Usage: %s --headless [options]\n"
        "  --port PATH            the device's serial port (default: the stored one)\n"
        "  --rate N               its speed: 4800, 9600, 19200 or 38400 (default: the stored one, else "
        "4800)\n"
        "  --tcp PORT|off         serve every line to TCP clients on PORT (default: the stored server)\n"
        "  --bind WHERE           listen on: all, local (127.0.0.1 and ::1), an interface or an address\n"
        "  --udp HOST:PORT|off    send every line over UDP to HOST:PORT; repeat for more receivers\n"
        "  --accept-from-clients  write the sentences TCP clients send to the device\n"
        "  --record FILE          record every line the device sends into FILE\n"
        "  --help\n"
        "Runs without a window until SIGINT or SIGTERM; messages go to standard error.\n",
        program);
}

struct Given {
    std::optional<std::string> port, rate, tcp, bind, record;
    std::vector<std::string> udp;
    bool accept = false;
};

// Returns the exit status when the program is to stop at once.
std::optional<int> parse(int argc, char** argv, const char* program, Given& g) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(program, stdout);
            return 0;
        }
        if (a == "--headless")
            continue;
        if (a == "--accept-from-clients") {
            g.accept = true;
            continue;
        }
        std::optional<std::string>* into = a == "--port"     ? &g.port
                                           : a == "--rate"   ? &g.rate
                                           : a == "--tcp"    ? &g.tcp
                                           : a == "--bind"   ? &g.bind
                                           : a == "--record" ? &g.record
                                                             : nullptr;
        if (!into && a != "--udp") {
            std::fprintf(stderr, "%s: unknown option '%s' with --headless\n", program, a.c_str());
            usage(program, stderr);
            return 2;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s: %s needs a value\n", program, a.c_str());
            return 2;
        }
        const std::string v = argv[++i];
        if (into)
            *into = v;
        else
            g.udp.push_back(v);
    }
    return std::nullopt;
}

bool storedOn(const char* key) {
    const auto on = Settings::boolean(key);
    return on && *on;
}

// The given options, else the stored settings; false, said, when one is not usable.
bool complete(const Given& g, const char* program, BridgeOptions& o) {
    auto bad = [program](const std::string& why) {
        std::fprintf(stderr, "%s: %s\n", program, why.c_str());
        return false;
    };
    if (auto port = g.port ? g.port : Settings::text("serialPort"))
        o.port = Serial::portPath(Serial::shortPortName(*port));
    if (o.port.empty())
        return bad("no serial port: give --port PATH");
    o.rate = g.rate.value_or(Settings::text("rate").value_or("4800"));
    if (std::find(std::begin(kRates), std::end(kRates), o.rate) == std::end(kRates))
        return bad("--rate takes 4800, 9600, 19200 or 38400, not '" + o.rate + "'");

    if (g.tcp)
        o.tcpPort = *g.tcp == "off" ? std::nullopt : g.tcp;
    else if (storedOn("tcpipServerEnable"))
        o.tcpPort = Settings::text("tcpipServerPort").value_or("2114");
    if (o.tcpPort) {
        char* end = nullptr;
        const long n = std::strtol(o.tcpPort->c_str(), &end, 10);
        if (o.tcpPort->empty() || *end != '\0' || n < 0 || n > 65535)
            return bad("--tcp takes a port from 0 to 65535 or off, not '" + *o.tcpPort + "'");
    }
    const std::string where = g.bind.value_or(Settings::text("tcpipServerInterface").value_or("all"));
    std::string why;
    const auto on = ListenOn::parse(where, listen_addresses::system(), &why);
    if (!on)
        return bad("--bind: " + why);
    o.listenOn = *on;
    o.acceptFromClients = g.accept || storedOn("tcpipServerAcceptFromClients");

    std::vector<std::string> udp = g.udp;
    if (udp.empty() && storedOn("udpEnable"))
        udp = UDPSender::splitList(Settings::text("udpDestinations").value_or(""));
    if (std::find(udp.begin(), udp.end(), "off") != udp.end())
        udp.clear();
    for (const std::string& to : udp) {
        if (!UDPSender::parseDestination(to, &why))
            return bad("--udp: " + why);
        o.udp.push_back(to);
    }
    o.record = g.record;
    return true;
}

} // namespace

std::optional<int> bridgeArguments(int argc, char** argv, const char* program, BridgeOptions& options) {
    Given given;
    if (auto code = parse(argc, argv, program, given))
        return code;
    Settings::setApplication(program);
    if (!complete(given, program, options))
        return 2;
    return std::nullopt;
}
