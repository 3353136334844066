// A real client reads the stream: gpsd, pointed at the server fed with the simulator's
// sentences, reports fixes through gpspipe.

#include "tests/net/Gpsd.h"
#include "nav/NMEASimulator.h"
#include "net/PollRunLoop.h"
#include "net/TCPConnectionModel.h"

#include <gtest/gtest.h>

TEST(Gpsd, ReportsFixesFromTheServedStream) {
    if (!gpsd::installed())
        GTEST_SKIP() << "gpsd or gpspipe is not installed (Debian: gpsd gpsd-clients)";
    auto loop = PollRunLoop::install();
    TCPConnectionModel model;
    ASSERT_TRUE(model.createServerConnection(nullptr, "0", "127.0.0.1"));
    std::atomic<bool> stop{false};
    std::thread device([&] { // the device's traffic at its own pace, as the console's reader hands it on
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
    const auto fix = gpsd::fixFrom("tcp://127.0.0.1:" + std::to_string(model.serverPort()),
                                   [&](std::function<bool()> read) { loop->runUntil(read, 30); });
    stop = true;
    device.join();
    RunLoop::setCurrent(nullptr);
    ASSERT_TRUE(fix) << "no fix from gpsd";
    EXPECT_NEAR(fix->first, 50.8, 0.01);
    EXPECT_NEAR(fix->second, -1.3, 0.01);
}
