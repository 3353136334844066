// The console's core without a window, as a headless bridge runs it: under a plain
// QCoreApplication against the simulated device, told a port, a rate and the server's port
// directly, observed through its observer alone.

#include "link/NMEA.h"
#include "mux/MuxCore.h"
#include "net/TCPConnectionModel.h"
#include "sim/SimulatedMux.h"
#include "tests/net/LoopPeers.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Runs the main loop until the condition holds; false after a bound that only a hang reaches.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// What a headless bridge would print: the identity, the lines, the faults.
struct Told : MuxCoreObserver {
    int identities = 0, tooOld = 0, stopped = 0;
    std::vector<std::string> shownLines, failedPorts;
    std::mutex lock;
    std::vector<std::string> trafficLines; // under lock: the reader thread's

    void shown(const std::string& text) override { shownLines.push_back(text); }
    void traffic(const Bytes& sentence) override {
        std::lock_guard guard(lock);
        trafficLines.emplace_back(reinterpret_cast<const char*>(sentence.data()));
    }
    void portFailed(const std::string& port) override { failedPorts.push_back(port); }
    void identityChanged() override { ++identities; }
    void firmwareNotSupported() override { ++tooOld; }
    bool sawTraffic(const std::string& text) {
        std::lock_guard guard(lock);
        return std::any_of(trafficLines.begin(), trafficLines.end(),
                           [&](const std::string& line) { return line.starts_with(text); });
    }
};

CoreOptions quick(std::function<void()> terminate) {
    CoreOptions o;
    o.startDelay = 0ms;
    o.sanityInterval = 25ms;
    o.idleSleep = 20ms;
    o.silence = 100ms;
    o.retryFirst = 20ms;
    o.retryLongest = 80ms;
    o.terminate = std::move(terminate);
    return o;
}

std::unique_ptr<SimulatedMux> device(MuxFamily family, const std::string& firmware = "") {
    SimOptions sim;
    sim.family = family;
    sim.firmware = firmware;
    sim.linesPerSecond = 0;
    sim.statusSeconds = 0;
    auto mux = std::make_unique<SimulatedMux>(sim);
    if (!mux->start())
        ADD_FAILURE() << mux->lastError();
    return mux;
}

} // namespace

TEST(MuxCore, RunsWithoutWidgetsIdentifiesTheDeviceAndForwardsItsLines) {
    ASSERT_FALSE(QCoreApplication::instance()->inherits("QGuiApplication"));
    auto sim = device(MuxFamily::Model42);
    Told told;
    int terminations = 0;
    MuxCore core(quick([&] { ++terminations; }), &told);
    core.openPort(sim->portPath(), "4800");
    core.start();

    ASSERT_TRUE(waitFor([&] { return core.identified(); }));
    const MuxState state = sim->state();
    ASSERT_TRUE(core.identity().has_value());
    EXPECT_EQ(core.identity()->name, state.name);
    EXPECT_EQ(core.identity()->serial, state.serial);
    EXPECT_EQ(core.identity()->firmware, state.firmware);
    EXPECT_EQ(core.family(), MuxFamily::Model42);
    EXPECT_EQ(told.identities, 1);
    ASSERT_FALSE(told.shownLines.empty());
    EXPECT_EQ(told.shownLines.front(), "#### Open " + sim->portPath() + " at 4800");

    TCPConnectionModel& net = TCPConnectionModel::tcpConnection();
    ASSERT_TRUE(core.server().start("0"));
    EXPECT_TRUE(core.server().status().listening);
    Peer client(core.server().port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(waitFor([&] { return core.server().status().clients == 1; }));
    const std::string zda = "$GPZDA,201530.00,04,07,2002,00,00";
    const std::string bytes = zda + NMEA::checkSumTail(zda) + "$IIMTW,12.5,C*00\r\n";
    sim->sendRaw(bytes);
    auto got = std::async(std::launch::async, [&] { return client.receive(bytes.size()); });
    ASSERT_TRUE(waitFor([&] { return got.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(got.get(), bytes); // as read, the bad checksum too
    ASSERT_TRUE(waitFor([&] { return told.sawTraffic(zda); }));
    EXPECT_FALSE(told.sawTraffic("$IIMTW,12.5,C")); // dispatched only when valid
    core.server().stop();
    EXPECT_FALSE(net.serverConnected());
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(told.failedPorts.empty());
}

TEST(MuxCore, FaultsAreToldAndATooOldDeviceEndsTheProgram) {
    auto sim = device(MuxFamily::ThirdGeneration, "2.1");
    Told told;
    int terminations = 0;
    MuxCore core(quick([&] { ++terminations; }), &told);
    core.openPort("/nonexistent/tty", "4800"); // replaced before the reader starts
    core.start();
    core.openPort("/nonexistent/tty", "4800");
    ASSERT_TRUE(waitFor([&] { return !told.failedPorts.empty(); }));
    EXPECT_EQ(told.failedPorts.front(), "/nonexistent/tty");
    EXPECT_FALSE(core.hasConnection());

    core.openPort(sim->portPath(), "4800");
    ASSERT_TRUE(waitFor([&] { return terminations > 0; }));
    EXPECT_EQ(told.tooOld, 1);
    EXPECT_TRUE(core.quitting());
    EXPECT_EQ(terminations, 1);
}
