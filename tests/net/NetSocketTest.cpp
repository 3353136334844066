#include "net/NetSocket.h"
#include "tests/net/LoopPeers.h"
#include "tests/support/LoopbackPort.h"

#include <thread>

namespace {

// Writes down each event in order.
struct Recorder : NetSocketDelegate {
    std::vector<std::string> events;
    std::vector<std::shared_ptr<NetSocket>> accepted;
    void netsocketConnected(NetSocket&) override { events.push_back("connected"); }
    void netsocketDisconnected(NetSocket&) override { events.push_back("disconnected"); }
    void netsocketDataAvailable(NetSocket&, size_t total) override {
        events.push_back("data " + std::to_string(total));
    }
    void netsocketDataSent(NetSocket&) override { events.push_back("sent"); }
    void netsocketConnectionTimedOut(NetSocket&, double) override { events.push_back("timeout"); }
    void netsocketConnectionAccepted(NetSocket&, std::shared_ptr<NetSocket> socket) override {
        accepted.push_back(std::move(socket));
        events.push_back("accepted");
    }
    size_t count(const std::string& event) const { return std::count(events.begin(), events.end(), event); }
};

using NetSocketTest = LoopTest;

TEST_P(NetSocketTest, ListeningTwiceOnOnePortIsRefusedUntilTheFirstCloses) {
    auto first = NetSocket::netsocketListeningOnRandomPort();
    ASSERT_TRUE(first);
    const uint16_t port = first->localPort();
    EXPECT_NE(port, 0);
    EXPECT_FALSE(NetSocket::netsocketListeningOnPort(port));
    first->close();
    first->close(); // twice: nothing
    EXPECT_EQ(first->nativeSocketHandle(), -1);
    EXPECT_TRUE(NetSocket::netsocketListeningOnPort(port));
}

TEST_P(NetSocketTest, ConnectsAcceptsAndReportsEventsInOrder) {
    Recorder server, client;
    auto listener = NetSocket::netsocketListeningOnRandomPort();
    listener->setDelegate(&server);
    auto socket = NetSocket::netsocket();
    socket->setDelegate(&client);
    ASSERT_TRUE(socket->connectToHost("127.0.0.1", listener->localPort(), 5.0));
    ASSERT_TRUE(runUntil([&] { return client.count("connected") == 1; }));
    ASSERT_TRUE(runUntil([&] { return !server.accepted.empty(); }));
    auto& peer = *server.accepted.front();
    EXPECT_TRUE(peer.isConnected());
    EXPECT_FALSE(peer.isScheduled()); // the receiver schedules it if it wants its events
    peer.setDelegate(&server);
    ASSERT_TRUE(peer.scheduleOnCurrentRunLoop());
    EXPECT_EQ(peer.remotePort(), socket->localPort());
    EXPECT_EQ(socket->remoteHost(), "127.0.0.1");

    socket->writeString("$GPGLL");
    ASSERT_TRUE(runUntil([&] { return peer.incomingBufferLength() == 6; }));
    peer.close();
    ASSERT_TRUE(runUntil([&] { return client.count("disconnected") == 1; }));
    EXPECT_EQ(client.events, (std::vector<std::string>{"connected", "sent", "disconnected"}));
    EXPECT_FALSE(socket->isConnected());
    EXPECT_EQ(server.count("data 6"), 1u);
}

TEST_P(NetSocketTest, RefusedOrUnresolvedConnectionsAreNeverReportedConnected) {
    // A port bound but not listened on refuses connections, and stays ours: a port let go could be
    // taken meanwhile by a test running beside this one.
    const testing_support::LoopbackPort bound = testing_support::bindLoopback(SOCK_STREAM);
    ASSERT_NE(bound.port, 0);
    const uint16_t port = bound.port;
    Recorder recorder;
    auto socket = NetSocket::netsocket();
    socket->setDelegate(&recorder);
    ASSERT_TRUE(socket->connectToHost("127.0.0.1", port, 5.0));
    ASSERT_TRUE(runUntil([&] { return !recorder.events.empty(); }));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"disconnected"});
    EXPECT_FALSE(NetSocket::netsocket()->connectToHost("no-such-host.invalid", 2114, 5.0));
}

// An empty datagram is no close.
TEST_P(NetSocketTest, UdpFirstDatagramIsTheConnectionAndDatagramsFollowInOrder) {
    Recorder recorder;
    auto socket = NetSocket::netsocketWithUDPPort(0, 5.0); // a port of the system's choice, kept
    ASSERT_TRUE(socket);
    const uint16_t port = socket->localPort();
    socket->setDelegate(&recorder);
    EXPECT_TRUE(socket->isUDP());
    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (const char* datagram : {"ab", "", "cd"})
        ::sendto(sender, datagram, std::strlen(datagram), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::close(sender);
    ASSERT_TRUE(runUntil([&] { return socket->incomingBufferLength() == 4; }));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"connected", "data 2", "data 4"}));
    EXPECT_EQ(socket->readString(NetSocket::Encoding::ASCII), "abcd");
}

