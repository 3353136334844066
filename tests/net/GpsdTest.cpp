// A real client reads the stream: gpsd, pointed at the server fed with the simulator's
// sentences, reports fixes through gpspipe.

#include "tests/net/Gpsd.h"
#include "nav/NMEASimulator.h"
#include "net/PollRunLoop.h"
#include "net/TCPConnectionModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace gpsd;

TEST(Gpsd, ReportsFixesFromTheServedStream) {
    const std::string gpsd = gpsdProgram();
    const std::string gpspipe = gpspipeProgram();
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
