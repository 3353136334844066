#include "net/TCPConnectionModel.h"
#include "net/TCPServer.h"
#include "tests/net/LoopPeers.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Controller : TCPServerDelegate {
    std::thread::id thread = std::this_thread::get_id();
    int updates = 0, disconnected = 0, echoes = 0;
    bool offThread = false;
    void note() { offThread |= std::this_thread::get_id() != thread; }
    void updateConnections() override { note(), ++updates; }
    void serverSocketDisconnected() override { note(), ++disconnected; }
    bool implementsWriteNMEASentence() const override { return true; }
    void writeNMEASentence(const Bytes&) override { note(), ++echoes; }
};

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

class ServerTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        ASSERT_TRUE(model.createServerConnection(&controller, "0", "127.0.0.1"));
        port = model.serverPort();
    }
    bool waitForClients(unsigned n) {
        return runUntil([&] { return model.clientsConnected() == n; });
    }
    Controller controller;
    TCPConnectionModel model;
    uint16_t port = 0;
};

// What clients send is read and dropped; the delegate sees each line, on the server's thread.
TEST_P(ServerTest, EveryClientReceivesExactlyTheDevicesBytes) {
    EXPECT_FALSE(model.writeNMEASentence(bytes("$GPGLL,,,,*00\r\n"))); // nobody there
    Peer a(port), b(port);
    ASSERT_TRUE(waitForClients(2));
    EXPECT_TRUE(runUntil([&] { return controller.updates == 2; }));
    b.send("hello\r\n" + std::string(100000, 'z'));
    // A bad checksum, a line without one, a stray byte: all pass unchanged.
    const std::string lines = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
                              "$IIMTW,12.5,C*00\r\n"
                              "$PQVXVER\r\n\xff\n";
    for (size_t at = 0, end; at < lines.size(); at = end + 1) {
        end = lines.find('\n', at);
        EXPECT_TRUE(model.writeNMEASentence(bytes(lines.substr(at, end - at + 1))));
    }
    EXPECT_EQ(a.receive(lines.size()), lines);
    EXPECT_EQ(b.receive(lines.size()), lines);
    EXPECT_EQ(model.clientsConnected(), 2u);
    bool before = false; // the loop runs its tasks in order: the echoes were posted before this
    loop->post([&] { before = true; });
    ASSERT_TRUE(runUntil([&] { return before; }));
    EXPECT_EQ(controller.echoes, 4);
    EXPECT_FALSE(controller.offThread);
}

TEST_P(ServerTest, StartsOnceAndAgainAfterClosing) {
    EXPECT_FALSE(model.createServerConnection(&controller, "0"));
    TCPConnectionModel other;
    EXPECT_FALSE(other.createServerConnection(nullptr, std::to_string(port), "127.0.0.1")); // port taken
    EXPECT_FALSE(other.createServerConnection(nullptr, std::nullopt));
    Peer peer(port);
    ASSERT_TRUE(waitForClients(1));
    model.closeServerConnection();
    EXPECT_EQ(controller.disconnected, 1);
    EXPECT_FALSE(model.serverConnected());
    EXPECT_EQ(model.clientsConnected(), 0u);
    EXPECT_EQ(peer.receive(1), "");                                             // closed by the server
    ASSERT_TRUE(model.createServerConnection(&controller, "abc", "127.0.0.1")); // the system chooses
    EXPECT_NE(model.serverPort(), 0);
    EXPECT_EQ(model.clientsConnected(), 0u);
}

