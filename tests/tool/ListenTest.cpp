// navtool listen against peers that are not the socket layer's own: plain sockets made here. The
// connection timers run on a clock the test moves, so a 30 s or 90 s timer is seen to fire, or
// not, at once.

#include "tests/net/ManualTimeLoop.h"
#include "tool/Listener.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What the command prints: its lines and its news, each into a text of its own.
struct Printed {
    char* out = nullptr;
    char* err = nullptr;
    size_t outSize = 0, errSize = 0;
    std::FILE* outFile = ::open_memstream(&out, &outSize);
    std::FILE* errFile = ::open_memstream(&err, &errSize);
    ~Printed() {
        std::fclose(outFile);
        std::fclose(errFile);
        std::free(out);
        std::free(err);
    }
    std::string lines() {
        std::fflush(outFile);
        return std::string(out, outSize);
    }
    std::string news() {
        std::fflush(errFile);
        return std::string(err, errSize);
    }
};

int plainSocket(int type) {
    return ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
}

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t portOf(int fd) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

// A listening TCP socket on 127.0.0.1. Full: one connection fills its queue, so a further one is
// never answered.
int listening(int backlog) {
    const int fd = plainSocket(SOCK_STREAM);
    sockaddr_in a = loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, backlog);
    return fd;
}

class ListenTest : public testing::Test {
protected:
    void TearDown() override { RunLoop::setCurrent(nullptr); }
    bool runUntil(const std::function<bool()>& done) { return loop->runUntil(done, 10.0); }
    std::shared_ptr<ManualTimeLoop> loop = ManualTimeLoop::install();
    TCPConnectionModel model;
    Printed printed;
};

Listener::Target target(const std::string& url) {
    std::string why;
    auto t = Listener::parse(url, &why);
    EXPECT_TRUE(t) << why;
    return t.value_or(Listener::Target{});
}

// Connected, the connection timer is gone: a working client is never cut off at 30 s.
TEST_F(ListenTest, ATCPServersLinesArePrintedAsTheyComeLongAfterTheConnectTimeout) {
    const int server = listening(4);
    Listener listener(model, printed.outFile, printed.errFile);
    ASSERT_TRUE(listener.start(target("tcp://127.0.0.1:" + std::to_string(portOf(server)))));
    ASSERT_TRUE(runUntil([&] { return model.clientConnected(); }));
    loop->advance(3600);
    EXPECT_FALSE(listener.done()) << printed.news();
    const int peer = ::accept(server, nullptr, nullptr);
    const std::string first = "$GPGLL,5030.00,N,00115.00,W*7B\r\n$GPV", rest = "TG,2*00\r\n";
    ::send(peer, first.data(), first.size(), 0);
    ASSERT_TRUE(runUntil([&] { return listener.lines() == 1; }));
    ::send(peer, rest.data(), rest.size(), 0);
    ASSERT_TRUE(runUntil([&] { return listener.lines() == 2; }));
    EXPECT_EQ(printed.lines(), first + rest);
    ::close(peer);
    ASSERT_TRUE(runUntil([&] { return listener.done(); }));
    EXPECT_EQ(listener.status(), 0);
    EXPECT_NE(printed.news().find("closed the connection"), std::string::npos) << printed.news();
    ::close(server);
}

