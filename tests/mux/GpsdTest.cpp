// A real client reads what the console serves: gpsd, pointed at the console's server while the
// simulated device streams its traffic, reports the boat's fixes through gpspipe.

#include "tests/net/Gpsd.h"
#include "tests/mux/Rig.h"

#include "net/TCPConnectionModel.h"

#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sys/wait.h>

TEST(MuxGpsd, ReportsFixesFromTheConsolesServer) {
    const std::string program = gpsd::gpsdProgram(), gpspipe = gpsd::gpspipeProgram();
    if (program.empty() || gpspipe.empty())
        GTEST_SKIP() << "gpsd or gpspipe is not installed (Debian: gpsd gpsd-clients)";
    Rig rig({.traffic = 40});
    ServerPane& s = *rig.win().server;
    s.portField->setText("0");
    s.enableButton->click();
    TCPConnectionModel& net = TCPConnectionModel::tcpConnection();
    ASSERT_TRUE(net.serverConnected());

    const uint16_t gpsdPort = gpsd::freePort();
    const pid_t pid =
        gpsd::startGpsd(program, gpsdPort, "tcp://127.0.0.1:" + std::to_string(net.serverPort()));
    ASSERT_GT(pid, 0);
    std::string fix;
    std::atomic<bool> read{false};
    std::thread client([&] {
        fix = gpsd::firstFix(gpspipe, gpsdPort);
        read = true;
    });
    EXPECT_TRUE(Rig::waitFor([&] { return read.load(); }, std::chrono::seconds(40)));
    client.join();
    const bool served = s.countField->text() == "1"; // gpsd is the one client
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);

    EXPECT_TRUE(served);
    double lat = 0, lon = 0;
    ASSERT_EQ(std::sscanf(fix.c_str(), "%lf %lf", &lat, &lon), 2) << "no fix from gpsd";
    EXPECT_NEAR(lat, 47.285, 0.05); // the simulated boat, off the coast of Brittany
    EXPECT_NEAR(lon, -2.516, 0.05);
}
