// The server's answers to clients that misbehave or vanish, and to more clients than it can
// hold. Time is the test's own: the server reads its clock from the policy.

#include "net/StreamLog.h"
#include "net/TCPServer.h"
#include "tests/net/LoopPeers.h"

#include <fcntl.h>
#include <sys/resource.h>

namespace {

using namespace std::chrono_literals;
using Clock = ClientPolicy::Clock;

class ServerFaultTest : public LoopTest {
protected:
    std::unique_ptr<TCPServer> start(size_t maxClients = 64) {
        ClientPolicy policy;
        policy.now = [this] { return Clock::time_point(Clock::duration(ticks_.load())); };
        TCPServer::Events events;
        events.clientsRefused = [this] { ++refusals; };
        auto server = TCPServer::start(0, "127.0.0.1", maxClients, 1, loop, std::move(events), policy);
        EXPECT_TRUE(server);
        return server;
    }
    void advance(Clock::duration by) { ticks_ += by.count(); }
    bool waitForClients(const TCPServer& server, unsigned n) {
        return runUntil([&] { return server.clientsConnected() == n; });
    }
    static void send(TCPServer& server, const std::string& text) {
        server.broadcast(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    // Runs the loop until every task posted so far has run: the loop keeps their order.
    void settleLoop() {
        bool reached = false;
        loop->post([&] { reached = true; });
        ASSERT_TRUE(runUntil([&] { return reached; }));
    }
    int refusals = 0;

private:
    std::atomic<Clock::rep> ticks_{std::chrono::duration_cast<Clock::duration>(1h).count()};
};

std::string numbered(int i) {
    return "$GPZDA,2015" + std::to_string(10 + i % 90) + ".00,04,07,2002,00,00*00\r\n";
}

// nc -N, a logger piping its input: the client ends its own stream but still reads. On loopback
// its final close sends nothing new (its end of stream went before, and nothing waits unread), so
// only the next line shows it gone: the system answers it with a reset at once.
TEST_P(ServerFaultTest, AClientThatOnlyStopsSendingIsServedUntilAWriteToItFails) {
    auto server = start();
    Peer peer(server->port());
    ASSERT_TRUE(waitForClients(*server, 1));
    peer.send("$PQVXVER\r\n");
    ::shutdown(peer.fd(), SHUT_WR);
    for (int i = 0; i < 20; ++i) { // each after the last arrived: its end of stream was long seen
        send(*server, numbered(i));
        ASSERT_EQ(peer.receive(numbered(i).size()), numbered(i)) << i;
    }
    EXPECT_EQ(server->clientsConnected(), 1u);
    peer.close();
    EXPECT_EQ(server->clientsConnected(), 1u);
    send(*server, numbered(0));
    EXPECT_TRUE(waitForClients(*server, 0));
}

// Both clients hold the same old lines; only the one that has not taken them is too far behind.
TEST_P(ServerFaultTest, AClientWhoseOldestUndeliveredLineIsOlderThanTheBoundIsDropped) {
    auto server = start();
    Peer stalled(server->port(), 4096), fast(server->port());
    ASSERT_TRUE(waitForClients(*server, 2));
    std::string all;
    for (int i = 0; i < 1000; ++i) {
        send(*server, numbered(i));
        all += numbered(i);
    }
    ASSERT_EQ(fast.receive(all.size()), all);
    advance(9s);
    for (int i = 0; i < 2; ++i) { // the second goes out once the first one's check is done
        send(*server, numbered(i));
        ASSERT_EQ(fast.receive(numbered(i).size()), numbered(i));
    }
    EXPECT_EQ(server->clientsConnected(), 2u); // 9 s behind: kept
    advance(2s);
    send(*server, numbered(2));
    EXPECT_EQ(fast.receive(numbered(2).size()), numbered(2));
    EXPECT_TRUE(waitForClients(*server, 1));
    const std::string early = stalled.receive(all.size());
    EXPECT_EQ(early, all.substr(0, early.size()));
    EXPECT_TRUE(stalled.ended());
}

TEST_P(ServerFaultTest, ClientsOverTheCeilingAreClosedAtOnceAndTheOwnerIsToldOnce) {
    auto server = start(2);
    Peer a(server->port()), b(server->port());
    ASSERT_TRUE(waitForClients(*server, 2));
    Peer c(server->port()), d(server->port());
    EXPECT_TRUE(c.ended());
    EXPECT_TRUE(d.ended());
    ASSERT_TRUE(runUntil([&] { return refusals > 0; }));
    settleLoop();
    EXPECT_EQ(refusals, 1);
    send(*server, numbered(1));
    EXPECT_EQ(a.receive(numbered(1).size()), numbered(1));
    EXPECT_EQ(b.receive(numbered(1).size()), numbered(1));
}

// Lowers the process's descriptor limit to the descriptors now open, holes filled, so that the
// next accept fails for want of one; puts everything back as it goes.
class DescriptorCeiling {
public:
    DescriptorCeiling() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        int highest = 0;
        if (DIR* dir = ::opendir("/proc/self/fd")) {
            while (const dirent* entry = ::readdir(dir))
                highest = std::max(highest, std::atoi(entry->d_name));
            ::closedir(dir);
        }
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
            if (fd > highest) {
                ::close(fd);
                break;
            }
            fillers_.push_back(fd);
        }
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(highest) + 1;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorCeiling() {
        ::setrlimit(RLIMIT_NOFILE, &saved_);
        for (int fd : fillers_)
            ::close(fd);
    }
    DescriptorCeiling(const DescriptorCeiling&) = delete;
    DescriptorCeiling& operator=(const DescriptorCeiling&) = delete;

private:
    rlimit saved_{};
    std::vector<int> fillers_;
};

TEST_P(ServerFaultTest, ClientsBeyondTheDescriptorLimitAreClosedAtOnceNotLeftWaiting) {
#ifdef MUX_SANITIZE
    // The sanitizers probe memory through a pipe of their own: without a descriptor to spare,
    // they take sound objects for broken ones.
    GTEST_SKIP() << "needs descriptors the sanitizers take";
#endif
    auto server = start();
    Peer a(server->port());
    ASSERT_TRUE(waitForClients(*server, 1));
    int waiting[3];
    for (int& fd : waiting) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval wait{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    {
        DescriptorCeiling ceiling;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(server->port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int fd : waiting) {
            ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            char byte;
            EXPECT_EQ(::recv(fd, &byte, 1, 0), 0); // an orderly end at once, not a wait in the queue
        }
        EXPECT_TRUE(runUntil([&] { return refusals == 1; }));
    }
    for (int fd : waiting)
        ::close(fd);
    Peer late(server->port());
    ASSERT_TRUE(waitForClients(*server, 2));
    send(*server, numbered(3));
    EXPECT_EQ(a.receive(numbered(3).size()), numbered(3));
    EXPECT_EQ(late.receive(numbered(3).size()), numbered(3));
    settleLoop();
    EXPECT_EQ(refusals, 1);
}

// The server's end of the peer's connection, found among this process's descriptors.
int serverSideOf(const Peer& peer) {
    sockaddr_in mine{};
    socklen_t length = sizeof mine;
    ::getsockname(peer.fd(), reinterpret_cast<sockaddr*>(&mine), &length);
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_in remote{};
        length = sizeof remote;
        if (fd != peer.fd() && ::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &length) == 0 &&
            remote.sin_port == mine.sin_port && remote.sin_addr.s_addr == mine.sin_addr.s_addr)
            return fd;
    }
    return -1;
}

// A client whose machine vanished sends nothing, not even a close: only probes find it gone.
TEST_P(ServerFaultTest, AClientIsProbedSoThatAVanishedOneIsGoneWithinAMinute) {
    const ClientPolicy policy;
    EXPECT_LE(policy.deadPeerBound(), 60s);
    auto server = start();
    Peer peer(server->port());
    ASSERT_TRUE(waitForClients(*server, 1));
    const int fd = serverSideOf(peer);
    ASSERT_GE(fd, 0);
    const struct {
        const char* name;
        int level, option, expected;
    } options[] = {
        {"keepalive", SOL_SOCKET, SO_KEEPALIVE, 1},
        {"idle", IPPROTO_TCP, TCP_KEEPIDLE, policy.keepIdle},
        {"interval", IPPROTO_TCP, TCP_KEEPINTVL, policy.keepInterval},
        {"count", IPPROTO_TCP, TCP_KEEPCNT, policy.keepCount},
        {"user timeout", IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(policy.userTimeout.count())},
        {"send buffer", SOL_SOCKET, SO_SNDBUF, 2 * policy.sendBuffer}, // the system doubles it
    };
    for (const auto& o : options) {
        int value = -1;
        socklen_t length = sizeof value;
        ASSERT_EQ(::getsockopt(fd, o.level, o.option, &value, &length), 0) << o.name;
        EXPECT_EQ(value, o.expected) << o.name;
    }
}

// A reconnect storm: clients complete their handshake and wait in the queue, none refused, while
// the listener takes none.
TEST(ListenBacklog, AStormOfClientsWaitsInTheQueueWhileNoneIsAccepted) {
    NetSocket listener; // never scheduled: nothing accepts
    ASSERT_TRUE(listener.open());
    ASSERT_TRUE(listener.listenOnPort(0, TCPServer::kListenBacklog, "127.0.0.1"));
    std::vector<std::unique_ptr<Peer>> storm;
    for (int i = 0; i < 200; ++i) {
        storm.push_back(std::make_unique<Peer>(listener.localPort()));
        ASSERT_TRUE(storm.back()->connected()) << i;
    }
}

std::string joined(const StreamLog& log, uint64_t from) {
    iovec pieces[2];
    std::string text;
    for (int i = 0, n = log.pieces(from, pieces); i < n; ++i)
        text.append(static_cast<const char*>(pieces[i].iov_base), pieces[i].iov_len);
    return text;
}

TEST(StreamLog, HoldsTheLastBytesInTwoPiecesAcrossTheWrapAndKnowsWhenEachCame) {
    const Clock::time_point t0{1h};
    StreamLog log(10, 20s);
    log.append(reinterpret_cast<const uint8_t*>("abcdefgh"), 8, t0);
    log.append(reinterpret_cast<const uint8_t*>("ijkl"), 4, t0 + 1s);
    EXPECT_EQ(log.head(), 12u);
    EXPECT_EQ(log.tail(), 2u);
    iovec pieces[2];
    ASSERT_EQ(log.pieces(2, pieces), 2);
    EXPECT_EQ(std::string(static_cast<char*>(pieces[0].iov_base), pieces[0].iov_len), "cdefghij");
    EXPECT_EQ(std::string(static_cast<char*>(pieces[1].iov_base), pieces[1].iov_len), "kl");
    EXPECT_EQ(joined(log, 9), "jkl");
    EXPECT_EQ(log.arrival(7), t0);
    EXPECT_EQ(log.arrival(8), t0 + 1s);
    log.append(reinterpret_cast<const uint8_t*>("mnopqrstuvwxyz"), 14, t0 + 60s); // longer than it holds
    EXPECT_EQ(log.head(), 26u);
    EXPECT_EQ(log.tail(), 16u);
    EXPECT_EQ(joined(log, 16), "qrstuvwxyz");
    EXPECT_EQ(log.arrival(20), t0 + 60s);
    EXPECT_EQ(log.arrival(11), Clock::time_point::min()); // past keeping: only known as old
}

INSTANTIATE_TEST_SUITE_P(Loops, ServerFaultTest, testing::ValuesIn(loopKinds()), loopName);

} // namespace