// No answer: the connection is given up at 30 s, not before.
TEST_F(ListenTest, AServerThatNeverAnswersIsGivenUpAfterThirtySeconds) {
    const int server = listening(0);
    const int filler = plainSocket(SOCK_STREAM);
    const sockaddr_in at = loopback(portOf(server));
    ASSERT_EQ(::connect(filler, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    Listener listener(model, printed.outFile, printed.errFile);
    ASSERT_TRUE(listener.start(target("tcp://127.0.0.1:" + std::to_string(portOf(server)))));
    loop->advance(29.9);
    EXPECT_FALSE(listener.done());
    loop->advance(0.2);
    ASSERT_TRUE(listener.done());
    EXPECT_EQ(listener.status(), 1);
    EXPECT_FALSE(model.clientCreated());
    EXPECT_NE(printed.news().find("within 30 s"), std::string::npos) << printed.news();
    ::close(filler);
    ::close(server);
}

// The first datagram must come within 90 s; once it came, none has to.
TEST_F(ListenTest, UDPWaitsNinetySecondsForTheFirstDatagramOnly) {
    {
        Listener listener(model, printed.outFile, printed.errFile);
        ASSERT_TRUE(listener.start(target("udp://:0")));
        loop->advance(89.9);
        EXPECT_FALSE(listener.done());
        loop->advance(0.2);
        ASSERT_TRUE(listener.done());
        EXPECT_EQ(listener.status(), 1);
        EXPECT_NE(printed.news().find("within 90 s"), std::string::npos) << printed.news();
    }
    Listener listener(model, printed.outFile, printed.errFile, 3);
    ASSERT_TRUE(listener.start(target("udp://:0")));
    const int sender = plainSocket(SOCK_DGRAM);
    const sockaddr_in to = loopback(model.clientLocalPort());
    const std::string datagrams[] = {"$GPZDA,1*00\r\n$GPZ", "DA,2*00\r\n", "!AIVDM,3*00\r\n$GPZDA,4*00\r\n"};
    ::sendto(sender, datagrams[0].data(), datagrams[0].size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
    ASSERT_TRUE(runUntil([&] { return listener.lines() == 1; }));
    loop->advance(3600);
    EXPECT_FALSE(listener.done()) << printed.news();
    for (const auto& d : {datagrams[1], datagrams[2]})
        ::sendto(sender, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(runUntil([&] { return listener.done(); }));
    EXPECT_EQ(listener.status(), 0);
    EXPECT_EQ(printed.lines(), "$GPZDA,1*00\r\n$GPZDA,2*00\r\n!AIVDM,3*00\r\n"); // the count reached
    ::close(sender);
}

// Handing on the lines of one read may take 2 s; past that, the rest of the read is dropped and
// said, and the lines after it are printed again.
TEST_F(ListenTest, LinesThatTakeMoreThanTwoSecondsToPrintDropTheRestOfTheirRead) {
    const int server = listening(4);
    Listener listener(model, printed.outFile, printed.errFile);
    // Each printed line takes a second, as on a terminal that cannot keep up.
    model.setClientClock(
        [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(listener.lines())); });
    ASSERT_TRUE(listener.start(target("tcp://127.0.0.1:" + std::to_string(portOf(server)))));
    ASSERT_TRUE(runUntil([&] { return model.clientConnected(); }));
    const int peer = ::accept(server, nullptr, nullptr);
    std::string burst;
    for (int i = 0; i < 5; ++i)
        burst += "$GPZDA," + std::to_string(i) + "*00\r\n";
    ::send(peer, burst.data(), burst.size(), 0);
    ASSERT_TRUE(runUntil([&] { return printed.news().find("dropped") != std::string::npos; }));
    EXPECT_EQ(printed.lines(), burst.substr(0, 3 * 13));
    const std::string after = "$GPZDA,9*00\r\n";
    ::send(peer, after.data(), after.size(), 0);
    ASSERT_TRUE(runUntil([&] { return printed.lines().ends_with(after); }));
    EXPECT_EQ(listener.lines(), 4u);
    ::close(peer);
    ::close(server);
}

TEST(ListenTargets, AreTCPHostsAndPortsOrAUDPPortOfThisComputer) {
    const std::tuple<const char*, bool, const char*, const char*> good[] = {
        {"tcp://192.168.1.20:2114", false, "192.168.1.20", "2114"},
        {"tcp://[::1]:10110", false, "::1", "10110"},
        {"tcp://boat.local:2000", false, "boat.local", "2000"},
        {"udp://:10110", true, "", "10110"},
    };
    for (const auto& [url, udp, host, port] : good) {
        std::string why;
        const auto t = Listener::parse(url, &why);
        ASSERT_TRUE(t) << url << ": " << why;
        EXPECT_EQ(t->udp, udp);
        EXPECT_EQ(t->host, host);
        EXPECT_EQ(t->port, port);
    }
    for (const char* url : {"tcp://host", "tcp://:2114", "tcp://host:0", "tcp://host:65536", "udp://host:1",
                            "http://host:80", "tcp://host:21x4"}) {
        std::string why;
        EXPECT_FALSE(Listener::parse(url, &why)) << url;
        EXPECT_FALSE(why.empty());
    }
}

} // namespace
