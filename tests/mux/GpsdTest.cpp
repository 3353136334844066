// A real client reads what the console serves: gpsd, pointed at the console's server while the
// simulated device streams its traffic, reports the boat's fixes through gpspipe.

#include "tests/net/Gpsd.h"
#include "tests/mux/ConsoleRig.h"

#include "net/TCPConnectionModel.h"

#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

TEST(MuxGpsd, ReportsFixesFromTheConsolesServer) {
    if (!gpsd::installed())
        GTEST_SKIP() << "gpsd or gpspipe is not installed (Debian: gpsd gpsd-clients)";
    ConsoleRig rig({.traffic = 40});
    const ServerControls s = rig.server();
    s.portField->setText("0");
    s.enableButton->click();
    TCPConnectionModel& net = TCPConnectionModel::tcpConnection();
    ASSERT_TRUE(net.serverConnected());
    bool served = false;
    const auto fix =
        gpsd::fixFrom("tcp://127.0.0.1:" + std::to_string(net.serverPort()), [&](std::function<bool()> read) {
            ConsoleRig::waitFor(read, std::chrono::seconds(40));
            served = s.countField->text() == "1"; // gpsd is the one client
        });
    EXPECT_TRUE(served);
    ASSERT_TRUE(fix) << "no fix from gpsd";
    EXPECT_NEAR(fix->first, 47.285, 0.05); // the simulated boat, off the coast of Brittany
    EXPECT_NEAR(fix->second, -2.516, 0.05);
}
