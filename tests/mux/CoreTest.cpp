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
#include "tests/support/HangBound.h"
#include "tests/support/LoopbackPort.h"

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

bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = testing_support::kHangBound) {
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
    std::vector<ClientSentences::Counts> counted;
    void clientSentencesCounted(const ClientSentences::Counts& counts) override { counted.push_back(counts); }
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
    EXPECT_GE(told.identities, 1); // at each version reply: the timer may have asked again meanwhile
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

// ---- sentences from the server's clients, and UDP ------------------------------------------------

TEST(ClientSentences, OnlyWellFormedSentencesNotAddressedToTheDevicePass) {
    using V = ClientSentences::Verdict;
    const std::string longest = "$" + std::string(81, 'A');
    const std::pair<std::string, V> cases[] = {
        {"$GPAPB,A,A,0.10,R,N,V,V,011,M,DEST,011,M,011,M*3C\r\n", V::WellFormed},
        {"$GPAPB,A,A,0.10,R,N,V,V,011,M,DEST,011,M,011,M*3c\r\n", V::WellFormed}, // either case
        {"!AIVDO,1,1,,,B,0*00\n", V::Malformed},                                  // wrong sum
        {"$IIHDG,123.4,,,,\r\n", V::WellFormed},                                  // no sum at all
        {"$IIHDG,123.4,,,,\n", V::WellFormed},                                    // LF alone
        {longest + "\r\n", V::WellFormed},
        {longest + "A\r\n", V::Malformed}, // 83 characters
        {"$IIHDG,1*7\r\n", V::Malformed},
        {"$IIHDG,1*7G\r\n", V::Malformed},
        {"$IIHDG,1*00*00\r\n", V::Malformed},
        {"$IIHDG,\x01\r\n", V::Malformed},
        {"$IIHDG,\xb0\r\n", V::Malformed},
        {"IIHDG,1\r\n", V::Malformed},
        {"$\r\n", V::Malformed},
        {"$IIHDG,1", V::Malformed}, // no line end: bytes that were no line
        {"", V::Malformed},
        {"$PQVXCF,1,0,0,0*00\r\n", V::Malformed},
        {"$PQVXFLQ\r\n", V::DeviceCommand},
        {"$pqvxFLQ\r\n", V::DeviceCommand},
        {"$PQVXCFQ*5B\r\n", V::DeviceCommand},
        {"$PQVXCFQ*7F\r\n", V::Malformed},
    };
    for (const auto& [text, verdict] : cases)
        EXPECT_EQ(ClientSentences::judge(Bytes(text.begin(), text.end())), verdict) << text;
}

TEST(ClientSentences, EachClientIsHeldToFiftyLinesInAnySecond) {
    GPSTransfer noPort;
    ClientSentences::Clock::time_point now{};
    ClientSentences sentences(noPort, [&] { return now; });
    const std::string text = "$IIHDG,123.4,,,,\r\n";
    const Bytes line(text.begin(), text.end());
    sentences.line(1, line);
    EXPECT_EQ(sentences.counts(), ClientSentences::Counts{}); // off: ignored
    sentences.setAccepting(true);
    for (int i = 0; i < 60; ++i) {
        sentences.line(1, line);
        now += std::chrono::milliseconds(10); // 100 a second
    }
    sentences.line(2, line); // another client has its own second
    EXPECT_EQ(sentences.counts().overRate, 10u);
    now += std::chrono::milliseconds(400); // one second after client 1's first line
    sentences.line(1, line);
    sentences.line(1, Bytes{});
    sentences.line(1, Bytes{'$', 'P', 'Q', 'V', 'X', 'V', 'E', 'Q', '\n'});
    ASSERT_TRUE(waitFor([&] { return sentences.counts().notWritten == 52; })); // no port to take them
    const ClientSentences::Counts counts = sentences.counts();
    EXPECT_EQ(counts.overRate, 10u);
    EXPECT_EQ(counts.malformed, 1u);
    EXPECT_EQ(counts.deviceCommands, 1u);
    EXPECT_EQ(counts.written, 0u);
}

namespace {

// The lines the device read, split at their line feeds.
std::vector<std::string> deviceLines(SimulatedMux& sim) {
    const Bytes got = sim.received();
    std::vector<std::string> lines;
    std::string line;
    for (uint8_t c : got) {
        line += static_cast<char>(c);
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

// A core that opened the device's port and has identified it; none after the wait's bound.
std::unique_ptr<MuxCore> identifiedCore(SimulatedMux& sim, Told& told) {
    auto core = std::make_unique<MuxCore>(quick([] {}), &told);
    core->openPort(sim.portPath(), "4800");
    core->start();
    return waitFor([&] { return core->identified(); }) ? std::move(core) : nullptr;
}

} // namespace

// Off, nothing a client sends reaches the device; on, the well-formed sentences do, whole, between
// the console's own commands, and the rest is counted.
TEST(MuxCore, ClientSentencesReachTheDeviceOnlyWhenAcceptedAndWhole) {
    auto sim = device(MuxFamily::ThirdGeneration);
    Told told;
    const auto running = identifiedCore(*sim, told);
    ASSERT_TRUE(running);
    MuxCore& core = *running;
    ASSERT_TRUE(core.server().start("0", ListenOn{ListenOn::Where::Loopback, {}}));
    Peer client(core.server().port());
    ASSERT_TRUE(waitFor([&] { return core.server().status().clients == 1; }));
    const std::string autopilot = "$GPAPB,A,A,0.10,R,N,V,V,011,M,DEST,011,M,011,M*3C\r\n";

    // Off, a line goes nowhere and is not counted. Handed in as the server's thread does: when
    // that thread reads a client's line is not for the test to know, so one sent now might be
    // read once on.
    core.clientSentences().line(1, Bytes(autopilot.begin(), autopilot.end()));
    ASSERT_TRUE(settle(core, *sim, told));
    for (const std::string& line : deviceLines(*sim))
        EXPECT_EQ(line.find("GPAPB"), std::string::npos);
    EXPECT_EQ(core.clientSentences().counts(), ClientSentences::Counts{});

    core.clientSentences().setAccepting(true);
    sim->clearReceived();
    const std::string reconfigure = "$PQVXCF,0,0,0,0,0,0,0,0,0,0,0,0\r\n";
    client.send(reconfigure + "$GPAPB,1*00\r\n\x01\x02junk\r\n");
    for (int i = 0; i < 40; ++i) {
        client.send(autopilot);
        core.sendQuery(Query::Configuration); // the console's own commands, at the same time
    }
    ASSERT_TRUE(waitFor([&] { return core.clientSentences().counts().written == 40; }));
    ASSERT_TRUE(settle(core, *sim, told));
    size_t autopilots = 0;
    for (const std::string& line : deviceLines(*sim)) {
        if (line == autopilot) {
            ++autopilots;
        } else { // whole: nothing came between its pieces
            EXPECT_TRUE(line.starts_with("$PQVX")) << line;
            EXPECT_NE(line, reconfigure);
        }
    }
    EXPECT_EQ(autopilots, 40u);
    const ClientSentences::Counts counts = core.clientSentences().counts();
    EXPECT_EQ(counts.deviceCommands, 1u);
    EXPECT_EQ(counts.malformed, 2u);

    // Told what was not written (and that writing began); a client feeding the device steadily
    // is not told each tick.
    const auto unwritten = [](ClientSentences::Counts c) {
        c.written = 0;
        return c;
    };
    // The refusals may be told on a tick before the first line is written, then once more.
    ASSERT_TRUE(waitFor([&] {
        return !told.counted.empty() && told.counted.back().written > 0 &&
               unwritten(told.counted.back()) == unwritten(counts);
    }));
    const size_t saidBefore = told.counted.size();
    for (int i = 0; i < 5; ++i)
        client.send(autopilot);
    ASSERT_TRUE(waitFor([&] { return core.clientSentences().counts().written == 45; }));
    ASSERT_TRUE(settle(core, *sim, told)); // ticks of the timer went by
    EXPECT_EQ(told.counted.size(), saidBefore);
}

TEST(MuxCore, EveryLineGoesOutOverUDPAsOnTCP) {
    auto sim = device(MuxFamily::ThirdGeneration);
    Told told;
    const auto running = identifiedCore(*sim, told);
    ASSERT_TRUE(running);
    MuxCore& core = *running;
    ASSERT_TRUE(settle(core, *sim, told));
    const testing_support::LoopbackPort receiver = testing_support::bindLoopback(SOCK_DGRAM);
    ASSERT_NE(receiver.port, 0);
    const timeval wait{testing_support::kHangBound.count(), 0};
    ::setsockopt(receiver.fd.get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    EXPECT_TRUE(core.startUDP({"127.0.0.1:0"}).has_value()); // refused, nothing changed
    ASSERT_FALSE(core.startUDP({"127.0.0.1:" + std::to_string(receiver.port)}));

    const std::string zda = "$GPZDA,201530.00,04,07,2002,00,00";
    const std::string lines[] = {zda + NMEA::checkSumTail(zda), "$IIMTW,12.5,C*00\r\n"};
    sim->sendRaw(lines[0] + lines[1]);
    for (const std::string& line : lines) {
        char got[2048];
        const ssize_t n = ::recv(receiver.fd.get(), got, sizeof got, 0);
        ASSERT_GT(n, 0);
        EXPECT_EQ(std::string(got, static_cast<size_t>(n)), line);
    }
    core.stopUDP();
}