TEST_P(NetSocketTest, UnsentBytesBeyondTheLimitDropThePeer) {
    Recorder server;
    auto listener = NetSocket::netsocketListeningOnRandomPort();
    listener->setDelegate(&server);
    Peer stalled(listener->localPort(), 4096);
    ASSERT_TRUE(runUntil([&] { return !server.accepted.empty(); }));
    auto& socket = *server.accepted.front();
    socket.setDelegate(&server);
    socket.scheduleOnCurrentRunLoop();
    socket.setOutgoingLimit(64 * 1024);
    const int small = 4096;
    ::setsockopt(socket.nativeSocketHandle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::string line(80, 'x');
    std::thread writer([&] { // the limit holds for a writer on another thread too
        for (int i = 0; i < 1000000 && socket.isConnected(); ++i)
            socket.writeString(line);
    });
    writer.join();
    EXPECT_FALSE(socket.isConnected());
    ASSERT_TRUE(runUntil([&] { return server.count("disconnected") == 1; }));
    EXPECT_EQ(socket.nativeSocketHandle(), -1);
}

TEST_P(NetSocketTest, ReadsTakeFromTheFrontAndKeepBytesThatDoNotDecode) {
    Recorder server;
    auto listener = NetSocket::netsocketListeningOnRandomPort();
    listener->setDelegate(&server);
    Peer peer(listener->localPort());
    ASSERT_TRUE(runUntil([&] { return !server.accepted.empty(); }));
    auto& socket = *server.accepted.front();
    socket.scheduleOnCurrentRunLoop();
    peer.send("ab\xff\xfe");
    peer.close(); // what came before the close stays readable
    ASSERT_TRUE(runUntil([&] { return !socket.isConnected(); }));
    EXPECT_EQ(socket.readString(NetSocket::Encoding::UTF8), std::nullopt);
    EXPECT_EQ(socket.readString(NetSocket::Encoding::ASCII, 2), "ab");
    EXPECT_EQ(socket.readString(NetSocket::Encoding::Latin1, 1), "\xc3\xbf");
    EXPECT_EQ(socket.readData(10), Bytes{0xfe});
    EXPECT_EQ(socket.readData(10), std::nullopt);
}

// A text goes out in the encoding asked for, or not at all when the encoding lacks a character.
TEST_P(NetSocketTest, WritesATextInItsEncoding) {
    Recorder server;
    auto listener = NetSocket::netsocketListeningOnRandomPort();
    listener->setDelegate(&server);
    auto socket = NetSocket::netsocket();
    ASSERT_TRUE(socket->connectToHost("127.0.0.1", listener->localPort()));
    ASSERT_TRUE(runUntil([&] { return socket->isConnected() && !server.accepted.empty(); }));
    auto& peer = *server.accepted.front();
    ASSERT_TRUE(peer.scheduleOnCurrentRunLoop());
    using E = NetSocket::Encoding;
    const std::tuple<const char*, E, bool, std::string> cases[] = {
        {"Bou\u00e9e", E::UTF8, true,
         "Bou\xc3\xa9"
         "e"},
        {"Bou\u00e9e", E::Latin1, true,
         "Bou\xe9"
         "e"},
        {"\u00ff", E::Latin1, true, "\xff"},
        {"Bou\u00e9e", E::ASCII, false, ""},
        {"10 \u20ac", E::Latin1, false, ""}, // the euro sign is not Latin-1
        {"\xe9t\xe9", E::UTF8, false, ""},   // Latin-1 bytes are no UTF-8 text
        {"\xe9t\xe9", E::Latin1, false, ""},
        {"$GPGLL", E::ASCII, true, "$GPGLL"},
    };
    std::string expected;
    for (const auto& [text, encoding, written, bytes] : cases) {
        EXPECT_EQ(socket->writeString(text, encoding), written) << text;
        expected += bytes;
    }
    ASSERT_TRUE(runUntil([&] { return peer.incomingBufferLength() == expected.size(); }));
    EXPECT_EQ(peer.readString(E::Latin1).value_or(""), "Bou\u00c3\u00a9eBou\u00e9e\u00ff$GPGLL");
    socket->close();
    EXPECT_FALSE(socket->writeString("$GPGLL", E::ASCII)); // not connected
}

INSTANTIATE_TEST_SUITE_P(Loops, NetSocketTest, testing::ValuesIn(loopKinds()), loopName);

} // namespace