// The device keeps within a few hundred lines of the fast client, as a real one's pace would;
// the stalled one, with a small receive buffer, falls behind until more than the bound waits for
// it, counting what its socket holds unsent. The server's clock stands still: however slowly the
// test runs, the bytes drop the stalled client, not the age of what waits for it.
TEST_P(ServerTest, AStalledClientIsDroppedPastTheBoundWhileAFastOneGetsEverything) {
    ClientPolicy policy;
    policy.now = [] { return ClientPolicy::Clock::time_point{}; };
    const auto server = TCPServer::start(0, "127.0.0.1", 8, 2, loop, {}, policy);
    ASSERT_TRUE(server);
    Peer stalled(server->port(), 4096), fast(server->port());
    ASSERT_TRUE(runUntil([&] { return server->clientsConnected() == 2; }));
    const std::string line = "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n";
    const size_t lines = 4 * TCPServer::kClientOutgoingLimit / line.size();
    std::mutex mutex;
    std::condition_variable progress;
    size_t received = 0; // whole lines the fast client has
    std::string got;
    std::thread reading([&] {
        while (got.size() < lines * line.size()) {
            const std::string more = fast.receive(std::min<size_t>(8192, lines * line.size() - got.size()));
            if (more.empty())
                break;
            got += more;
            std::lock_guard lock(mutex);
            received = got.size() / line.size();
            progress.notify_all();
        }
    });
    size_t droppedAt = 0; // bytes written when the stalled client was first seen gone
    for (size_t i = 0; i < lines; ++i) {
        std::unique_lock lock(mutex);
        if (!progress.wait_for(lock, std::chrono::seconds(30), [&] { return received + 512 >= i; })) {
            ADD_FAILURE() << "the fast client stopped at line " << received;
            break;
        }
        lock.unlock();
        server->broadcast(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        if (droppedAt == 0 && server->clientsConnected() == 1)
            droppedAt = (i + 1) * line.size();
    }
    reading.join();
    EXPECT_EQ(server->clientsConnected(), 1u);
    EXPECT_GE(droppedAt, TCPServer::kClientOutgoingLimit);
    EXPECT_LE(droppedAt, TCPServer::kClientOutgoingLimit + 256 * 1024); // its socket's share is small
    EXPECT_EQ(got.size(), lines * line.size());
    size_t broken = 0;
    for (size_t at = 0; at < got.size(); at += line.size())
        broken += got.compare(at, line.size(), line) != 0;
    EXPECT_EQ(broken, 0u);
    const std::string early = stalled.receive(TCPServer::kClientOutgoingLimit);
    size_t wrong = 0; // what the stalled client did get is the stream's start, byte for byte
    for (size_t at = 0; at < early.size(); ++at)
        wrong += early[at] != line[at % line.size()];
    EXPECT_EQ(wrong, 0u);
}

// Lines clients send reach the handler whole, each with its client, on the server's thread;
// bytes that are no line are said as an empty one. Without a handler they go nowhere.
TEST_P(ServerTest, LinesClientsSendReachTheHandlerWhole) {
    std::mutex mutex;
    std::vector<std::pair<uint64_t, std::string>> got;
    model.setClientLineHandler([&](uint64_t client, const Bytes& line) {
        std::lock_guard lock(mutex);
        got.emplace_back(client, std::string(line.begin(), line.end()));
    });
    auto count = [&] {
        std::lock_guard lock(mutex);
        return got.size();
    };
    Peer one(port), two(port);
    ASSERT_TRUE(waitForClients(2));
    one.send("$GPAAM,A*00\r\n$GPB");
    ASSERT_TRUE(runUntil([&] { return count() == 1; }));
    one.send("OD\r\n");
    ASSERT_TRUE(runUntil([&] { return count() == 2; }));
    two.send(std::string(5000, 'x'));
    ASSERT_TRUE(runUntil([&] { return count() == 3; }));
    two.send("!AIVDM\n");
    ASSERT_TRUE(runUntil([&] { return count() == 4; }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(got[0].second, "$GPAAM,A*00\r\n");
    EXPECT_EQ(got[1], std::pair(got[0].first, std::string("$GPBOD\r\n")));
    EXPECT_NE(got[2].first, got[0].first);
    EXPECT_EQ(got[2].second, "");
    EXPECT_EQ(got[3], std::pair(got[2].first, std::string("!AIVDM\n")));
    model.setClientLineHandler(nullptr);
    one.send("$GPGLL\r\n");
    // Still served: the line went nowhere.
    const std::string line = "$GPZDA*00\r\n";
    model.writeNMEASentence(bytes(line));
    EXPECT_EQ(one.receive(line.size()), line);
    EXPECT_EQ(got.size(), 4u);
}

// Room for eight at a time: a client that left must keep neither its place nor its descriptor.
TEST_P(ServerTest, AFloodOfComingAndGoingClientsLeavesNothingBehind) {
    const auto server = TCPServer::start(0, "127.0.0.1", 8, 2, loop, {});
    ASSERT_TRUE(server);
    const size_t descriptors = openDescriptors();
    const std::string line = "$GPRMC,,V,,,,,,,,,,N*53\r\n";
    std::atomic<bool> stop{false};
    std::thread reader([&] { // a device's pace
        while (!stop) {
            server->broadcast(reinterpret_cast<const uint8_t*>(line.data()), line.size());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::atomic<int> finished{0};
    std::thread crowd([&] {
        for (int i = 0; i < 200; ++i) {
            Peer peer(server->port());
            if (i % 4 == 1)
                peer.receive(100);
            if (i % 4 == 2)
                peer.send("hello\r\n");
            peer.close(i % 4 == 3);
        }
        finished = 1;
    });
    Peer steady(server->port());
    ASSERT_TRUE(runUntil([&] { return finished == 1; }, 60));
    crowd.join();
    ASSERT_TRUE(runUntil([&] { return server->clientsConnected() == 1; }));
    Peer late(server->port());
    EXPECT_TRUE(runUntil([&] { return server->clientsConnected() == 2; }));
    EXPECT_GE(steady.receive(25 * 100).size(), 2500u); // served throughout
    steady.close();
    late.close();
    // An orderly close is seen at the next line, which the system answers with a reset.
    ASSERT_TRUE(runUntil([&] { return server->clientsConnected() == 0; }));
    stop = true;
    reader.join();
    EXPECT_TRUE(runUntil([&] { return openDescriptors() == descriptors; }));
}

TEST(ServerHost, ChoosesTheFirstAddressOutsideTheLoopbackNetwork) {
    using V = std::vector<std::string>;
    EXPECT_EQ(TCPConnectionModel::serverHost(V{"127.0.0.1", "192.168.1.20", "10.0.0.1"}), "192.168.1.20");
    EXPECT_EQ(TCPConnectionModel::serverHost(V{"127.0.0.1", "127.0.1.1"}), "");
    EXPECT_EQ(TCPConnectionModel::serverHost(V{"fe80::1", "1234.5.6.7"}), "");
    EXPECT_EQ(TCPConnectionModel::serverHost(V{}), "");
    const std::string mine = TCPConnectionModel::serverHost();
    EXPECT_FALSE(mine.starts_with("127.")) << mine; // this machine's choice is never a loopback
    EXPECT_FALSE(TCPConnectionModel::hostName().empty());
}

TEST(PortText, LeadingIntegerModulo65536) {
    const std::pair<const char*, uint16_t> cases[] = {
        {"2114", 2114},         {"abc", 0}, {"", 0}, {" 80x", 80}, {"70000", 4464}, {"-1", 65535},
        {"99999999999", 65535},
    };
    for (const auto& [text, port] : cases)
        EXPECT_EQ(TCPConnectionModel::portFromText(text), port) << text;
}

INSTANTIATE_TEST_SUITE_P(Loops, ServerTest, testing::ValuesIn(loopKinds()), loopName);

} // namespace
