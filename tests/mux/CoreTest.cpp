// The console's core without a window, as a headless bridge runs it: under a plain
// QCoreApplication against the simulated device, told a port, a rate and the server's port
// directly, observed through its observer alone.

#include "link/NMEA.h"
#include "mux/FilterList.h"
#include "mux/MuxCore.h"
#include "net/TCPConnectionModel.h"
#include "sim/SimulatedMux.h"
#include "tests/mux/MainLoopWait.h"
#include "tests/net/LoopPeers.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    return waitWhileRunning(condition, timeout);
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

// Until the device has answered all the core wrote so far and the core has handled the answers:
// a mark the core writes (the device ignores its own sentences), then one the device sends.
bool settle(MuxCore& core, SimulatedMux& sim, Told& told) {
    static int marks = 0;
    const std::string mark = "$PQVXCN,7" + std::to_string(++marks);
    const std::string written = mark + NMEA::checkSumTail(mark);
    core.sender().sendNMEACommand(mark);
    if (!waitFor([&] {
            const Bytes got = sim.received();
            return std::search(got.begin(), got.end(), written.begin(), written.end()) != got.end();
        }))
        return false;
    const std::string echo = "$PQVXCN,8" + std::to_string(marks);
    sim.sendRaw(echo + NMEA::checkSumTail(echo));
    return waitFor([&] {
        return std::find(told.shownLines.begin(), told.shownLines.end(), echo) != told.shownLines.end();
    });
}

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

std::unique_ptr<SimulatedMux> device(MuxFamily family, const std::string& firmware = "",
                                     std::vector<MuxFilterEntry> filters = {}) {
    SimOptions sim;
    sim.family = family;
    sim.firmware = firmware;
    sim.filters = std::move(filters);
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

    ASSERT_TRUE(settle(core, *sim, told)); // the line is quiet from here on
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

// A list query sent while the replies to the one before are still on their way (the timer asks an
// unidentified device again every tick) must not double the list: each reported entry takes the
// row of its address.
TEST(MuxCore, ListQueriesInQuickSuccessionLeaveEachEntryOnce) {
    auto sim = device(MuxFamily::Legacy, "", {{"--RMC", "00000", 0}, {"GPGGA", "10000", 3}});
    Told told;
    MuxCore core(quick([] {}), &told);
    core.openPort(sim->portPath(), "4800");
    core.start();
    ASSERT_TRUE(waitFor([&] { return core.identified() && core.filterList().size() == 2; }));
    ASSERT_TRUE(settle(core, *sim, told)); // the replies to the queries before are all in
    auto reported = [&] {
        return std::count_if(told.shownLines.begin(), told.shownLines.end(),
                             [](const std::string& line) { return line.starts_with("$PQVXFL,"); });
    };
    const auto before = reported();
    core.sendQuery(Query::Filters);
    core.sendQuery(Query::Filters);
    ASSERT_TRUE(settle(core, *sim, told));
    ASSERT_EQ(reported(), before + 4);
    ASSERT_EQ(core.filterList().size(), 2u);
    EXPECT_EQ(core.filterList().rows()[0].sentence(), "--RMC");
    EXPECT_EQ(core.filterList().rows()[1].sentence(), "GPGGA");
}

// Edits keep the rows until the device reports; an entry an edit drops goes at once, since a list
// the device left empty brings no report at all.
TEST(MuxFilterList, ReportsReplaceRowsAndDroppedEntriesGoAtOnce) {
    auto entry = [](const char* address, const char* flags) {
        Filter f = Filter::filter();
        f.setSentence(std::string(address));
        bool* bits[] = {&f.usb, &f.channel1, &f.channel2, &f.channel3, &f.channel4};
        for (size_t k = 0; k < 5; ++k)
            *bits[k] = flags[k] == '1';
        return f;
    };
    FilterList list;
    for (const char* round : {"first", "late replies to an earlier query"}) {
        SCOPED_TRACE(round);
        list.report(entry("--RMC", "00000"));
        list.report(entry("GPGGA", "10000"));
        ASSERT_EQ(list.size(), 2u);
    }
    EXPECT_EQ(list.toggle(0, 1).flagString(), "01000");
    EXPECT_EQ(list.toggle(0, 0).flagString(), "11000"); // a second click on the row adds up
    list.refresh({list.rows()[0]});
    EXPECT_EQ(list.size(), 2u); // still editable until the report
    list.report(entry("--RMC", "11000"));
    ASSERT_EQ(list.size(), 1u); // the report starts the list anew
    EXPECT_EQ(list.rows()[0].flagString(), "11000");

    list.refresh({list.removal(0)});
    EXPECT_EQ(list.size(), 0u);
}
