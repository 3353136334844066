// A real client reads the stream: gpsd, pointed at the server fed with the simulator's
// sentences, reports fixes through gpspipe.

#include "nav/NMEASimulator.h"
#include "net/PollRunLoop.h"
#include "net/TCPConnectionModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string findProgram(std::initializer_list<const char*> places) {
    for (const char* place : places)
        if (::access(place, X_OK) == 0)
            return place;
    return {};
}

uint16_t freePort() {
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
pid_t startGpsd(const std::string& program, uint16_t port, const std::string& source) {
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
std::string firstFix(const std::string& gpspipe, uint16_t port) {
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

TEST(Gpsd, ReportsFixesFromTheServedStream) {
    const std::string gpsd = findProgram({"/usr/sbin/gpsd", "/usr/local/sbin/gpsd", "/usr/bin/gpsd"});
    const std::string gpspipe = findProgram({"/usr/bin/gpspipe", "/usr/local/bin/gpspipe"});
    if (gpsd.empty() || gpspipe.empty())
        GTEST_SKIP() << "gpsd or gpspipe is not installed (Debian: gpsd gpsd-clients)";

    auto loop = PollRunLoop::install();
    TCPConnectionModel model;
    ASSERT_TRUE(model.createServerConnection(nullptr, "0", "127.0.0.1"));
    const uint16_t gpsdPort = freePort();
    const pid_t pid = startGpsd(gpsd, gpsdPort, "tcp://127.0.0.1:" + std::to_string(model.serverPort()));
    ASSERT_GT(pid, 0);

    std::atomic<bool> stop{false};
    std::thread device([&] { // the device's traffic, as the console's reader hands it on
        NMEASimulator simulator;
        simulator.seed(7);
        simulator.setPosition({-1.3f, 50.8f});
        simulator.setSpeed(7.0f);
        while (!stop) {
            if (std::optional<Bytes> sentence = simulator.nextSentence())
                model.writeNMEASentence(*sentence);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    std::string fix;
    std::atomic<bool> read{false};
    std::thread client([&] {
        fix = firstFix(gpspipe, gpsdPort);
        read = true;
    });
    loop->runUntil([&] { return read.load(); }, 30);
    client.join();
    stop = true;
    device.join();
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    RunLoop::setCurrent(nullptr);

    double lat = 0, lon = 0;
    ASSERT_EQ(std::sscanf(fix.c_str(), "%lf %lf", &lat, &lon), 2) << "no fix from gpsd";
    EXPECT_NEAR(lat, 50.8, 0.01);
    EXPECT_NEAR(lon, -1.3, 0.01);
}

} // namespace
