// muxsim: a simulated multiplexer on a pseudo-terminal. Prints the terminal to connect to, then
// runs until interrupted.

#include "sim/SimulatedMux.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

const char* const kUsage = R"(Usage: muxsim [options]
Starts a simulated Velmar multiplexer on a pseudo-terminal, prints the terminal's path and runs
until interrupted (Ctrl-C).

Options:
  --family NAME     legacy (earlier generation), third (third generation, the default),
                    model42, or other (a device without family flags)
  --bluetooth       report the Bluetooth flag
  --firmware TEXT   firmware version to report (default: the family's)
  --rate N          instrument sentences per second (default 10; 0 for none)
  --log FILE        replay the sentences of an NMEA log in a loop instead of the instruments
  --link PATH       keep a symbolic link at PATH pointing at the terminal
  --status SECONDS  period of the overflow and channel-number sentences (default 4; 0 for none)
  --filter ENTRY    start with a filter entry, e.g. --RMC,10000 or GPGGA,01000,2 (repeatable)
  --help            show this text
)";

bool parseNumber(const char* text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= 0) || v > 100000)
        return false;
    *value = v;
    return true;
}

bool parseFilter(const std::string& text, MuxFilterEntry* entry) {
    const size_t first = text.find(',');
    if (first == std::string::npos)
        return false;
    const size_t second = text.find(',', first + 1);
    entry->sentence = text.substr(0, first);
    entry->flags =
        text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    entry->frequency =
        second == std::string::npos ? 0 : static_cast<unsigned>(std::atoi(text.c_str() + second + 1));
    return true;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "muxsim: %s\nTry 'muxsim --help'.\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    SimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--bluetooth") {
            options.bluetooth = true;
            continue;
        }
        const char* v = value();
        if (v == nullptr)
            return usageError("unknown option or missing value: " + std::string(arg));
        if (arg == "--family") {
            const auto family = muxFamilyNamed(v);
            if (!family)
                return usageError("unknown family: " + std::string(v));
            options.family = *family;
        } else if (arg == "--firmware") {
            options.firmware = v;
        } else if (arg == "--rate") {
            if (!parseNumber(v, &options.linesPerSecond))
                return usageError("not a rate: " + std::string(v));
        } else if (arg == "--status") {
            if (!parseNumber(v, &options.statusSeconds))
                return usageError("not a period: " + std::string(v));
        } else if (arg == "--log") {
            options.logFile = v;
        } else if (arg == "--link") {
            options.linkPath = v;
        } else if (arg == "--filter") {
            MuxFilterEntry entry;
            if (!parseFilter(v, &entry))
                return usageError("not a filter entry: " + std::string(v));
            options.filters.push_back(entry);
        } else {
            return usageError("unknown option: " + std::string(arg));
        }
    }

    // The device thread inherits the mask, so only sigwait below sees the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SimulatedMux mux(options);
    if (!mux.start()) {
        std::fprintf(stderr, "muxsim: %s\n", mux.lastError().c_str());
        return 1;
    }
    std::printf("%s\n", mux.portPath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&signals, &signal);
    mux.stop();
    return 0;
}
