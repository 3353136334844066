#pragma once
// gpsd as a black-box client of a served NMEA stream: found where Debian installs it, run in the
// foreground on a port of its own (no system service), and read through gpspipe.

#include "tests/support/LoopbackPort.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace gpsd {

// Both where Debian installs them.
inline bool installed() {
    return ::access("/usr/sbin/gpsd", X_OK) == 0 && ::access("/usr/bin/gpspipe", X_OK) == 0;
}

// A port for gpsd, chosen below the range the system hands out for port 0 and for outgoing
// connections: between the choice and gpsd's bind, only a process that names a port could take it.
inline uint16_t freePort() {
    static unsigned next = static_cast<unsigned>(::getpid());
    for (int tries = 0; tries < 1000; ++tries) {
        const auto port = static_cast<uint16_t>(20000 + next++ % 12000);
        if (testing_support::bindLoopback(SOCK_STREAM, port).port != 0)
            return port; // let go at once, for gpsd to bind
    }
    return 0;
}

// The first fix gpspipe reports, as latitude and longitude.
inline std::optional<std::pair<double, double>> firstFix(uint16_t port) {
    const std::string command =
        "timeout 15 /usr/bin/gpspipe -w -n 60 127.0.0.1:" + std::to_string(port) + " 2>/dev/null";
    for (int attempt = 0; attempt < 50; ++attempt) { // until gpsd listens
        FILE* pipe = ::popen(command.c_str(), "r");
        char line[4096];
        std::optional<std::pair<double, double>> fix;
        bool any = false;
        while (std::fgets(line, sizeof line, pipe)) {
            any = true;
            double lat = 0, lon = 0;
            const char* mode = std::strstr(line, "\"mode\":");
            const char* at = std::strstr(line, "\"lat\":");
            const char* on = std::strstr(line, "\"lon\":");
            if (!fix && std::strstr(line, "\"class\":\"TPV\"") && mode && mode[7] >= '2' && at && on &&
                std::sscanf(at + 6, "%lf", &lat) == 1 && std::sscanf(on + 6, "%lf", &lon) == 1)
                fix = std::pair(lat, lon);
        }
        ::pclose(pipe);
        if (any)
            return fix;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

// Runs gpsd in the foreground on its own port, quiet, reading the source, and returns the first
// fix it reports; the caller's loop runs in `wait` until the fix is read.
inline std::optional<std::pair<double, double>>
fixFrom(const std::string& source, const std::function<void(std::function<bool()>)>& wait) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const uint16_t port = freePort();
    const std::string portText = std::to_string(port);
    const char* argv[] = {"gpsd", "-N", "-n", "-S", portText.c_str(), source.c_str(), nullptr};
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, "/usr/sbin/gpsd", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    std::optional<std::pair<double, double>> fix;
    std::atomic<bool> read{false};
    std::thread client([&] {
        fix = firstFix(port);
        read = true;
    });
    wait([&] { return read.load(); });
    client.join();
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return fix;
}

} // namespace gpsd
