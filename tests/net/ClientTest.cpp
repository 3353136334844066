#include "net/LineSplitter.h"
#include "net/TCPConnectionModel.h"
#include "tests/net/LoopPeers.h"

namespace {

struct Navigator : TCPClientDelegate {
    std::vector<std::string> events;
    void clientSocketConnected() override { events.push_back("connected"); }
    void clientSocketDisconnected() override { events.push_back("disconnected"); }
    void clientSocketTimedOut() override { events.push_back("timed out"); }
    void readNMEASentence(const Bytes& line) override { events.emplace_back(line.begin(), line.end()); }
    void readNMEASentenceOverflow() override { events.push_back("overflow"); }
    void writeNMEASentence(const Bytes& line) override {
        events.push_back("wrote " + std::string(line.begin(), line.end()));
    }
};

using ClientTest = LoopTest;

struct Acceptor : NetSocketDelegate {
    std::shared_ptr<NetSocket> peer;
    void netsocketConnectionAccepted(NetSocket&, std::shared_ptr<NetSocket> socket) override {
        peer = std::move(socket);
    }
};

TEST_P(ClientTest, LinesSplitAcrossChunksArriveWholeAndWritesCarryTheirChecksum) {
    Acceptor acceptor;
    auto listener = NetSocket::netsocketListeningOnRandomPort();
    listener->setDelegate(&acceptor);
    Navigator navigator;
    TCPConnectionModel model;
    ASSERT_TRUE(model.createClientConnection(&navigator, "127.0.0.1", std::to_string(listener->localPort())));
    EXPECT_FALSE(model.createClientConnection(&navigator, "127.0.0.1", "1")); // one at a time
    ASSERT_TRUE(loop->runUntil([&] { return acceptor.peer != nullptr; }, 10));
    ASSERT_TRUE(loop->runUntil([&] { return model.clientConnected(); }, 10));
    EXPECT_EQ(navigator.events, std::vector<std::string>{"connected"});
    EXPECT_EQ(model.clientLocalHost(), "127.0.0.1");

    auto& peer = *acceptor.peer;
    ASSERT_TRUE(peer.scheduleOnCurrentRunLoop());
    peer.writeString("$GPGLL,1*00\r\n$GPV");
    ASSERT_TRUE(loop->runUntil([&] { return navigator.events.size() == 2; }, 10));
    peer.writeString("TG,2*00\r\n");
    ASSERT_TRUE(loop->runUntil([&] { return navigator.events.size() == 3; }, 10));
    EXPECT_EQ(navigator.events[1], "$GPGLL,1*00\r\n");
    EXPECT_EQ(navigator.events[2], "$GPVTG,2*00\r\n");

    // An unfinished line longer than any sentence is discarded, and the stream goes on.
    peer.writeString(std::string(LineSplitter::kMaxPendingLine + 1, 'x'));
    ASSERT_TRUE(loop->runUntil([&] { return navigator.events.back() == "overflow"; }, 10));
    peer.writeString("$GPZDA*00\r\n");
    ASSERT_TRUE(loop->runUntil([&] { return navigator.events.back() == "$GPZDA*00\r\n"; }, 10));

    const std::pair<const char*, std::string> writes[] = {
        {"$PQVXVER", "$PQVXVER*4E\r\n"}, // the exclusive-or of the bytes after "$"
        {"$PQVXCFQ*7F", "$PQVXCFQ*7F\r\n"},
        {"", "*00\r\n"},
    };
    for (const auto& [text, wire] : writes) {
        ASSERT_TRUE(model.writeNMEASentence(text, true, false));
        EXPECT_EQ(navigator.events.back(), "wrote " + wire);
        ASSERT_TRUE(loop->runUntil([&] { return peer.incomingBufferLength() == wire.size(); }, 10));
        EXPECT_EQ(peer.readString(NetSocket::Encoding::ASCII), wire);
    }
    EXPECT_FALSE(model.writeString(""));

    peer.close();
    ASSERT_TRUE(loop->runUntil([&] { return navigator.events.back() == "disconnected"; }, 10));
    EXPECT_FALSE(model.clientCreated());
}

TEST_P(ClientTest, ConnectionTimersCloseTheClient) {
    Navigator navigator;
    TCPConnectionModel model;
    model.setClientTimeouts(0.05, 0.05);
    auto listener = std::make_shared<NetSocket>();
    ASSERT_TRUE(listener->open());
    ASSERT_TRUE(listener->listenOnPort(0, 0));
    Peer filler(listener->localPort()); // its queue is full: no answer
    for (bool udp : {false, true}) {
        navigator.events.clear();
        ASSERT_TRUE(udp ? model.createClientUDPConnection(&navigator, "0")
                        : model.createClientConnection(&navigator, "127.0.0.1",
                                                       std::to_string(listener->localPort())));
        ASSERT_TRUE(loop->runUntil([&] { return !navigator.events.empty(); }, 10));
        EXPECT_EQ(navigator.events, std::vector<std::string>{"timed out"});
        EXPECT_FALSE(model.clientCreated());
    }
    EXPECT_FALSE(model.createClientConnection(&navigator, "no-such-host.invalid", "2114"));
    EXPECT_FALSE(model.clientCreated());
}

TEST(LineSplitter, HandingOnForMoreThanTwoSecondsDiscardsTheRest) {
    using Clock = LineSplitter::Clock;
    Clock::time_point now{};
    std::vector<std::string> lines;
    Bytes pending;
    const std::string text = "$A\r\n$B\r\n$C\r\n$D";
    pending.assign(text.begin(), text.end());
    // Each line takes a second of the clock.
    const auto result = LineSplitter::split(
        pending,
        [&](const Bytes& line) {
            lines.emplace_back(line.begin(), line.end());
            now += std::chrono::seconds(1);
            return true;
        },
        [&] { return now; });
    EXPECT_EQ(result, LineSplitter::Result::Overflow);
    EXPECT_EQ(lines, (std::vector<std::string>{"$A\r\n", "$B\r\n", "$C\r\n"}));
    EXPECT_TRUE(pending.empty());
}

INSTANTIATE_TEST_SUITE_P(Loops, ClientTest, testing::ValuesIn(loopKinds()), loopName);

} // namespace
