#pragma once
// gpsd as a black-box client of a served NMEA stream: found where Debian installs it, run in the
// foreground on a port of its own (no system service), and read through gpspipe.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace gpsd {

inline std::string findProgram(std::initializer_list<const char*> places) {
    for (const char* place : places)
        if (::access(place, X_OK) == 0)
            return place;
    return {};
}

inline uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// gpsd in the foreground on its own port, quiet, reading the given source; no system service.
inline pid_t startGpsd(const std::string& program, uint16_t port, const std::string& source) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string portText = std::to_string(port);
    const char* argv[] = {"gpsd", "-N", "-n", "-S", portText.c_str(), source.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The first fix gpspipe reports, as "lat lon"; empty when none came.
inline std::string firstFix(const std::string& gpspipe, uint16_t port) {
    const std::string command =
        "timeout 15 '" + gpspipe + "' -w -n 60 127.0.0.1:" + std::to_string(port) + " 2>/dev/null";
    for (int attempt = 0; attempt < 50; ++attempt) { // until gpsd listens
        FILE* pipe = ::popen(command.c_str(), "r");
        char line[4096];
        std::string fix;
        bool any = false;
        while (std::fgets(line, sizeof line, pipe)) {
            any = true;
            double lat = 0, lon = 0;
            const char* tpv = std::strstr(line, "\"class\":\"TPV\"");
            const char* mode = std::strstr(line, "\"mode\":");
            const char* at = std::strstr(line, "\"lat\":");
            const char* on = std::strstr(line, "\"lon\":");
            if (fix.empty() && tpv && mode && mode[7] >= '2' && at && on &&
                std::sscanf(at + 6, "%lf", &lat) == 1 && std::sscanf(on + 6, "%lf", &lon) == 1)
                fix = std::to_string(lat) + " " + std::to_string(lon);
        }
        ::pclose(pipe);
        if (any)
            return fix;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

inline std::string gpsdProgram() {
    return findProgram({"/usr/sbin/gpsd", "/usr/local/sbin/gpsd", "/usr/bin/gpsd"});
}

inline std::string gpspipeProgram() {
    return findProgram({"/usr/bin/gpspipe", "/usr/local/bin/gpspipe"});
}

} // namespace gpsd
